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
// The six white-space bytes of PDF's syntax: NUL, tab, line feed, form feed,
// carriage return and space.
constexpr bool IsWhiteSpace(unsigned char c) { return c == 0 || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' '; }
// The bytes that end a name, number or keyword without white space.
constexpr bool IsDelimiter(unsigned char c) {
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' || c == '/' ||
           c == '%';
}
// White space or a delimiter, by one table lookup: the lexer's inner loops
// ask this of every byte of a name, number or keyword.
inline bool EndsRegularRun(unsigned char c) {
    static constexpr struct Table {
        bool ends[256];
        constexpr Table() : ends() {
            for (int c = 0; c < 256; ++c) {
                ends[c] = IsWhiteSpace(static_cast<unsigned char>(c)) || IsDelimiter(static_cast<unsigned char>(c));
            }
        }
    } table;
    return table.ends[c];
}
inline bool IsOctalDigit(unsigned char c) { return c >= '0' && c <= '7'; }
// The value of a hexadecimal digit of either case, or -1.
inline int HexDigitValue(unsigned char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
