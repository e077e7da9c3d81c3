// The standard security handler, found and worked out without the
// cross-reference table: where a document names its encryption, reading the
// encryption dictionary, checking a password, the file's key, and the key of
// each stream. Pure functions over the document body's text: they read it,
// keep views into it only while they run, and touch nothing else.
//
// Revisions read: RC4 with keys of 40 to 128 bits (V 1 and 2, R 2 and 3),
// crypt filters (V 4, R 4: RC4 or AES-128), and AES-256 (V 5, R 5 and 6).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "decode/decrypt.h"
#include "decode/status.h"
#include "syntax/dictionary.h"
#include "syntax/value_reader.h"

// A handler's name is kept up to this many bytes, slash included.
constexpr size_t HandlerNameCapacity = 64;
// Crypt filter names longer than this, or more filters than this, are not read.
constexpr size_t CryptFilterNameCapacity = 32;
constexpr size_t MaxCryptFilters = 8;
// /O and /U hold 32 bytes (R 2 to 4) or 48 (R 5, 6); some writers pad them to 127.
constexpr size_t PasswordDataCapacity = 128;
// /OE and /UE: the file key, encrypted.
constexpr size_t EncryptedKeyBytes = 32;
// The first string of /ID; producers write 16 or 32 bytes.
constexpr size_t DocumentIdCapacity = 128;
constexpr size_t MaxFileKeyBytes = 32;

// How a crypt filter, or a whole revision, encrypts.
enum class CryptMethod : uint8_t {
    None,   // /Identity: stored as it is
    Rc4,    // /V2, and every stream of V 1 and 2
    AesV2,  // AES-128 with a key per object
    AesV3,  // AES-256 with the file key
};

struct CryptFilter {
    char name[CryptFilterNameCapacity];  // its key in /CF, slash included, NUL-terminated
    CryptMethod method;                  // from its /CFM
};

// Where the document names its encryption: views into the body.
struct TrailerSecurity {
    ValueText encrypt;  // the value of /Encrypt: a reference, or the dictionary itself
    ValueText id;       // the value of /ID beside it; empty when there is none
};

// The encryption dictionary, read.
struct EncryptionDictionary {
    char handler[HandlerNameCapacity];           // /Filter, slash included, NUL-terminated
    int64_t version;                             // /V
    int64_t revision;                            // /R
    uint32_t keyBytes;                           // from /Length, or the revision's default
    uint32_t permissions;                        // /P as its 32 bits
    uint8_t owner[PasswordDataCapacity];         // /O
    size_t ownerLength;
    uint8_t user[PasswordDataCapacity];          // /U
    size_t userLength;
    uint8_t ownerKey[EncryptedKeyBytes];         // /OE (V 5)
    uint8_t userKey[EncryptedKeyBytes];          // /UE (V 5)
    bool encryptMetadata;                        // /EncryptMetadata; true when not given
    CryptFilter filters[MaxCryptFilters];        // /CF (V 4, 5)
    uint32_t filterCount;
    CryptMethod streamMethod;                    // /StmF's filter (V 4, 5); RC4 for V 1, 2
    CryptMethod embeddedFileMethod;              // /EFF's filter, else the stream's
    uint8_t documentId[DocumentIdCapacity];      // the first string of the trailer's /ID
    size_t documentIdLength;
};

// What the open keeps of a document's encryption, for the keys of its streams.
struct Security {
    bool encrypted = false;                          // the document names an encryption dictionary
    uint8_t version = 0;                             // /V: 1, 2, 4 or 5 once the key is found
    uint8_t revision = 0;                            // /R: 2 to 6
    uint8_t fileKey[MaxFileKeyBytes] = {};           // the file's key
    uint32_t fileKeyLength = 0;                      // 5 to 16 bytes (V 1, 2, 4); 32 (V 5)
    bool encryptMetadata = true;                     // false: metadata streams are stored as they are (V 4, 5)
    CryptMethod streamMethod = CryptMethod::None;    // for a stream that names no crypt filter
    CryptMethod embeddedFileMethod = CryptMethod::None;  // for an embedded file's stream
    CryptFilter filters[MaxCryptFilters] = {};       // the filters a stream may name in its /Filter
    uint32_t filterCount = 0;
    char handler[HandlerNameCapacity] = {};          // the security handler's name, kept for a refusal's message
};

// Finds /Encrypt and /ID in the dictionary of the last trailer, or of the last
// cross-reference stream (/Type /XRef), searching the body backwards from its
// end: the nearest dictionary that has /Encrypt, or /Root, decides. When the
// nearest one has neither (a linearized file's last trailer holds little
// more than /Size), the first such dictionary from the start decides. False
// when the document is not encrypted (/Encrypt null counts as absent). Each
// search reads the body once, and each candidate's dictionary at most 64 KiB
// past its keyword; one whose candidates have read the body's size and
// 256 KiB more without deciding (keywords repeated in text that each read
// the rest) finds nothing. Time linear in the body.
bool FindTrailerSecurity(std::string_view body, TrailerSecurity& found);
// The encryption dictionary that `encrypt` names: itself when it is a
// dictionary, else the dictionary of the last object "N G obj" in the body.
// False when there is none.
bool FindEncryptionDictionary(std::string_view body, ValueText encrypt, DictionaryText& dictionary);
// Reads the dictionary and the first string of the /ID value `id`. Ok;
// Unsupported for a handler other than /Standard (its name is kept in
// `read.handler`) or a V and R outside those above; InvalidData when a value
// the revision needs is missing or malformed.
Status ReadEncryptionDictionary(DictionaryText dictionary, ValueText id, EncryptionDictionary& read);
// Checks `password` in each of its forms for the revision
// (document/password_forms.h) as the user password, then as the owner
// password, then the empty user password, and fills `security` with the file
// key and the stream methods. Ok; NeedsPassword when none of them opens the
// document; OutOfMemory when the system's cryptography refused.
Status ComputeFileKey(const EncryptionDictionary& dictionary, std::string_view password, Security& security);
// All of the above for a document body: Ok for a document that is not
// encrypted (security.encrypted false) or whose key was found; otherwise the
// status of the step that failed, with the handler's name kept when it was
// read.
Status OpenSecurity(std::string_view body, std::string_view password, Security& security);

// The key of one stream (decode/decrypt.h): none for a document that is not
// encrypted, for a cross-reference stream, for a metadata stream under
// /EncryptMetadata false and for a stream whose own /Crypt filter names
// /Identity; else the cipher of its crypt filter (its own, or the document's)
// with the key of its object and generation numbers (V 1, 2, 4) or the file
// key (V 5). Unavailable when the system's hash was refused.
StreamKey KeyForStream(const Security& security, uint32_t objectNumber, uint32_t generation,
                       DictionaryText streamDictionary);
