// The standard security handler. The algorithms are the standard's, named by
// what they compute: the file key from a password (R 2 to 4), the user and
// owner password checks, the hash of R 5 and 6, and the key of one object.
#include "document/security.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "decode/crypto.h"
#include "decode/rc4.h"
#include "document/password_forms.h"
#include "syntax/byte_search.h"
#include "syntax/char_class.h"

namespace {

// The bytes a password is padded with to 32 (R 2 to 4).
constexpr uint8_t PasswordPadding[] = {
    0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
    0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A,
};
constexpr size_t PaddedPasswordBytes = sizeof PasswordPadding;
static_assert(PaddedPasswordBytes == MaxRc4FamilyPasswordBytes);
// R 3 and 4 hash the key again this many times, and pass RC4 over the
// password check this many times with the key XOR the pass number.
constexpr int KeyHashRounds = 50;
constexpr uint8_t Rc4Passes = 20;
// Key lengths: R 2 always, and V 1 or 2 without /Length, 40 bits; V 4
// without /Length 128 bits; any /Length from 40 to 128 bits in steps of 8.
constexpr uint32_t ShortKeyBytes = 5;
constexpr uint32_t LongKeyBytes = 16;
constexpr int64_t MinLengthBits = 40;
constexpr int64_t MaxLengthBits = 128;
constexpr uint32_t Aes256KeyBytes = 32;
// R 3 and 4 compare the first 16 bytes of /U; R 2 all 32.
constexpr size_t UserCheckBytesR3 = 16;
// /U and /O of R 5 and 6: a 32-byte hash, an 8-byte validation salt, an
// 8-byte key salt; /O's hash also covers the 48 bytes of /U.
constexpr size_t HashPartBytes = 32;
constexpr size_t ValidationSaltAt = 32;
constexpr size_t KeySaltAt = 40;
constexpr size_t SaltBytes = 8;
constexpr size_t UserDataBytes = 48;
// R 6's hash: each round encrypts 64 copies of (password, K, user data), K
// being at most a SHA-512 digest; it runs at least 64 rounds, and ends once
// the last byte encrypted is at most the round number less 32.
constexpr size_t HashCopies = 64;
constexpr size_t MaxHashCopyBytes = MaxPasswordBytes + Sha512Bytes + UserDataBytes;
constexpr int MinHashRounds = 64;
constexpr int HashRoundMargin = 32;
// The key of one object: the file key, the object number's low 3 bytes and
// the generation's low 2, and for AES the bytes "sAlT"; at most 16 bytes.
constexpr size_t ObjectNumberBytes = 3;
constexpr size_t GenerationBytes = 2;
constexpr uint8_t AesSalt[] = {'s', 'A', 'l', 'T'};
// /EncryptMetadata false adds these 4 bytes to the file key's hash (R 4).
constexpr uint8_t NoMetadataMark[] = {0xFF, 0xFF, 0xFF, 0xFF};
// A trailer or cross-reference stream dictionary is read no further than
// this: a keyword met in other text does not walk the rest of the body.
constexpr size_t MaxTrailerDictionaryBytes = size_t{64} << 10;
// The candidates of one search read together no more than the body and this
// many such windows: a real file's search reads a few.
constexpr uint64_t CandidateReadWindows = 4;

constexpr std::string_view TrailerKeyword = "trailer";
constexpr std::string_view XrefTypeName = "/XRef";
constexpr std::string_view ObjKeyword = "obj";
constexpr size_t NotFound = std::string_view::npos;

// A password's bytes, not kept.
struct Password {
    const uint8_t* bytes;
    size_t length;
};

template <size_t N>
void CopyName(std::string_view name, char (&destination)[N]) {
    const size_t length = name.size() < N - 1 ? name.size() : N - 1;
    std::memcpy(destination, name.data(), length);
    destination[length] = '\0';
}

// The last place in [from, end) where `needle` starts and ends, or NotFound.
// It costs the distance from `end` back to what it finds.
size_t LastOf(std::string_view body, std::string_view needle, size_t from, size_t end) {
    const auto* const bytes = reinterpret_cast<const uint8_t*>(body.data());
    const uint8_t first = static_cast<uint8_t>(needle[0]);
    const uint8_t second = static_cast<uint8_t>(needle[1]);
    // A pair found may start a needle that runs past `end`: the search goes
    // on before it.
    for (const uint8_t* stop = bytes + end; stop - (bytes + from) >= 2;) {
        const uint8_t* const pair = FindLastBytePair(bytes + from, stop, first, second);
        if (pair == nullptr) return NotFound;
        const size_t at = static_cast<size_t>(pair - bytes);
        if (end - at >= needle.size() && body.compare(at, needle.size(), needle) == 0) return at;
        stop = pair + 1;
    }
    return NotFound;
}

// One keyword's hits in a run of searches that move one way: backwards with
// ends that never grow, or forwards with starts that never shrink. The hit
// kept answers every search it still lies in, and a search resumes where the
// last one stopped, so the run reads each byte once.
struct KeywordHits {
    std::string_view keyword;
    bool searched = false;  // false until the first search
    size_t hit = NotFound;  // the last hit found; NotFound: none is left in the run's direction
};

// The last place before `end` where the keyword starts and ends, or NotFound.
size_t LastHitBefore(std::string_view body, size_t end, KeywordHits& hits) {
    if (hits.searched && (hits.hit == NotFound || hits.hit + hits.keyword.size() <= end)) return hits.hit;
    hits.searched = true;
    hits.hit = LastOf(body, hits.keyword, 0, end);
    return hits.hit;
}

// The first place at or after `from` where the keyword starts, or NotFound.
size_t FirstHitFrom(std::string_view body, size_t from, KeywordHits& hits) {
    if (hits.searched && (hits.hit == NotFound || hits.hit >= from)) return hits.hit;
    hits.searched = true;
    hits.hit = body.find(hits.keyword, from);
    return hits.hit;
}

// What is known of the "obj" keywords before a position, so that a run of
// candidates searches each byte once: among the keywords that end by
// `knownTo`, the last starts at `last` (NotFound: there is none).
struct ObjMemo {
    size_t knownTo = 0;
    size_t last = NotFound;
};

size_t LastObjBefore(std::string_view body, size_t end, ObjMemo& memo) {
    if (end >= memo.knownTo) {
        const size_t from = memo.knownTo >= ObjKeyword.size() ? memo.knownTo - (ObjKeyword.size() - 1) : 0;
        const size_t found = LastOf(body, ObjKeyword, from, end);
        if (found != NotFound) memo.last = found;
    } else if (memo.last != NotFound && memo.last + ObjKeyword.size() > end) {
        memo.last = LastOf(body, ObjKeyword, 0, end);
    }
    memo.knownTo = end;
    return memo.last;
}

// One search's reading of candidate dictionaries: keywords repeated in a
// comment or a string ("%trailer <<trailer <<...") would otherwise each read
// the same bytes again up to MaxTrailerDictionaryBytes.
struct CandidateReads {
    explicit CandidateReads(std::string_view body)
        : allowance(uint64_t{body.size()} + CandidateReadWindows * MaxTrailerDictionaryBytes) {}

