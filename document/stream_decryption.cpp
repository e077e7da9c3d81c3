#include "document/stream_decryption.h"

#include "decode/decrypt.h"
#include "decode/results.h"

uint32_t DecodeStoredStream(const Security& security, uint32_t objectNumber, uint32_t generation, const uint8_t* first,
                            const uint8_t* last, DictionaryText dictionary, DecodedStream& decoded) {
    const StreamKey key = KeyForStream(security, objectNumber, generation, dictionary);
    if (key.cipher == StreamCipher::None) return DecodeStream(first, last, dictionary, decoded);

    DecryptStage stage;
    const Status started = StartDecrypt(stage, key);
    if (started != Status::Ok) return started == Status::OutOfMemory ? ResultOutOfMemory : ResultInvalidData;
    const uint64_t stored = static_cast<uint64_t>(last - first);
    ByteBuffer plain;
    ByteBufferGuard plainGuard(plain);
    // Neither cipher makes more bytes than it is given.
    if (plain.Reserve(stored) != ResultOk) return ResultOutOfMemory;
    Window window{first, static_cast<size_t>(stored), plain.begin, static_cast<size_t>(stored)};
    const Status decrypted = RunDecrypt(stage, window, true);
    if (decrypted != Status::End) return decrypted == Status::OutOfMemory ? ResultOutOfMemory : ResultInvalidData;
    plain.end = window.nextOut;

    const uint32_t result = DecodeStream(plain.begin, plain.end, dictionary, decoded);
    if (result != ResultOk) return result;
    // Bytes no filter replaced are a view of the block, which they take over.
    if (!decoded.data.ownsMemory && decoded.data.begin == plain.begin) {
        plain.cursor = plain.begin;
        plain.GiveBackSlack();
        decoded.data = TakeBuffer(plain);
    }
    return ResultOk;
}
