// The value reader: one tokenizer loop that steps over strings as units and
// counts brackets, so that nesting of any depth costs no recursion.
#include "syntax/value_reader.h"

#include "syntax/char_class.h"

namespace {

// Whole numbers longer than this are no values the reader needs, and could overflow.
constexpr size_t MaxIntegerDigits = 18;

unsigned char At(const char* position) { return static_cast<unsigned char>(*position); }

bool EndsToken(const char* position, const char* end) { return position == end || EndsRegularRun(At(position)); }

// The keywords that stand between values, never inside one: an object's
// header and end, and a stream's start and end. Where one appears inside a
// dictionary or array, that value never closed.
bool IsObjectKeyword(const char* from, const char* to) {
    const std::string_view word(from, static_cast<size_t>(to - from));
    return word == "obj" || word == "endobj" || word == "stream" || word == "endstream";
}

// Why reading a value stopped short of its end.
enum class Break : uint8_t {
    None,
    TextEnded,   // the text ran out inside the value
    Broken,      // a byte or keyword that the value cannot hold
};

// One past the literal string whose "(" is at `from`, or null. A string
// never runs over the header line of an object: one that would is
// unbalanced, and ending it there keeps every read within one object.
const char* SkipLiteralString(const char* from, const char* end, Break& why) {
    int64_t depth = 0;
    for (const char* p = from; p < end; ++p) {
        if (*p == '\\') {
            ++p;  // the escaped byte, whatever it is, neither opens nor closes
            if (p == end) break;
        } else if (*p == '(') {
            ++depth;
        } else if (*p == ')' && --depth == 0) {
            return p + 1;
        } else if (IsLineEnd(At(p))) {
            uint32_t number = 0;
            uint32_t generation = 0;
            if (ReadObjectHeaderTokens(p + 1, end, number, generation) != nullptr) {
                why = Break::Broken;
                return nullptr;
            }
        }
    }
    why = Break::TextEnded;
    return nullptr;
}

// One past the hexadecimal string whose "<" is at `from`, or null when it
// never ends or holds a byte that is neither a digit nor white space.
const char* SkipHexString(const char* from, const char* end, Break& why) {
    for (const char* p = from + 1; p < end; ++p) {
        if (*p == '>') return p + 1;
        if (HexDigitValue(At(p)) < 0 && !IsWhiteSpace(At(p))) {
            why = Break::Broken;
            return nullptr;
        }
    }
    why = Break::TextEnded;
    return nullptr;
}

// One past the run of regular bytes (a name's after its slash, a number, a keyword).
const char* SkipRegular(const char* from, const char* end) {
    while (!EndsToken(from, end)) ++from;
    return from;
}

// One past the single value at `from`, without joining a reference's three
// parts; null with the reason when there is none. Inside a dictionary or
// array a stray closing bracket or parenthesis is passed over, as readers
// do, so that it does not end the value early.
const char* SkipToken(const char* from, const char* end, Break& why) {
    int64_t dictionaries = 0;  // "<<" not yet closed
    int64_t arrays = 0;        // "[" not yet closed
    const char* p = from;
    why = Break::Broken;
    for (;;) {
        if (p >= end) {
            why = Break::TextEnded;
            return nullptr;
        }
        const bool inside = dictionaries + arrays > 0;
        const bool pairFollows = end - p >= 2 && p[0] == p[1];
        switch (*p) {
        case '(':
            p = SkipLiteralString(p, end, why);
            if (p == nullptr) return nullptr;
            break;
        case '<':
            if (pairFollows) {
                ++dictionaries;
                p += 2;
            } else {
                p = SkipHexString(p, end, why);
                if (p == nullptr) return nullptr;
            }
            break;
        case '>':
            if (pairFollows && dictionaries > 0) {
                --dictionaries;
            } else if (!inside) {
                return nullptr;
            }
            p += pairFollows ? 2 : 1;
            break;
        case '[':
            ++arrays;
            ++p;
            break;
        case ']':
            if (arrays > 0) {
                --arrays;
            } else if (!inside) {
                return nullptr;
            }
            ++p;
            break;
        case ')':
            if (!inside) return nullptr;
            ++p;
            break;
        case '{':
        case '}':
            ++p;
            break;
        case '/':
            p = SkipRegular(p + 1, end);
            break;
        default: {
            if (IsWhiteSpace(At(p)) || *p == '%') return nullptr;
            const char* const tokenEnd = SkipRegular(p, end);
            if (IsObjectKeyword(p, tokenEnd)) return nullptr;
            p = tokenEnd;
            break;
        }
        }
        if (dictionaries + arrays == 0) {
            why = Break::None;
            return p;
        }
        p = SkipWhiteSpace(p, end);
    }
}

const char* SkipSpacesAndTabs(const char* from, const char* end) {
    while (from < end && IsSpaceOrTab(At(from))) ++from;
    return from;
}

const char* SkipDigits(const char* from, const char* end) {
    while (from < end && IsDigit(At(from))) ++from;
    return from;
}

bool IsUnsignedInteger(const char* from, const char* to) {
    if (from == to) return false;
    for (const char* p = from; p < to; ++p) {
        if (!IsDigit(At(p))) return false;
    }
    return true;
}

bool ParseUnsigned(const char* from, const char* to, uint32_t& number) {
    if (!IsUnsignedInteger(from, to) || to - from > 10) return false;
    uint64_t value = 0;
    for (const char* p = from; p < to; ++p) value = value * 10 + static_cast<uint64_t>(*p - '0');
    if (value > UINT32_MAX) return false;
    number = static_cast<uint32_t>(value);
    return true;
}

// Appends one byte, or answers false when the room is used up.
bool Put(uint8_t* bytes, size_t capacity, size_t& length, unsigned value) {
    if (length == capacity) return false;
    bytes[length++] = static_cast<uint8_t>(value);
    return true;
}

bool ReadLiteralString(ValueText value, uint8_t* bytes, size_t capacity, size_t& length) {
    const char* p = value.data() + 1;
    const char* const end = value.data() + value.size();
    int64_t depth = 1;
    size_t count = 0;
    while (p < end) {
        const char c = *p++;
        if (c == '\\') {
            if (p == end) return false;
            const char escaped = *p++;
            unsigned out = static_cast<unsigned char>(escaped);
            switch (escaped) {
            case 'n': out = '\n'; break;
            case 'r': out = '\r'; break;
            case 't': out = '\t'; break;
            case 'b': out = '\b'; break;
            case 'f': out = '\f'; break;
            case '\r':
                if (p < end && *p == '\n') ++p;
                continue;
            case '\n':
                continue;
            default:
                if (IsOctalDigit(static_cast<unsigned char>(escaped))) {
                    out = static_cast<unsigned>(escaped - '0');
                    for (int digits = 1; digits < 3 && p < end && IsOctalDigit(At(p)); ++digits) {
                        out = out * 8 + static_cast<unsigned>(*p++ - '0');
                    }
                    out &= 0xFFu;  // a value over \377 keeps its low byte
                }
                break;
            }
            if (!Put(bytes, capacity, count, out)) return false;
            continue;
        }
        if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            if (p != end) return false;
            length = count;
            return true;
        } else if (c == '\r') {
            if (p < end && *p == '\n') ++p;
            if (!Put(bytes, capacity, count, '\n')) return false;
            continue;
        }
        if (!Put(bytes, capacity, count, static_cast<unsigned char>(c))) return false;
    }
    return false;
}

