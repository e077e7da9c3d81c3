// RC4, the stream cipher of the older PDF encryptions. Written here once for
// both builds: Windows' CNG offers it, but Wine's does not, and OpenSSL 3
// keeps it in a provider that is not loaded by default. Checked against the
// test vectors of RFC 6229.
#pragma once

#include <cstddef>
#include <cstdint>

// The bytes of a key RC4 takes at most.
constexpr size_t MaxRc4KeyBytes = 256;

struct Rc4State {
    uint8_t permutation[256];  // S, the state's permutation of the byte values
    uint8_t i;                 // the first index of the output loop
    uint8_t j;                 // the second index
};

// The key schedule for `length` key bytes (1 to 256).
void StartRc4(Rc4State& state, const uint8_t* key, size_t length);
// XORs the next `length` bytes of the key stream into `input`, written to
// `output` (which may be `input` itself).
void ApplyRc4(Rc4State& state, const uint8_t* input, uint8_t* output, size_t length);
