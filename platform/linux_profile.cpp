// Reading one number from an INI file for Linux, as GetPrivateProfileIntW
// does on Windows: sections and keys compared without regard to ASCII case,
// white space around them and their values ignored, lines starting with ';'
// left alone. The file is read as UTF-8, a byte-order mark allowed.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/win32.h"

namespace {

// An INI file larger than this is no settings file; only its start is read.
constexpr size_t ProfileReadLimit = size_t{1} << 20;
constexpr std::string_view Utf8ByteOrderMark = "\xEF\xBB\xBF";

std::string Utf8(LPCWSTR text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string converted(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), bytes, nullptr, nullptr);
    converted.pop_back();
    return converted;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

bool SameIgnoringCase(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) return false;
    for (size_t i = 0; i < left.size(); ++i) {
        char a = left[i], b = right[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

// The leading decimal digits of the value, as Windows reads them; 0 without any.
UINT LeadingNumber(std::string_view value) {
    UINT number = 0;
    for (char c : value) {
        if (c < '0' || c > '9') break;
        number = number * 10 + static_cast<UINT>(c - '0');
    }
    return number;
}

}  // namespace

UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR path) {
    const auto fallback = static_cast<UINT>(defaultValue);
    if (section == nullptr || key == nullptr || path == nullptr) return fallback;
    const std::string nativePath = Utf8(path);
    std::FILE* file = nativePath.empty() ? nullptr : std::fopen(nativePath.c_str(), "rb");
    if (file == nullptr) return fallback;
    std::string text(ProfileReadLimit, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
    std::string_view rest(text);
    if (rest.substr(0, Utf8ByteOrderMark.size()) == Utf8ByteOrderMark) rest.remove_prefix(Utf8ByteOrderMark.size());

    const std::string wantedSection = Utf8(section);
    const std::string wantedKey = Utf8(key);
    bool inSection = false;
    while (!rest.empty()) {
        const size_t lineEnd = rest.find('\n');
        const std::string_view line = Trimmed(rest.substr(0, lineEnd));
        rest.remove_prefix(lineEnd == std::string_view::npos ? rest.size() : lineEnd + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            inSection = close != std::string_view::npos && SameIgnoringCase(Trimmed(line.substr(1, close - 1)), wantedSection);
            continue;
        }
        const size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) continue;
        if (SameIgnoringCase(Trimmed(line.substr(0, equals)), wantedKey)) return LeadingNumber(Trimmed(line.substr(equals + 1)));
    }
    return fallback;
}
