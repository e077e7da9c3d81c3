#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "decode/ccitt_fax.h"
#include "tests/unit/stage_harness.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

// The fields a fax header carries; t4Options 0 means the tag is absent.
struct TiffFields {
    uint32_t width;
    uint32_t length;
    uint32_t compression;
    uint32_t photometric;
    uint32_t t4Options;
};

// Writes a TIFF header the way the TIFF format lays it out, independently of
// the code under test: "II", 42, IFD at 8, entries in tag order, next IFD 0.
Bytes ExpectedHeader(const TiffFields& f, uint32_t dataLength) {
    struct Entry {
        uint16_t tag, type;
        uint32_t value;
    };
    const uint32_t entryCount = f.t4Options != 0 ? 9 : 8;
    const uint32_t headerSize = 8 + 2 + 12 * entryCount + 4;
    std::vector<Entry> entries = {
        {256, 4, f.width},  {257, 4, f.length},     {258, 3, 1},   {259, 3, f.compression},
        {262, 3, f.photometric}, {273, 4, headerSize}, {278, 4, f.length}, {279, 4, dataLength},
    };
    if (f.t4Options != 0) entries.push_back({292, 4, f.t4Options});
    Bytes out = {'I', 'I', 42, 0, 8, 0, 0, 0, static_cast<uint8_t>(entryCount), 0};
    auto put = [&out](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    for (const Entry& e : entries) {
        put(e.tag, 2);
        put(e.type, 2);
        put(1, 4);
        put(e.value, 4);
    }
    put(0, 4);
    return out;
}

// The stage over `input`, started for one pass.
StageRun RunFaxPass(const FaxParameters& parameters, FaxPass pass, const FaxFigures& known, const std::string& input,
                    const StageWindows& windows, FaxFigures& found) {
    auto stage = std::make_unique<FaxStage>();
    StartFax(*stage, parameters, pass, known);
    StageRun run = RunStage(*stage, RunFax, input, windows);
    if (pass == FaxPass::Survey) found = SurveyedFigures(*stage);
    return run;
}

// The stage as the chain runs it: a survey, then the writing with its
// figures. Every table window, and the input one byte at a time when short,
// must give the same figures and the same bytes; answers the bytes.
Bytes Wrap(const char* dictionary, const Bytes& data) {
    const FaxParameters parameters = ReadFaxParameters(dictionary);
    const std::string input(data.begin(), data.end());
    FaxFigures figures;
    const StageRun survey = RunFaxPass(parameters, FaxPass::Survey, {}, input, StageWindows{}, figures);
    EXPECT_EQ(survey.status, Status::End) << dictionary;
    EXPECT_EQ(survey.bytes, "") << dictionary << ": a survey writes nothing";
    FaxFigures unused;
    const StageRun written = RunFaxPass(parameters, FaxPass::Emit, figures, input, StageWindows{}, unused);
    EXPECT_EQ(written.status, Status::End) << dictionary;
    EXPECT_EQ(written.bytes.size(), FaxHeaderSize(parameters) + figures.dataLength) << dictionary;
    for (size_t window : TableWindows) {
        for (bool byteByByte : {false, true}) {
            if (byteByByte && input.size() > ByteByByteLimit) continue;
            const StageWindows windows{window, byteByByte ? EveryByte(input.size()) : std::vector<size_t>{}};
            FaxFigures found;
            const StageRun again = RunFaxPass(parameters, FaxPass::Survey, {}, input, windows, found);
            EXPECT_EQ(again.status, Status::End) << dictionary << ", window " << window;
            EXPECT_EQ(found.rewriteRows, figures.rewriteRows) << dictionary << ", window " << window;
            EXPECT_EQ(found.dataLength, figures.dataLength) << dictionary << ", window " << window;
            const StageRun rewritten = RunFaxPass(parameters, FaxPass::Emit, figures, input, windows, found);
            EXPECT_EQ(rewritten.status, Status::End) << dictionary << ", window " << window;
            EXPECT_TRUE(rewritten.bytes == written.bytes) << dictionary << ", window " << window;
        }
    }
    return Bytes(written.bytes.begin(), written.bytes.end());
}

TEST(FaxStage, DefaultHeaderByteForByte) {
    // The 110-byte header of a fax stream without parameters, written out:
    // width 1728, length 0, one bit, T.4, white is zero, data at 110, 3 bytes.
    const Bytes expected = {
        0x49, 0x49, 0x2A, 0x00, 0x08, 0x00, 0x00, 0x00, 0x08, 0x00,
        0x00, 0x01, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0xC0, 0x06, 0x00, 0x00,
        0x01, 0x01, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x02, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
        0x03, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
        0x06, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x11, 0x01, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x6E, 0x00, 0x00, 0x00,
        0x16, 0x01, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x17, 0x01, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00,
        0xAA, 0xBB, 0xCC,
    };
    EXPECT_EQ(Wrap("<</Filter/CCITTFaxDecode>>", {0xAA, 0xBB, 0xCC}), expected);
}

struct HeaderCase {
    const char* label;
    const char* dictionary;
    uint32_t dataLength;
    TiffFields fields;
};

TEST(FaxStage, HeaderFieldsFromParameters) {
    const HeaderCase cases[] = {
        {"Group 4", "<</DecodeParms<</K -1/Columns 2480/Rows 3508>>>>", 7, {2480, 3508, 4, 0, 0}},
        {"Group 3 one-dimensional", "<</DecodeParms<</K 0/Columns 40/Rows 20>>>>", 7, {40, 20, 3, 0, 0}},
        {"Group 3 two-dimensional needs T4Options", "<</DecodeParms<</K 4/Columns 40/Rows 20>>>>", 7, {40, 20, 3, 0, 1}},
        {"Group 3 byte-aligned needs T4Options", "<</DecodeParms<</K 0/EncodedByteAlign true>>>>", 7, {1728, 0, 3, 0, 4}},
        {"Group 3 2-D and byte-aligned", "<</DecodeParms<</K 2/EncodedByteAlign 1>>>>", 7, {1728, 0, 3, 0, 5}},
        {"Group 4 byte-aligned has no TIFF form", "<</DecodeParms<</K -1/EncodedByteAlign true>>>>", 7, {1728, 0, 4, 0, 0}},
        {"byte alignment false", "<</DecodeParms<</K 0/EncodedByteAlign false>>>>", 7, {1728, 0, 3, 0, 0}},
        {"BlackIs1 true", "<</DecodeParms<</K -1/BlackIs1 true>>>>", 7, {1728, 0, 4, 1, 0}},
        {"BlackIs1 false", "<</DecodeParms<</BlackIs1 false>>>>", 7, {1728, 0, 3, 0, 0}},
        {"BlackIs1 as an integer", "<</DecodeParms<</BlackIs1 1>>>>", 7, {1728, 0, 3, 1, 0}},
        {"height taken when rows are absent",
         "<</Type/XObject/Subtype/Image/Width 40/Height 20/DecodeParms<</K -1/Columns 40>>>>", 7, {40, 20, 4, 0, 0}},
        {"rows win over height", "<</Height 20/DecodeParms<</Rows 0>>>>", 7, {1728, 0, 3, 0, 0}},
        {"rows as a reference give their first number", "<</Height 20/DecodeParms<</Rows 12 0 R>>>>", 7, {1728, 12, 3, 0, 0}},
        {"negative columns in two's complement", "<</DecodeParms<</Columns -1>>>>", 7, {0xFFFFFFFFu, 0, 3, 0, 0}},
        {"/K as a boolean is unreadable", "<</DecodeParms<</K true>>>>", 7, {1728, 0, 3, 0, 0}},
        {"empty data: header alone", "<</DecodeParms<</K -1>>>>", 0, {1728, 0, 4, 0, 0}},
    };
    for (const HeaderCase& c : cases) {
        Bytes data(c.dataLength);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0xF0 + i);
        Bytes expected = ExpectedHeader(c.fields, c.dataLength);
        expected.insert(expected.end(), data.begin(), data.end());
        EXPECT_EQ(Wrap(c.dictionary, data), expected) << c.label;
    }
}

