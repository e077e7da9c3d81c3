#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <limits>
#include <random>

#include "decode/flate.h"
#include "tests/unit/stage_harness.h"

namespace {

// zlib's own deflate, the independent oracle. windowBits 15 gives the zlib
// format, -15 raw deflate, 31 gzip.
std::string Deflate(const std::string& data, int windowBits = 15, const std::string& dictionary = "") {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    if (!dictionary.empty()) {
        deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(dictionary.data()),
                             static_cast<uInt>(dictionary.size()));
    }
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// What zlib itself inflates from (possibly cut) data, given all the room it wants.
std::string InflateWithZlib(const std::string& compressed, size_t room) {
    z_stream stream{};
    EXPECT_EQ(inflateInit(&stream), Z_OK);
    std::string out(room, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    inflate(&stream, Z_NO_FLUSH);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return out;
}

// Text that compresses about four-fold: words drawn from a small vocabulary.
std::string Prose(size_t length, uint32_t seed) {
    static const char* const words[] = {"stream ", "object ", "filter ", "decode ", "length ", "page ",
                                        "font ",   "xref ",   "trailer ", "obj\n",   "endobj\n", "12 0 R "};
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < length) text += words[random() % 12];
    text.resize(length);
    return text;
}

// The stage over the input in one large window, or in the windows given.
StageRun Flate(const std::string& encoded, StageWindows windows = StageWindows{}) {
    FlateStage stage;
    EXPECT_EQ(StartFlate(stage), Status::Ok);
    return RunStage(stage, RunFlate, encoded, windows);
}

struct FlateCase {
    const char* label;
    std::string encoded;
    Status status;
    std::string decoded;
};

TEST(FlateStage, Table) {
    const std::string prose = Prose(50000, 1);
    const std::string zeros(1000000, '\0');  // about 1000-fold
    const std::string deflated = Deflate(prose);
    std::string badAdler = deflated;
    badAdler.back() = static_cast<char>(badAdler.back() ^ 1);
    std::string badHeader = deflated;
    badHeader[1] = static_cast<char>(badHeader[1] ^ 1);  // header check fails
    std::string corrupt = deflated;
    for (size_t i = 10; i < 40; ++i) corrupt[i] = static_cast<char>(0xff);

    const FlateCase cases[] = {
        {"empty input makes no progress", "", Status::InvalidData, ""},
        {"one byte is consumed without output", deflated.substr(0, 1), Status::End, ""},
        {"prose", deflated, Status::End, prose},
        {"high expansion", Deflate(zeros), Status::End, zeros},
        {"stored block", Deflate(std::string(1, 'q')), Status::End, "q"},
        {"trailing bytes ignored", deflated + "endstream\r\n", Status::End, prose},
        {"Adler-32 mismatch", badAdler, Status::InvalidData, ""},
        {"bad header check", badHeader, Status::InvalidData, ""},
        {"corrupt data", corrupt, Status::InvalidData, ""},
        {"raw deflate without header", Deflate(prose, -15), Status::InvalidData, ""},
        {"gzip", Deflate(prose, 31), Status::InvalidData, ""},
        {"preset dictionary", Deflate(prose, 15, "stream object"), Status::InvalidData, ""},
    };
    for (const FlateCase& c : cases) {
        ExpectInEveryWindow<FlateStage>([](FlateStage& stage) { EXPECT_EQ(StartFlate(stage), Status::Ok); }, RunFlate,
                                        c.encoded, c.status, c.decoded, c.label);
    }
}

TEST(FlateStage, StreamCutAnywhereGivesWhatZlibInflates) {
    // Every cut point, including those where the last input bits end inside a
    // copy that overruns the output window: that remainder must not be lost.
    for (const std::string& data : {Prose(3000, 2), std::string(5000, 'a') + Prose(2000, 3)}) {
        const std::string deflated = Deflate(data);
        for (size_t cut = 1; cut < deflated.size(); ++cut) {
            const std::string encoded = deflated.substr(0, cut);
            const std::string expected = InflateWithZlib(encoded, data.size() + 1);
            // In one window, and in windows that end where zlib's own output
            // would: the stage must find the end both ways.
            for (size_t window : {size_t{65536}, expected.size() == 0 ? size_t{1} : expected.size(), size_t{7}}) {
                const StageRun d = Flate(encoded, StageWindows{window, {cut / 2}});
                ASSERT_EQ(d.status, Status::End) << "cut " << cut << ", window " << window;
                ASSERT_TRUE(d.bytes == expected) << "cut " << cut << ": " << d.bytes.size() << " of " << expected.size();
            }
        }
    }
}

TEST(FlateStage, DamagedStreamsGiveWhatZlibGivesOrFail) {
    const std::string prose = Prose(20000, 5);
    const std::string deflated = Deflate(prose);
    std::mt19937 random(6);
    for (int trial = 0; trial < 300; ++trial) {
        std::string damaged = deflated;
        damaged[2 + random() % (damaged.size() - 2)] ^= static_cast<char>(1u << (random() % 8));
        const StageRun d = Flate(damaged, StageWindows{4096, {damaged.size() / 2}});
        ASSERT_TRUE(d.status == Status::End || d.status == Status::InvalidData) << trial;
        if (d.status == Status::End) {
            EXPECT_TRUE(d.bytes == InflateWithZlib(damaged, 4 * prose.size())) << trial;
        }
    }
}

}  // namespace
