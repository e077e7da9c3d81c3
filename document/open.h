// Opening a document: the file is recognised by content and, for an open,
// its body is read into a new archive whose entries are then made; the file
// is closed again before returning, whatever the outcome.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "decode/status.h"
#include "document/archive.h"
#include "document/security.h"
#include "platform/win32.h"

// Why a file is not a PDF vellum opens.
enum class NotPdfReason : uint8_t {
    None,
    TooSmall,      // shorter than MinimumFileSize
    NoHeader,      // does not start with "%PDF-1."
    Pdf2,          // starts with "%PDF-2."
    NoBody,        // no line after the header, or nothing before "%%EOF"
};

// Smaller files cannot hold a useful document; they are turned away unread.
constexpr int64_t MinimumFileSize = 768;

// What a check or an open found.
struct OpenOutcome {
    Status status = Status::Ok;            // Ok, NotPdf, IoError, OutOfMemory; or for an encrypted
                                           // document NeedsPassword, Unsupported or InvalidData
    NotPdfReason reason = NotPdfReason::None;  // with NotPdf
    uint32_t systemError = 0;              // with IoError: the system's code
    char handler[HandlerNameCapacity] = {};  // with Unsupported: the handler or revision vellum cannot read
};

// What an open asks for besides the file.
struct OpenRequest {
    DecodeSettings settings;               // threads and the process's budget
    std::string_view password;             // tried as the user, then the owner password
};

// Whether the file is a PDF vellum opens, judged by its first line and its
// end; nothing is kept.
OpenOutcome CheckDocument(const WCHAR* path);
// Reads the body of the file at `path` into a new archive and finds how it is
// encrypted; no entry is made yet. On Ok `archive` holds it; otherwise it is
// left empty and the outcome says why.
OpenOutcome ReadDocument(const WCHAR* path, const OpenRequest& request, std::unique_ptr<Archive>& archive);
// ReadDocument, then the archive takes what is left of the process's budget
// and starts making its entries (decode_pool.h), which goes on beside the
// host's calls.
OpenOutcome OpenDocument(const WCHAR* path, const OpenRequest& request, std::unique_ptr<Archive>& archive);

// Checks the bytes ("%PDF-1.", a first line, a non-empty body before a
// trailing "%%EOF") and finds the body: the offsets [bodyStart, bodyEnd).
NotPdfReason FindDocumentBody(const uint8_t* bytes, uint64_t size, uint64_t& bodyStart, uint64_t& bodyEnd);
// Reads [offset, offset + length) of the file into `destination` in requests
// of at most `chunkBytes` (under 4 GiB). False when a read fails or the file
// ends before the range does.
bool ReadFileRange(HANDLE file, uint64_t offset, uint64_t length, uint8_t* destination, uint64_t chunkBytes);
