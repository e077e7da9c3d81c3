#include <gtest/gtest.h>

#include <zlib.h>

#include <new>
#include <string>
#include <vector>

#include "decode/ccitt_fax.h"
#include "decode/filter_chain.h"
#include "tests/support/lzw_encoder.h"
#include "tests/unit/test_allocator.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Codes = std::vector<FilterCode>;

Bytes B(const std::string& text) { return Bytes(text.begin(), text.end()); }

// zlib itself as the Flate encoder.
Bytes Deflate(const Bytes& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    EXPECT_EQ(compress(out.data(), &size, data.data(), static_cast<uLong>(data.size())), Z_OK);
    out.resize(size);
    return out;
}

std::string Hex(const Bytes& data) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : data) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out + ">";
}

// The shared test encoder, on byte vectors.
Bytes LzwEncode(const Bytes& data, int32_t earlyChange) {
    const std::string encoded = EncodeLzw(std::string(data.begin(), data.end()), earlyChange, WhenFull::Clear);
    return Bytes(encoded.begin(), encoded.end());
}

// Bytes without long repeats, so that LZW adds a table entry for nearly every code.
Bytes Scrambled(size_t n) {
    Bytes out(n);
    uint32_t state = 12345;
    for (uint8_t& b : out) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>('a' + (state >> 16) % 7);
    }
    return out;
}

constexpr FilterCode A85 = FilterCode::Ascii85;
constexpr FilterCode AHx = FilterCode::AsciiHex;
constexpr FilterCode Fl = FilterCode::Flate;
constexpr FilterCode Lzw = FilterCode::Lzw;
constexpr FilterCode RL = FilterCode::RunLength;
constexpr FilterCode Dct = FilterCode::Dct;
constexpr FilterCode Ccf = FilterCode::CcittFax;

// ---------------------------------------------------------------------------

struct ListCase {
    const char* label;
    const char* dictionary;
    Codes codes;
};

TEST(ParseFilterList, Table) {
    const ListCase cases[] = {
        {"no filter", "<</Length 5>>", {}},
        {"one name", "<</Filter/FlateDecode/Length 5>>", {Fl}},
        {"one name after a space", "<</Filter /DCTDecode>>", {Dct}},
        {"array in order", "<</Filter[/ASCIIHexDecode /FlateDecode]>>", {AHx, Fl}},
        {"full names", "<</Filter[/RunLengthDecode/DCTDecode/CCITTFaxDecode/LZWDecode]>>", {RL, Dct, Ccf, Lzw}},
        // The copied value ends after 63 bytes, inside "/RunLengthDecode".
        {"the array is read to 63 bytes only",
         "<</Filter[/ASCII85Decode/ASCIIHexDecode/FlateDecode/LZWDecode/RunLengthDecode]>>", {A85, AHx, Fl, Lzw}},
        {"abbreviations", "<</Filter[/A85 /AHx /Fl /RL /DCT /CCF]>>", {A85, AHx, Fl, RL, Dct, Ccf}},
        {"LZW has no short form", "<</Filter/LZW>>", {}},
        {"case matters", "<</Filter[/flatedecode /FLATEDECODE /fl]>>", {}},
        {"a prefix is not the name", "<</Filter[/FlateDecodeX /Flate /DCTDecod]>>", {}},
        {"unrecognised name between two", "<</Filter[/FlateDecode /JBIG2Decode /DCTDecode]>>", {Fl, Dct}},
        {"crypt and JPX names add nothing", "<</Filter[/Crypt/JPXDecode/RL]>>", {RL}},
        {"a name runs over punctuation up to 'z'", "<</Filter[/Fl;/DCT /Fl_x/DCT /Fl:DCT]>>", {Dct, Dct}},
        {"a name stops at bytes below '0'", "<</Filter[/Fl-/DCT /A85.]>>", {Fl, Dct, A85}},
        {"nine names: the ninth is dropped", "<</Filter[/Fl/Fl/Fl/Fl/Fl/Fl/Fl/Fl/AHx]>>", {Fl, Fl, Fl, Fl, Fl, Fl, Fl, Fl}},
        {"a reference is not followed", "<</Filter 7 0 R/Length 9>>", {}},
        {"XML metadata names its filters", "<</Type/Metadata/Subtype/XML/Filter[/AHx/FlateDecode]>>", {AHx, Fl}},
        {"XML metadata without filters", "<</Subtype /XML/Length 9>>", {}},
        {"XML must be in the subtype", "<</Subtype/Image/Filter/Fl/Name/XML>>", {Fl}},
    };
    for (const ListCase& c : cases) {
        const FilterList list = ParseFilterList(c.dictionary);
        EXPECT_EQ(Codes(list.codes, list.codes + list.count), c.codes) << c.label;
    }
}