// Bytes from a written-out bit string, most significant bit first, zero bits
// up to the next byte; spaces only separate the codes.
Bytes Bits(const char* text) {
    Bytes out;
    int count = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == ' ') continue;
        if (count % 8 == 0) out.push_back(0);
        if (*c == '1') out.back() |= static_cast<uint8_t>(0x80 >> (count % 8));
        ++count;
    }
    return out;
}

struct RowsCase {
    const char* label;
    const char* dictionary;
    const char* input;     // bits of the fax data
    const char* expected;  // bits of the data behind the header; null: the input as stored
    TiffFields fields;
};

// The codes of the rows below, from the tables of ITU-T T.4:
//   000000000001      end of line
//   1000 11 1000      an 8-pixel row: white 3, black 2, white 3
//   00000001000       white or black make-up 1792; 010111 white make-up 192; 101010 white 16
//   0111 11           white 2 and black 2, the shortest codes; 0111 010 white 2 and black 1
//   00110101 0000001001010 0000110111   white 0, black make-up 640, black 0
//   101010 0000101    white 16 and black 11: a pair of 13 bits
// Rows longer than 64 bits and fill bits over more than 64 bits are read and
// written across several words.
TEST(FaxStage, OneDimensionalRowsGetEndOfLineCodes) {
    const RowsCase cases[] = {
        {"one row, the fill after it kept", "<</DecodeParms<</K 0/Columns 8/Rows 1>>>>",
         "1000111000 000000",
         "000000000001 1000111000 000000", {8, 1, 3, 0, 0}},
        {"rows from the height, /K absent", "<</Height 2/DecodeParms<</Columns 8>>>>",
         "1000111000 1000111000 0000",
         "000000000001 1000111000 000000000001 1000111000 0000", {8, 2, 3, 0, 0}},
        {"no row count: rows up to the end of the data", "<</DecodeParms<</K 0/Columns 8>>>>",
         "1000111000 1000111000 0000",
         "000000000001 1000111000 000000000001 1000111000 0000", {8, 0, 3, 0, 0}},
        {"rows past the count stay as they are", "<</DecodeParms<</K 0/Columns 8/Rows 1>>>>",
         "1000111000 1000111000 0000",
         "000000000001 1000111000 1000111000 0000", {8, 1, 3, 0, 0}},
        {"the end of the page ends the rows", "<</DecodeParms<</K 0/Columns 8>>>>",
         "1000111000 000000000001 000000000001 11111111 00",
         "000000000001 1000111000 000000000001 000000000001 11111111 000000", {8, 0, 3, 0, 0}},
        {"rows that have end-of-line codes only in places", "<</DecodeParms<</K 0/Columns 8/Rows 2>>>>",
         "000000000001 1000111000 1000111000 00",
         "000000000001 1000111000 000000000001 1000111000 00000000", {8, 2, 3, 0, 0}},
        {"fill bits across whole bytes before an end-of-line code", "<</DecodeParms<</K 0/Columns 8/Rows 2>>>>",
         "1000111000 000000 00000000 00000000 0000000 1 1000111000 00000",
         "000000000001 1000111000 000000000001 1000111000 00000", {8, 2, 3, 0, 0}},
        {"byte-aligned rows: end-of-line codes end on a byte boundary",
         "<</DecodeParms<</K 0/Columns 8/Rows 2/EncodedByteAlign true>>>>",
         "1000111000 000000 1000111000 000000",
         "0000 000000000001 1000111000 00 000000000001 1000111000 000000", {8, 2, 3, 0, 4}},
        {"byte-aligned rows ending the page: the skipped bits are written back as they stood",
         "<</DecodeParms<</K 0/Columns 8/EncodedByteAlign true>>>>",
         "1000111000 110000 000000000001 1010 000000000001 11111111",
         "0000 000000000001 1000111000 110000 000000000001 1010 000000000001 11111111 0000", {8, 0, 3, 0, 4}},
        {"a long white row: extended make-up, make-up, terminating", "<</DecodeParms<</K 0/Columns 2000/Rows 1>>>>",
         "00000001000 010111 101010 0",
         "000000000001 00000001000 010111 101010 0", {2000, 1, 3, 0, 0}},
        {"BlackIs1 and the rewrite together", "<</DecodeParms<</K 0/Columns 8/Rows 1/BlackIs1 true>>>>",
         "1000111000 000000",
         "000000000001 1000111000 000000", {8, 1, 3, 1, 0}},
        {"rows of 96 bits in pairs of the shortest codes, the last ending with the data",
         "<</DecodeParms<</K 0/Columns 64/Rows 2>>>>",
         "011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111"
         "011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111",
         "000000000001"
         "011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111"
         "000000000001"
         "011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111 011111",
         {64, 2, 3, 0, 0}},
        {"pairs of 13 bits, the fifth read where the first word ends", "<</DecodeParms<</K 0/Columns 162/Rows 1>>>>",
         "1010100000101 1010100000101 1010100000101 1010100000101 1010100000101 1010100000101 00",
         "000000000001 1010100000101 1010100000101 1010100000101 1010100000101 1010100000101 1010100000101 00",
         {162, 1, 3, 0, 0}},
        {"a row of long black make-up codes across words", "<</DecodeParms<</K 0/Columns 2560/Rows 1>>>>",
         "00110101 0000001001010 0000110111 00110101 0000001001010 0000110111 "
         "00110101 0000001001010 0000110111 00110101 0000001001010 0000110111 0000",
         "000000000001 00110101 0000001001010 0000110111 00110101 0000001001010 0000110111 "
         "00110101 0000001001010 0000110111 00110101 0000001001010 0000110111 0000",
         {2560, 1, 3, 0, 0}},
        {"fill bits over more than a word before an end-of-line code", "<</DecodeParms<</K 0/Columns 8/Rows 2>>>>",
         "1000111000 000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 "
         "0000000 1 1000111000 00000",
         "000000000001 1000111000 000000000001 1000111000 00000", {8, 2, 3, 0, 0}},
        {"fill bits over more than a word to the end of the data", "<</DecodeParms<</K 0/Columns 8>>>>",
         "1000111000 000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 "
         "00000000 00000000 00000000",
         "000000000001 1000111000 000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 "
         "00000000 00000000 00000000 00000000",
         {8, 0, 3, 0, 0}},
        // Kept as stored:
        {"every row has its end-of-line code already", "<</DecodeParms<</K 0/Columns 8/Rows 2>>>>",
         "000000000001 1000111000 000000000001 1000111000 00", nullptr, {8, 2, 3, 0, 0}},
        {"an invalid code", "<</DecodeParms<</K 0/Columns 8>>>>", "1000111000 000000001 00000", nullptr,
         {8, 0, 3, 0, 0}},
        {"runs past the width", "<</DecodeParms<</K 0/Columns 4>>>>", "1000111000 000000", nullptr,
         {4, 0, 3, 0, 0}},
        {"runs short of the width", "<</DecodeParms<</K 0/Columns 9/Rows 1>>>>", "1000111000 000000", nullptr,
         {9, 1, 3, 0, 0}},
        {"a row cut short at the end of the data", "<</DecodeParms<</K 0/Columns 8>>>>", "1000 11 10", nullptr,
         {8, 0, 3, 0, 0}},
        {"a row of 96 bits cut inside its last code, which zeros would complete",
         "<</DecodeParms<</K 0/Columns 44>>>>",
         "0111010 0111010 0111010 0111010 0111010 0111010 0111010 0111010 0111010 0111010 0111010 0111010 0111010 "
         "0111 1",
         nullptr, {44, 0, 3, 0, 0}},
        {"only fill bits", "<</DecodeParms<</K 0/Columns 8>>>>", "00000000 00000000", nullptr, {8, 0, 3, 0, 0}},
        {"no columns", "<</DecodeParms<</K 0/Columns 0>>>>", "1000111000 000000", nullptr, {0, 0, 3, 0, 0}},
        {"two-dimensional data is not read", "<</DecodeParms<</K 1/Columns 8/Rows 1>>>>", "1000111000 000000",
         nullptr, {8, 1, 3, 0, 1}},
        {"Group 4 data is not read", "<</DecodeParms<</K -1/Columns 8/Rows 1>>>>", "1000111000 000000", nullptr,
         {8, 1, 4, 0, 0}},
    };
    for (const RowsCase& c : cases) {
        const Bytes input = Bits(c.input);
        const Bytes data = c.expected != nullptr ? Bits(c.expected) : input;
        Bytes expected = ExpectedHeader(c.fields, static_cast<uint32_t>(data.size()));
        expected.insert(expected.end(), data.begin(), data.end());
        EXPECT_EQ(Wrap(c.dictionary, input), expected) << c.label;
    }
}

