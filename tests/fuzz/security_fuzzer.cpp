// The security handler on a document body and a password: finding the
// encryption from the last trailer or cross-reference stream, reading its
// dictionary (every /V, /R and /Length, /O /U /OE /UE /Perms of any length),
// the password's forms and the file key, and the key of each kind of stream.
// The bytes before the first NUL are the password, the rest the body; an
// input without a NUL is a body tried with no password.
//
// Whatever the input: the answer is one the open knows; a key found has the
// length its revision gives, and every stream key it makes starts the
// decrypt stage; the password's SASLprep form prepares to itself.
#include <cstring>
#include <string_view>

#include "decode/decrypt.h"
#include "document/password_forms.h"
#include "document/saslprep.h"
#include "document/security.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Stream dictionaries of every kind the key depends on.
constexpr std::string_view StreamDictionaries[] = {
    "<</Length 10>>",
    "<</Type /XRef /W [1 2 1]>>",
    "<</Type /Metadata /Subtype /XML>>",
    "<</Type /EmbeddedFile>>",
    "<</Filter /Crypt /DecodeParms <</Name /StdCF>>>>",
    "<</Filter [/Crypt /FlateDecode] /DecodeParms [<</Name /Identity>> null]>>",
};

// Room for a prepared password that nothing cuts: every code point in four bytes.
constexpr size_t UncutPreparedBytes = 4 * MaxPreparedCodePoints;

void CheckStreamKey(const Security& security, std::string_view dictionary) {
    const StreamKey key = KeyForStream(security, 7, 0, dictionary);
    FuzzCheck(key.length <= MaxStreamKeyBytes, "a stream key longer than its array");
    if (key.cipher == StreamCipher::None || key.cipher == StreamCipher::Unavailable) return;
    DecryptStage stage;
    FuzzCheck(StartDecrypt(stage, key) == Status::Ok, "a stream key the decrypt stage does not take");
}

void CheckKey(const Security& security) {
    FuzzCheck(security.handler[HandlerNameCapacity - 1] == '\0', "the handler's name is not terminated");
    if (security.version >= 5) {
        FuzzCheck(security.fileKeyLength == 32, "an AES-256 file key not of 32 bytes");
    } else {
        FuzzCheck(security.fileKeyLength >= 5 && security.fileKeyLength <= 16, "an RC4-family file key of another length");
    }
    for (std::string_view dictionary : StreamDictionaries) CheckStreamKey(security, dictionary);
}

// Preparing a prepared password changes nothing: NFKC is idempotent, and
// nothing it gives is mapped again.
void CheckPreparation(std::string_view password) {
    uint8_t prepared[UncutPreparedBytes];
    uint8_t again[UncutPreparedBytes];
    size_t length = 0;
    if (!SaslPrep(password, prepared, sizeof prepared, length)) return;
    size_t againLength = 0;
    const std::string_view preparedText(reinterpret_cast<const char*>(prepared), length);
    FuzzCheck(SaslPrep(preparedText, again, sizeof again, againLength), "a prepared password does not prepare");
    FuzzCheck(againLength == length && std::memcmp(again, prepared, length) == 0,
              "a prepared password prepares to something else");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CapHeapRequests();
    const DictionaryAndData parts = SplitAtNul(data, size);
    const TextCopy body(parts.data, parts.size);
    const std::string_view password = parts.dictionaryText;
    CheckPreparation(password);

    Security security;
    const Status status = OpenSecurity(body.view(), password, security);
    FuzzCheck(status == Status::Ok || status == Status::InvalidData || status == Status::Unsupported ||
                  status == Status::NeedsPassword || status == Status::OutOfMemory,
              "an answer the open does not know");
    if (status == Status::Ok && security.encrypted) {
        CheckKey(security);
        // Any text as a stream's dictionary.
        CheckStreamKey(security, body.view());
    }
    return 0;
}