bool ReadHexString(ValueText value, uint8_t* bytes, size_t capacity, size_t& length) {
    const char* p = value.data() + 1;
    const char* const end = value.data() + value.size();
    size_t count = 0;
    int high = -1;  // the first digit of a byte not yet complete
    for (; p < end && *p != '>'; ++p) {
        if (IsWhiteSpace(At(p))) continue;
        const int digit = HexDigitValue(At(p));
        if (digit < 0) return false;
        if (high < 0) {
            high = digit;
        } else {
            if (!Put(bytes, capacity, count, static_cast<unsigned>(high * 16 + digit))) return false;
            high = -1;
        }
    }
    if (p == end || p + 1 != end) return false;
    if (high >= 0 && !Put(bytes, capacity, count, static_cast<unsigned>(high * 16))) return false;
    length = count;
    return true;
}

}  // namespace

const char* SkipWhiteSpace(const char* from, const char* end) {
    const char* p = from;
    while (p < end) {
        if (*p == '%') {
            while (p < end && *p != '\r' && *p != '\n') ++p;
        } else if (IsWhiteSpace(At(p))) {
            ++p;
        } else {
            break;
        }
    }
    return p;
}

const char* SkipValue(const char* from, const char* end) {
    Break why = Break::None;
    const char* const first = SkipToken(from, end, why);
    if (first == nullptr || !IsUnsignedInteger(from, first)) return first;
    // "N G R": two whole numbers and the keyword R make one value.
    const char* const generation = SkipWhiteSpace(first, end);
    if (generation == end || !IsDigit(At(generation))) return first;
    const char* const generationEnd = SkipRegular(generation, end);
    if (!IsUnsignedInteger(generation, generationEnd)) return first;
    const char* const keyword = SkipWhiteSpace(generationEnd, end);
    if (keyword == end || *keyword != 'R' || !EndsToken(keyword + 1, end)) return first;
    return keyword + 1;
}

