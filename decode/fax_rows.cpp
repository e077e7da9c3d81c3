// End-of-line codes for one-dimensional Group 3 fax rows, resumable. Codes
// are read through a 64-bit window of the data, mostly a white and a black
// run or two at a time from a table indexed by 13 bits; each row is then
// copied, up to 56 bits at a time, behind its end-of-line code.
//
// The input is gathered into a carry block that holds the bytes from the end
// of the last row read on, so that a row whose codes run across input
// windows is read again whole once more input has come.
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


// Where the rows are read: the carry block's bytes, as bits.
struct RowReader {
    const uint8_t* data;   // the carry's bytes
    uint64_t byteCount;    // how many
    uint64_t bitCount;     // and as bits
};

// Reads the run codes of one row from `bit` on. True with `bit` after the
// row when they are a row of `columns` pixels that lies whole in the data;
// otherwise false with `failure` where the failing code starts. The hot loop
// of the rewrite: pairs of runs that do not finish the row are taken whole,
// the rest code by code. Past the end of the data the window reads zeros,
// which complete no code on their own.
bool ReadRow(const RowReader& r, int64_t columns, uint64_t& bit, uint64_t& failure) {
    uint64_t at = bit;
    uint64_t window = 0;
    uint32_t windowBits = 0;  // bits of the data at the top of the window
    int64_t x = 0;
    for (;;) {
        if (windowBits < PairBits) [[unlikely]] {
            window = PeekBits(r.data, r.byteCount, at);
            windowBits = PeekedBits(at);
        }
        const RunPairs pairs = PairsAhead[window >> (WordBits - PairBits)];
        if (pairs.bits != 0 && x + pairs.run < columns) [[likely]] {
            window <<= pairs.bits;
            windowBits -= pairs.bits;
            at += pairs.bits;
            x += pairs.run;
            continue;
        }
        // A white run and a black one, code by code; the row may end after either.
        for (const CodeLookup* codes : {&WhiteLookup, &BlackLookup}) {
            CodeEntry code;
            do {
                if (windowBits < LongestCodeBits) {
                    window = PeekBits(r.data, r.byteCount, at);
                    windowBits = PeekedBits(at);
                }
                code = (*codes)[window >> (WordBits - LongestCodeBits)];
                if (code.kind == CodeKind::Invalid || x + code.run > columns) {
                    failure = at;
                    return false;
                }
                window <<= code.bits;
                windowBits -= code.bits;
                at += code.bits;
                x += code.run;
            } while (code.kind == CodeKind::MakeUp);
            if (x == columns) {
                if (at > r.bitCount) {
                    failure = at;
                    return false;
                }
                bit = at;
                return true;
            }
        }
    }
}

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

// What one step of the rows found.
enum class Step : uint8_t {
    Row,        // a row was read
    RowsEnded,  // the rows end here: the row limit, the end of the page, or fill to the end
    NotRows,    // the data does not read as rows
    NeedMore,   // the decision needs bytes that have not come yet
};

RowReader ReaderOf(const FaxRows& s) { return RowReader{s.carry.Data(), s.carryBytes, s.carryBytes * 8}; }

// Reads the end-of-line codes and the row after the last row read, from
// `tail` on. With `rowStart` and `rowEnd` set for a row.
Step ReadNextRow(const FaxRows& s, uint64_t& rowStart, uint64_t& rowEnd, bool& hadEndOfLine) {
    const RowReader r = ReaderOf(s);
    if (s.rowLimit > 0 && s.rows == static_cast<uint64_t>(s.rowLimit)) return Step::RowsEnded;
    uint64_t bit = s.tail;
    uint64_t endOfLines = 0;
    for (;;) {
        // The data's length is whole bytes, so aligning never passes its end.
        if (s.byteAligned) bit = (bit + 7) & ~uint64_t{7};
        const uint64_t zeros = ZerosAhead(r, bit);
        if (bit + zeros == r.bitCount) {
            // Fill bits to the end of the data, if the data ends here.
            return s.inputEnded ? Step::RowsEnded : Step::NeedMore;
        }
        if (zeros < EndOfLineZeros) break;
        bit += zeros + 1;
        ++endOfLines;
    }
    if (endOfLines >= EndOfPageLines) return Step::RowsEnded;
    hadEndOfLine = endOfLines != 0;
    rowStart = bit;
    uint64_t failure = 0;
    if (ReadRow(r, s.columns, bit, failure)) {
        rowEnd = bit;
        return Step::Row;
    }
    // A code that lies whole in the data decides; one that runs past it may
    // read otherwise once more bytes have come.
    if (!s.inputEnded && failure + LongestCodeBits > r.bitCount) return Step::NeedMore;
    return Step::NotRows;
}

