// Text between the host and the terminal: the plug-in speaks UTF-16, the
// terminal and the command line UTF-8 (on Windows the command line arrives in
// UTF-16 already). Messages to stderr all start with "vellum: ".
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/win32.h"

using HostText = std::basic_string<WCHAR>;

// UTF-16 to UTF-8; malformed units become U+FFFD, as the plug-in makes them.
// On Linux the bytes of a name in another encoding, escaped by FromUtf8, come
// back as they were (see platform/utf8.h), as the plug-in's paths do.
std::string ToUtf8(const HostText& text);
// UTF-8 to UTF-16. On Linux a byte outside well-formed UTF-8 is escaped,
// never lost; on Windows malformed sequences become U+FFFD.
HostText FromUtf8(const std::string& text);
// An ASCII literal as host text.
HostText FromAscii(const char* text);
// The path the C++ library opens for host text.
std::filesystem::path ToPath(const HostText& text);
#ifdef _WIN32
// LoadLibraryA takes the ANSI code page.
std::string ToAnsi(const HostText& text);
#endif

bool StandardErrorIsTerminal();

// "vellum: SUBJECT: MESSAGE" on stderr.
void Fail(const HostText& subject, const std::string& message);
// "vellum: warning: TEXT" on stderr.
void Warn(const std::string& text);
// "vellum: TEXT" on stderr.
void Say(const std::string& text);

// A system error code: errno on Linux, GetLastError() on Windows.
using SystemCode = uint32_t;
// The calling thread's last system error code, and setting it to none (0).
SystemCode LastSystemCode();
void ClearSystemCode();
// The system's own text for a code ("No space left on device"), without a
// final period or line end; "error N" when the system has none.
std::string SystemErrorText(SystemCode code);
// For a file that cannot be opened, created or replaced: "no such file",
// "permission denied", "is a directory", or the system's text.
std::string FileErrorText(SystemCode code);

// A byte count as "12.3 MiB".
std::string Mebibytes(uint64_t bytes);
// UTF-8 text as a JSON string literal, quotes included; a byte outside
// well-formed UTF-8 goes out as its escape, "\udce9" for 0xE9.
std::string JsonString(const std::string& text);
