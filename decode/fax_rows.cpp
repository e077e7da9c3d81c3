// End-of-line codes for one-dimensional Group 3 fax rows, resumable. Codes
// are read through a 64-bit window of the data, mostly a white and a black
// run or two at a time from a table indexed by 13 bits; each row is copied,
// up to 56 bits at a time, behind its end-of-line code.
//
// The input is staged in a block of its own, from which the codes are read
// in place. A code is decoded only once 13 bits of data stand behind its
// start (or the data has ended), so no decision depends on where the input
// windows are cut, and what stays staged for the next window is a byte or
// two. The fill between rows is counted as it goes by: the gap is written
// back only when the rows end there, so a count is all it needs.
#include "decode/fax_rows.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

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
constexpr uint64_t EndOfPageLines = 2;          // end-of-line codes in a row that end the page
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


// Where the rows are read: the staged bytes, as bits.
struct RowReader {
    const uint8_t* data;   // the staged bytes
    uint64_t byteCount;    // how many
    uint64_t bitCount;     // and as bits
};

RowReader ReaderOf(const FaxRows& s) { return RowReader{s.staging.Data(), s.stagedBytes, s.stagedBytes * 8}; }

// Zero bits from `bit` on, up to the next one bit or the end of the data.
uint64_t ZerosAhead(const RowReader& r, uint64_t bit) {
    uint64_t at = bit;
    for (;;) {
        const uint64_t window = PeekBits(r.data, r.byteCount, at);
        // A one bit in the window lies in the data: past its end the window holds zeros.
        if (window != 0) return at + static_cast<uint64_t>(std::countl_zero(window)) - bit;
        at += PeekedBits(at);
        if (at >= r.bitCount) return r.bitCount - bit;
    }
}

// Copies bits [from, to) of the data to the writer, up to 56 at a time.
void CopyBits(const RowReader& r, FaxBitWriter& writer, uint64_t from, uint64_t to) {
    for (; to - from >= MostBitsPerPut; from += MostBitsPerPut) {
        writer.Put(PeekBits(r.data, r.byteCount, from) >> (WordBits - MostBitsPerPut), MostBitsPerPut);
    }
    if (from < to) {
        const auto count = static_cast<uint32_t>(to - from);
        writer.Put(PeekBits(r.data, r.byteCount, from) >> (WordBits - count), count);
    }
}

// The zero fill bits before an end-of-line code, with `written` bits out so far.
uint32_t FillBits(bool byteAligned, uint64_t written) {
    return byteAligned ? static_cast<uint32_t>((8 - (written + EndOfLineBits) % 8) % 8) : 0;
}

// The output block: a chunk, then what one step may add past it (the row
// bits of one staged block, an end-of-line code), and the word Put stores.
constexpr uint64_t OutputBlockBytes = FaxOutputChunk + FaxStagingBytes + 2 * WordBytes;

// What one step of the reading found.
enum class Step : uint8_t {
    RowStarts,  // the gap ends: a row's first code starts at `at`
    RowEnds,    // the row's last code was read
    RowsEnded,  // the rows end here: the end of the page, or fill to the end of the data
    NotRows,    // the data does not read as rows
    NeedMore,   // the step needs bits that have not come yet
};

// Reads the gap from `at` on: end-of-line codes, each behind any fill, up to
// the first code of a row. Zeros that reach the end of the staged bytes are
// counted and let go once they are too many to start a code; fewer may
// still be the start of the row's first code, and are read again.
Step ReadGap(FaxRows& s) {
    const RowReader r = ReaderOf(s);
    FaxGap& gap = s.gap;
    for (;;) {
        FaxGapCode& code = gap.codes[gap.endOfLines];
        if (!gap.aligned) {
            // The data's length is whole bytes, so aligning never passes its end.
            const auto skip = static_cast<uint32_t>(s.byteAligned ? (8 - s.at % 8) % 8 : 0);
            if (skip != 0) {
                code.skipped = static_cast<uint8_t>(r.data[s.at / 8] & ((1u << skip) - 1));
                code.skippedBits = static_cast<uint8_t>(skip);
                s.at += skip;
            }
            gap.aligned = true;
        }
        const uint64_t zeros = ZerosAhead(r, s.at);
        if (s.at + zeros == r.bitCount) {
            // Fill bits to the end of the data, if the data ends here.
            if (s.inputEnded) return Step::RowsEnded;
            if (code.zeros + zeros >= EndOfLineZeros) {
                code.zeros += zeros;
                s.at += zeros;
            }
            return Step::NeedMore;
        }
        // Fewer zeros than an end-of-line code has (none were counted yet) begin the row.
        if (code.zeros + zeros < EndOfLineZeros) return Step::RowStarts;
        code.zeros += zeros;
        s.at += zeros + 1;
        ++gap.endOfLines;
        gap.aligned = false;
        if (gap.endOfLines >= EndOfPageLines) return Step::RowsEnded;
    }
}