// Drops the carry's bytes before the tail's, which nothing reads again.
void DropReadBytes(FaxRows& s) {
    const uint64_t drop = s.tail / 8;
    if (drop == 0) return;
    std::memmove(s.carry.Data(), s.carry.Data() + drop, static_cast<size_t>(s.carryBytes - drop));
    s.carryBytes -= drop;
    s.tail -= drop * 8;
    s.tailCopied -= drop * 8;
}

// Makes room in the carry for up to `bytes` more, after the bytes before the
// tail's have gone; answers the room made, which is less only at the carry's
// limit, or 0 with `status` set when no block can be had.
uint64_t GrowCarry(FaxRows& s, uint64_t bytes, Status& status) {
    DropReadBytes(s);
    if (bytes > FaxCarryLimit - s.carryBytes) bytes = FaxCarryLimit - s.carryBytes;
    const uint64_t needed = s.carryBytes + bytes;
    if (needed <= s.carry.Size()) return bytes;
    uint64_t capacity = s.carry.Size() < FaxCarryChunk ? FaxCarryChunk : s.carry.Size() * 2;
    if (capacity < needed) capacity = needed;
    if (capacity > FaxCarryLimit) capacity = FaxCarryLimit;
    HeapBlock grown;
    if (!grown.Allocate(capacity)) {
        status = Status::OutOfMemory;
        return 0;
    }
    if (s.carryBytes != 0) std::memcpy(grown.Data(), s.carry.Data(), static_cast<size_t>(s.carryBytes));
    s.carry = std::move(grown);
    return bytes;
}

// Makes room in the output block for `bits` more bits and the writer's word.
bool GrowOutput(FaxRows& s, uint64_t bits, Status& status) {
    const uint64_t needed = s.writer.byte + (s.writer.pendingBits + bits + 7) / 8 + WordBytes;
    if (needed <= s.output.Size()) return true;
    uint64_t capacity = s.output.Size() < FaxCarryChunk ? FaxCarryChunk : s.output.Size() * 2;
    if (capacity < needed) capacity = needed;
    HeapBlock grown;
    if (!grown.Allocate(capacity)) {
        status = Status::OutOfMemory;
        return false;
    }
    if (s.output.Data() != nullptr) std::memcpy(grown.Data(), s.output.Data(), static_cast<size_t>(s.writer.byte + 1));
    s.output = std::move(grown);
    s.writer.block = s.output.Data();
    return true;
}