TEST(ParseFilterList, XmlMetadataByItsSubtype) {
    EXPECT_TRUE(ParseFilterList("<</Type/Metadata/Subtype/XML/Filter/FlateDecode>>").xml);
    EXPECT_TRUE(ParseFilterList("<</Subtype /XML>>").xml);
    EXPECT_FALSE(ParseFilterList("<</Subtype/Image/Name/XML>>").xml);
    EXPECT_FALSE(ParseFilterList("<</Type/Metadata>>").xml);
}

// ---------------------------------------------------------------------------

// A sink that keeps what it is given in a string and offers `room` bytes at a
// time, each room its own exact-size block, so that the sanitizers see a write
// past it; `failAfter` bytes in, it refuses more.
struct StringSink {
    Sink sink;
    size_t room = 0;
    std::vector<uint8_t> window;
    std::string bytes;
    bool ended = false;
    size_t failAfter = SIZE_MAX;
};

Status TakeIntoString(Sink& sink, const uint8_t* written, size_t count, bool ending) {
    auto& target = *static_cast<StringSink*>(sink.owner);
    EXPECT_FALSE(target.ended) << "bytes after the end";
    target.bytes.append(reinterpret_cast<const char*>(written), count);
    target.ended = ending;
    if (target.bytes.size() > target.failAfter) return Status::IoError;
    target.window.assign(target.room, 0);
    sink.room = target.window.data();
    sink.roomLeft = target.room;
    return Status::Ok;
}

struct Decoded {
    Status status = Status::Ok;
    Bytes bytes;
    ContentKind kind = ContentKind::Data;
    bool stillView = false;   // no step changes the stored bytes
    uint32_t failedStep = 0;
};

Decoded Decode(const char* dictionary, const Bytes& raw, size_t room = 65536, size_t failAfter = SIZE_MAX) {
    StreamInput input;
    input.begin = raw.data();
    input.end = raw.data() + raw.size();
    input.dictionary = dictionary;
    input.filters = ParseFilterList(input.dictionary);
    const ChainPlan plan = PlanChain(input);
    StringSink target;
    target.sink = Sink{nullptr, 0, TakeIntoString, &target};
    target.room = room;
    target.failAfter = failAfter;
    ChainOutcome outcome;
    FaxRun fax;
    if (plan.fax) {
        // A fax stream is surveyed first, as the listing does, and then written.
        StringSink survey;
        survey.sink = Sink{nullptr, 0, TakeIntoString, &survey};
        survey.room = room;
        fax.pass = FaxPass::Survey;
        const Status surveyed = RunChain(input, plan, fax, survey.sink, outcome);
        EXPECT_TRUE(survey.bytes.empty()) << dictionary << ": a survey writes nothing";
        if (surveyed != Status::Ok) return Decoded{surveyed, {}, ContentKind::Data, false, outcome.failedStep};
        fax = FaxRun{FaxPass::Emit, outcome.fax};
    }
    Decoded d;
    d.status = RunChain(input, plan, fax, target.sink, outcome);
    d.failedStep = outcome.failedStep;
    d.stillView = plan.steps == 0;
    if (d.status != Status::Ok) return d;
    EXPECT_TRUE(target.ended) << dictionary << ": the sink was never told the end";
    EXPECT_EQ(outcome.size, target.bytes.size()) << dictionary;
    d.bytes.assign(target.bytes.begin(), target.bytes.end());
    d.kind = KindOf(plan, outcome);
    return d;
}

// Rooms of these sizes give the same bytes.
constexpr size_t Rooms[] = {1, 7, 65536};

struct TypingCase {
    const char* label;
    Bytes bytes;
    ContentKind kind;
};