// Reads the row's codes from `at` on, as far as the staged bits decide them.
// Each code is read from 13 bits of data; where fewer are staged and more
// will come, the row waits at that code's start. The hot loop of the rewrite:
// pairs of runs that do not finish the row are taken whole, the rest code by
// code.
Step ReadRowCodes(FaxRows& s) {
    const RowReader r = ReaderOf(s);
    uint64_t at = s.at;
    int64_t x = s.x;
    uint32_t colour = s.colour;
    uint64_t window = 0;
    uint32_t windowBits = 0;  // bits of the data at the top of the window
    Step step = Step::NotRows;
    for (;;) {
        if (windowBits < LongestCodeBits) [[unlikely]] {
            window = PeekBits(r.data, r.byteCount, at);
            const uint64_t left = r.bitCount - at;
            windowBits = left < PeekedBits(at) ? static_cast<uint32_t>(left) : PeekedBits(at);
            if (windowBits < LongestCodeBits && !s.inputEnded) {
                step = Step::NeedMore;
                break;
            }
        }
        if (colour == White && windowBits >= PairBits) {
            const RunPairs pairs = PairsAhead[window >> (WordBits - PairBits)];
            if (pairs.bits != 0 && x + pairs.run < s.columns) [[likely]] {
                window <<= pairs.bits;
                windowBits -= pairs.bits;
                at += pairs.bits;
                x += pairs.run;
                continue;
            }
        }
        const CodeEntry code = CodesOf(colour)[window >> (WordBits - LongestCodeBits)];
        // Past the end of the data the window reads zeros: a code that needs
        // them is cut short.
        if (code.kind == CodeKind::Invalid || x + code.run > s.columns || code.bits > windowBits) break;
        window <<= code.bits;
        windowBits -= code.bits;
        at += code.bits;
        x += code.run;
        if (code.kind == CodeKind::MakeUp) continue;
        if (x == s.columns) {
            step = Step::RowEnds;
            break;
        }
        colour ^= 1u;
    }
    s.at = at;
    s.x = x;
    s.colour = colour;
    return step;
}

// A row's end-of-line code, behind its fill bits: written, or only counted.
void PutEndOfLine(FaxRows& s) {
    const uint32_t fill = FillBits(s.byteAligned, s.bitsOut);
    s.bitsOut += fill + EndOfLineBits;
    // Fill bits are zeros ahead of the code's own zeros, so both are one number.
    if (s.emit) s.writer.Put(1, EndOfLineBits + fill);
}

// The staged bits from `from` to `at`, as they stand: written, or only counted.
void PutStagedBits(FaxRows& s, uint64_t from) {
    s.bitsOut += s.at - from;
    if (s.emit) CopyBits(ReaderOf(s), s.writer, from, s.at);
}

// The bits the gap took in the input.
uint64_t GapBits(const FaxGap& gap) {
    uint64_t bits = gap.endOfLines;  // the one bit of each complete code
    const uint32_t codes = gap.endOfLines < EndOfPageLines ? gap.endOfLines + 1 : gap.endOfLines;
    for (uint32_t i = 0; i < codes; ++i) bits += gap.codes[i].skippedBits + gap.codes[i].zeros;
    return bits;
}

// Writes the gap back as it stood in the input, as far as the output block
// has room; true once all of it is written. Counts down as it goes.
bool WriteGapBack(FaxRows& s) {
    FaxGap& gap = s.gap;
    const uint32_t codes = gap.endOfLines < EndOfPageLines ? gap.endOfLines + 1 : gap.endOfLines;
    for (; gap.written < codes; ++gap.written) {
        FaxGapCode& code = gap.codes[gap.written];
        if (code.skippedBits != 0) {
            s.writer.Put(code.skipped, code.skippedBits);
            code.skippedBits = 0;
        }
        while (code.zeros != 0) {
            if (s.writer.byte >= FaxOutputChunk) return false;
            const auto count = static_cast<uint32_t>(code.zeros < MostBitsPerPut ? code.zeros : MostBitsPerPut);
            s.writer.Put(0, count);
            code.zeros -= count;
        }
        if (gap.written < gap.endOfLines) s.writer.Put(1, 1);
    }
    return true;
}

// The rows end where the reading stands. Their tail, from the last row's
// end, follows as it stood if a row got an end-of-line code; if none did,
// or there was no row, the data is used as stored.
void EndRows(FaxRows& s) {
    if (s.rows == 0 || s.everyRowHadEndOfLine) {
        s.phase = FaxRowsPhase::NotRows;
        return;
    }
    s.phase = FaxRowsPhase::Tail;
    s.bitsOut += GapBits(s.gap);
}

// Lets go of the staged bytes before the one `at` is in, which nothing reads
// again, and stages as much of the window as then fits.
void TakeInput(FaxRows& s, Window& window) {
    const uint64_t drop = s.at / 8;
    if (drop != 0) {
        std::memmove(s.staging.Data(), s.staging.Data() + drop, static_cast<size_t>(s.stagedBytes - drop));
        s.stagedBytes -= drop;
        s.at -= drop * 8;
    }
    const uint64_t room = FaxStagingBytes - s.stagedBytes;
    const size_t take = static_cast<size_t>(window.availIn < room ? window.availIn : room);
    std::memcpy(s.staging.Data() + s.stagedBytes, window.nextIn, take);
    s.stagedBytes += take;
    s.inputBytes += take;
    window.nextIn += take;
    window.availIn -= take;
}

// Whether the gap is counting fill that has reached the end of the staged
// bytes: whole zero bytes of input then add to the count where they stand.
bool CountingFill(const FaxRows& s) {
    return s.phase == FaxRowsPhase::Gap && s.gap.aligned && s.at == s.stagedBytes * 8 &&
           s.gap.codes[s.gap.endOfLines].zeros >= EndOfLineZeros;
}

// Takes the zero bytes at the window's start as fill, without staging them.
void CountZeroBytes(FaxRows& s, Window& window) {
    const uint8_t* next = window.nextIn;
    const uint8_t* const end = next + window.availIn;
    for (uint64_t word = 0; end - next >= WordBytes; next += WordBytes) {
        std::memcpy(&word, next, WordBytes);
        if (word != 0) break;
    }
    while (next < end && *next == 0) ++next;
    const auto count = static_cast<size_t>(next - window.nextIn);
    s.gap.codes[s.gap.endOfLines].zeros += uint64_t{count} * 8;
    s.inputBytes += count;
    window.nextIn = next;
    window.availIn -= count;
}

// Gaps and rows, as far as the input and, when writing, the output block allow.
Status ReadRows(FaxRows& s, Window& window, bool inputEnds) {
    while (!s.emit || s.writer.byte < FaxOutputChunk) {
        Step step = Step::NeedMore;
        if (s.phase == FaxRowsPhase::Gap) {
            step = ReadGap(s);
            if (step == Step::RowStarts) {
                if (s.gap.endOfLines == 0) s.everyRowHadEndOfLine = false;
                PutEndOfLine(s);
                s.gap = FaxGap{};
                s.x = 0;
                s.colour = White;
                s.phase = FaxRowsPhase::Row;
                continue;
            }
        } else {
            const uint64_t from = s.at;
            step = ReadRowCodes(s);
            PutStagedBits(s, from);
            if (step == Step::RowEnds) {
                ++s.rows;
                s.phase = FaxRowsPhase::Gap;
                if (s.rowLimit > 0 && s.rows == static_cast<uint64_t>(s.rowLimit)) {
                    EndRows(s);
                    return Status::Ok;
                }
                continue;
            }
        }
        if (step == Step::RowsEnded) {
            EndRows(s);
            return Status::Ok;
        }
        if (step == Step::NotRows) {
            s.phase = FaxRowsPhase::NotRows;
            return Status::Ok;
        }
        // With the whole data staged every step decides.
        if (s.inputEnded) return Status::InvalidData;
        if (window.availIn == 0) {
            if (!inputEnds) return Status::Ok;
            s.inputEnded = true;
            continue;
        }
        if (CountingFill(s)) {
            CountZeroBytes(s, window);
            if (window.availIn == 0) continue;
        }
        TakeInput(s, window);
    }
    return Status::Ok;
}

// The gap after the last row and the input's bits after it, as they stand,
// then zero bits up to the next byte.
Status CopyTail(FaxRows& s, Window& window, bool inputEnds) {
    if (s.emit && !WriteGapBack(s)) return Status::Ok;
    for (;;) {
        if (s.emit && s.writer.byte >= FaxOutputChunk) return Status::Ok;
        const uint64_t from = s.at;
        s.at = s.stagedBytes * 8;
        PutStagedBits(s, from);
        if (window.availIn == 0) {
            if (!inputEnds) return Status::Ok;
            s.inputEnded = true;
            if (s.emit && s.writer.pendingBits != 0) {
                // The last byte, filled with zeros, is complete now.
                s.writer.byte += 1;
                s.writer.pendingBits = 0;
            }
            s.phase = FaxRowsPhase::Done;
            return Status::Ok;
        }
        if (s.emit) {
            TakeInput(s, window);
            continue;
        }
        // A survey only counts the rest.
        s.bitsOut += uint64_t{window.availIn} * 8;
        s.inputBytes += window.availIn;
        window.nextIn += window.availIn;
        window.availIn = 0;
    }
}

