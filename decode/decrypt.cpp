// The decryption stage. RC4 and copying run over as many bytes as both
// windows allow; AES decrypts runs of whole blocks straight from the input
// window into the output window, and goes through its one-block buffers
// only where a block is split between inputs or does not fit the room left.
#include "decode/decrypt.h"

#include <cstring>

namespace {

size_t Smaller(size_t a, size_t b) { return a < b ? a : b; }

void Advance(Window& window, size_t consumed, size_t produced) {
    window.nextIn += consumed;
    window.availIn -= consumed;
    window.nextOut += produced;
    window.availOut -= produced;
}

Status RunStream(DecryptStage& stage, Window& window, bool inputEnds) {
    const size_t length = Smaller(window.availIn, window.availOut);
    if (length != 0) {
        if (stage.cipher == StreamCipher::Rc4) {
            ApplyRc4(stage.rc4, window.nextIn, window.nextOut, length);
        } else {
            std::memcpy(window.nextOut, window.nextIn, length);
        }
        Advance(window, length, length);
    }
    return inputEnds && window.availIn == 0 ? Status::End : Status::Ok;
}

// Writes what is left of the decrypted block; true when none is left.
bool WritePlain(DecryptStage& stage, Window& window) {
    const size_t length = Smaller(stage.plainEnd - stage.plainAt, window.availOut);
    if (length == 0) return stage.plainAt == stage.plainEnd;
    std::memcpy(window.nextOut, stage.plain + stage.plainAt, length);
    stage.plainAt += static_cast<uint32_t>(length);
    Advance(window, 0, length);
    return stage.plainAt == stage.plainEnd;
}

// Takes input into the block buffer until it holds 16 bytes or the input is used up.
void Gather(DecryptStage& stage, Window& window) {
    const size_t length = Smaller(AesBlockBytes - stage.blockFill, window.availIn);
    if (length == 0) return;
    std::memcpy(stage.block + stage.blockFill, window.nextIn, length);
    stage.blockFill += static_cast<uint32_t>(length);
    Advance(window, length, 0);
}

// Decrypts the block buffer into `plain`; the stream's last block loses its padding.
bool DecryptGathered(DecryptStage& stage, bool last) {
    if (!stage.aes.Decrypt(stage.chain, stage.block, stage.plain, AesBlockBytes)) return false;
    stage.blockFill = 0;
    stage.plainAt = 0;
    stage.plainEnd = AesBlockBytes;
    if (last) {
        const uint8_t pad = stage.plain[AesBlockBytes - 1];
        bool padded = pad <= AesBlockBytes;
        for (size_t i = 1; padded && i <= pad; ++i) padded = stage.plain[AesBlockBytes - i] == pad;
        if (padded) stage.plainEnd -= pad;
        stage.lastDone = true;
    }
    return true;
}

Status RunAes(DecryptStage& stage, Window& window, bool inputEnds) {
    for (;;) {
        if (!WritePlain(stage, window)) return Status::Ok;
        if (stage.lastDone) return Status::End;
        if (!stage.ivTaken) {
            Gather(stage, window);
            if (stage.blockFill == AesBlockBytes) {
                std::memcpy(stage.chain, stage.block, AesBlockBytes);
                stage.blockFill = 0;
                stage.ivTaken = true;
                continue;
            }
            // An IV and nothing more, or not even that, decrypts to nothing.
            if (!inputEnds) return Status::Ok;
            stage.lastDone = true;
            continue;
        }
        // A whole block is decrypted once input is known to follow it; the
        // last one waits for the input's end, which tells it is the last.
        if (stage.blockFill == AesBlockBytes && window.availIn > 0) {
            if (!DecryptGathered(stage, false)) return Status::OutOfMemory;
            continue;
        }
        if (stage.blockFill == 0 && window.availIn > AesBlockBytes && window.availOut >= AesBlockBytes) {
            const size_t blocks = Smaller((window.availIn - 1) / AesBlockBytes, window.availOut / AesBlockBytes);
            const size_t length = blocks * AesBlockBytes;
            if (!stage.aes.Decrypt(stage.chain, window.nextIn, window.nextOut, length)) return Status::OutOfMemory;
            Advance(window, length, length);
            continue;
        }
        if (window.availIn > 0 && stage.blockFill < AesBlockBytes) {
            Gather(stage, window);
            continue;
        }
        if (window.availIn > 0 || !inputEnds) return Status::Ok;
        // The input has ended: what is gathered is the last block, cut short
        // ones filled with zero bytes. Without one, the stream was its IV alone.
        if (stage.blockFill == 0) {
            stage.lastDone = true;
            continue;
        }
        std::memset(stage.block + stage.blockFill, 0, AesBlockBytes - stage.blockFill);
        if (!DecryptGathered(stage, true)) return Status::OutOfMemory;
    }
}

}  // namespace

Status StartDecrypt(DecryptStage& stage, const StreamKey& key) {
    stage.cipher = key.cipher;
    stage.blockFill = 0;
    stage.ivTaken = false;
    stage.plainAt = 0;
    stage.plainEnd = 0;
    stage.lastDone = false;
    switch (key.cipher) {
    case StreamCipher::None:
        return Status::Ok;
    case StreamCipher::Rc4:
        if (key.length == 0 || key.length > MaxStreamKeyBytes) return Status::InvalidData;
        StartRc4(stage.rc4, key.bytes, key.length);
        return Status::Ok;
    case StreamCipher::AesCbc:
        if (key.length > MaxStreamKeyBytes) return Status::InvalidData;
        return stage.aes.Start(key.bytes, key.length);
    case StreamCipher::Unavailable:
        break;
    }
    return Status::OutOfMemory;
}

Status RunDecrypt(DecryptStage& stage, Window& window, bool inputEnds) {
    if (stage.cipher == StreamCipher::AesCbc) return RunAes(stage, window, inputEnds);
    return RunStream(stage, window, inputEnds);
}
