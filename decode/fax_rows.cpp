// End-of-line codes for one-dimensional Group 3 fax rows: whole-buffer, one
// call, one pass. Codes are read through a 64-bit window of the data, mostly
// a white and a black run or two at a time from a table indexed by 13 bits;
// each row is then copied, up to 56 bits at a time, behind its end-of-line
// code into a block that grows when the next row would not fit.
#include "decode/fax_rows.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

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
constexpr uint32_t PairBits = 13;               // data bits that index the table of run pairs
constexpr uint32_t PairLookupSize = 1u << PairBits;
constexpr uint32_t MostFillBits = 7;            // zeros before an end-of-line code to reach a byte boundary
constexpr uint64_t EndOfPageLines = 2;          // end-of-line codes in a row that end the page
constexpr uint32_t ShortestRowBits = 4;         // every row has a white terminating code, of 4 bits at least
constexpr uint32_t WordBits = 64;               // bits of the read window and of the write accumulator
constexpr uint32_t WordBytes = WordBits / 8;
constexpr uint32_t MostBitsPerPut = 56;         // fewer than 8 bits wait in the accumulator, so 56 more fit

enum class CodeKind : uint8_t { Invalid, Terminating, MakeUp };

// The bits come first: the window is shifted by them straight from the low byte.
struct CodeEntry {
    uint8_t bits = 0;
    CodeKind kind = CodeKind::Invalid;
    uint16_t run = 0;
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
            lookup[(value << shift) | tail] = CodeEntry{static_cast<uint8_t>(length), kind, codes[i].run};
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

enum Colour : uint32_t { White = 0, Black = 1 };

constexpr const CodeLookup& CodesOf(uint32_t colour) { return colour == White ? WhiteLookup : BlackLookup; }

// The pairs of runs, white then black, that lie whole in the next 13 bits of
// data: their bits and pixels. No bits when not even one pair does (a long
// code, an invalid one, or the row's last white run).
struct RunPairs {
    uint8_t bits = 0;
    uint16_t run = 0;
};

using PairLookup = std::array<RunPairs, PairLookupSize>;

constexpr PairLookup BuildPairLookup() {
    PairLookup pairs{};
    for (uint32_t index = 0; index < PairLookupSize; ++index) {
        RunPairs read;  // the codes read so far
        uint32_t colour = White;
        for (;;) {
            // The bits not yet read, zeros after them: a code found whole in
            // them is the data's code, as no code is the start of another.
            const uint64_t unread = uint64_t{index} << (WordBits - PairBits) << read.bits;
            const CodeEntry code = CodesOf(colour)[unread >> (WordBits - LongestCodeBits)];
            if (code.kind == CodeKind::Invalid || read.bits + code.bits > PairBits) break;
            read.bits = static_cast<uint8_t>(read.bits + code.bits);
            read.run = static_cast<uint16_t>(read.run + code.run);
            if (code.kind == CodeKind::MakeUp) continue;
            if (colour == Black) pairs[index] = read;
            colour ^= 1u;
        }
    }
    return pairs;
}

// Indexed by the next 13 bits of the data at the start of a white run.
constexpr PairLookup PairsAhead = BuildPairLookup();

// A word in memory as a number whose highest byte is the first, and back:
// the data's bits are read and written most significant first.
uint64_t FirstByteHighest(uint64_t word) {
    if constexpr (std::endian::native == std::endian::little) return __builtin_bswap64(word);
    return word;
}

// The 8 bytes of the data from byte `first` on, the first byte highest; zeros
// past the end of the data.
uint64_t LoadWord(const uint8_t* data, uint64_t byteCount, uint64_t first) {
    uint64_t word = 0;
    if (first + WordBytes <= byteCount) {
        std::memcpy(&word, data + first, WordBytes);
        return FirstByteHighest(word);
    }
    for (uint64_t i = 0; i < WordBytes; ++i) word = (word << 8) | (first + i < byteCount ? data[first + i] : 0u);
    return word;
}

// The data from `bit` on at the top of a word: PeekedBits of them (57 at
// least), then zeros, as past the end of the data.
uint64_t PeekBits(const uint8_t* data, uint64_t byteCount, uint64_t bit) {
    return LoadWord(data, byteCount, bit >> 3) << (bit & 7);
}

uint32_t PeekedBits(uint64_t bit) { return WordBits - static_cast<uint32_t>(bit & 7); }

// Bits written most significant first, a word at a time: each Put stores the
// accumulator's 8 bytes at the first byte not yet complete, so the block needs
// 8 bytes of room from there.
struct BitWriter {
    uint8_t* block = nullptr;  // where the rows start in the output block
    uint64_t byte = 0;         // bytes complete
    uint64_t pending = 0;      // the bits of the incomplete byte, at the top
    uint32_t pendingBits = 0;  // their number, below 8 between calls

