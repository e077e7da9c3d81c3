#include "decode/rc4.h"

void StartRc4(Rc4State& state, const uint8_t* key, size_t length) {
    for (unsigned n = 0; n < 256; ++n) state.permutation[n] = static_cast<uint8_t>(n);
    uint8_t j = 0;
    for (unsigned n = 0; n < 256; ++n) {
        j = static_cast<uint8_t>(j + state.permutation[n] + key[n % length]);
        const uint8_t swapped = state.permutation[n];
        state.permutation[n] = state.permutation[j];
        state.permutation[j] = swapped;
    }
    state.i = 0;
    state.j = 0;
}

void ApplyRc4(Rc4State& state, const uint8_t* input, uint8_t* output, size_t length) {
    uint8_t* const s = state.permutation;
    uint8_t i = state.i;
    uint8_t j = state.j;
    for (size_t n = 0; n < length; ++n) {
        i = static_cast<uint8_t>(i + 1);
        j = static_cast<uint8_t>(j + s[i]);
        const uint8_t swapped = s[i];
        s[i] = s[j];
        s[j] = swapped;
        output[n] = static_cast<uint8_t>(input[n] ^ s[static_cast<uint8_t>(s[i] + s[j])]);
    }
    state.i = i;
    state.j = j;
}
