#include <gtest/gtest.h>

#include <zlib.h>

#include <new>
#include <string>
#include <vector>

#include "decode/ccitt_fax.h"
#include "decode/filter_chain.h"
#include "decode/results.h"
#include "tests/support/lzw_encoder.h"
#include "tests/unit/test_allocator.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Codes = std::vector<uint32_t>;

Bytes B(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string Narrow(const WCHAR* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) out.push_back(static_cast<char>(*text));
    return out;
}

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

// ---------------------------------------------------------------------------

struct ListCase {
    const char* label;
    const char* dictionary;
    Codes codes;
};

TEST(ParseFilterList, Table) {
    const ListCase cases[] = {
        {"no filter", "<</Length 5>>", {}},
        {"one name", "<</Filter/FlateDecode/Length 5>>", {4}},
        {"one name after a space", "<</Filter /DCTDecode>>", {7}},
        {"array in order", "<</Filter[/ASCIIHexDecode /FlateDecode]>>", {3, 4}},
        {"full names", "<</Filter[/RunLengthDecode/DCTDecode/CCITTFaxDecode/LZWDecode]>>", {6, 7, 8, 5}},
        // The copied value ends after 63 bytes, inside "/RunLengthDecode".
        {"the array is read to 63 bytes only",
         "<</Filter[/ASCII85Decode/ASCIIHexDecode/FlateDecode/LZWDecode/RunLengthDecode]>>", {2, 3, 4, 5}},
        {"abbreviations", "<</Filter[/A85 /AHx /Fl /RL /DCT /CCF]>>", {2, 3, 4, 6, 7, 8}},
        {"LZW has no short form", "<</Filter/LZW>>", {}},
        {"case matters", "<</Filter[/flatedecode /FLATEDECODE /fl]>>", {}},
        {"a prefix is not the name", "<</Filter[/FlateDecodeX /Flate /DCTDecod]>>", {}},
        {"unrecognised name between two", "<</Filter[/FlateDecode /JBIG2Decode /DCTDecode]>>", {4, 7}},
        {"crypt and JPX names add nothing", "<</Filter[/Crypt/JPXDecode/RL]>>", {6}},
        {"a name runs over punctuation up to 'z'", "<</Filter[/Fl;/DCT /Fl_x/DCT /Fl:DCT]>>", {7, 7}},
        {"a name stops at bytes below '0'", "<</Filter[/Fl-/DCT /A85.]>>", {4, 7, 2}},
        {"nine names: the ninth is dropped", "<</Filter[/Fl/Fl/Fl/Fl/Fl/Fl/Fl/Fl/AHx]>>", {4, 4, 4, 4, 4, 4, 4, 4}},
        {"a reference is not followed", "<</Filter 7 0 R/Length 9>>", {}},
        {"XML metadata overrides the filters", "<</Type/Metadata/Subtype/XML/Filter[/AHx/FlateDecode]>>", {1}},
        {"XML metadata without filters", "<</Subtype /XML/Length 9>>", {1}},
        {"XML must be in the subtype", "<</Subtype/Image/Filter/Fl/Name/XML>>", {4}},
    };
    for (const ListCase& c : cases) {
        uint32_t codes[MaxFilterCodes] = {};
        uint32_t count = 99;
        ParseFilterList(c.dictionary, codes, count);
        Codes expected = c.codes;
        EXPECT_EQ(count, expected.size()) << c.label;
        expected.resize(MaxFilterCodes, 0);  // unused slots hold 0
        EXPECT_EQ(Codes(codes, codes + MaxFilterCodes), expected) << c.label;
    }
}

// ---------------------------------------------------------------------------

struct Decoded {
    uint32_t result = 0;
    Bytes bytes;
    std::string extension;
    bool stillView = false;  // the data is the raw bytes themselves, uncopied
};

Decoded Decode(const char* dictionary, const Bytes& raw) {
    DecodedStream decoded{};
    Decoded d;
    d.result = DecodeStream(raw.data(), raw.data() + raw.size(), dictionary, decoded);
    ByteBufferGuard guard(decoded.data);
    if (d.result != ResultOk) {
        EXPECT_EQ(decoded.extension, nullptr) << dictionary;
        EXPECT_EQ(decoded.data.begin, nullptr) << dictionary;
        return d;
    }
    EXPECT_EQ(decoded.data.cursor, decoded.data.begin) << dictionary;
    d.bytes.assign(decoded.data.begin, decoded.data.end);
    d.extension = Narrow(decoded.extension);
    d.stillView = !decoded.data.ownsMemory && decoded.data.begin == raw.data();
    if (decoded.data.ownsMemory) {
        // The block ends at the decoded bytes: the decoders' growth room went back to the heap.
        const SIZE_T blockSize = HeapSize(GetProcessHeap(), 0, decoded.data.begin);
        EXPECT_LT(blockSize - decoded.data.Size(), 64u) << dictionary << ": block of " << blockSize;
    }
    return d;
}

