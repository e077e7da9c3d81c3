#include "document/password_forms.h"

#include <cstring>
#include <iterator>

#include "document/saslprep.h"
#include "platform/utf8.h"

namespace {

// PDFDocEncoding's bytes 0x18 to 0x1F and 0x80 to 0xA0 (0x9F is undefined),
// as the PDF standard's Annex D gives them; every other byte it defines is
// the code point of the same number.
constexpr uint8_t FirstAccentByte = 0x18;
constexpr char32_t AccentPoints[] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr uint8_t FirstPunctuationByte = 0x80;
constexpr char32_t PunctuationPoints[] = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
    0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0, 0x20AC,
};
constexpr char32_t SoftHyphen = 0xAD;
constexpr char32_t Delete = 0x7F;
constexpr char32_t LastLatin1 = 0xFF;

// The PDFDocEncoding byte of `point`; false when it has none.
bool PdfDocByte(char32_t point, uint8_t& byte) {
    const bool same = point < FirstAccentByte || (point >= 0x20 && point < Delete) ||
                      (point > 0xA0 && point <= LastLatin1 && point != SoftHyphen);
    if (same) {
        byte = static_cast<uint8_t>(point);
        return true;
    }
    for (size_t i = 0; i < std::size(AccentPoints); ++i) {
        if (AccentPoints[i] == point) {
            byte = static_cast<uint8_t>(FirstAccentByte + i);
            return true;
        }
    }
    for (size_t i = 0; i < std::size(PunctuationPoints); ++i) {
        if (PunctuationPoints[i] == point && point != 0) {
            byte = static_cast<uint8_t>(FirstPunctuationByte + i);
            return true;
        }
    }
    return false;
}

bool Latin1Byte(char32_t point, uint8_t& byte) {
    if (point > LastLatin1) return false;
    byte = static_cast<uint8_t>(point);
    return true;
}

// The UTF-8 text one byte per character through `encode`, cut to `capacity`
// bytes; false when it is not UTF-8 or a character has no byte.
template <typename Encode>
bool SingleByteForm(std::string_view utf8, size_t capacity, Encode encode, PasswordForm& form) {
    const auto* const bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    const int64_t size = static_cast<int64_t>(utf8.size());
    form.length = 0;
    for (int64_t at = 0; at < size && form.length < capacity;) {
        int64_t used = 0;
        const char32_t point = DecodeUtf8(bytes + at, size - at, used);
        // U+FFFD itself has no byte in either encoding, so malformed UTF-8 stops here too.
        if (!encode(point, form.bytes[form.length])) return false;
        ++form.length;
        at += used;
    }
    return true;
}

// Keeps the candidate unless an earlier form has the same bytes.
void KeepIfNew(const PasswordForm& candidate, PasswordForms& forms) {
    for (size_t i = 0; i < forms.count; ++i) {
        const PasswordForm& kept = forms.form[i];
        if (kept.length == candidate.length && std::memcmp(kept.bytes, candidate.bytes, kept.length) == 0) return;
    }
    forms.form[forms.count++] = candidate;
}

PasswordForm AsGiven(std::string_view password, size_t capacity) {
    PasswordForm form;
    form.length = password.size() < capacity ? password.size() : capacity;
    std::memcpy(form.bytes, password.data(), form.length);
    return form;
}

}  // namespace

void Rc4FamilyPasswordForms(std::string_view password, PasswordForms& forms) {
    forms.count = 0;
    if (password.empty()) return;
    KeepIfNew(AsGiven(password, MaxRc4FamilyPasswordBytes), forms);
    PasswordForm form;
    if (SingleByteForm(password, MaxRc4FamilyPasswordBytes, PdfDocByte, form)) KeepIfNew(form, forms);
    if (SingleByteForm(password, MaxRc4FamilyPasswordBytes, Latin1Byte, form)) KeepIfNew(form, forms);
}

void Aes256PasswordForms(std::string_view password, PasswordForms& forms) {
    forms.count = 0;
    if (password.empty()) return;
    PasswordForm prepared;
    if (SaslPrep(password, prepared.bytes, MaxPasswordBytes, prepared.length)) KeepIfNew(prepared, forms);
    KeepIfNew(AsGiven(password, MaxPasswordBytes), forms);
}