DictionaryText DictionaryAt(const char* from, const char* end) {
    bool textEnded = false;
    return DictionaryAt(from, end, textEnded);
}

DictionaryText DictionaryAt(const char* from, const char* end, bool& textEnded) {
    textEnded = false;
    if (end - from < 2 || from[0] != '<' || from[1] != '<') return {};
    Break why = Break::None;
    const char* const dictionaryEnd = SkipToken(from, end, why);
    if (dictionaryEnd == nullptr) {
        textEnded = why == Break::TextEnded;
        return {};
    }
    return DictionaryText(from, static_cast<size_t>(dictionaryEnd - from));
}

const char* ReadObjectHeaderTokens(const char* from, const char* end, uint32_t& number, uint32_t& generation) {
    const char* const numberStart = SkipSpacesAndTabs(from, end);
    const char* const numberEnd = SkipDigits(numberStart, end);
    if (numberEnd == end || !IsSpaceOrTab(At(numberEnd))) return nullptr;
    const char* const generationStart = SkipSpacesAndTabs(numberEnd, end);
    const char* const generationEnd = SkipDigits(generationStart, end);
    const char* const keyword = SkipSpacesAndTabs(generationEnd, end);
    uint32_t readNumber = 0;
    uint32_t readGeneration = 0;
    if (!ParseUnsigned(numberStart, numberEnd, readNumber) || !ParseUnsigned(generationStart, generationEnd, readGeneration) ||
        end - keyword < 3 || keyword[0] != 'o' || keyword[1] != 'b' || keyword[2] != 'j' || !EndsToken(keyword + 3, end)) {
        return nullptr;
    }
    number = readNumber;
    generation = readGeneration;
    return keyword + 3;
}

bool StartDictionaryWalk(DictionaryText dictionary, ValueWalk& walk) {
    if (dictionary.size() < 2 || dictionary[0] != '<' || dictionary[1] != '<') return false;
    walk.position = dictionary.data() + 2;
    walk.end = dictionary.data() + dictionary.size();
    return true;
}

bool StartArrayWalk(ValueText array, ValueWalk& walk) {
    if (array.empty() || array[0] != '[') return false;
    walk.position = array.data() + 1;
    walk.end = array.data() + array.size();
    return true;
}

bool NextDictionaryEntry(ValueWalk& walk, std::string_view& key, ValueText& value) {
    const char* const keyStart = SkipWhiteSpace(walk.position, walk.end);
    if (keyStart == walk.end || *keyStart != '/') return false;
    const char* const keyEnd = SkipRegular(keyStart + 1, walk.end);
    const char* const valueStart = SkipWhiteSpace(keyEnd, walk.end);
    if (valueStart == walk.end) return false;
    const char* const valueEnd = SkipValue(valueStart, walk.end);
    if (valueEnd == nullptr) return false;
    key = std::string_view(keyStart, static_cast<size_t>(keyEnd - keyStart));
    value = ValueText(valueStart, static_cast<size_t>(valueEnd - valueStart));
    walk.position = valueEnd;
    return true;
}

bool NextArrayElement(ValueWalk& walk, ValueText& element) {
    const char* const start = SkipWhiteSpace(walk.position, walk.end);
    if (start == walk.end || *start == ']') return false;
    const char* const elementEnd = SkipValue(start, walk.end);
    if (elementEnd == nullptr) return false;
    element = ValueText(start, static_cast<size_t>(elementEnd - start));
    walk.position = elementEnd;
    return true;
}

bool FindDictionaryValue(DictionaryText dictionary, std::string_view key, ValueText& value) {
    ValueWalk walk;
    if (!StartDictionaryWalk(dictionary, walk)) return false;
    std::string_view entryKey;
    ValueText entryValue;
    while (NextDictionaryEntry(walk, entryKey, entryValue)) {
        if (entryKey == key) {
            value = entryValue;
            return true;
        }
    }
    return false;
}

bool ReadIntegerValue(ValueText value, int64_t& number) {
    size_t at = 0;
    const bool negative = !value.empty() && value[0] == '-';
    if (!value.empty() && (value[0] == '-' || value[0] == '+')) at = 1;
    const size_t digits = value.size() - at;
    if (digits == 0 || digits > MaxIntegerDigits) return false;
    int64_t magnitude = 0;
    for (; at < value.size(); ++at) {
        if (!IsDigit(static_cast<unsigned char>(value[at]))) return false;
        magnitude = magnitude * 10 + (value[at] - '0');
    }
    number = negative ? -magnitude : magnitude;
    return true;
}

bool ReadBooleanValue(ValueText value, bool& flag) {
    if (value == "true") {
        flag = true;
        return true;
    }
    if (value == "false") {
        flag = false;
        return true;
    }
    return false;
}

bool ReadNameValue(ValueText value, std::string_view& name) {
    if (value.empty() || value[0] != '/') return false;
    name = value;
    return true;
}

bool ReadReferenceValue(ValueText value, uint32_t& number, uint32_t& generation) {
    const char* const end = value.data() + value.size();
    const char* const numberEnd = SkipRegular(value.data(), end);
    const char* const generationStart = SkipWhiteSpace(numberEnd, end);
    const char* const generationEnd = SkipRegular(generationStart, end);
    const char* const keyword = SkipWhiteSpace(generationEnd, end);
    uint32_t parsedNumber = 0;
    uint32_t parsedGeneration = 0;
    if (!ParseUnsigned(value.data(), numberEnd, parsedNumber) ||
        !ParseUnsigned(generationStart, generationEnd, parsedGeneration) || end - keyword != 1 || *keyword != 'R') {
        return false;
    }
    number = parsedNumber;
    generation = parsedGeneration;
    return true;
}

bool ReadStringValue(ValueText value, uint8_t* bytes, size_t capacity, size_t& length) {
    if (value.empty()) return false;
    if (value[0] == '(') return ReadLiteralString(value, bytes, capacity, length);
    if (value[0] == '<' && (value.size() < 2 || value[1] != '<')) return ReadHexString(value, bytes, capacity, length);
    return false;
}