    uint64_t BitsWritten() const { return byte * 8 + pendingBits; }

    // The `count` low bits of `value`, 1 to MostBitsPerPut of them.
    void Put(uint64_t value, uint32_t count) {
        pending |= value << (WordBits - pendingBits - count);
        pendingBits += count;
        const uint64_t word = FirstByteHighest(pending);
        std::memcpy(block + byte, &word, WordBytes);
        const uint32_t complete = pendingBits / 8;
        byte += complete;
        pending <<= 8 * complete;
        pendingBits -= 8 * complete;
    }
};

struct FaxRowState {
    const uint8_t* data = nullptr;     // the fax data
    uint64_t byteCount = 0;            // its length in bytes
    uint64_t bitCount = 0;             // and in bits
    uint64_t bit = 0;                  // next bit to read
    int64_t columns = 0;               // pixels in a row
    int64_t rowLimit = 0;              // rows to read; 0 for as many as there are
    bool byteAligned = false;          // each row starts on a byte boundary
    uint64_t rows = 0;                 // rows read so far
    bool everyRowHadEndOfLine = true;  // no row so far came without its end-of-line code
    ByteBuffer* output = nullptr;      // the block the rows are written to
    uint64_t rowsOffset = 0;           // where in it they start
    uint64_t firstRoom = 0;            // bytes to make room for when the block first runs short
    uint64_t mostRoom = 0;             // bytes no rows of the data can need more than
    BitWriter writer;                  // the write position
};

// Reads the run codes of one row; false when they are not a row of `columns`
// pixels, and the caller then gives the rows up. The hot loop of the rewrite:
// pairs of runs that do not finish the row are taken whole, the rest code by
// code. Past the end of the data the window reads zeros, which complete no
// code on their own, so reading stops there; a code that runs over the end is
// caught by checking the row's end against the data's, once.
bool ReadRow(FaxRowState& s) {
    uint64_t bit = s.bit;
    uint64_t window = 0;
    uint32_t windowBits = 0;  // bits of the data at the top of the window
    int64_t x = 0;
    for (;;) {
        if (windowBits < PairBits) [[unlikely]] {
            window = PeekBits(s.data, s.byteCount, bit);
            windowBits = PeekedBits(bit);
        }
        const RunPairs pairs = PairsAhead[window >> (WordBits - PairBits)];
        if (pairs.bits != 0 && x + pairs.run < s.columns) [[likely]] {
            window <<= pairs.bits;
            windowBits -= pairs.bits;
            bit += pairs.bits;
            x += pairs.run;
            continue;
        }
        // A white run and a black one, code by code; the row may end after either.
        for (const CodeLookup* codes : {&WhiteLookup, &BlackLookup}) {
            CodeEntry code;
            do {
                if (windowBits < LongestCodeBits) {
                    window = PeekBits(s.data, s.byteCount, bit);
                    windowBits = PeekedBits(bit);
                }
                code = (*codes)[window >> (WordBits - LongestCodeBits)];
                if (code.kind == CodeKind::Invalid) return false;
                window <<= code.bits;
                windowBits -= code.bits;
                bit += code.bits;
                x += code.run;
                if (x > s.columns) return false;
            } while (code.kind == CodeKind::MakeUp);
            if (x == s.columns) {
                if (bit > s.bitCount) return false;
                s.bit = bit;
                return true;
            }
        }
    }
}

// Zero bits from the read position, up to the next one bit or the end of the data.
uint64_t ZerosAhead(const FaxRowState& s) {
    uint64_t at = s.bit;
    for (;;) {
        const uint64_t window = PeekBits(s.data, s.byteCount, at);
        // A one bit in the window lies in the data: past its end the window holds zeros.
        if (window != 0) return at + static_cast<uint64_t>(std::countl_zero(window)) - s.bit;
        at += PeekedBits(at);
        if (at >= s.bitCount) return s.bitCount - s.bit;
    }
}

// Makes room for `bits` more bits of rows. The block grows by half at least,
// so that growing stays linear, but the rows never get more room than the
// data can need. Returns Reserve's result: on failure the output is empty.
uint32_t MakeRoom(FaxRowState& s, uint64_t bits) {
    const BitWriter& w = s.writer;
    const uint64_t needed = w.byte + (w.pendingBits + bits + 7) / 8 + WordBytes;
    const uint64_t room = s.output->Size() - s.rowsOffset;
    if (needed <= room) return ResultOk;
    uint64_t grown = room + room / 2;
    if (grown < s.firstRoom) grown = s.firstRoom;
    if (grown > s.mostRoom) grown = s.mostRoom;
    if (grown < needed) grown = needed;
    const uint32_t result = s.output->Reserve(s.rowsOffset + grown);
    if (result == ResultOk) s.writer.block = s.output->begin + s.rowsOffset;
    return result;
}

// Copies bits [from, to) of the data to the output, up to 56 at a time.
void CopyBits(FaxRowState& s, uint64_t from, uint64_t to) {
    for (; to - from >= MostBitsPerPut; from += MostBitsPerPut) {
        s.writer.Put(PeekBits(s.data, s.byteCount, from) >> (WordBits - MostBitsPerPut), MostBitsPerPut);
    }
    if (from < to) {
        const auto count = static_cast<uint32_t>(to - from);
        s.writer.Put(PeekBits(s.data, s.byteCount, from) >> (WordBits - count), count);
    }
}

void PutEndOfLine(FaxRowState& s) {
    // Fill bits are zeros ahead of the code's own zeros, so both are one number.
    const uint64_t fill = s.byteAligned ? (8 - (s.writer.BitsWritten() + EndOfLineBits) % 8) % 8 : 0;
    s.writer.Put(1, EndOfLineBits + static_cast<uint32_t>(fill));
}

// Reads the rows and writes each behind an end-of-line code, then the data after them.
uint32_t RewriteRows(FaxRowState& s) {
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
        if (!ReadRow(s)) return ResultInvalidData;
        const uint32_t room = MakeRoom(s, MostFillBits + EndOfLineBits + (s.bit - rowStart));
        if (room != ResultOk) return room;
        PutEndOfLine(s);
        CopyBits(s, rowStart, s.bit);
        ++s.rows;
    }
    if (s.rows == 0 || s.everyRowHadEndOfLine) return ResultInvalidData;
    const uint32_t room = MakeRoom(s, s.bitCount - tail);
    if (room != ResultOk) return room;
    CopyBits(s, tail, s.bitCount);
    return ResultOk;
}

}  // namespace

