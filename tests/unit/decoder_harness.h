// Runs one decoder over a byte string, the way the filter chain does: the input
// is an exact-size view (so a read past its end is caught by the sanitizers),
// the output starts empty or pre-reserved, and only begin..end counts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decode/byte_buffer.h"
#include "decode/results.h"

struct Decoded {
    uint32_t result;
    std::string bytes;  // begin..end on success, empty otherwise
};

template <typename Decode>
Decoded RunDecoder(Decode decode, const std::string& encoded, uint64_t preReserve = 0) {
    const std::vector<uint8_t> stored(encoded.begin(), encoded.end());
    ByteBuffer input;
    input.Attach(stored.data(), stored.data() + stored.size(), false);
    ByteBuffer output;
    ByteBufferGuard guard(output);
    if (preReserve != 0 && output.Reserve(preReserve) != ResultOk) return {ResultOutOfMemory, {}};
    const uint32_t result = decode(output, input);
    if (result != ResultOk) return {result, {}};
    return {result, std::string(reinterpret_cast<const char*>(output.begin), static_cast<size_t>(output.end - output.begin))};
}

inline std::string Hex(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}
