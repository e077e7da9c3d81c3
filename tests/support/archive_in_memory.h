// An archive whose body is given as text, as an open would have read it from
// a file, for tests and benchmarks that scan or list without a file.
#pragma once

#include <cstring>
#include <memory>
#include <string>

#include "document/archive.h"
#include "document/decode_pool.h"
#include "document/scanner.h"

// The archive over `body`; its entries are made when `settings` say how.
inline std::unique_ptr<Archive> ArchiveInMemory(const std::string& body) {
    auto archive = std::make_unique<Archive>();
    if (!archive->body.Allocate(body.size() + 1)) return nullptr;
    std::memcpy(archive->body.Data(), body.data(), body.size());
    StartScan(archive->scan, archive->body.Data(), archive->body.Data() + body.size());
    return archive;
}

// ArchiveInMemory with its entries made on `threads` threads, keeping what fits in `budget`.
inline std::unique_ptr<Archive> ListedInMemory(const std::string& body, uint32_t threads, uint64_t budget) {
    std::unique_ptr<Archive> archive = ArchiveInMemory(body);
    if (archive == nullptr) return nullptr;
    archive->settings = DecodeSettings{threads, budget};
    archive->budget.TakeWhatIsLeft(budget);
    MakeEntries(*archive);
    return archive;
}