uint32_t AddFaxEndOfLines(ByteBuffer& output, const ByteBuffer& input, int32_t columns, int32_t rows,
                          bool byteAligned) {
    const uint64_t size = input.Size();
    // Bit positions and the room computed below must fit in 64 bits.
    if (columns <= 0 || size == 0 || size > (UINT64_MAX >> 8)) return ResultInvalidData;

    FaxRowState state;
    state.data = input.begin;
    state.byteCount = size;
    state.bitCount = size * 8;
    state.columns = columns;
    state.rowLimit = rows > 0 ? rows : 0;
    state.byteAligned = byteAligned;
    state.output = &output;
    state.rowsOffset = output.begin != nullptr ? static_cast<uint64_t>(output.cursor - output.begin) : 0;
    state.writer.block = output.cursor;

    // Each row gains an end-of-line code and at most 7 fill bits, and there
    // are no more rows than asked for, nor than rows of 4 bits would make.
    uint64_t mostRows = state.bitCount / ShortestRowBits;
    if (state.rowLimit > 0 && static_cast<uint64_t>(state.rowLimit) < mostRows) mostRows = state.rowLimit;
    state.mostRoom = size + (mostRows * (EndOfLineBits + MostFillBits) + 7) / 8 + WordBytes;
    // Rows of text pages gain a few percent; blank rows, without a row count
    // to bound them, make the block grow once or twice more.
    state.firstRoom = size + size / 8 + WordBytes;

    const uint32_t result = RewriteRows(state);
    if (result == ResultInvalidData && output.begin != nullptr) output.cursor = output.begin + state.rowsOffset;
    if (result != ResultOk) return result;
    output.cursor = state.writer.block + (state.writer.BitsWritten() + 7) / 8;
    output.end = output.cursor;
    return ResultOk;
}
