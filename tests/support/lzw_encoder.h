// The LZW encoder the tests build their streams with: codes of 9 to 12 bits,
// most significant bit first, a clear code first and the end-of-data code
// last. qpdf decodes its output, with either earlyChange, back to the input,
// so it is a fair independent source of LZW streams.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

// Packs codes most significant bit first, each with its own width.
class BitWriter {
public:
    void Put(uint32_t code, uint32_t width) {
        for (uint32_t bit = width; bit-- > 0;) {
            current_ = static_cast<uint8_t>(current_ << 1 | ((code >> bit) & 1u));
            if (++filled_ == 8) Flush();
        }
    }
    // The bytes written, the last one padded with zero bits.
    std::string Finish() {
        if (filled_ != 0) {
            current_ = static_cast<uint8_t>(current_ << (8 - filled_));
            Flush();
        }
        return bytes_;
    }

private:
    void Flush() {
        bytes_.push_back(static_cast<char>(current_));
        current_ = 0;
        filled_ = 0;
    }
    std::string bytes_;
    uint8_t current_ = 0;
    uint32_t filled_ = 0;
};

// What the encoder does once its table holds 4096 codes: send a clear code and
// start over, as producers do, or go on without new entries, which a decoder
// must reject when the next code arrives at a width it cannot have.
enum class WhenFull { Clear, Freeze };

inline constexpr uint32_t kLzwClearCode = 256;
inline constexpr uint32_t kLzwEndCode = 257;
inline constexpr uint32_t kLzwFirstFreeCode = 258;
inline constexpr uint32_t kLzwTableSize = 4096;
inline constexpr uint32_t kLzwNarrowestWidth = 9;

// The encoder's table is one entry ahead of a decoder's, so it widens its
// codes when its next code plus earlyChange reaches 513, 1025 and 2049.
inline std::string EncodeLzw(const std::string& data, int32_t earlyChange, WhenFull whenFull) {
    BitWriter writer;
    // child[code * 256 + byte]: the code of that string extended by the byte, or 0.
    std::vector<uint16_t> child(kLzwTableSize * 256);
    uint32_t nextCode = kLzwFirstFreeCode;
    uint32_t width = kLzwNarrowestWidth;
    auto reset = [&] {
        std::fill(child.begin(), child.end(), uint16_t{0});
        nextCode = kLzwFirstFreeCode;
        width = kLzwNarrowestWidth;
    };
    writer.Put(kLzwClearCode, width);
    if (data.empty()) {
        writer.Put(kLzwEndCode, width);
        return writer.Finish();
    }
    uint32_t current = static_cast<uint8_t>(data[0]);
    for (size_t i = 1; i < data.size(); ++i) {
        const uint8_t c = static_cast<uint8_t>(data[i]);
        if (child[current * 256 + c] != 0) {
            current = child[current * 256 + c];
            continue;
        }
        writer.Put(current, width);
        if (nextCode < kLzwTableSize) {
            child[current * 256 + c] = static_cast<uint16_t>(nextCode++);
            const int64_t sum = int64_t{nextCode} + earlyChange;
            if (sum == 513 || sum == 1025 || sum == 2049) ++width;
            if (nextCode == kLzwTableSize && whenFull == WhenFull::Clear) {
                writer.Put(kLzwClearCode, width);
                reset();
            }
        }
        current = c;
    }
    writer.Put(current, width);
    writer.Put(kLzwEndCode, width);
    return writer.Finish();
}