TEST(RunChain, KindFromContent) {
    const TypingCase cases[] = {
        {"little-endian TIFF", {0x49, 0x49, 0x2A, 0x00}, ContentKind::Tiff},
        {"big-endian TIFF is not recognised", {0x4D, 0x4D, 0x00, 0x2A}, ContentKind::Data},
        {"TIFF mark cut short", {0x49, 0x49, 0x2A}, ContentKind::Data},
        {"PBM", B("P4\n1 1\n\x80"), ContentKind::Pbm},
        {"PBM mark alone", B("P4\n"), ContentKind::Pbm},
        {"P4 then a space", B("P4 1 1\n"), ContentKind::Data},
        {"JPEG", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10}, ContentKind::Jpeg},
        {"JPEG mark cut short", {0xFF, 0xD8}, ContentKind::Data},
        {"PDF", B("%PDF-1.7\n"), ContentKind::Pdf},
        {"PDF mark alone", B("%PDF-1."), ContentKind::Pdf},
        {"PDF mark cut short", B("%PDF-1"), ContentKind::Data},
        {"text", B("BT /F1 12 Tf ET"), ContentKind::Data},
        {"empty", {}, ContentKind::Data},
    };
    for (const TypingCase& c : cases) {
        // Stored as they are, and as the output of a step, typed alike.
        for (const std::string& dictionary : {std::string("<</Length 9>>"), std::string("<</Filter/AHx>>")}) {
            const Bytes raw = dictionary == "<</Length 9>>" ? c.bytes : B(Hex(c.bytes));
            for (size_t room : Rooms) {
                const Decoded d = Decode(dictionary.c_str(), raw, room);
                EXPECT_EQ(d.status, Status::Ok) << c.label;
                EXPECT_EQ(d.kind, c.kind) << c.label << " " << dictionary << ", room " << room;
                EXPECT_EQ(d.bytes, c.bytes) << c.label << " " << dictionary << ", room " << room;
            }
        }
    }
}

struct ChainCase {
    const char* label;
    std::string dictionary;
    Bytes raw;
    Bytes expected;
    ContentKind kind;
    bool stillView;
};

TEST(RunChain, RunsTheStepsInOrder) {
    const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00, 0x08};
    const Bytes text = B("q 1 0 0 1 72 720 cm BT /F1 12 Tf (Hello) Tj ET Q\n");
    const Bytes tiff = B(std::string("II*\0\x08\0\0\0", 8) + "rest");
    const Bytes xml = B("<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta/>");
    const Bytes scrambled = Scrambled(200000);
    // Each step writes far more than a buffer between two steps holds.
    Bytes long_text;
    while (long_text.size() < 3 * ChainBufferBytes) long_text.insert(long_text.end(), text.begin(), text.end());

    const ChainCase cases[] = {
        {"DCT alone passes JPEG through", "<</Filter/DCTDecode>>", jpeg, jpeg, ContentKind::Jpeg, true},
        {"Flate", "<</Filter/FlateDecode>>", Deflate(text), text, ContentKind::Data, false},
        {"Flate then DCT", "<</Filter[/FlateDecode /DCTDecode]>>", Deflate(jpeg), jpeg, ContentKind::Jpeg, false},
        {"Flate result typed by content", "<</Filter/Fl>>", Deflate(tiff), tiff, ContentKind::Tiff, false},
        {"ASCIIHex then Flate", "<</Filter[/ASCIIHexDecode /FlateDecode]>>", B(Hex(Deflate(text))), text,
         ContentKind::Data, false},
        {"ASCIIHex then Flate, long", "<</Filter[/AHx /Fl]>>", B(Hex(Deflate(long_text))), long_text, ContentKind::Data,
         false},
        // ASCII85 text from Python's base64.a85encode, with the PDF end mark.
        {"ASCII85", "<</Filter/A85>>", B("87cURD_*\"s;aX,J3&Mh&DfTZ)+T~>"), B("Hello, ASCII85 world!"),
         ContentKind::Data, false},
        {"ASCII85 with a zero group", "<</Filter/ASCII85Decode>>", B("zFCAm\"~>"), B(std::string("\0\0\0\0tail", 8)),
         ContentKind::Data, false},
        {"RunLength literal and repeat", "<</Filter/RunLengthDecode>>", {2, 'P', '4', '\n', 253, 'z', 128},
         B("P4\nzzzz"), ContentKind::Pbm, false},
        {"RunLength of nothing", "<</Filter/RL>>", {}, {}, ContentKind::Data, false},
        {"LZW with early change by default", "<</Filter/LZWDecode>>", LzwEncode(scrambled, 1), scrambled,
         ContentKind::Data, false},
        {"LZW with early change 0", "<</Filter/LZWDecode/DecodeParms<</EarlyChange 0>>>>", LzwEncode(scrambled, 0),
         scrambled, ContentKind::Data, false},
        {"Flate then LZW", "<</Filter[/Fl/LZWDecode]>>", Deflate(LzwEncode(scrambled, 1)), scrambled,
         ContentKind::Data, false},
        {"XML metadata inflated", "<</Type/Metadata/Subtype/XML/Filter/FlateDecode>>", Deflate(xml), xml,
         ContentKind::Xml, false},
        {"XML metadata as stored", "<</Type/Metadata/Subtype/XML>>", xml, xml, ContentKind::Xml, true},
        {"XML metadata that is no XML is still named so", "<</Subtype/XML/Filter/AHx>>", B("48656C6C6F>"),
         B("Hello"), ContentKind::Xml, false},
        {"unrecognised filter leaves the bytes", "<</Filter/JBIG2Decode>>", jpeg, jpeg, ContentKind::Jpeg, true},
    };
    for (const ChainCase& c : cases) {
        for (size_t room : Rooms) {
            // Byte by byte is for the short ones.
            if (room == 1 && c.expected.size() > 100000) continue;
            const Decoded d = Decode(c.dictionary.c_str(), c.raw, room);
            EXPECT_EQ(d.status, Status::Ok) << c.label << ", room " << room;
            EXPECT_TRUE(d.bytes == c.expected) << c.label << ", room " << room;
            EXPECT_EQ(d.kind, c.kind) << c.label;
            EXPECT_EQ(d.stillView, c.stillView) << c.label;
        }
    }
}