struct TypingCase {
    const char* label;
    Bytes bytes;
    const char* extension;
};

TEST(DecodeStream, ExtensionFromContent) {
    const TypingCase cases[] = {
        {"little-endian TIFF", {0x49, 0x49, 0x2A, 0x00}, ".tif"},
        {"big-endian TIFF is not recognised", {0x4D, 0x4D, 0x00, 0x2A}, ".dat"},
        {"TIFF mark cut short", {0x49, 0x49, 0x2A}, ".dat"},
        {"PBM", B("P4\n1 1\n\x80"), ".pbm"},
        {"PBM mark alone", B("P4\n"), ".pbm"},
        {"P4 then a space", B("P4 1 1\n"), ".dat"},
        {"JPEG", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10}, ".jpg"},
        {"JPEG mark cut short", {0xFF, 0xD8}, ".dat"},
        {"PDF", B("%PDF-1.7\n"), ".pdf"},
        {"PDF mark alone", B("%PDF-1."), ".pdf"},
        {"PDF mark cut short", B("%PDF-1"), ".dat"},
        {"text", B("BT /F1 12 Tf ET"), ".dat"},
        {"empty", {}, ".dat"},
    };
    for (const TypingCase& c : cases) {
        const Decoded d = Decode("<</Length 9>>", c.bytes);
        EXPECT_EQ(d.result, ResultOk) << c.label;
        EXPECT_EQ(d.extension, c.extension) << c.label;
        EXPECT_EQ(d.bytes, c.bytes) << c.label;
        EXPECT_TRUE(d.stillView || c.bytes.empty()) << c.label << ": no step may copy the raw bytes";
    }
}

struct ChainCase {
    const char* label;
    std::string dictionary;
    Bytes raw;
    Bytes expected;
    const char* extension;
    bool stillView;
};

TEST(DecodeStream, RunsTheStepsInOrder) {
    const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00, 0x08};
    const Bytes text = B("q 1 0 0 1 72 720 cm BT /F1 12 Tf (Hello) Tj ET Q\n");
    const Bytes tiff = B(std::string("II*\0\x08\0\0\0", 8) + "rest");
    const Bytes xml = B("<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta/>");
    const Bytes scrambled = Scrambled(2000);

    const ChainCase cases[] = {
        {"DCT alone passes JPEG through", "<</Filter/DCTDecode>>", jpeg, jpeg, ".jpg", true},
        {"Flate", "<</Filter/FlateDecode>>", Deflate(text), text, ".dat", false},
        {"Flate then DCT", "<</Filter[/FlateDecode /DCTDecode]>>", Deflate(jpeg), jpeg, ".jpg", false},
        {"Flate result typed by content", "<</Filter/Fl>>", Deflate(tiff), tiff, ".tif", false},
        {"ASCIIHex then Flate", "<</Filter[/ASCIIHexDecode /FlateDecode]>>", B(Hex(Deflate(text))), text, ".dat", false},
        // ASCII85 text from Python's base64.a85encode, with the PDF end mark.
        {"ASCII85", "<</Filter/A85>>", B("87cURD_*\"s;aX,J3&Mh&DfTZ)+T~>"), B("Hello, ASCII85 world!"), ".dat", false},
        {"ASCII85 with a zero group", "<</Filter/ASCII85Decode>>", B("zFCAm\"~>"), B(std::string("\0\0\0\0tail", 8)),
         ".dat", false},
        {"RunLength literal and repeat", "<</Filter/RunLengthDecode>>", {2, 'P', '4', '\n', 253, 'z', 128},
         B("P4\nzzzz"), ".pbm", false},
        // 3 bytes of input give 128 of output, beyond the first reservation.
        {"RunLength grows past twice its input", "<</Filter/RL>>", {129, 'b', 128}, Bytes(128, 'b'), ".dat", false},
        {"RunLength of nothing", "<</Filter/RL>>", {}, {}, ".dat", false},
        {"LZW with early change by default", "<</Filter/LZWDecode>>", LzwEncode(scrambled, 1), scrambled, ".dat", false},
        {"LZW with early change 0", "<</Filter/LZWDecode/DecodeParms<</EarlyChange 0>>>>", LzwEncode(scrambled, 0),
         scrambled, ".dat", false},
        {"Flate then LZW", "<</Filter[/Fl/LZWDecode]>>", Deflate(LzwEncode(text, 1)), text, ".dat", false},
        {"XML keeps its stored bytes", "<</Type/Metadata/Subtype/XML/Filter/FlateDecode>>", Deflate(xml),
         Deflate(xml), ".xml", true},
        {"unrecognised filter leaves the bytes", "<</Filter/JBIG2Decode>>", jpeg, jpeg, ".jpg", true},
    };
    for (const ChainCase& c : cases) {
        const Decoded d = Decode(c.dictionary.c_str(), c.raw);
        EXPECT_EQ(d.result, ResultOk) << c.label;
        EXPECT_EQ(d.bytes, c.expected) << c.label;
        EXPECT_EQ(d.extension, c.extension) << c.label;
        EXPECT_EQ(d.stillView, c.stillView) << c.label;
    }
}

