// The byte strings a password is tried as. The password arrives as bytes
// (document/open.h): on Linux the environment's own, on Windows the UTF-8
// form of the environment's UTF-16 text. R 2 to 4 hash bytes that writers
// take from PDFDocEncoding or Latin-1 text, R 5 and 6 the UTF-8 of the text
// prepared by SASLprep; bytes that are not UTF-8 are tried as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// R 5 and 6 hash at most this many bytes of a password; R 2 to 4 at most 32.
constexpr size_t MaxPasswordBytes = 127;
constexpr size_t MaxRc4FamilyPasswordBytes = 32;
constexpr size_t MaxPasswordForms = 3;

struct PasswordForm {
    uint8_t bytes[MaxPasswordBytes];  // the form's bytes, cut to what its revision hashes
    size_t length;                    // how many there are
};

// The forms of one password, each different from those before it.
struct PasswordForms {
    PasswordForm form[MaxPasswordForms];
    size_t count = 0;
};

// For R 2 to 4: the bytes as given; then, when they are UTF-8, the text in
// PDFDocEncoding and in Latin-1, each where every character has a byte in it
// (Latin-1 is the older readers' and writers' habit). Each cut to 32 bytes.
// None for an empty password.
void Rc4FamilyPasswordForms(std::string_view password, PasswordForms& forms);
// For R 5 and 6: the text prepared by SASLprep, when the bytes are UTF-8 that
// prepares; then the bytes as given, for writers that hashed them unprepared.
// Each cut to 127 bytes. None for an empty password.
void Aes256PasswordForms(std::string_view password, PasswordForms& forms);