// Hands complete output bytes to the window; the byte being filled stays.
void Deliver(FaxRows& s, Window& window) {
    while (s.delivered < s.writer.byte && window.availOut != 0) {
        const uint64_t left = s.writer.byte - s.delivered;
        const size_t count = static_cast<size_t>(left < window.availOut ? left : window.availOut);
        std::memcpy(window.nextOut, s.output.Data() + s.delivered, count);
        window.nextOut += count;
        window.availOut -= count;
        s.delivered += count;
    }
    if (s.delivered == s.writer.byte && s.delivered != 0) {
        // Everything complete is out: the byte being filled moves to the front.
        s.output.Data()[0] = s.output.Data()[s.writer.byte];
        s.writer.byte = 0;
        s.delivered = 0;
    }
}

// The blocks the reading needs, made at the first call that reads.
Status MakeBlocks(FaxRows& s) {
    if (s.phase == FaxRowsPhase::NotRows) return Status::Ok;
    if (s.staging.Data() == nullptr && !s.staging.Allocate(FaxStagingBytes)) return Status::OutOfMemory;
    if (!s.emit) return Status::Ok;
    if (s.output.Data() == nullptr && !s.output.Allocate(OutputBlockBytes)) return Status::OutOfMemory;
    s.writer.block = s.output.Data();
    return Status::Ok;
}

}  // namespace

void FaxBitWriter::Put(uint64_t value, uint32_t count) {
    pending |= value << (WordBits - pendingBits - count);
    pendingBits += count;
    const uint64_t word = FirstByteHighest(pending);
    std::memcpy(block + byte, &word, WordBytes);
    const uint32_t complete = pendingBits / 8;
    byte += complete;
    pending <<= 8 * complete;
    pendingBits -= 8 * complete;
}

void StartFaxRows(FaxRows& rows, int32_t columns, int32_t rowCount, bool byteAligned, bool emit) {
    rows.columns = columns;
    rows.rowLimit = rowCount > 0 ? rowCount : 0;
    rows.byteAligned = byteAligned;
    rows.emit = emit;
    rows.phase = columns > 0 ? FaxRowsPhase::Gap : FaxRowsPhase::NotRows;
    rows.stagedBytes = 0;
    rows.at = 0;
    rows.inputBytes = 0;
    rows.inputEnded = false;
    rows.gap = FaxGap{};
    rows.x = 0;
    rows.colour = White;
    rows.rows = 0;
    rows.everyRowHadEndOfLine = true;
    rows.bitsOut = 0;
    rows.writer = FaxBitWriter{};
    rows.delivered = 0;
}

Status RunFaxRows(FaxRows& s, Window& window, bool inputEnds) {
    const Status made = MakeBlocks(s);
    if (made != Status::Ok) return made;
    for (;;) {
        if (s.emit) {
            Deliver(s, window);
            if (s.delivered < s.writer.byte) return Status::Ok;
        }
        Status status = Status::Ok;
        switch (s.phase) {
        case FaxRowsPhase::Gap:
        case FaxRowsPhase::Row:
            status = ReadRows(s, window, inputEnds);
            if (status != Status::Ok) return status;
            if ((s.phase == FaxRowsPhase::Gap || s.phase == FaxRowsPhase::Row) && window.availIn == 0 &&
                !inputEnds && (!s.emit || s.delivered == s.writer.byte)) {
                return Status::Ok;
            }
            break;
        case FaxRowsPhase::Tail:
            status = CopyTail(s, window, inputEnds);
            if (status != Status::Ok) return status;
            if (s.phase == FaxRowsPhase::Tail && window.availIn == 0 && !inputEnds &&
                (!s.emit || s.delivered == s.writer.byte)) {
                return Status::Ok;
            }
            break;
        case FaxRowsPhase::NotRows:
            // Counting the rest of the input tells the length of the data as stored.
            s.inputBytes += window.availIn;
            window.nextIn += window.availIn;
            window.availIn = 0;
            if (!inputEnds) return Status::Ok;
            return s.emit ? Status::InvalidData : Status::End;
        case FaxRowsPhase::Done:
            return Status::End;
        }
    }
}

bool FaxRowsRewritten(const FaxRows& rows) { return rows.phase == FaxRowsPhase::Done; }

uint64_t FaxRowsBytes(const FaxRows& rows) {
    return FaxRowsRewritten(rows) ? (rows.bitsOut + 7) / 8 : rows.inputBytes;
}