TEST(FaxStage, ImageMaskIsPassedThroughWithoutHeader) {
    const Bytes data = {0x26, 0xA0, 0x00, 0x10, 0x01};
    EXPECT_EQ(Wrap("<</ImageMask true/DecodeParms<</K -1/Columns 40>>>>", data), data);
    EXPECT_EQ(Wrap("<</ImageMask 1/DecodeParms<</K 2>>>>", data), data);
    // One-dimensional rows of a mask keep their form too.
    const Bytes row = Bits("1000111000 000000");
    EXPECT_EQ(Wrap("<</ImageMask true/DecodeParms<</K 0/Columns 8/Rows 1>>>>", row), row);
    EXPECT_EQ(Wrap("<</ImageMask true>>", {}), Bytes{});
    // false keeps the header
    EXPECT_EQ(Wrap("<</ImageMask false>>", data).size(), FaxTiffHeaderSize + data.size());
}

// A writing given other figures than its data has fails, instead of giving
// a file whose header lies about its length.
TEST(FaxStage, FiguresThatDoNotFitTheDataAreInvalid) {
    const FaxParameters rows = ReadFaxParameters("<</DecodeParms<</K 0/Columns 8>>>>");
    const std::string row(reinterpret_cast<const char*>(Bits("1000111000 000000").data()), 2);
    const std::string stored(reinterpret_cast<const char*>(Bits("000000000001 1000111000 00").data()), 3);
    FaxFigures unused;
    struct Case {
        const char* label;
        const std::string& input;
        FaxFigures figures;
    } cases[] = {
        {"stored data one byte longer than listed", stored, FaxFigures{false, false, 2}},
        {"stored data one byte shorter than listed", stored, FaxFigures{false, false, 4}},
        {"headerless data one byte longer than listed", stored, FaxFigures{false, true, 2}},
        {"rows to rewrite that are not rows", stored, FaxFigures{true, false, 5}},
        {"rewritten rows of another length", row, FaxFigures{true, false, 9}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunFaxPass(rows, FaxPass::Emit, c.figures, c.input, StageWindows{}, unused).status, Status::InvalidData)
            << c.label;
    }
}

