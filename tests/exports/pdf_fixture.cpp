#include "tests/exports/pdf_fixture.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {
constexpr size_t MinimumPdfBytes = 768;
std::atomic<int> scratchCounter{0};
}  // namespace

std::string BuildPdf(const std::vector<StreamObject>& streams) {
    std::string pdf = "%PDF-1.7\n";
    for (const StreamObject& stream : streams) {
        // Appended piece by piece: mingw's GCC 12 warns falsely on literal + string temporaries.
        pdf.append(std::to_string(stream.number)).append(" 0 obj\n<</Length ");
        pdf.append(std::to_string(stream.data.size())).append(stream.dictionaryExtra).append(">>\nstream\n");
        pdf.append(stream.data).append("\nendstream\nendobj\n");
    }
    // A comment line pads small documents past the minimum size.
    if (pdf.size() < MinimumPdfBytes) {
        pdf += '%';
        pdf.append(MinimumPdfBytes - pdf.size(), 'p');
        pdf += '\n';
    }
    pdf += "%%EOF\n";
    return pdf;
}

std::string PatternBytes(size_t size, char first) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(first + static_cast<char>(i % 251));
    return bytes;
}

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

WideString WidePath(const std::filesystem::path& path) {
#ifdef _WIN32
    return path.wstring();
#else
    return path.u16string();
#endif
}

ScratchFolder::ScratchFolder() {
    std::ostringstream name;
    name << "vellum-test-" << std::rand() << "-" << scratchCounter++;
    path_ = std::filesystem::temp_directory_path() / name.str();
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path ScratchFolder::WritePdf(const std::string& name, const std::vector<StreamObject>& streams) const {
    std::filesystem::path file = path_ / name;
    WriteWholeFile(file, BuildPdf(streams));
    return file;
}

OpenedArchive::OpenedArchive(const std::filesystem::path& pdf) {
    WideString path = WidePath(pdf);
    OpenArchiveRecord record{};
    record.pathName = path.data();
    record.mode = 1;
    handle_ = Plugin().openArchiveW(&record);
    openResult_ = record.resultCode;
}

OpenedArchive::~OpenedArchive() { Close(); }

int OpenedArchive::Close() {
    if (handle_ == 0) return HostNotSupported;
    int result = Plugin().closeArchive(handle_);
    handle_ = 0;
    return result;
}

std::vector<WideString> OpenedArchive::ListAll() {
    std::vector<WideString> names;
    HeaderRecordExW record{};
    while (Plugin().readHeaderExW(handle_, &record) == HostOk) names.emplace_back(record.entryName);
    return names;
}

void FreeExtractBlock(void* block) {
#ifdef _WIN32
    LocalFree(block);
#else
    std::free(block);
#endif
}

std::string Narrow(const WCHAR* text) {
    std::string narrow;
    for (; *text != 0; ++text) narrow += *text < 128 ? static_cast<char>(*text) : '?';
    return narrow;
}

PasswordVariable::PasswordVariable(const std::string& utf8) {
#ifdef _WIN32
    // Set as wide text, so that the plug-in reads every character whatever the code page.
    std::wstring wide(utf8.size() + 1, L'\0');
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                                          static_cast<int>(wide.size()));
    wide.resize(static_cast<size_t>(units));
    SetEnvironmentVariableW(L"VELLUM_PASSWORD", wide.c_str());
#else
    setenv("VELLUM_PASSWORD", utf8.c_str(), 1);
#endif
}

PasswordVariable::~PasswordVariable() {
#ifdef _WIN32
    SetEnvironmentVariableW(L"VELLUM_PASSWORD", nullptr);
#else
    unsetenv("VELLUM_PASSWORD");
#endif
}

void ScopedVariable::Set(const char* value) {
#ifdef _WIN32
    SetEnvironmentVariableA(name_, value);
#else
    if (value != nullptr) setenv(name_, value, 1);
    else unsetenv(name_);
#endif
}
