// End-of-line codes for one-dimensional Group 3 fax rows: whole-buffer, one
// call. A first pass reads the rows and only counts them; the second writes
// them into a block of at most the size the count allows.
#include "decode/fax_rows.h"

#include <array>
#include <bit>
#include <cstddef>

#include "decode/results.h"

namespace {

// The modified Huffman codes of ITU-T T.4, written as their bits.
struct FaxCode {
    uint16_t run;      // pixels the code stands for
    const char* bits;  // the code, most significant bit first
};

constexpr FaxCode WhiteTerminatingCodes[] = {
    {0, "00110101"},  {1, "000111"},    {2, "0111"},      {3, "1000"},      {4, "1011"},      {5, "1100"},
    {6, "1110"},      {7, "1111"},      {8, "10011"},     {9, "10100"},     {10, "00111"},    {11, "01000"},
    {12, "001000"},   {13, "000011"},   {14, "110100"},   {15, "110101"},   {16, "101010"},   {17, "101011"},
    {18, "0100111"},  {19, "0001100"},  {20, "0001000"},  {21, "0010111"},  {22, "0000011"},  {23, "0000100"},
    {24, "0101000"},  {25, "0101011"},  {26, "0010011"},  {27, "0100100"},  {28, "0011000"},  {29, "00000010"},
    {30, "00000011"}, {31, "00011010"}, {32, "00011011"}, {33, "00010010"}, {34, "00010011"}, {35, "00010100"},
    {36, "00010101"}, {37, "00010110"}, {38, "00010111"}, {39, "00101000"}, {40, "00101001"}, {41, "00101010"},
    {42, "00101011"}, {43, "00101100"}, {44, "00101101"}, {45, "00000100"}, {46, "00000101"}, {47, "00001010"},
    {48, "00001011"}, {49, "01010010"}, {50, "01010011"}, {51, "01010100"}, {52, "01010101"}, {53, "00100100"},
    {54, "00100101"}, {55, "01011000"}, {56, "01011001"}, {57, "01011010"}, {58, "01011011"}, {59, "01001010"},
    {60, "01001011"}, {61, "00110010"}, {62, "00110011"}, {63, "00110100"},
};

constexpr FaxCode WhiteMakeUpCodes[] = {
    {64, "11011"},       {128, "10010"},      {192, "010111"},     {256, "0110111"},    {320, "00110110"},
    {384, "00110111"},   {448, "01100100"},   {512, "01100101"},   {576, "01101000"},   {640, "01100111"},
    {704, "011001100"},  {768, "011001101"},  {832, "011010010"},  {896, "011010011"},  {960, "011010100"},
    {1024, "011010101"}, {1088, "011010110"}, {1152, "011010111"}, {1216, "011011000"}, {1280, "011011001"},
    {1344, "011011010"}, {1408, "011011011"}, {1472, "010011000"}, {1536, "010011001"}, {1600, "010011010"},
    {1664, "011000"},    {1728, "010011011"},
};

constexpr FaxCode BlackTerminatingCodes[] = {
    {0, "0000110111"},    {1, "010"},           {2, "11"},            {3, "10"},            {4, "011"},
    {5, "0011"},          {6, "0010"},          {7, "00011"},         {8, "000101"},        {9, "000100"},
    {10, "0000100"},      {11, "0000101"},      {12, "0000111"},      {13, "00000100"},     {14, "00000111"},
    {15, "000011000"},    {16, "0000010111"},   {17, "0000011000"},   {18, "0000001000"},   {19, "00001100111"},
    {20, "00001101000"},  {21, "00001101100"},  {22, "00000110111"},  {23, "00000101000"},  {24, "00000010111"},
    {25, "00000011000"},  {26, "000011001010"}, {27, "000011001011"}, {28, "000011001100"}, {29, "000011001101"},
    {30, "000001101000"}, {31, "000001101001"}, {32, "000001101010"}, {33, "000001101011"}, {34, "000011010010"},
    {35, "000011010011"}, {36, "000011010100"}, {37, "000011010101"}, {38, "000011010110"}, {39, "000011010111"},
    {40, "000001101100"}, {41, "000001101101"}, {42, "000011011010"}, {43, "000011011011"}, {44, "000001010100"},
    {45, "000001010101"}, {46, "000001010110"}, {47, "000001010111"}, {48, "000001100100"}, {49, "000001100101"},
    {50, "000001010010"}, {51, "000001010011"}, {52, "000000100100"}, {53, "000000110111"}, {54, "000000111000"},
    {55, "000000100111"}, {56, "000000101000"}, {57, "000001011000"}, {58, "000001011001"}, {59, "000000101011"},
    {60, "000000101100"}, {61, "000001011010"}, {62, "000001100110"}, {63, "000001100111"},
};

constexpr FaxCode BlackMakeUpCodes[] = {
    {64, "0000001111"},     {128, "000011001000"},  {192, "000011001001"},  {256, "000001011011"},
    {320, "000000110011"},  {384, "000000110100"},  {448, "000000110101"},  {512, "0000001101100"},
    {576, "0000001101101"}, {640, "0000001001010"}, {704, "0000001001011"}, {768, "0000001001100"},
    {832, "0000001001101"}, {896, "0000001110010"}, {960, "0000001110011"}, {1024, "0000001110100"},
    {1088, "0000001110101"}, {1152, "0000001110110"}, {1216, "0000001110111"}, {1280, "0000001010010"},
    {1344, "0000001010011"}, {1408, "0000001010100"}, {1472, "0000001010101"}, {1536, "0000001011010"},
    {1600, "0000001011011"}, {1664, "0000001100100"}, {1728, "0000001100101"},
};

// Make-up codes for runs of 1792 pixels and more, the same for both colours.
constexpr FaxCode ExtendedMakeUpCodes[] = {
    {1792, "00000001000"},  {1856, "00000001100"},  {1920, "00000001101"},  {1984, "000000010010"},
    {2048, "000000010011"}, {2112, "000000010100"}, {2176, "000000010101"}, {2240, "000000010110"},
    {2304, "000000010111"}, {2368, "000000011100"}, {2432, "000000011101"}, {2496, "000000011110"},
    {2560, "000000011111"},
};

constexpr uint32_t EndOfLineBits = 12;          // 000000000001
constexpr uint32_t EndOfLineZeros = 11;         // the zeros before its one bit
constexpr uint32_t LongestCodeBits = 13;        // the longest black make-up codes
constexpr uint32_t LookupSize = 1u << LongestCodeBits;
constexpr uint32_t MostFillBits = 7;            // zeros before an end-of-line code to reach a byte boundary
constexpr uint64_t EndOfPageLines = 2;          // end-of-line codes in a row that end the page

enum class CodeKind : uint8_t { Invalid, Terminating, MakeUp };

struct CodeEntry {
    uint16_t run = 0;
    uint8_t bits = 0;
    CodeKind kind = CodeKind::Invalid;
};

using CodeLookup = std::array<CodeEntry, LookupSize>;

constexpr uint32_t CodeLength(const char* bits) {
    uint32_t length = 0;
    while (bits[length] != '\0') ++length;
    return length;
}

constexpr void AddCodes(CodeLookup& lookup, const FaxCode* codes, size_t count, CodeKind kind) {
    for (size_t i = 0; i < count; ++i) {
        const uint32_t length = CodeLength(codes[i].bits);
        uint32_t value = 0;
        for (uint32_t b = 0; b < length; ++b) value = (value << 1) | (codes[i].bits[b] == '1' ? 1u : 0u);
        // Every 13-bit window that starts with the code leads to it.
        const uint32_t shift = LongestCodeBits - length;
        for (uint32_t tail = 0; tail < (1u << shift); ++tail) {
            lookup[(value << shift) | tail] = CodeEntry{codes[i].run, static_cast<uint8_t>(length), kind};
        }
    }
}

template <size_t Terminating, size_t MakeUp>
constexpr CodeLookup BuildLookup(const FaxCode (&terminating)[Terminating], const FaxCode (&makeUp)[MakeUp]) {
    CodeLookup lookup{};
    AddCodes(lookup, terminating, Terminating, CodeKind::Terminating);
    AddCodes(lookup, makeUp, MakeUp, CodeKind::MakeUp);
    AddCodes(lookup, ExtendedMakeUpCodes, std::size(ExtendedMakeUpCodes), CodeKind::MakeUp);
    return lookup;
}

// Indexed by the next 13 bits of the data, one table per colour.
constexpr CodeLookup WhiteLookup = BuildLookup(WhiteTerminatingCodes, WhiteMakeUpCodes);
constexpr CodeLookup BlackLookup = BuildLookup(BlackTerminatingCodes, BlackMakeUpCodes);

struct FaxRowState {
    const uint8_t* data = nullptr;   // the fax data
    uint64_t bitCount = 0;           // its length in bits
    uint64_t bit = 0;                // next bit to read
    uint8_t* out = nullptr;          // zero-filled block the rows go to; null while counting
    uint64_t outBit = 0;             // next bit to write
    int64_t columns = 0;             // pixels in a row
    int64_t rowLimit = 0;            // rows to read; 0 for as many as there are
    bool byteAligned = false;        // each row starts on a byte boundary
    uint64_t rows = 0;               // rows read so far
    bool everyRowHadEndOfLine = true;  // no row so far came without its end-of-line code
};

uint32_t BitAt(const FaxRowState& s, uint64_t bit) { return (s.data[bit >> 3] >> (7 - (bit & 7))) & 1u; }

// The 13 bits from `bit`, zeros past the end of the data. Three bytes hold
// any 13 bits that start in the first of them.
uint32_t PeekCodeWindow(const uint8_t* data, uint64_t byteCount, uint64_t bit) {
    const uint64_t first = bit >> 3;
    uint32_t window = 0;
    if (first + 3 <= byteCount) {
        window = static_cast<uint32_t>(data[first]) << 16 | static_cast<uint32_t>(data[first + 1]) << 8 | data[first + 2];
    } else {
        for (uint64_t i = 0; i < 3; ++i) window = (window << 8) | (first + i < byteCount ? data[first + i] : 0u);
    }
    return (window >> (24 - LongestCodeBits - (bit & 7))) & (LookupSize - 1);
}

// The 8 bits from `at` as one byte, zeros past the end of the data.
uint32_t ByteAt(const FaxRowState& s, uint64_t at) {
    const uint64_t first = at >> 3;
    uint32_t pair = static_cast<uint32_t>(s.data[first]) << 8;
    if (first + 1 < s.bitCount >> 3) pair |= s.data[first + 1];
    return (pair >> (8 - (at & 7))) & 0xFFu;
}

void PutBit(FaxRowState& s, uint32_t value) {
    if (value != 0) s.out[s.outBit >> 3] |= static_cast<uint8_t>(0x80u >> (s.outBit & 7));
    ++s.outBit;
}

// Copies bits [from, to) of the data to the output, up to a byte at a time.
void CopyBits(FaxRowState& s, uint64_t from, uint64_t to) {
    while (from < to) {
        const uint64_t count = to - from < 8 ? to - from : 8;
        const uint32_t bits = ByteAt(s, from) & (0xFF00u >> count);
        const uint64_t at = s.outBit;
        s.out[at >> 3] |= static_cast<uint8_t>(bits >> (at & 7));
        // Spilled bits are output bits too, so the block holds them.
        if ((at & 7) + count > 8) s.out[(at >> 3) + 1] |= static_cast<uint8_t>(bits << (8 - (at & 7)));
        s.outBit += count;
        from += count;
    }
}

void PutEndOfLine(FaxRowState& s) {
    // The block is zero-filled, so fill bits and the code's zeros need only counting.
    if (s.byteAligned) s.outBit += (8 - (s.outBit + EndOfLineBits) % 8) % 8;
    s.outBit += EndOfLineZeros;
    PutBit(s, 1);
}

// Reads the run codes of one row; false when they are not a row of `columns`
// pixels, and the caller then gives the rows up. The hot loop of the rewrite,
// so the read position lives in a local until the row is complete.
bool ReadRow(FaxRowState& s) {
    const uint64_t byteCount = s.bitCount >> 3;
    uint64_t bit = s.bit;
    int64_t x = 0;
    bool white = true;
    while (x < s.columns) {
        const CodeLookup& lookup = white ? WhiteLookup : BlackLookup;
        for (;;) {
            const CodeEntry code = lookup[PeekCodeWindow(s.data, byteCount, bit)];
            if (code.kind == CodeKind::Invalid || code.bits > s.bitCount - bit) return false;
            bit += code.bits;
            x += code.run;
            if (x > s.columns) return false;
            if (code.kind == CodeKind::Terminating) break;
        }
        white = !white;
    }
    s.bit = bit;
    return true;
}

// Zero bits from the read position, up to the end of the data. Long runs of
// fill bits are skipped a byte at a time.
uint64_t ZerosAhead(const FaxRowState& s) {
    uint64_t at = s.bit;
    while ((at & 7) != 0 && at < s.bitCount && BitAt(s, at) == 0) ++at;
    if ((at & 7) == 0) {
        // The data's length is whole bytes, so `at` stays on byte boundaries here.
        while (at < s.bitCount && s.data[at >> 3] == 0) at += 8;
        if (at < s.bitCount) at += static_cast<uint64_t>(std::countl_zero(s.data[at >> 3]));
    }
    return at - s.bit;
}

// Reads the rows, writing them out unless counting. False when they do not parse.
bool ReadRows(FaxRowState& s) {
    s.bit = 0;
    s.rows = 0;
    s.everyRowHadEndOfLine = true;
    uint64_t tail = 0;  // first bit after the rows: copied as it stands
    for (;;) {
        tail = s.bit;
        if (s.rowLimit > 0 && s.rows == static_cast<uint64_t>(s.rowLimit)) break;
        uint64_t endOfLines = 0;
        bool endOfData = false;
        for (;;) {
            // The data's length is whole bytes, so aligning never passes its end.
            if (s.byteAligned) s.bit = (s.bit + 7) & ~uint64_t{7};
            const uint64_t zeros = ZerosAhead(s);
            if (s.bit + zeros == s.bitCount) {
                endOfData = true;  // fill bits to the end
                break;
            }
            if (zeros < EndOfLineZeros) break;
            s.bit += zeros + 1;
            ++endOfLines;
        }
        if (endOfData || endOfLines >= EndOfPageLines) break;
        if (endOfLines == 0) s.everyRowHadEndOfLine = false;
        const uint64_t rowStart = s.bit;
        if (!ReadRow(s)) return false;
        if (s.out != nullptr) {
            PutEndOfLine(s);
            CopyBits(s, rowStart, s.bit);
        }
        ++s.rows;
    }
    if (s.out != nullptr) CopyBits(s, tail, s.bitCount);
    return s.rows > 0;
}

}  // namespace

uint32_t AddFaxEndOfLines(ByteBuffer& output, const ByteBuffer& input, int32_t columns, int32_t rows,
                          bool byteAligned) {
    const uint64_t size = input.Size();
    // Bit positions and the output's bound below must fit in 64 bits.
    if (columns <= 0 || size == 0 || size > (UINT64_MAX >> 8)) return ResultInvalidData;

    FaxRowState state;
    state.data = input.begin;
    state.bitCount = size * 8;
    state.columns = columns;
    state.rowLimit = rows > 0 ? rows : 0;
    state.byteAligned = byteAligned;
    if (!ReadRows(state) || state.everyRowHadEndOfLine) return ResultInvalidData;

    // Each row gains an end-of-line code and at most 7 fill bits; a row takes
    // at least 2 bits, so the count is below the data's bits and cannot overflow.
    const uint64_t extraBits = state.rows * (EndOfLineBits + MostFillBits) + 7;
    const uint32_t result = output.Reserve(size + extraBits / 8 + 1);
    if (result != ResultOk) return result;
    state.out = output.begin;
    ReadRows(state);
    output.cursor = output.begin + (state.outBit + 7) / 8;
    output.end = output.cursor;
    return ResultOk;
}
