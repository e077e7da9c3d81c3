#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <limits>
#include <random>

#include "decode/flate.h"
#include "decoder_harness.h"

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

Decoded Flate(const std::string& encoded, uint32_t window = std::numeric_limits<uint32_t>::max()) {
    return RunDecoder([window](ByteBuffer& out, ByteBuffer& in) { return DecodeFlateInWindows(out, in, window); },
                      encoded);
}

struct FlateCase {
    const char* label;
    std::string encoded;
    uint32_t result;
    std::string decoded;
};

TEST(DecodeFlate, Table) {
    const std::string prose = Prose(50000, 1);
    const std::string zeros(1000000, '\0');  // about 1000-fold: many doublings
    const std::string deflated = Deflate(prose);
    std::string badAdler = deflated;
    badAdler.back() = static_cast<char>(badAdler.back() ^ 1);
    std::string badHeader = deflated;
    badHeader[1] = static_cast<char>(badHeader[1] ^ 1);  // header check fails
    std::string corrupt = deflated;
    for (size_t i = 10; i < 40; ++i) corrupt[i] = static_cast<char>(0xff);

    const FlateCase cases[] = {
        {"empty input makes no progress", "", ResultFlateCorrupt, ""},
        {"one byte is consumed without output", deflated.substr(0, 1), ResultOk, ""},
        {"prose", deflated, ResultOk, prose},
        {"high expansion", Deflate(zeros), ResultOk, zeros},
        {"stored block", Deflate(std::string(1, 'q')), ResultOk, "q"},
        {"trailing bytes ignored", deflated + "endstream\r\n", ResultOk, prose},
        {"Adler-32 mismatch", badAdler, ResultFlateCorrupt, ""},
        {"bad header check", badHeader, ResultFlateCorrupt, ""},
        {"corrupt data", corrupt, ResultFlateCorrupt, ""},
        {"raw deflate without header", Deflate(prose, -15), ResultFlateCorrupt, ""},
        {"gzip", Deflate(prose, 31), ResultFlateCorrupt, ""},
        {"preset dictionary", Deflate(prose, 15, "stream object"), ResultFlateCorrupt, ""},
    };
    for (const FlateCase& c : cases) {
        const Decoded d = Flate(c.encoded);
        EXPECT_EQ(d.result, c.result) << c.label;
        EXPECT_TRUE(d.bytes == c.decoded) << c.label << ": " << d.bytes.size() << " bytes";
    }
}

TEST(DecodeFlate, StreamCutAnywhereGivesWhatZlibInflates) {
    // Every cut point, including those where the last input bits end inside a
    // copy that overruns the output block: that remainder must not be lost.
    for (const std::string& data : {Prose(3000, 2), std::string(5000, 'a') + Prose(2000, 3)}) {
        const std::string deflated = Deflate(data);
        for (size_t cut = 1; cut < deflated.size(); ++cut) {
            const std::string encoded = deflated.substr(0, cut);
            const std::string expected = InflateWithZlib(encoded, data.size() + 1);
            const Decoded d = Flate(encoded);
            ASSERT_EQ(d.result, ResultOk) << "cut " << cut;
            ASSERT_TRUE(d.bytes == expected) << "cut " << cut << ": " << d.bytes.size() << " of " << expected.size();
        }
    }
}

TEST(DecodeFlate, DamagedStreamsGiveWhatZlibGivesOrFail) {
    const std::string prose = Prose(20000, 5);
    const std::string deflated = Deflate(prose);
    std::mt19937 random(6);
    for (int trial = 0; trial < 300; ++trial) {
        std::string damaged = deflated;
        damaged[2 + random() % (damaged.size() - 2)] ^= static_cast<char>(1u << (random() % 8));
        const Decoded d = Flate(damaged);
        ASSERT_TRUE(d.result == ResultOk || d.result == ResultFlateCorrupt) << trial << ": " << d.result;
        if (d.result == ResultOk) {
            EXPECT_TRUE(d.bytes == InflateWithZlib(damaged, 4 * prose.size())) << trial;
        }
    }
}

TEST(DecodeFlate, SmallZlibWindowsGiveTheSameData) {
    // zlib counts in 32 bits; beyond 4 GiB the input and output are handed to it
    // in windows. Tiny windows run the same paths on small data.
    const std::string prose = Prose(200000, 4);
    const std::string deflated = Deflate(prose);
    const std::string cut = deflated.substr(0, deflated.size() / 2);
    const std::string cutExpected = InflateWithZlib(cut, prose.size());
    for (uint32_t window : {1u, 7u, 4096u, 65536u}) {
        Decoded d = Flate(deflated, window);
        EXPECT_EQ(d.result, ResultOk) << window;
        EXPECT_TRUE(d.bytes == prose) << window;
        d = Flate(deflated + "junk", window);
        EXPECT_EQ(d.result, ResultOk) << window;
        EXPECT_TRUE(d.bytes == prose) << window;
        d = Flate(cut, window);
        EXPECT_EQ(d.result, ResultOk) << window;
        EXPECT_TRUE(d.bytes == cutExpected) << window << ": " << d.bytes.size() << " of " << cutExpected.size();
        EXPECT_EQ(Flate("", window).result, ResultFlateCorrupt) << window;
    }
}

TEST(DecodeFlate, SizingBeyondFourGiB) {
    constexpr uint64_t GiB = uint64_t{1} << 30;
    const uint64_t limit = FlateCapacityLimit();
    EXPECT_GE(limit, uint64_t{1} << 62);  // 64-bit builds only

    EXPECT_EQ(FlateFirstCapacity(0), 0u);
    EXPECT_EQ(FlateFirstCapacity(3 * GiB), 12 * GiB);
    EXPECT_EQ(FlateFirstCapacity(limit / 4 + 1), limit);
    EXPECT_EQ(FlateFirstCapacity(limit), limit);
    EXPECT_EQ(FlateFirstCapacity(UINT64_MAX), limit);

    EXPECT_EQ(FlateNextCapacity(2 * GiB), 4 * GiB);
    EXPECT_EQ(FlateNextCapacity(3 * GiB), 6 * GiB);
    EXPECT_EQ(FlateNextCapacity(limit / 2 + 1), limit);
    EXPECT_EQ(FlateNextCapacity(limit), 0u);
    EXPECT_EQ(FlateNextCapacity(UINT64_MAX), 0u);

    const uint32_t whole = UINT32_MAX;
    EXPECT_EQ(FlateWindow(100, whole), 100u);
    EXPECT_EQ(FlateWindow(4 * GiB, whole), whole);      // 2^32 would be 0 in 32 bits
    EXPECT_EQ(FlateWindow(6 * GiB + 5, whole), whole);  // would be 2 GiB + 5
    EXPECT_EQ(FlateWindow(4 * GiB, 7), 7u);
    EXPECT_EQ(FlateWindow(0, whole), 0u);
}

}  // namespace