// Rows made long by pairs of zero-length runs (white 0, black 0): rows of 10
// bits to 90 kB, rewritten whole whatever pieces the input comes in.
TEST(FaxStage, LongRowsAcrossInputWindows) {
    const char* const pair = "00110101 0000110111";
    std::string input, rewritten;
    for (size_t pairs : {size_t{0}, size_t{1}, size_t{5000}, size_t{40000}}) {
        std::string row;
        for (size_t i = 0; i < pairs; ++i) row += pair;
        row += "1000 11 1000";
        input += row;
        rewritten += "000000000001" + row;
    }
    // After the four rows: fill bits to the end of the data.
    input += "0000";
    rewritten += "0000";
    const Bytes data = Bits(rewritten.c_str());
    Bytes expected = ExpectedHeader({8, 4, 3, 0, 0}, static_cast<uint32_t>(data.size()));
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(Wrap("<</DecodeParms<</K 0/Columns 8/Rows 4>>>>", Bits(input.c_str())), expected);
}

// Bits appended most significant first; whole bytes go in at once, so that
// data of many mebibytes is quick to build.
class BitString {
public:
    void Append(const char* bits) {
        for (const char* c = bits; *c != '\0'; ++c) {
            if (*c != ' ') AppendBit(*c == '1');
        }
    }
    void AppendZeros(uint64_t count) {
        for (; count != 0 && bitCount_ % 8 != 0; --count) AppendBit(false);
        bytes_.resize(bytes_.size() + count / 8, 0);
        bitCount_ += count / 8 * 8;
        for (count %= 8; count != 0; --count) AppendBit(false);
    }
    // `pattern`'s bytes `times` over, each byte's bits in turn.
    void AppendRepeated(const Bytes& pattern, uint64_t times) {
        bytes_.reserve(bytes_.size() + pattern.size() * times + 1);
        for (uint64_t i = 0; i < times; ++i) {
            for (uint8_t byte : pattern) AppendByte(byte);
        }
    }
    const Bytes& Padded() const { return bytes_; }
    // The zero bits that fill the last byte.
    uint64_t PaddingBits() const { return (8 - bitCount_ % 8) % 8; }

private:
    void AppendBit(bool one) {
        if (bitCount_ % 8 == 0) bytes_.push_back(0);
        if (one) bytes_.back() |= static_cast<uint8_t>(0x80 >> (bitCount_ % 8));
        ++bitCount_;
    }
    void AppendByte(uint8_t byte) {
        const uint32_t shift = bitCount_ % 8;
        if (shift == 0) {
            bytes_.push_back(byte);
        } else {
            bytes_.back() |= static_cast<uint8_t>(byte >> shift);
            bytes_.push_back(static_cast<uint8_t>(byte << (8 - shift)));
        }
        bitCount_ += 8;
    }
    Bytes bytes_;
    uint64_t bitCount_ = 0;
};

