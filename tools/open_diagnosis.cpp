#include "tools/open_diagnosis.h"

#include "document/explain.h"
#include "document/open.h"
#include "tools/environment.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#ifndef _WIN32
#  include <cerrno>
#  include <sys/stat.h>
#endif

namespace {

// What the plug-in asks of a file's first bytes; its least size is the
// document layer's MinimumFileSize.
constexpr char PdfSignature[] = "%PDF-";
constexpr char VersionOneSignature[] = "%PDF-1.";
constexpr char VersionTwoSignature[] = "%PDF-2.";
constexpr size_t SignatureBytes = sizeof VersionOneSignature - 1;

bool StartsWith(const char* bytes, size_t count, const char* signature) {
    size_t length = std::strlen(signature);
    return count >= length && std::memcmp(bytes, signature, length) == 0;
}

// The file's size and first bytes, or the reason they cannot be read.
struct FileStart {
    uint64_t size = 0;                // bytes in the file
    char bytes[SignatureBytes] = {};  // its first bytes
    size_t count = 0;                 // how many of them were read
    std::string problem;              // why the file cannot be read; empty when it can
};

FileStart ReadFileStart(const HostText& file) {
    FileStart start;
#ifdef _WIN32
    DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        start.problem = FileErrorText(GetLastError());
        return start;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        start.problem = "is a directory";
        return start;
    }
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        start.problem = FileErrorText(GetLastError());
        return start;
    }
    LARGE_INTEGER size{};
    DWORD read = 0;
    if (!GetFileSizeEx(handle, &size) || !ReadFile(handle, start.bytes, SignatureBytes, &read, nullptr)) {
        start.problem = SystemErrorText(GetLastError());
    }
    CloseHandle(handle);
    start.size = static_cast<uint64_t>(size.QuadPart);
    start.count = read;
#else
    std::string path = ToUtf8(file);
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        start.problem = FileErrorText(static_cast<SystemCode>(errno));
        return start;
    }
    if (S_ISDIR(status.st_mode)) {
        start.problem = "is a directory";
        return start;
    }
    if (!S_ISREG(status.st_mode)) {
        start.problem = "not a regular file";
        return start;
    }
    FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr) {
        start.problem = FileErrorText(static_cast<SystemCode>(errno));
        return start;
    }
    start.size = static_cast<uint64_t>(status.st_size);
    start.count = std::fread(start.bytes, 1, SignatureBytes, stream);
    if (std::ferror(stream)) start.problem = SystemErrorText(static_cast<SystemCode>(errno));
    std::fclose(stream);
#endif
    return start;
}

// The filters' names as a person reads them.
const char* FilterName(FilterCode code) {
    switch (code) {
    case FilterCode::Ascii85: return "ASCII85";
    case FilterCode::AsciiHex: return "ASCIIHex";
    case FilterCode::Flate: return "Flate";
    case FilterCode::Lzw: return "LZW";
    case FilterCode::RunLength: return "RunLength";
    case FilterCode::CcittFax: return "CCITT fax";
    case FilterCode::Dct: return "DCT";
    }
    return "filtered";
}

std::string ObjectName(uint32_t number, uint32_t generation) {
    return "object " + std::to_string(number) + " " + std::to_string(generation);
}

std::string NotWholeReason(const ScanProblem& problem) {
    switch (problem.trouble) {
    case ScanTrouble::DictionaryNeverCloses: return "its dictionary never closes";
    case ScanTrouble::FileEndsInside: return "the file ends inside it";
    case ScanTrouble::DataRunsOverHeader:
        return "its data runs over the header of " + ObjectName(problem.otherNumber, problem.otherGeneration) +
               " (a missing endstream)";
    }
    return "not read whole";
}

std::string LeftOutReason(const LeftOutStream& stream) {
    const std::string what = stream.inDecryption ? std::string("the decryption") : std::string(FilterName(stream.filter)) + " data";
    if (stream.status == Status::OutOfMemory) return "out of memory for " + what;
    return stream.inDecryption ? "cannot be decrypted" : "invalid " + what;
}

}  // namespace

std::string EncryptionCause(const HostText& file) {
    const std::string password = PasswordSetting();
    std::unique_ptr<Archive> archive;
    const OpenOutcome outcome = ReadDocument(file.c_str(), OpenRequest{DecodeSettings{1, 0}, password}, archive);
    if (outcome.status == Status::NeedsPassword) {
        return password.empty() ? "encrypted: needs a password (--password)"
                                : "encrypted: the password given does not open it";
    }
    if (outcome.status == Status::InvalidData) return "encrypted, with an encryption dictionary vellum cannot read";
    if (outcome.status == Status::Unsupported) {
        const std::string handler = outcome.handler;
        if (!handler.empty() && handler[0] == '/') return "encrypted with the " + handler + " handler, which vellum cannot read";
        return "encrypted with " + handler + ", which vellum cannot read";
    }
    return std::string();
}

std::vector<std::string> LeftOutStreams(const HostText& file) {
    std::vector<std::string> lines;
    DocumentReport report;
    const OpenOutcome outcome = ExplainDocument(file.c_str(), PasswordSetting(), report);
    if (outcome.status != Status::Ok) return lines;
    lines.push_back(std::to_string(report.streamsFound) + " stream objects, " +
                    std::to_string(report.streamsFound - report.leftOut.size()) + " listed, " +
                    std::to_string(report.leftOut.size()) + " left out" + (report.leftOut.empty() && report.notWhole.empty() ? "" : ":"));
    for (const LeftOutStream& stream : report.leftOut) {
        lines.push_back(ObjectName(stream.objectNumber, stream.generation) + " (data at byte " +
                        std::to_string(stream.offset) + "): " + LeftOutReason(stream));
    }
    for (const ScanProblem& problem : report.notWhole) {
        lines.push_back(ObjectName(problem.objectNumber, problem.generation) + " (at byte " +
                        std::to_string(problem.offset) + "): " + NotWholeReason(problem));
    }
    return lines;
}

std::string DiagnoseOpenFailure(const HostText& file) {
    FileStart start = ReadFileStart(file);
    if (!start.problem.empty()) return start.problem;
    if (start.size == 0) return "not a PDF: the file is empty";
    if (!StartsWith(start.bytes, start.count, PdfSignature)) return "not a PDF: it does not start with %PDF-";
    if (StartsWith(start.bytes, start.count, VersionTwoSignature))
        return "a PDF 2.0 file (%PDF-2. header); vellum opens %PDF-1. files";
    if (!StartsWith(start.bytes, start.count, VersionOneSignature))
        return "not a PDF that vellum opens: its header is not %PDF-1.";
    if (start.size < static_cast<uint64_t>(MinimumFileSize))
        return "too small: " + std::to_string(start.size) + " bytes, under the " + std::to_string(MinimumFileSize) +
               " bytes of the smallest PDF vellum opens";
    if (std::string cause = EncryptionCause(file); !cause.empty()) return cause;
    return "not a PDF file that vellum can open";
}