TEST(RunChain, FaxStepEndsTheChain) {
    const Bytes fax = {0x26, 0xA0, 0x00, 0x10, 0x01, 0x00, 0x10, 0x01};
    // FlateDecode after it would fail on these bytes; it must not run.
    for (size_t room : Rooms) {
        const Decoded d = Decode("<</Filter[/CCITTFaxDecode /FlateDecode]/DecodeParms[<</K -1/Columns 40>> null]>>",
                                 fax, room);
        EXPECT_EQ(d.status, Status::Ok);
        EXPECT_EQ(d.kind, ContentKind::Tiff);
        ASSERT_EQ(d.bytes.size(), 110u + fax.size());
        EXPECT_EQ(Bytes(d.bytes.begin() + 110, d.bytes.end()), fax);
    }
    // An image mask has no header and is typed by its content: no step at all.
    const Decoded mask = Decode("<</ImageMask true/Filter/CCF>>", fax);
    EXPECT_EQ(mask.status, Status::Ok);
    EXPECT_EQ(mask.bytes, fax);
    EXPECT_EQ(mask.kind, ContentKind::Data);
    EXPECT_TRUE(mask.stillView);
}

struct FailureCase {
    const char* label;
    std::string dictionary;
    Bytes raw;
    uint32_t failedStep;
};

TEST(RunChain, FailedStepStopsTheChain) {
    Bytes badChecksum = Deflate(B("some text that is long enough"));
    badChecksum.back() ^= 0xFF;
    const FailureCase cases[] = {
        {"corrupt Flate", "<</Filter/FlateDecode>>", {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF}, 0},
        {"Flate checksum mismatch", "<</Filter/Fl>>", badChecksum, 0},
        {"empty Flate", "<</Filter/Fl>>", {}, 0},
        {"ASCIIHex gives corrupt Flate", "<</Filter[/AHx /Fl]>>", B("78ffff>"), 1},
        {"Flate fails before DCT", "<</Filter[/Fl /DCT]>>", {0xFF, 0xD8, 0xFF, 0xE0}, 0},
        {"RunLength repeat without its byte", "<</Filter/RL>>", {0, 'a', 200}, 0},
        {"LZW code above the table", "<</Filter/LZWDecode>>", {0x80, 0x18, 0x65, 0x90, 0x10}, 0},
    };
    for (const FailureCase& c : cases) {
        for (size_t room : Rooms) {
            const Decoded d = Decode(c.dictionary.c_str(), c.raw, room);
            EXPECT_EQ(d.status, Status::InvalidData) << c.label;
            EXPECT_EQ(d.failedStep, c.failedStep) << c.label;
        }
    }
}

TEST(RunChain, ASinkThatRefusesStopsTheChain) {
    const Bytes text(100000, 'x');
    const Decoded d = Decode("<</Filter[/AHx/Fl]>>", B(Hex(Deflate(text))), 4096, 10000);
    EXPECT_EQ(d.status, Status::IoError);
}

TEST(RunChain, OutOfMemoryAnswersWithoutThrowingOrLeaking) {
    if (!allocationFailureAvailable) GTEST_SKIP() << "allocations cannot be made to fail in this build";
    // The step states come from the runtime's allocator; the leak checker of
    // the sanitizer build reports any that is not freed.
    const Bytes text = B("abcabcabcabcabcabc");
    const Bytes raw = Deflate(LzwEncode(text, 1));
    for (long count : {0L, 1L, 2L}) {
        FailAllocationAfter(count);
        const Decoded d = Decode("<</Filter[/FlateDecode /LZWDecode]>>", raw);
        const bool failed = AllocationFailed();
        FailAllocationAfter(-1);
        if (!failed) {
            EXPECT_EQ(d.status, Status::Ok);
            continue;
        }
        EXPECT_EQ(d.status, Status::OutOfMemory) << "allocation " << count;
    }
}

}  // namespace