// Survey and writing over `input` in one large window and in odd windows
// with the input cut in pieces: every run must give `expected` behind the
// header, with the figures telling whether the rows were rewritten.
void ExpectLongData(const char* label, const char* dictionary, const Bytes& input, bool rewritten,
                    const Bytes& expectedData) {
    const FaxParameters parameters = ReadFaxParameters(dictionary);
    const std::string data(input.begin(), input.end());
    const StageWindows pieces{4093, {data.size() / 3, data.size() / 3 + 1, data.size() / 2}};
    for (const StageWindows& windows : {StageWindows{}, pieces}) {
        FaxFigures figures;
        const StageRun survey = RunFaxPass(parameters, FaxPass::Survey, {}, data, windows, figures);
        EXPECT_EQ(survey.status, Status::End) << label;
        EXPECT_EQ(figures.rewriteRows, rewritten) << label;
        EXPECT_EQ(figures.dataLength, expectedData.size()) << label;
        FaxFigures unused;
        const StageRun written = RunFaxPass(parameters, FaxPass::Emit, figures, data, windows, unused);
        EXPECT_EQ(written.status, Status::End) << label;
        ASSERT_EQ(written.bytes.size(), FaxHeaderSize(parameters) + expectedData.size()) << label;
        EXPECT_EQ(std::memcmp(expectedData.data(), written.bytes.data() + FaxHeaderSize(parameters), expectedData.size()),
                  0)
            << label;
    }
}

