#include "tools/terminal_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#  include <io.h>
#else
#  include <unistd.h>
#endif

#include "platform/utf8.h"

namespace {

constexpr double BytesPerMebibyte = 1048576.0;

}  // namespace

#ifdef _WIN32
namespace {

std::string ToCodePage(const HostText& text, UINT codePage) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                        nullptr);
    return result;
}

}  // namespace

std::string ToUtf8(const HostText& text) { return ToCodePage(text, CP_UTF8); }

std::string ToAnsi(const HostText& text) { return ToCodePage(text, CP_ACP); }

HostText FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    HostText result(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

std::filesystem::path ToPath(const HostText& text) { return std::filesystem::path(text); }
#else
HostText FromUtf8(const std::string& text) {
    HostText result;
    ConvertBytesToUtf16(text.data(), static_cast<int64_t>(text.size()), [&](char16_t unit) { result.push_back(unit); });
    return result;
}

std::string ToUtf8(const HostText& text) {
    std::string result;
    ConvertUtf16ToBytes(text.data(), static_cast<int64_t>(text.size()), [&](char byte) { result.push_back(byte); });
    return result;
}

std::filesystem::path ToPath(const HostText& text) { return std::filesystem::path(ToUtf8(text)); }
#endif

HostText FromAscii(const char* text) {
    HostText result;
    for (; *text != 0; ++text) result.push_back(static_cast<WCHAR>(static_cast<unsigned char>(*text)));
    return result;
}

bool StandardErrorIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

void Fail(const HostText& subject, const std::string& message) {
    std::fprintf(stderr, "vellum: %s: %s\n", ToUtf8(subject).c_str(), message.c_str());
}

void Warn(const std::string& text) { std::fprintf(stderr, "vellum: warning: %s\n", text.c_str()); }

void Say(const std::string& text) { std::fprintf(stderr, "vellum: %s\n", text.c_str()); }

SystemCode LastSystemCode() {
#ifdef _WIN32
    return GetLastError();
#else
    return static_cast<SystemCode>(errno);
#endif
}

void ClearSystemCode() {
#ifdef _WIN32
    SetLastError(0);
#else
    errno = 0;
#endif
}

std::string SystemErrorText(SystemCode code) {
    std::string text;
#ifdef _WIN32
    WCHAR* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<WCHAR*>(&buffer), 0, nullptr);
    if (length != 0 && buffer != nullptr) text = ToUtf8(HostText(buffer, length));
    if (buffer != nullptr) LocalFree(buffer);
#else
    char buffer[256];
    // The GNU strerror_r answers a pointer to the text, which may or may not be the buffer.
    text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
#endif
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.' || text.back() == ' '))
        text.pop_back();
    if (text.empty()) text = "error " + std::to_string(code);
    return text;
}

std::string FileErrorText(SystemCode code) {
#ifdef _WIN32
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return "no such file";
        case ERROR_ACCESS_DENIED:
            return "permission denied";
    }
#else
    switch (code) {
        case ENOENT:
        case ENOTDIR:
            return "no such file";
        case EACCES:
        case EPERM:
            return "permission denied";
        case EISDIR:
            return "is a directory";
    }
#endif
    return SystemErrorText(code);
}

std::string Mebibytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / BytesPerMebibyte);
    return text;
}

std::string JsonString(const std::string& text) {
    std::string result = "\"";
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const auto count = static_cast<int64_t>(text.size());
    for (int64_t at = 0; at < count;) {
        const unsigned char byte = bytes[at];
        char escaped[8];
        if (byte == '"' || byte == '\\') {
            result += '\\';
            result += static_cast<char>(byte);
            ++at;
        } else if (byte < 0x20) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            result += escaped;
            ++at;
        } else if (byte < 0x80) {
            result += static_cast<char>(byte);
            ++at;
        } else {
            // JSON is UTF-8: a byte of a name in another encoding goes out as
            // the escape FromUtf8 gives it, which a reader maps back.
            int64_t length;
            const char32_t point = DecodeUtf8(bytes + at, count - at, length);
            if (DecodedWell(point, bytes + at, length)) {
                result.append(text, static_cast<size_t>(at), static_cast<size_t>(length));
            } else {
                for (int64_t i = 0; i < length; ++i) {
                    std::snprintf(escaped, sizeof escaped, "\\u%04x",
                                  static_cast<unsigned>(FirstEscapedByteUnit + (bytes[at + i] - EscapedByteBase)));
                    result += escaped;
                }
            }
            at += length;
        }
    }
    return result + "\"";
}
