// How an entry's file comes to stand under its name. A big entry is written
// under a temporary name in its own directory, checked, and renamed when
// whole. A rename replaces the directory entry itself, so a symbolic link
// found under the name is replaced, never followed; without replacing, the
// rename refuses an existing name, so a file that appears meanwhile is not
// lost. A small entry, whose bytes are in memory already, is created under its
// own name (never through a link, never over an existing file) and written
// in one piece, or removed: a temporary name would cost more calls than the
// write itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/terminal_text.h"
#include "tools/time_stamps.h"

// The longest destination path, in UTF-16 units: hosts on Windows take no
// longer path, and a shortened one could name another file.
constexpr size_t MaxDestinationUnits = 259;

// directory + the system's separator + name; no separator after an empty
// directory or one that already ends in a separator.
HostText JoinPath(const HostText& directory, const HostText& name);

enum class PathKind {
    none,       // nothing stands under the name
    directory,  // a directory (not a link to one)
    other,      // a file, a link (dangling or not) or anything else
};
// What stands under `path`, the path's last component not followed.
PathKind InspectPath(const HostText& path);

// Makes `directory` and the directories above it that are missing; on
// failure `reason` says why.
bool MakeDirectories(const HostText& directory, std::string& reason);

// The size of the file at `path`, or none when it cannot be read.
std::optional<uint64_t> FileSize(const HostText& path);

// Where temporary copies for standard output go: TMPDIR or /tmp on Linux,
// the user's temporary folder on Windows.
HostText TemporaryDirectory();

enum class Placement {
    placed,  // the file stands under its name
    exists,  // refused: something stands under the name already
    failed,  // refused for another reason, given in the code
};

// A file under a fresh name that nothing else uses, made empty by Create and
// removed with its owner unless it was placed under its name.
class TemporaryFile {
public:
    TemporaryFile() = default;
    ~TemporaryFile() { Remove(); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates the file in `directory` (the current one when empty). Never
    // opens an existing file: a name that exists is passed over.
    bool Create(const HostText& directory, SystemCode& code);
    const HostText& Path() const { return path_; }
    // The path as a host text the plug-in may write its destination to.
    WCHAR* HostPath() { return path_.data(); }
    // Renames the file to `path`: replacing what stands there when `replace`,
    // else only when nothing does. Once placed, the file is no longer removed.
    Placement PlaceAs(const HostText& path, bool replace, SystemCode& code);
    void Remove();

private:
    HostText path_;  // empty when there is no file to remove
};

// A file created under its own name and written whole at once; removed with
// its owner unless Finish made it whole.
class FileInPlace {
public:
    FileInPlace() = default;
    ~FileInPlace() { Remove(); }
    FileInPlace(const FileInPlace&) = delete;
    FileInPlace& operator=(const FileInPlace&) = delete;

    // Creates the file under `path`, never through a link: without `replace`
    // only where nothing stands (else `exists`); with it (Linux only), what
    // stands there is removed first.
    Placement Create(const HostText& path, bool replace, SystemCode& code);
    // Writes the bytes, gives the file the stamp as its last-write time and
    // closes it. On failure, with the code, the file is removed.
    bool Finish(const uint8_t* bytes, uint64_t size, uint32_t stamp, SystemCode& code);

private:
    void Remove();

    HostText path_;      // the file, while it stands unfinished
    NativeFile file_{};  // the file, while open_
    bool open_ = false;  // created and not yet closed
};