// Rows and fill longer than any block the stage reads through: a row of
// 17 MiB (pairs of zero-length runs, white 0 and black 0, make rows of any
// length), fill of 1 MiB before an end-of-line code, before the end of the
// page and up to the end of the data. The rows are rewritten and what
// follows the last row written back as it stood, bit for bit, the input's
// last byte's padding included.
TEST(FaxStage, LongRowsAndFillAreReadAsTheyCome) {
    const char* const eol = "000000000001";
    const char* const row = "1000 11 1000";
    // Four pairs of 18 bits are 9 bytes.
    BitString pairs;
    for (int i = 0; i < 4; ++i) pairs.Append("00110101 0000110111");
    const uint64_t longRowPatterns = (uint64_t{17} << 20) / 9;
    // Fill of 1 MiB passes the blocks many times over, as 17 would.
    const uint64_t longFill = uint64_t{1} << 23;

    BitString longRowIn, longRowOut;
    longRowIn.AppendRepeated(pairs.Padded(), longRowPatterns);
    longRowIn.Append(row);
    longRowIn.Append("1000111000 0000");
    longRowOut.Append(eol);
    longRowOut.AppendRepeated(pairs.Padded(), longRowPatterns);
    longRowOut.Append(row);
    longRowOut.Append(eol);
    longRowOut.Append("1000111000 0000");
    longRowOut.AppendZeros(longRowIn.PaddingBits());
    ExpectLongData("a row of 17 MiB", "<</DecodeParms<</K 0/Columns 8/Rows 2>>>>", longRowIn.Padded(), true,
                   longRowOut.Padded());

    BitString fillIn, fillOut;
    fillIn.Append(row);
    fillIn.AppendZeros(longFill);
    fillIn.Append("1");
    fillIn.Append(row);
    fillIn.Append("0000");
    fillOut.Append(eol);
    fillOut.Append(row);
    fillOut.Append(eol);
    fillOut.Append(row);
    fillOut.Append("0000");
    fillOut.AppendZeros(fillIn.PaddingBits());
    ExpectLongData("fill of 1 MiB before an end-of-line code", "<</DecodeParms<</K 0/Columns 8>>>>", fillIn.Padded(),
                   true, fillOut.Padded());

    BitString pageIn, pageOut;
    for (BitString* bits : {&pageIn, &pageOut}) {
        if (bits == &pageOut) bits->Append(eol);
        bits->Append(row);
        bits->AppendZeros(longFill);
        bits->Append("1");
        bits->AppendZeros(longFill + 3);
        bits->Append("1 11111111");
    }
    pageOut.AppendZeros(pageIn.PaddingBits());
    ExpectLongData("fill of 1 MiB in both end-of-line codes of the end of the page",
                   "<</DecodeParms<</K 0/Columns 8>>>>", pageIn.Padded(), true, pageOut.Padded());

    BitString endIn, endOut;
    for (BitString* bits : {&endIn, &endOut}) {
        if (bits == &endOut) bits->Append(eol);
        bits->Append(row);
        bits->AppendZeros(longFill);
    }
    endOut.AppendZeros(endIn.PaddingBits());
    ExpectLongData("fill of 1 MiB to the end of the data", "<</DecodeParms<</K 0/Columns 8>>>>", endIn.Padded(), true,
                   endOut.Padded());

    BitString cutIn;
    cutIn.Append(row);
    cutIn.AppendRepeated(pairs.Padded(), longFill / 72);
    cutIn.Append("1000 11");
    ExpectLongData("a row of 1 MiB cut short by the end of the data", "<</DecodeParms<</K 0/Columns 8>>>>",
                   cutIn.Padded(), false, cutIn.Padded());
}

