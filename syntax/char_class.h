// The few character classes that the scanner and the dictionary lookups use.
// PDF text is compared as signed bytes, so bytes 128 to 255 are never digits,
// letters, spaces or line ends; these predicates take any byte and say no to them.
#pragma once

inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsLetterOrDigit(unsigned char c) { return IsDigit(c) || IsLetter(c); }
inline bool IsSpaceOrTab(unsigned char c) { return c == ' ' || c == '\t'; }
inline bool IsLineEnd(unsigned char c) { return c == '\r' || c == '\n'; }
inline unsigned char ToLowerAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }
