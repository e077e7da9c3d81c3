// The dictionary lookups on arbitrary text: every position they return lies
// inside the text, names stay inside their 64-byte array, and a value that was
// not found is the default. The text is the input up to its first NUL; the
// bytes after that NUL, when there are any, are one more key to look up. The
// whole input, NUL bytes included, is searched as a dictionary too, in a
// block of exactly its size, so a read past its end is reported.
#include <cstdlib>
#include <cstring>
#include <string>

#include "syntax/dictionary.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

void LookUp(std::string_view text, const char* key) {
    for (bool allowDirect : {false, true}) {
        const char* value = FindKey(text, key, allowDirect);
        FuzzCheck(value == nullptr || (value >= text.data() && value <= text.data() + text.size()),
                  "FindKey points outside the text");
    }
    for (bool allowBoolean : {false, true}) {
        int32_t value = 0;
        const bool found = GetIntValue(text, key, -7, allowBoolean, value);
        FuzzCheck(found || value == -7, "a missing value is not the default");
    }
    char name[NameValueCapacity];
    std::memset(name, 'x', sizeof name);
    const bool found = GetNameValue(text, key, name);
    FuzzCheck(std::memchr(name, 0, sizeof name) != nullptr, "name not terminated inside its array");
    FuzzCheck(found || name[0] == 0, "a missing name is not empty");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const DictionaryAndData parts = SplitAtNul(data, size);
    const TextCopy text(reinterpret_cast<const uint8_t*>(parts.dictionaryText.data()), parts.dictionaryText.size());

    // Every position where a number could start (not inside a run that an
    // earlier start already covers, which keeps the work linear).
    const char* start = text.text();
    const char* const end = start + parts.dictionaryText.size();
    for (size_t i = 0; i <= parts.dictionaryText.size(); ++i) {
        const char before = i == 0 ? 'x' : start[i - 1];
        if (before == ' ' || before == '\t' || before == '-' || (before >= '0' && before <= '9')) continue;
        int32_t value = 1;
        const char* after = ParseInteger(start + i, end, value);
        FuzzCheck(after == nullptr || (after > start + i && text.Holds(after)), "ParseInteger ends outside the text");
        FuzzCheck(after != nullptr || value == 0, "ParseInteger without digits left a value");
    }

    static const char* const keys[] = {"/Length", "/Filter", "/Subtype", "/EarlyChange", "/K", "/Columns", "/Rows",
                                       "/BlackIs1", "/EncodedByteAlign", "/ImageMask", "/DecodeParms"};
    const ExactCopy whole(data, size);
    const std::string_view wholeText(reinterpret_cast<const char*>(whole.begin()), whole.size());
    for (const char* key : keys) {
        LookUp(text.view(), key);
        LookUp(wholeText, key);
    }

    if (parts.size != 0) {
        const void* nul = std::memchr(parts.data, 0, parts.size);
        const size_t keyLength = nul != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - parts.data) : parts.size;
        LookUp(text.view(), std::string(reinterpret_cast<const char*>(parts.data), keyLength).c_str());
    }
    return 0;
}