// A TIFF's offsets and byte counts have 32 bits: data whose file would pass
// 4 GiB comes out as stored, without a header, whatever its rows.
TEST(FaxStage, DataWhoseTiffPassesFourGiBComesOutAsStored) {
    const FaxParameters plain = ReadFaxParameters("<</DecodeParms<</K -1>>>>");            // 110-byte header
    const FaxParameters options = ReadFaxParameters("<</DecodeParms<</K 0/EncodedByteAlign true>>>>");  // 122
    const uint64_t most = uint64_t{1} << 32;
    struct Case {
        const char* label;
        const FaxParameters& parameters;
        bool rewritable;
        uint64_t rewritten;
        uint64_t stored;
        FaxFigures expected;
    } cases[] = {
        {"a file of 4 GiB exactly", plain, false, 0, most - 110, {false, false, most - 110}},
        {"one byte more", plain, false, 0, most - 109, {false, true, most - 109}},
        {"the larger header moves the edge", options, false, 0, most - 122, {false, false, most - 122}},
        {"one byte more with the larger header", options, false, 0, most - 121, {false, true, most - 121}},
        {"rewritten rows up to the edge", options, true, most - 122, most - 200, {true, false, most - 122}},
        {"rewritten rows past it: the stored data alone", options, true, most - 121, most - 200,
         {false, true, most - 200}},
        {"stored data past 4 GiB on its own", plain, false, 0, most + 10, {false, true, most + 10}},
    };
    for (const Case& c : cases) {
        const FaxFigures found = ChooseFaxFigures(c.parameters, c.rewritable, c.rewritten, c.stored);
        EXPECT_EQ(found.rewriteRows, c.expected.rewriteRows) << c.label;
        EXPECT_EQ(found.headerless, c.expected.headerless) << c.label;
        EXPECT_EQ(found.dataLength, c.expected.dataLength) << c.label;
        EXPECT_EQ(FaxOutputSize(c.parameters, found), (found.headerless ? 0 : FaxHeaderSize(c.parameters)) + found.dataLength)
            << c.label;
    }

    // A survey that counts stored data reads none of it: 4 GiB go by in windows of one block.
    const std::vector<uint8_t> block(uint64_t{1} << 20, 0x5A);
    for (const uint64_t length : {most - 110, most - 109}) {
        auto stage = std::make_unique<FaxStage>();
        StartFax(*stage, plain, FaxPass::Survey, {});
        Status status = Status::Ok;
        for (uint64_t left = length; status == Status::Ok;) {
            const uint64_t take = left < block.size() ? left : block.size();
            Window window{block.data(), static_cast<size_t>(take), nullptr, 0};
            left -= take;
            status = RunFax(*stage, window, left == 0);
            ASSERT_EQ(window.availIn, 0u);
        }
        ASSERT_EQ(status, Status::End);
        const FaxFigures figures = SurveyedFigures(*stage);
        EXPECT_EQ(figures.headerless, length > most - 110) << length;
        EXPECT_EQ(figures.dataLength, length) << length;
    }

    // The header at the edge carries the byte count whole; without a header the data stands alone.
    auto edge = std::make_unique<FaxStage>();
    StartFax(*edge, plain, FaxPass::Emit, FaxFigures{false, false, most - 110});
    uint8_t header[FaxTiffHeaderSize];
    Window window{block.data(), 0, header, sizeof header};
    ASSERT_EQ(RunFax(*edge, window, false), Status::Ok);
    const Bytes expected = ExpectedHeader({1728, 0, 4, 0, 0}, static_cast<uint32_t>(most - 110));
    EXPECT_EQ(Bytes(header, header + sizeof header), expected);
    const Bytes data = {0x26, 0xA0, 0x00};
    FaxFigures unused;
    const StageRun alone = RunFaxPass(plain, FaxPass::Emit, FaxFigures{false, true, 3},
                                      std::string(data.begin(), data.end()), StageWindows{}, unused);
    EXPECT_EQ(alone.status, Status::End);
    EXPECT_EQ(alone.bytes, std::string(data.begin(), data.end()));
}

// --- Read back by libtiff ---------------------------------------------------
#ifndef _WIN32

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::filesystem::path Fixture(const char* name) { return std::filesystem::path(VELLUM_SOURCE_DIR) / "tests" / "data" / name; }