    ObjMemo objects;                     // the "obj" keywords found so far
    size_t xrefObj = NotFound;           // the "obj" whose dictionary was read last
    DictionaryText xrefDictionary;       // that dictionary, when it is a cross-reference stream's
    uint64_t allowance;                  // bytes the candidates may still read; 0 ends the search
};

// The dictionary whose "<<" is the first token at or after `from`, read no
// further than MaxTrailerDictionaryBytes past `from`; what was read is
// charged to the allowance.
DictionaryText ChargedDictionaryAt(std::string_view body, const char* from, CandidateReads& reads) {
    const char* const end = body.data() + body.size();
    const char* const stop = static_cast<size_t>(end - from) > MaxTrailerDictionaryBytes ? from + MaxTrailerDictionaryBytes : end;
    const char* const start = SkipWhiteSpace(from, stop);
    const DictionaryText dictionary = DictionaryAt(start, stop);
    // One that never closes may have been read to the window's end.
    const bool opens = stop - start >= 2 && start[0] == '<' && start[1] == '<';
    const char* const readTo = !dictionary.empty() ? dictionary.data() + dictionary.size() : opens ? stop : start;
    const uint64_t read = static_cast<uint64_t>(readTo - from);
    reads.allowance = read < reads.allowance ? reads.allowance - read : 0;
    return dictionary;
}

bool NameIs(DictionaryText dictionary, std::string_view key, std::string_view expected) {
    ValueText value;
    std::string_view name;
    return FindDictionaryValue(dictionary, key, value) && ReadNameValue(value, name) && name == expected;
}

// The dictionary a candidate keyword stands for: the one after "trailer", or
// the dictionary of the object whose /Type is the /XRef found. Empty when the
// keyword stands in other text.
DictionaryText CandidateDictionary(std::string_view body, size_t at, CandidateReads& reads) {
    if (body.compare(at, TrailerKeyword.size(), TrailerKeyword) == 0) {
        return ChargedDictionaryAt(body, body.data() + at + TrailerKeyword.size(), reads);
    }
    const size_t obj = LastObjBefore(body, at, reads.objects);
    if (obj == NotFound) return {};
    // Every "/XRef" within one object stands for the same dictionary, read once.
    if (obj != reads.xrefObj) {
        reads.xrefObj = obj;
        reads.xrefDictionary = ChargedDictionaryAt(body, body.data() + obj + ObjKeyword.size(), reads);
        if (!NameIs(reads.xrefDictionary, "/Type", XrefTypeName)) reads.xrefDictionary = {};
    }
    const DictionaryText dictionary = reads.xrefDictionary;
    const char* const name = body.data() + at;
    return dictionary.empty() || name >= dictionary.data() + dictionary.size() ? DictionaryText{} : dictionary;
}

enum class Verdict : uint8_t { Encrypted, NotEncrypted, Undecided };

Verdict Judge(DictionaryText dictionary, TrailerSecurity& found) {
    ValueText encrypt;
    if (FindDictionaryValue(dictionary, "/Encrypt", encrypt)) {
        if (encrypt == "null") return Verdict::NotEncrypted;
        found.encrypt = encrypt;
        found.id = ValueText{};
        FindDictionaryValue(dictionary, "/ID", found.id);
        return Verdict::Encrypted;
    }
    ValueText root;
    return FindDictionaryValue(dictionary, "/Root", root) ? Verdict::NotEncrypted : Verdict::Undecided;
}

// Reads a run of digits ending at `end`, backwards; the run's start, or null.
const char* DigitsBefore(const char* begin, const char* end, uint32_t& value) {
    const char* p = end;
    while (p > begin && IsDigit(static_cast<unsigned char>(p[-1]))) --p;
    if (p == end || end - p > 10) return nullptr;
    uint64_t number = 0;
    for (const char* digit = p; digit < end; ++digit) number = number * 10 + static_cast<uint64_t>(*digit - '0');
    if (number > UINT32_MAX) return nullptr;
    value = static_cast<uint32_t>(number);
    return p;
}

const char* WhiteSpaceBefore(const char* begin, const char* end) {
    const char* p = end;
    while (p > begin && IsWhiteSpace(static_cast<unsigned char>(p[-1]))) --p;
    return p;
}

// Whether the "obj" at `at` ends the header line "number generation obj".
bool HeaderNames(std::string_view body, size_t at, uint32_t number, uint32_t generation) {
    const char* const begin = body.data();
    const char* p = WhiteSpaceBefore(begin, begin + at);
    if (p == begin + at) return false;
    uint32_t readGeneration = 0;
    p = DigitsBefore(begin, p, readGeneration);
    if (p == nullptr) return false;
    const char* const numberEnd = WhiteSpaceBefore(begin, p);
    if (numberEnd == p) return false;
    uint32_t readNumber = 0;
    p = DigitsBefore(begin, numberEnd, readNumber);
    if (p == nullptr) return false;
    if (p > begin && !IsWhiteSpace(static_cast<unsigned char>(p[-1])) && !IsDelimiter(static_cast<unsigned char>(p[-1]))) {
        return false;
    }
    return readNumber == number && readGeneration == generation;
}

bool ReadInteger(DictionaryText dictionary, std::string_view key, int64_t& number) {
    ValueText value;
    return FindDictionaryValue(dictionary, key, value) && ReadIntegerValue(value, number);
}

bool ReadString(DictionaryText dictionary, std::string_view key, uint8_t* bytes, size_t capacity, size_t& length) {
    ValueText value;
    return FindDictionaryValue(dictionary, key, value) && ReadStringValue(value, bytes, capacity, length);
}

// A method the reader does not know is taken for AES, as qpdf takes it.
CryptMethod UnknownMethod(int64_t version) { return version >= 5 ? CryptMethod::AesV3 : CryptMethod::AesV2; }

CryptMethod MethodOfCfm(std::string_view cfm, int64_t version) {
    if (cfm == "/V2") return CryptMethod::Rc4;
    if (cfm == "/AESV2") return CryptMethod::AesV2;
    if (cfm == "/AESV3") return CryptMethod::AesV3;
    if (cfm == "/None") return CryptMethod::None;
    return UnknownMethod(version);
}

// The method of the crypt filter named `name`; false when /CF has no such filter.
bool MethodOfFilter(const CryptFilter* filters, uint32_t count, std::string_view name, CryptMethod& method) {
    if (name == "/Identity") {
        method = CryptMethod::None;
        return true;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (name == filters[i].name) {
            method = filters[i].method;
            return true;
        }
    }
    return false;
}

// The method a crypt filter name in /StmF or /EFF stands for; without the
// name, `fallback`.
CryptMethod NamedMethod(DictionaryText dictionary, std::string_view key, const EncryptionDictionary& read,
                        CryptMethod fallback) {
    ValueText value;
    std::string_view name;
    if (!FindDictionaryValue(dictionary, key, value) || !ReadNameValue(value, name)) return fallback;
    CryptMethod method = fallback;
    return MethodOfFilter(read.filters, read.filterCount, name, method) ? method : UnknownMethod(read.version);
}

void ReadCryptFilters(DictionaryText dictionary, EncryptionDictionary& read) {
    ValueText filters;
    ValueWalk walk;
    if (!FindDictionaryValue(dictionary, "/CF", filters) || !StartDictionaryWalk(filters, walk)) return;
    std::string_view name;
    ValueText filter;
    while (read.filterCount < MaxCryptFilters && NextDictionaryEntry(walk, name, filter)) {
        if (name.size() >= CryptFilterNameCapacity) continue;
        ValueText cfm;
        std::string_view cfmName;
        // A filter without /CFM decrypts nothing.
        CryptMethod method = CryptMethod::None;
        if (FindDictionaryValue(filter, "/CFM", cfm) && ReadNameValue(cfm, cfmName)) {
            method = MethodOfCfm(cfmName, read.version);
        }
        CryptFilter& kept = read.filters[read.filterCount++];
        CopyName(name, kept.name);
        kept.method = method;
    }
}

void ReadDocumentId(ValueText id, EncryptionDictionary& read) {
    ValueWalk walk;
    ValueText first;
    // A missing or broken /ID counts as empty, as qpdf counts it.
    if (!StartArrayWalk(id, walk) || !NextArrayElement(walk, first) ||
        !ReadStringValue(first, read.documentId, DocumentIdCapacity, read.documentIdLength)) {
        read.documentIdLength = 0;
    }
}

void PadPassword(Password password, uint8_t (&padded)[PaddedPasswordBytes]) {
    const size_t length = password.length < PaddedPasswordBytes ? password.length : PaddedPasswordBytes;
    std::memcpy(padded, password.bytes, length);
    std::memcpy(padded + length, PasswordPadding, PaddedPasswordBytes - length);
}

void PutLittleEndian(uint32_t value, uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Applies RC4 with `key` XOR the pass number, for passes first, first - 1, ...
// or first, first + 1, ...: R 3 and 4 run 20 passes over the password checks.
void ApplyRc4Passes(const uint8_t* key, uint32_t keyBytes, uint8_t* data, size_t length, bool descending) {
    for (uint8_t pass = 0; pass < Rc4Passes; ++pass) {
        const uint8_t mask = descending ? static_cast<uint8_t>(Rc4Passes - 1 - pass) : pass;
        uint8_t passKey[LongKeyBytes];
        for (uint32_t i = 0; i < keyBytes; ++i) passKey[i] = static_cast<uint8_t>(key[i] ^ mask);
        Rc4State rc4;
        StartRc4(rc4, passKey, keyBytes);
        ApplyRc4(rc4, data, data, length);
    }
}

void Rc4Once(const uint8_t* key, uint32_t keyBytes, uint8_t* data, size_t length) {
    Rc4State rc4;
    StartRc4(rc4, key, keyBytes);
    ApplyRc4(rc4, data, data, length);
}

// The file key from a padded user password (R 2 to 4).
bool FileKeyFromPassword(const EncryptionDictionary& read, const uint8_t (&padded)[PaddedPasswordBytes],
                         uint8_t (&key)[Md5Bytes]) {
    uint8_t permissions[4];
    PutLittleEndian(read.permissions, permissions, sizeof permissions);
    const bool markMetadata = read.revision >= 4 && !read.encryptMetadata;
    if (!HashBytes(HashKind::Md5,
                   {{padded, PaddedPasswordBytes},
                    {read.owner, PaddedPasswordBytes},
                    {permissions, sizeof permissions},
                    {read.documentId, read.documentIdLength},
                    {NoMetadataMark, markMetadata ? sizeof NoMetadataMark : 0}},
                   key)) {
        return false;
    }
    for (int round = 0; read.revision >= 3 && round < KeyHashRounds; ++round) {
        if (!HashBytes(HashKind::Md5, {{key, read.keyBytes}}, key)) return false;
    }
    return true;
}

// Whether the padded password is the user password; its file key in `key`.
Status CheckUserPassword(const EncryptionDictionary& read, const uint8_t (&padded)[PaddedPasswordBytes],
                         uint8_t (&key)[Md5Bytes]) {
    if (!FileKeyFromPassword(read, padded, key)) return Status::OutOfMemory;
    if (read.revision == 2) {
        uint8_t check[PaddedPasswordBytes];
        std::memcpy(check, PasswordPadding, PaddedPasswordBytes);
        Rc4Once(key, read.keyBytes, check, PaddedPasswordBytes);
        return std::memcmp(check, read.user, PaddedPasswordBytes) == 0 ? Status::Ok : Status::NeedsPassword;
    }
    uint8_t check[Md5Bytes];
    if (!HashBytes(HashKind::Md5, {{PasswordPadding, PaddedPasswordBytes}, {read.documentId, read.documentIdLength}},
                   check)) {
        return Status::OutOfMemory;
    }
    ApplyRc4Passes(key, read.keyBytes, check, sizeof check, false);
    return std::memcmp(check, read.user, UserCheckBytesR3) == 0 ? Status::Ok : Status::NeedsPassword;
}

// Whether the padded password is the owner password: /O decrypted with it is
// the padded user password, which gives the file key.
Status CheckOwnerPassword(const EncryptionDictionary& read, const uint8_t (&padded)[PaddedPasswordBytes],
                          uint8_t (&key)[Md5Bytes]) {
    uint8_t ownerKey[Md5Bytes];
    if (!HashBytes(HashKind::Md5, {{padded, PaddedPasswordBytes}}, ownerKey)) return Status::OutOfMemory;
    // Each round hashes the key's length of the last digest, as for the file
    // key: Ghostscript writes and qpdf reads R 3 documents of 40 bits so.
    for (int round = 0; read.revision >= 3 && round < KeyHashRounds; ++round) {
        if (!HashBytes(HashKind::Md5, {{ownerKey, read.keyBytes}}, ownerKey)) return Status::OutOfMemory;
    }
    uint8_t user[PaddedPasswordBytes];
    std::memcpy(user, read.owner, PaddedPasswordBytes);
    if (read.revision == 2) {
        Rc4Once(ownerKey, read.keyBytes, user, PaddedPasswordBytes);
    } else {
        ApplyRc4Passes(ownerKey, read.keyBytes, user, PaddedPasswordBytes, true);
    }
    return CheckUserPassword(read, user, key);
}

Status TryRc4FamilyPassword(const EncryptionDictionary& read, Password password, Security& security) {
    uint8_t padded[PaddedPasswordBytes];
    PadPassword(password, padded);
    uint8_t key[Md5Bytes];
    Status status = CheckUserPassword(read, padded, key);
    if (status == Status::NeedsPassword) status = CheckOwnerPassword(read, padded, key);
    if (status != Status::Ok) return status;
    std::memcpy(security.fileKey, key, read.keyBytes);
    security.fileKeyLength = read.keyBytes;
    return Status::Ok;
}

// The hash of R 5 (SHA-256) and R 6 (rounds of AES-128 and SHA-2) over the
// password, an 8-byte salt and, for the owner, the 48 bytes of /U.
Status HashAes256Password(const EncryptionDictionary& read, Password password, const uint8_t* salt,
                          const uint8_t* userData, uint8_t (&hash)[HashPartBytes]) {
    const size_t userDataBytes = userData != nullptr ? UserDataBytes : 0;
    uint8_t k[MaxDigestBytes];
    size_t kBytes = Sha256Bytes;
    if (!HashBytes(HashKind::Sha256, {{password.bytes, password.length}, {salt, SaltBytes}, {userData, userDataBytes}},
                   k)) {
        return Status::OutOfMemory;
    }
    if (read.revision >= 6) {
        const std::unique_ptr<uint8_t[]> buffers(new (std::nothrow) uint8_t[2 * HashCopies * MaxHashCopyBytes]);
        if (buffers == nullptr) return Status::OutOfMemory;
        uint8_t* const copies = buffers.get();
        uint8_t* const encrypted = copies + HashCopies * MaxHashCopyBytes;
        for (int round = 1;; ++round) {
            const size_t copyBytes = password.length + kBytes + userDataBytes;
            std::memcpy(copies, password.bytes, password.length);
            std::memcpy(copies + password.length, k, kBytes);
            if (userDataBytes != 0) std::memcpy(copies + password.length + kBytes, userData, userDataBytes);
            for (size_t copy = 1; copy < HashCopies; ++copy) std::memcpy(copies + copy * copyBytes, copies, copyBytes);
            const size_t total = HashCopies * copyBytes;  // a multiple of 16, as 64 copies always are
            AesCbcKey aes;
            uint8_t chain[AesBlockBytes];
            std::memcpy(chain, k + AesBlockBytes, AesBlockBytes);
            if (aes.Start(k, AesBlockBytes) != Status::Ok || !aes.Encrypt(chain, copies, encrypted, total)) {
                return Status::OutOfMemory;
            }
            // The first 16 bytes as a big-endian number, modulo 3, choose the
            // next hash; as 256 is 1 modulo 3, the sum of the bytes does too.
            unsigned sum = 0;
            for (size_t i = 0; i < AesBlockBytes; ++i) sum += encrypted[i];
            const HashKind next = sum % 3 == 0 ? HashKind::Sha256 : sum % 3 == 1 ? HashKind::Sha384 : HashKind::Sha512;
            if (!HashBytes(next, {{encrypted, total}}, k)) return Status::OutOfMemory;
            kBytes = DigestBytes(next);
            if (round >= MinHashRounds && encrypted[total - 1] <= round - HashRoundMargin) break;
        }
    }
    std::memcpy(hash, k, HashPartBytes);
    return Status::Ok;
}

Status TryAes256Password(const EncryptionDictionary& read, Password password, Security& security) {
    if (password.length > MaxPasswordBytes) password.length = MaxPasswordBytes;
    uint8_t hash[HashPartBytes];
    // The user password first; then the owner password, whose hashes cover /U.
    const uint8_t* const data[2] = {read.user, read.owner};
    const uint8_t* const userData[2] = {nullptr, read.user};
    const uint8_t* const encryptedKey[2] = {read.userKey, read.ownerKey};
    for (int which = 0; which < 2; ++which) {
        Status status = HashAes256Password(read, password, data[which] + ValidationSaltAt, userData[which], hash);
        if (status != Status::Ok) return status;
        if (std::memcmp(hash, data[which], HashPartBytes) != 0) continue;
        status = HashAes256Password(read, password, data[which] + KeySaltAt, userData[which], hash);
        if (status != Status::Ok) return status;
        AesCbcKey aes;
        uint8_t chain[AesBlockBytes] = {};
        if (aes.Start(hash, sizeof hash) != Status::Ok ||
            !aes.Decrypt(chain, encryptedKey[which], security.fileKey, EncryptedKeyBytes)) {
            return Status::OutOfMemory;
        }
        security.fileKeyLength = Aes256KeyBytes;
        return Status::Ok;
    }
    return Status::NeedsPassword;
}

// The stream's own crypt filter, when its /Filter names /Crypt: the method of
// the filter its /DecodeParms name (/Identity when they name none). False
// when it names none, or one /CF does not have.
bool OwnCryptFilter(const Security& security, DictionaryText stream, CryptMethod& method) {
    ValueText filter;
    if (!FindDictionaryValue(stream, "/Filter", filter)) return false;
    size_t index = 0;
    bool named = false;
    ValueWalk walk;
    if (StartArrayWalk(filter, walk)) {
        ValueText element;
        for (; NextArrayElement(walk, element); ++index) {
            if (element == "/Crypt") {
                named = true;
                break;
            }
        }
    } else {
        named = filter == "/Crypt";
    }
    if (!named) return false;
    // Its parameters: the dictionary itself, or the one at the same place in an array.
    ValueText parameters;
    if (FindDictionaryValue(stream, "/DecodeParms", parameters) && StartArrayWalk(parameters, walk)) {
        ValueText element;
        parameters = ValueText{};
        for (size_t i = 0; NextArrayElement(walk, element); ++i) {
            if (i == index) {
                parameters = element;
                break;
            }
        }
    }
    ValueText nameValue;
    std::string_view name = "/Identity";
    if (FindDictionaryValue(parameters, "/Name", nameValue) && !ReadNameValue(nameValue, name)) return false;
    return MethodOfFilter(security.filters, security.filterCount, name, method);
}

}  // namespace

bool FindTrailerSecurity(std::string_view body, TrailerSecurity& found) {
    CandidateReads backward(body);
    KeywordHits trailers{TrailerKeyword};
    KeywordHits xrefs{XrefTypeName};
    DictionaryText last;
    size_t lastAt = body.size();
    while (last.empty()) {
        const size_t trailer = LastHitBefore(body, lastAt, trailers);
        const size_t xref = LastHitBefore(body, lastAt, xrefs);
        const size_t at = trailer == NotFound ? xref : xref == NotFound ? trailer : trailer > xref ? trailer : xref;
        if (at == NotFound || backward.allowance == 0) return false;
        last = CandidateDictionary(body, at, backward);
        lastAt = at;
    }
    const Verdict verdict = Judge(last, found);
    if (verdict != Verdict::Undecided) return verdict == Verdict::Encrypted;
    CandidateReads forward(body);
    trailers = KeywordHits{TrailerKeyword};
    xrefs = KeywordHits{XrefTypeName};
    for (size_t from = 0;;) {
        const size_t trailer = FirstHitFrom(body, from, trailers);
        const size_t xref = FirstHitFrom(body, from, xrefs);
        const size_t at = trailer < xref ? trailer : xref;  // NotFound is the largest size_t
        if (at == NotFound || at >= lastAt || forward.allowance == 0) return false;
        const DictionaryText first = CandidateDictionary(body, at, forward);
        if (!first.empty()) return Judge(first, found) == Verdict::Encrypted;
        from = at + 1;
    }
}

bool FindEncryptionDictionary(std::string_view body, ValueText encrypt, DictionaryText& dictionary) {
    if (encrypt.size() >= 2 && encrypt[0] == '<' && encrypt[1] == '<') {
        dictionary = DictionaryAt(encrypt.data(), encrypt.data() + encrypt.size());
        return !dictionary.empty();
    }
    uint32_t number = 0;
    uint32_t generation = 0;
    if (!ReadReferenceValue(encrypt, number, generation)) return false;
    // The object's last definition is the one in force.
    for (size_t end = body.size();;) {
        const size_t at = LastOf(body, ObjKeyword, 0, end);
        if (at == NotFound) return false;
        if (HeaderNames(body, at, number, generation)) {
            const char* const bodyEnd = body.data() + body.size();
            dictionary = DictionaryAt(SkipWhiteSpace(body.data() + at + ObjKeyword.size(), bodyEnd), bodyEnd);
            return !dictionary.empty();
        }
        end = at;
    }
}

Status ReadEncryptionDictionary(DictionaryText dictionary, ValueText id, EncryptionDictionary& read) {
    read = EncryptionDictionary{};
    ValueText value;
    std::string_view handler;
    if (!FindDictionaryValue(dictionary, "/Filter", value) || !ReadNameValue(value, handler)) {
        return Status::InvalidData;
    }
    CopyName(handler, read.handler);
    if (handler != "/Standard") return Status::Unsupported;
    if (!ReadInteger(dictionary, "/V", read.version) || !ReadInteger(dictionary, "/R", read.revision)) {
        return Status::InvalidData;
    }
    const int64_t v = read.version;
    const int64_t r = read.revision;
    const bool known = ((v == 1 || v == 2) && (r == 2 || r == 3)) || (v == 4 && r == 4) || (v == 5 && (r == 5 || r == 6));
    if (!known) {
        // What a refusal names: the handler is known, its form is not.
        std::snprintf(read.handler, sizeof read.handler, "the /Standard handler's V %lld, R %lld",
                      static_cast<long long>(v), static_cast<long long>(r));
        return Status::Unsupported;
    }

    int64_t permissions = 0;
    if (!ReadInteger(dictionary, "/P", permissions)) return Status::InvalidData;
    // Written signed or unsigned, /P is 32 bits either way.
    read.permissions = static_cast<uint32_t>(permissions);
    const size_t needed = v >= 5 ? UserDataBytes : PaddedPasswordBytes;
    if (!ReadString(dictionary, "/O", read.owner, PasswordDataCapacity, read.ownerLength) ||
        !ReadString(dictionary, "/U", read.user, PasswordDataCapacity, read.userLength) || read.ownerLength < needed ||
        read.userLength < needed) {
        return Status::InvalidData;
    }
    if (v >= 5) {
        size_t ownerKeyLength = 0;
        size_t userKeyLength = 0;
        if (!ReadString(dictionary, "/OE", read.ownerKey, EncryptedKeyBytes, ownerKeyLength) ||
            !ReadString(dictionary, "/UE", read.userKey, EncryptedKeyBytes, userKeyLength) ||
            ownerKeyLength != EncryptedKeyBytes || userKeyLength != EncryptedKeyBytes) {
            return Status::InvalidData;
        }
        read.keyBytes = Aes256KeyBytes;
    } else if (r == 2 || v == 1) {
        read.keyBytes = ShortKeyBytes;
    } else {
        int64_t lengthBits = v == 4 ? 8 * LongKeyBytes : 8 * ShortKeyBytes;
        if (FindDictionaryValue(dictionary, "/Length", value) &&
            (!ReadIntegerValue(value, lengthBits) || lengthBits % 8 != 0 || lengthBits < MinLengthBits ||
             lengthBits > MaxLengthBits)) {
            return Status::InvalidData;
        }
        read.keyBytes = static_cast<uint32_t>(lengthBits / 8);
    }

    read.encryptMetadata = true;
    read.streamMethod = CryptMethod::Rc4;
    if (v >= 4) {
        if (FindDictionaryValue(dictionary, "/EncryptMetadata", value) &&
            !ReadBooleanValue(value, read.encryptMetadata)) {
            return Status::InvalidData;
        }
        ReadCryptFilters(dictionary, read);
        read.streamMethod = NamedMethod(dictionary, "/StmF", read, CryptMethod::None);
    }
    read.embeddedFileMethod = v >= 4 ? NamedMethod(dictionary, "/EFF", read, read.streamMethod) : read.streamMethod;
    ReadDocumentId(id, read);
    return Status::Ok;
}

Status ComputeFileKey(const EncryptionDictionary& dictionary, std::string_view password, Security& security) {
    security.version = static_cast<uint8_t>(dictionary.version);
    security.revision = static_cast<uint8_t>(dictionary.revision);
    security.encryptMetadata = dictionary.encryptMetadata;
    security.streamMethod = dictionary.streamMethod;
    security.embeddedFileMethod = dictionary.embeddedFileMethod;
    std::memcpy(security.filters, dictionary.filters, sizeof security.filters);
    security.filterCount = dictionary.filterCount;
    std::memcpy(security.handler, dictionary.handler, sizeof security.handler);

    // The forms of the password given, then the empty password, which opens
    // most documents whatever password the environment holds.
    PasswordForms forms;
    if (dictionary.version >= 5) {
        Aes256PasswordForms(password, forms);
    } else {
        Rc4FamilyPasswordForms(password, forms);
    }
    for (size_t i = 0; i <= forms.count; ++i) {
        const Password candidate = i < forms.count ? Password{forms.form[i].bytes, forms.form[i].length}
                                                   : Password{PasswordPadding, 0};
        const Status status = dictionary.version >= 5 ? TryAes256Password(dictionary, candidate, security)
                                                      : TryRc4FamilyPassword(dictionary, candidate, security);
        if (status != Status::NeedsPassword) return status;
    }
    return Status::NeedsPassword;
}

Status OpenSecurity(std::string_view body, std::string_view password, Security& security) {
    security = Security{};
    TrailerSecurity trailer;
    if (!FindTrailerSecurity(body, trailer)) return Status::Ok;
    security.encrypted = true;
    DictionaryText dictionary;
    if (!FindEncryptionDictionary(body, trailer.encrypt, dictionary)) return Status::InvalidData;
    EncryptionDictionary read;
    const Status status = ReadEncryptionDictionary(dictionary, trailer.id, read);
    std::memcpy(security.handler, read.handler, sizeof security.handler);
    if (status != Status::Ok) return status;
    return ComputeFileKey(read, password, security);
}

StreamKey KeyForStream(const Security& security, uint32_t objectNumber, uint32_t generation,
                       DictionaryText streamDictionary) {
    StreamKey key;
    if (!security.encrypted) return key;
    ValueText typeValue;
    std::string_view type;
    if (FindDictionaryValue(streamDictionary, "/Type", typeValue)) ReadNameValue(typeValue, type);
    // Cross-reference streams are never encrypted.
    if (type == XrefTypeName) return key;
    CryptMethod method = security.streamMethod;
    if (security.version >= 4 && !OwnCryptFilter(security, streamDictionary, method)) {
        if (!security.encryptMetadata && type == "/Metadata") {
            method = CryptMethod::None;
        } else if (type == "/EmbeddedFile") {
            method = security.embeddedFileMethod;
        }
    }
    switch (method) {
    case CryptMethod::None:
        return key;
    case CryptMethod::AesV3:
        key.cipher = StreamCipher::AesCbc;
        std::memcpy(key.bytes, security.fileKey, security.fileKeyLength);
        key.length = security.fileKeyLength;
        return key;
    case CryptMethod::Rc4:
    case CryptMethod::AesV2:
        break;
    }
    const bool aes = method == CryptMethod::AesV2;
    const uint32_t n = security.fileKeyLength;
    uint8_t numbers[ObjectNumberBytes + GenerationBytes];
    PutLittleEndian(objectNumber, numbers, ObjectNumberBytes);
    PutLittleEndian(generation, numbers + ObjectNumberBytes, GenerationBytes);
    uint8_t digest[Md5Bytes];
    if (!HashBytes(HashKind::Md5, {{security.fileKey, n}, {numbers, sizeof numbers}, {AesSalt, aes ? sizeof AesSalt : 0}},
                   digest)) {
        key.cipher = StreamCipher::Unavailable;
        return key;
    }
    key.cipher = aes ? StreamCipher::AesCbc : StreamCipher::Rc4;
    key.length = n + sizeof numbers < Md5Bytes ? static_cast<uint32_t>(n + sizeof numbers) : static_cast<uint32_t>(Md5Bytes);
    std::memcpy(key.bytes, digest, key.length);
    return key;
}