TEST(DecodeStream, FaxStepEndsTheChain) {
    const Bytes fax = {0x26, 0xA0, 0x00, 0x10, 0x01, 0x00, 0x10, 0x01};
    // FlateDecode after it would fail on these bytes; it must not run.
    const Decoded d = Decode("<</Filter[/CCITTFaxDecode /FlateDecode]/DecodeParms[<</K -1/Columns 40>> null]>>", fax);
    EXPECT_EQ(d.result, ResultOk);
    EXPECT_EQ(d.extension, ".tif");
    ASSERT_EQ(d.bytes.size(), FaxTiffHeaderSize + fax.size());
    EXPECT_EQ(Bytes(d.bytes.begin() + FaxTiffHeaderSize, d.bytes.end()), fax);

    // An image mask has no header and is typed by its content.
    const Decoded mask = Decode("<</ImageMask true/Filter/CCF>>", fax);
    EXPECT_EQ(mask.result, ResultOk);
    EXPECT_EQ(mask.bytes, fax);
    EXPECT_EQ(mask.extension, ".dat");
}

struct FailureCase {
    const char* label;
    std::string dictionary;
    Bytes raw;
    uint32_t result;
};

TEST(DecodeStream, FailedStepStopsTheChain) {
    Bytes badChecksum = Deflate(B("some text that is long enough"));
    badChecksum.back() ^= 0xFF;
    const FailureCase cases[] = {
        {"corrupt Flate", "<</Filter/FlateDecode>>", {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF}, ResultFlateCorrupt},
        {"Flate checksum mismatch", "<</Filter/Fl>>", badChecksum, ResultFlateCorrupt},
        {"empty Flate", "<</Filter/Fl>>", {}, ResultFlateCorrupt},
        {"ASCIIHex gives corrupt Flate", "<</Filter[/AHx /Fl]>>", B("78ffff>"), ResultFlateCorrupt},
        {"Flate fails before DCT", "<</Filter[/Fl /DCT]>>", {0xFF, 0xD8, 0xFF, 0xE0}, ResultFlateCorrupt},
        {"RunLength repeat without its byte", "<</Filter/RL>>", {0, 'a', 200}, ResultInvalidData},
        {"LZW code above the table", "<</Filter/LZWDecode>>", {0x80, 0x18, 0x65, 0x90, 0x10}, ResultInvalidData},
    };
    for (const FailureCase& c : cases) {
        EXPECT_EQ(Decode(c.dictionary.c_str(), c.raw).result, c.result) << c.label;
    }
}

TEST(DecodeStream, OutOfMemoryExceptionReleasesTheStepInput) {
    if (!allocationFailureAvailable) GTEST_SKIP() << "allocations cannot be made to fail in this build";
    // The Flate output is an owned block when the LZW step starts; it must be
    // freed while the exception passes (the leak checker of the sanitizer
    // build reports it otherwise).
    const Bytes text = B("abcabcabcabcabcabc");
    const Bytes raw = Deflate(LzwEncode(text, 1));
    DecodedStream decoded{};
    FailArrayAllocations(true);
    EXPECT_THROW(DecodeStream(raw.data(), raw.data() + raw.size(), "<</Filter[/FlateDecode /LZWDecode]>>", decoded),
                 std::bad_alloc);
    FailArrayAllocations(false);
    EXPECT_EQ(decoded.extension, nullptr);
    EXPECT_EQ(decoded.data.begin, nullptr);
}

}  // namespace