// The raster of a binary PBM ("P4", width, height, one bit per pixel, 1 black).
Bytes PbmRaster(const Bytes& pbm) {
    std::string text(pbm.begin(), pbm.end());
    std::istringstream header(text);
    std::string magic;
    int width = 0, height = 0;
    header >> magic >> width >> height;
    const auto rasterStart = static_cast<size_t>(header.tellg()) + 1;  // one white-space byte
    EXPECT_EQ(magic, "P4");
    EXPECT_EQ(pbm.size() - rasterStart, static_cast<size_t>((width + 7) / 8 * height));
    return Bytes(pbm.begin() + static_cast<long>(rasterStart), pbm.end());
}

// The decoded bytes of the TIFF's first strip as tiffinfo -d prints them.
Bytes DecodedByLibtiff(const std::filesystem::path& tiff, std::string& messages) {
    const std::filesystem::path listing = tiff.string() + ".txt";
    const std::filesystem::path errors = tiff.string() + ".err";
    const std::string command =
        "tiffinfo -d '" + tiff.string() + "' >'" + listing.string() + "' 2>'" + errors.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    const Bytes errorText = ReadFile(errors);
    messages.assign(errorText.begin(), errorText.end());
    const Bytes text = ReadFile(listing);
    std::filesystem::remove(listing);
    std::filesystem::remove(errors);
    std::string all(text.begin(), text.end());
    Bytes pixels;
    const size_t strip = all.find("Strip 0:");
    if (strip == std::string::npos) return pixels;
    std::istringstream hex(all.substr(strip + 8));
    std::string word;
    while (hex >> word) pixels.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
    return pixels;
}

struct ReadBackCase {
    const char* fixture;
    const char* dictionary;
    const char* pixels;  // the PBM the fixture's producer was given
};

TEST(FaxStage, LibtiffDecodesTheExpectedPixels) {
    if (std::system("command -v tiffinfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "tiffinfo (libtiff-tools) is not installed";
    const char* const pattern = "ccitt_pattern_40x20.pbm";
    // Rows come from "/Height" in the Group 4 case, as many producers write it.
    const ReadBackCase cases[] = {
        {"ccitt_g4_40x20.fax", "<</Width 40/Height 20/DecodeParms<</K -1/Columns 40>>>>", pattern},
        {"ccitt_g3_1d_eol_40x20.fax", "<</DecodeParms<</K 0/Columns 40/Rows 20>>>>", pattern},
        {"ccitt_g3_2d_eol_40x20.fax", "<</DecodeParms<</K 4/Columns 40/Rows 20>>>>", pattern},
        {"ccitt_g3_2d_byte_aligned_40x20.fax", "<</DecodeParms<</K 4/Columns 40/Rows 20/EncodedByteAlign true>>>>",
         pattern},
        // One-dimensional rows without end-of-line codes, as PDF producers write them.
        {"ccitt_g3_1d_40x20.fax", "<</DecodeParms<</K 0/Columns 40/Rows 20>>>>", pattern},
        {"ccitt_g3_1d_byte_aligned_40x20.fax", "<</DecodeParms<</K 0/Columns 40/Rows 20/EncodedByteAlign true>>>>",
         pattern},
        {"ccitt_g3_1d_runs_2624x144.fax", "<</Height 144/DecodeParms<</Columns 2624>>>>", "ccitt_runs_2624x144.pbm"},
        {"ccitt_g3_1d_random_runs_1728x24.fax", "<</DecodeParms<</K 0/Rows 24>>>>", "ccitt_random_runs_1728x24.pbm"},
    };
    const std::filesystem::path tiff =
        std::filesystem::temp_directory_path() / ("vellum-ccitt-" + std::to_string(::getpid()) + ".tif");
    for (const ReadBackCase& c : cases) {
        const Bytes expected = PbmRaster(ReadFile(Fixture(c.pixels)));
        const Bytes data = ReadFile(Fixture(c.fixture));
        ASSERT_FALSE(data.empty()) << c.fixture;
        const Bytes wrapped = Wrap(c.dictionary, data);
        {
            std::ofstream out(tiff, std::ios::binary);
            out.write(reinterpret_cast<const char*>(wrapped.data()), static_cast<std::streamsize>(wrapped.size()));
        }
        std::string messages;
        EXPECT_EQ(DecodedByLibtiff(tiff, messages), expected) << c.fixture;
        EXPECT_EQ(messages, "") << c.fixture;
    }
    std::filesystem::remove(tiff);
}
#else
TEST(FaxStage, LibtiffDecodesTheExpectedPixels) {
    GTEST_SKIP() << "libtiff's tiffinfo reads the wrapped files on the Linux build only";
}
#endif

}  // namespace
