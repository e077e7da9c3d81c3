// Small PDFs written as text by the tests, a scratch folder for them, and an
// archive handle that closes itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/exports/plugin_fixture.h"

using WideString = std::basic_string<WCHAR>;

// One stream object: its number, extra dictionary text and its raw bytes.
struct StreamObject {
    uint32_t number;
    std::string data;
    std::string dictionaryExtra;
};

// A PDF holding the given stream objects in order (no filters unless the
// dictionary text names one), padded past the 768-byte minimum.
std::string BuildPdf(const std::vector<StreamObject>& streams);
// `size` bytes of a repeating pattern that starts with `first`.
std::string PatternBytes(size_t size, char first);

std::string ReadWholeFile(const std::filesystem::path& path);
void WriteWholeFile(const std::filesystem::path& path, const std::string& bytes);
// The path as the host's wide text.
WideString WidePath(const std::filesystem::path& path);

// A fresh folder under the system's temporary folder, removed afterwards.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    // Writes a PDF of these streams into the folder and answers its path.
    std::filesystem::path WritePdf(const std::string& name, const std::vector<StreamObject>& streams) const;

private:
    std::filesystem::path path_;
};

// An archive opened through OpenArchiveW, closed at the end of the scope.
class OpenedArchive {
public:
    explicit OpenedArchive(const std::filesystem::path& pdf);
    ~OpenedArchive();
    OpenedArchive(const OpenedArchive&) = delete;
    OpenedArchive& operator=(const OpenedArchive&) = delete;
    uintptr_t Handle() const { return handle_; }
    int OpenResult() const { return openResult_; }
    // Reads headers until the listing ends; answers the names in order.
    std::vector<WideString> ListAll();
    // Closes now; answers CloseArchive's result.
    int Close();

private:
    uintptr_t handle_ = 0;
    int openResult_ = -1;
};

// Sets VELLUM_PASSWORD (UTF-8) for the life of the object, and unsets it
// after: the plug-in reads it at each open.
class PasswordVariable {
public:
    explicit PasswordVariable(const std::string& utf8);
    ~PasswordVariable();
    PasswordVariable(const PasswordVariable&) = delete;
    PasswordVariable& operator=(const PasswordVariable&) = delete;
};

// Releases an ExtractBlock the way the host does.
void FreeExtractBlock(void* block);

// ASCII wide text as a narrow string, for readable comparisons.
std::string Narrow(const WCHAR* text);
inline std::string Narrow(const WideString& text) { return Narrow(text.c_str()); }

// Sets an environment variable of this process for one scope, where the
// plug-in, loaded into the same process, reads it; null unsets it.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) { Set(value); }
    ~ScopedVariable() { Set(nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    void Set(const char* value);
    const char* name_;
};
