#include "decode/filter_list.h"

#include <cstring>

namespace {

struct FilterName {
    const char* name;  // as written after the slash, compared whole and case-sensitively
    FilterCode code;
};

// LZW has no short form on purpose: "LZW" is not a name the chain knows.
constexpr FilterName FilterNames[] = {
    {"ASCII85Decode", FilterCode::Ascii85}, {"A85", FilterCode::Ascii85},
    {"ASCIIHexDecode", FilterCode::AsciiHex}, {"AHx", FilterCode::AsciiHex},
    {"FlateDecode", FilterCode::Flate}, {"Fl", FilterCode::Flate},
    {"LZWDecode", FilterCode::Lzw},
    {"RunLengthDecode", FilterCode::RunLength}, {"RL", FilterCode::RunLength},
    {"DCTDecode", FilterCode::Dct}, {"DCT", FilterCode::Dct},
    {"CCITTFaxDecode", FilterCode::CcittFax}, {"CCF", FilterCode::CcittFax},
};

// A name runs over the bytes from '0' to 'z'; compared unsigned, so bytes from
// 128 up end it as they would as negative signed characters.
bool IsFilterNameByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= '0' && byte <= 'z';
}

// The code of the name [first, first + length), or false when it names no step.
bool LookUpFilter(const char* first, size_t length, FilterCode& code) {
    for (const FilterName& known : FilterNames) {
        if (std::strlen(known.name) == length && std::memcmp(known.name, first, length) == 0) {
            code = known.code;
            return true;
        }
    }
    return false;
}

}  // namespace

FilterList ParseFilterList(DictionaryText dictionary) {
    FilterList list;
    char filter[NameValueCapacity];
    if (GetNameValue(dictionary, "/Filter", filter)) {
        const char* walk = filter;
        while ((walk = std::strchr(walk, '/')) != nullptr) {
            const char* name = ++walk;
            while (IsFilterNameByte(*walk)) ++walk;
            FilterCode code{};
            if (LookUpFilter(name, static_cast<size_t>(walk - name), code) && list.count < MaxFilterCodes) {
                list.codes[list.count++] = code;
            }
        }
    }
    char subtype[NameValueCapacity];
    list.xml = GetNameValue(dictionary, "/Subtype", subtype) && std::strstr(subtype, "/XML") != nullptr;
    return list;
}