// Moves up to `wanted` input bytes into the carry; false when none fit, at
// the carry's limit or for lack of memory (then with `status` set).
bool TakeInput(FaxRows& s, Window& window, uint64_t wanted, Status& status) {
    const uint64_t take = GrowCarry(s, window.availIn < wanted ? window.availIn : wanted, status);
    if (take == 0) return false;
    std::memcpy(s.carry.Data() + s.carryBytes, window.nextIn, static_cast<size_t>(take));
    s.carryBytes += take;
    s.inputBytes += take;
    window.nextIn += take;
    window.availIn -= take;
    return true;
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

// One row, behind its end-of-line code: written, or only counted.
Status PutRow(FaxRows& s, uint64_t rowStart, uint64_t rowEnd) {
    const uint32_t fill = FillBits(s.byteAligned, s.bitsOut);
    s.bitsOut += fill + EndOfLineBits + (rowEnd - rowStart);
    if (!s.emit) return Status::Ok;
    Status status = Status::Ok;
    if (!GrowOutput(s, fill + EndOfLineBits + (rowEnd - rowStart), status)) return status;
    // Fill bits are zeros ahead of the code's own zeros, so both are one number.
    s.writer.Put(1, EndOfLineBits + fill);
    CopyBits(ReaderOf(s), s.writer, rowStart, rowEnd);
    return Status::Ok;
}

// The rows, as far as the input allows.
Status ReadRows(FaxRows& s, Window& window, bool inputEnds) {
    Status status = Status::Ok;
    for (;;) {
        uint64_t rowStart = 0;
        uint64_t rowEnd = 0;
        bool hadEndOfLine = false;
        const Step step = ReadNextRow(s, rowStart, rowEnd, hadEndOfLine);
        if (step == Step::Row) {
            if (!hadEndOfLine) s.everyRowHadEndOfLine = false;
            status = PutRow(s, rowStart, rowEnd);
            if (status != Status::Ok) return status;
            ++s.rows;
            s.tail = rowEnd;
            s.tailCopied = rowEnd;
            s.wanted = FaxCarryChunk;
            if (s.emit && s.writer.byte - s.delivered >= FaxCarryChunk) return Status::Ok;
            continue;
        }
        if (step == Step::NeedMore) {
            if (s.inputEnded) return Status::InvalidData;  // the whole data is there: nothing is missing
            if (window.availIn == 0) {
                if (!inputEnds) return Status::Ok;
                s.inputEnded = true;
                continue;
            }
            // Each time the decision waits, it may have twice the bytes.
            const uint64_t before = s.carryBytes;
            if (!TakeInput(s, window, s.wanted, status)) {
                if (status != Status::Ok) return status;
                // A row longer than the carry may hold: far from any real one.
                s.phase = FaxRowsPhase::NotRows;
                return Status::Ok;
            }
            if (s.carryBytes - before >= s.wanted) s.wanted *= 2;
            continue;
        }
        if (step == Step::RowsEnded && s.rows != 0 && !s.everyRowHadEndOfLine) {
            s.phase = FaxRowsPhase::Tail;
        } else {
            s.phase = FaxRowsPhase::NotRows;
        }
        return Status::Ok;
    }
}

// The input's bits after the last row, as they stand, then zero bits up to
// the next byte.
Status CopyTail(FaxRows& s, Window& window, bool inputEnds) {
    Status status = Status::Ok;
    for (;;) {
        const uint64_t end = s.carryBytes * 8;
        if (s.tailCopied < end) {
            if (s.emit) {
                if (!GrowOutput(s, end - s.tailCopied, status)) return status;
                CopyBits(ReaderOf(s), s.writer, s.tailCopied, end);
            }
            s.bitsOut += end - s.tailCopied;
            s.tailCopied = end;
            s.tail = end;
            DropReadBytes(s);
            if (s.emit) return Status::Ok;  // delivered before more is read
        }
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
        if (!TakeInput(s, window, FaxCarryChunk, status)) return status;
    }
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
    rows.phase = columns > 0 ? FaxRowsPhase::Rows : FaxRowsPhase::NotRows;
    rows.carryBytes = 0;
    rows.inputBytes = 0;
    rows.inputEnded = false;
    rows.tail = 0;
    rows.tailCopied = 0;
    rows.rows = 0;
    rows.everyRowHadEndOfLine = true;
    rows.wanted = FaxCarryChunk;
    rows.bitsOut = 0;
    rows.writer = FaxBitWriter{};
    rows.delivered = 0;
}

Status RunFaxRows(FaxRows& s, Window& window, bool inputEnds) {
    for (;;) {
        if (s.emit) {
            Deliver(s, window);
            if (s.delivered < s.writer.byte) return Status::Ok;
        }
        Status status = Status::Ok;
        switch (s.phase) {
        case FaxRowsPhase::Rows:
            status = ReadRows(s, window, inputEnds);
            if (status != Status::Ok) return status;
            if (s.phase == FaxRowsPhase::Rows && window.availIn == 0 && !inputEnds &&
                (!s.emit || s.delivered == s.writer.byte)) {
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
