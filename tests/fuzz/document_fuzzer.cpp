// The whole plug-in through its exported functions, as a host drives it: the
// input becomes a file, which is checked, opened, listed to the end (or until
// a header call says memory ran out) with the three header calls in turn,
// each entry extracted to memory and to a file, and closed. Every answer must
// be one the host may receive, and the two extractions of an entry must agree
// with each other and with its header. The open decodes on three threads; a
// second open on one thread must list the same names and sizes when both
// listings ran to the end. All of it runs in the default mode and again in
// the viewable mode, which must list the same objects.
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/exports.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using WideString = std::basic_string<WCHAR>;

// The temporary paths are ASCII, so widening each byte is the conversion.
WideString Widen(const std::string& text) { return WideString(text.begin(), text.end()); }

std::string Narrow(const WCHAR* text) {
    std::string narrow;
    for (; *text != 0; ++text) narrow.push_back(*text < 128 ? static_cast<char>(*text) : '?');
    return narrow;
}

// One private directory per process, removed at exit.
struct WorkDirectory {
    std::filesystem::path path;
    WorkDirectory() {
        std::random_device random;
        const auto base = std::filesystem::temp_directory_path();
        do {
            path = base / ("vellum-fuzz-" + std::to_string(random()));
        } while (!std::filesystem::create_directory(path));
    }
    ~WorkDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

const WorkDirectory& Work() {
    static const WorkDirectory directory;
    return directory;
}

int VELLUM_CALL CountProgress(WCHAR*, int) { return 1; }

void SetDecodeThreads(const char* count) {
#ifdef _WIN32
    SetEnvironmentVariableA("VELLUM_THREADS", count);
#else
    setenv("VELLUM_THREADS", count, 1);
#endif
}

struct ListedEntry {
    std::string name;
    uint64_t size;
    bool operator==(const ListedEntry&) const = default;
};

// The names and sizes of a listing on one decode thread; `whole` tells
// whether it ran to the end rather than out of memory.
std::vector<ListedEntry> ListOnOneThread(WideString& path, bool& whole) {
    SetDecodeThreads("1");
    OpenArchiveRecord record{};
    record.pathName = path.data();
    record.mode = 1;
    const uintptr_t handle = OpenArchiveW(&record);
    SetDecodeThreads("3");
    FuzzCheck(handle != 0, "opened on three threads but not on one");
    std::vector<ListedEntry> listed;
    HeaderRecordEx header{};
    int result = HostOk;
    while ((result = ReadHeaderEx(handle, &header)) == HostOk) {
        listed.push_back({header.entryName, header.unpackedSize | static_cast<uint64_t>(header.unpackedSizeHigh) << 32});
    }
    FuzzCheck(result == HostEndArchive || result == HostNoMemory, "unexpected header result");
    whole = result == HostEndArchive;
    FuzzCheck(CloseArchive(handle) == HostOk, "close failed");
    return listed;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    FuzzCheck(static_cast<bool>(stream), "extracted file missing");
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

void FreeBlock(void* block) {
#ifdef _WIN32
    LocalFree(block);
#else
    std::free(block);
#endif
}

// Extracts the entry just listed to memory, then by its name to a file, and
// returns the decoded length. The first extraction after a header takes the
// entry that header described; the second finds the first entry listed with
// the name's number, so the two must agree whenever that number is new.
uint64_t ExtractBoth(uintptr_t handle, const std::string& name, bool wide, bool numberIsNew) {
    const std::string directory = Work().path.string();
    void* block = nullptr;
    std::string nameCopy = name;
    WideString wideName = Widen(name);
    int result = wide ? ProcessFileW(handle, HostExtractToMemory, reinterpret_cast<WCHAR*>(&block), wideName.data())
                      : ProcessFile(handle, HostExtractToMemory, reinterpret_cast<char*>(&block), nameCopy.data());
    FuzzCheck(result == HostOk, "a listed entry could not be extracted to memory");
    FuzzCheck(block != nullptr, "no block handed over");
    uint64_t length = 0;
    std::memcpy(&length, block, sizeof length);
    const uint8_t* bytes = static_cast<const uint8_t*>(block) + 8;
    static const uint8_t zeros[8] = {};
    FuzzCheck(std::memcmp(bytes + length, zeros, sizeof zeros) == 0, "block does not end in 8 zero bytes");

    std::string narrowDirectory = directory;
    WideString wideDirectory = Widen(directory);
    result = wide ? ProcessFileW(handle, HostExtract, wideDirectory.data(), wideName.data())
                  : ProcessFile(handle, HostExtract, narrowDirectory.data(), nameCopy.data());
    FuzzCheck(result == HostOk, "a listed entry could not be extracted to a file");
    const auto file = Work().path / name;
    const std::vector<uint8_t> written = ReadFile(file);
    if (numberIsNew) {
        FuzzCheck(written.size() == length, "file and memory block differ in length");
        FuzzCheck(length == 0 || std::memcmp(written.data(), bytes, length) == 0, "file and memory block differ");
    }
    std::filesystem::remove(file);
    FreeBlock(block);
    return length;
}

void SetViewable(const char* value) {
#ifdef _WIN32
    SetEnvironmentVariableA("VELLUM_VIEWABLE", value);
#else
    setenv("VELLUM_VIEWABLE", value, 1);
#endif
}

// Opens, lists and extracts everything, then lists on one thread: the
// entries listed, or none when the file does not open.
std::vector<ListedEntry> OpenListAndExtract(WideString& path, bool acceptable, std::string_view input, bool& whole);

// The listing without extensions: the objects it lists, in order.
std::vector<std::string> Objects(const std::vector<ListedEntry>& listed) {
    std::vector<std::string> objects;
    for (const ListedEntry& entry : listed) objects.push_back(entry.name.substr(0, entry.name.rfind('.')));
    return objects;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool initialised = [] {
        CapHeapRequests();
        SetProcessDataProcW(0, CountProgress);
        SetDecodeThreads("3");
        // The user password of the encrypted seeds (tests/fuzz/make_seeds.py).
#ifdef _WIN32
        SetEnvironmentVariableA("VELLUM_PASSWORD", "fuzz");
#else
        setenv("VELLUM_PASSWORD", "fuzz", 1);
#endif
        return true;
    }();
    (void)initialised;

    const auto input = Work().path / "input.pdf";
    {
        std::ofstream stream(input, std::ios::binary | std::ios::trunc);
        stream.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        FuzzCheck(static_cast<bool>(stream), "cannot write the input file");
    }
    WideString path = Widen(input.string());
    const bool acceptable = CanYouHandleThisFileW(path.c_str()) != 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The default mode, then the viewable one, which lists the same objects.
    SetViewable("0");
    bool standardWhole = false, viewableWhole = false;
    const std::vector<ListedEntry> standard = OpenListAndExtract(path, acceptable, bytes, standardWhole);
    SetViewable("1");
    const std::vector<ListedEntry> viewable = OpenListAndExtract(path, acceptable, bytes, viewableWhole);
    if (standardWhole && viewableWhole)
        FuzzCheck(Objects(standard) == Objects(viewable), "the viewable mode lists other objects");
    return 0;
}

namespace {

std::vector<ListedEntry> OpenListAndExtract(WideString& path, bool acceptable, std::string_view input, bool& whole) {
    whole = false;
    OpenArchiveRecord record{};
    record.pathName = path.data();
    record.mode = 1;
    const uintptr_t handle = OpenArchiveW(&record);
    if (handle == 0) {
        FuzzCheck(record.resultCode == HostNoMemory || record.resultCode == HostUnknownFormat, "unexpected open result");
        // The check reads only a file's ends, so it cannot tell an encrypted
        // document that does not decrypt, which the open refuses.
        FuzzCheck(!acceptable || input.find("/Encrypt") != std::string_view::npos,
                  "a file the check accepts could not be opened");
        return {};
    }
    FuzzCheck(acceptable, "a file the check rejects was opened");

    std::set<std::string> listedNumbers;
    std::vector<ListedEntry> listed;
    whole = true;
    for (unsigned call = 0;; ++call) {
        std::string name;
        uint64_t headerSize = 0;
        int result = 0;
        switch (call % 3) {
            case 0: {
                HeaderRecord header{};
                result = ReadHeader(handle, &header);
                FuzzCheck(std::memchr(header.entryName, 0, sizeof header.entryName) != nullptr, "name not terminated");
                name = header.entryName;
                headerSize = header.unpackedSize;
                break;
            }
            case 1: {
                HeaderRecordEx header{};
                result = ReadHeaderEx(handle, &header);
                FuzzCheck(std::memchr(header.entryName, 0, sizeof header.entryName) != nullptr, "name not terminated");
                name = header.entryName;
                headerSize = header.unpackedSize | static_cast<uint64_t>(header.unpackedSizeHigh) << 32;
                break;
            }
            default: {
                HeaderRecordExW header{};
                result = ReadHeaderExW(handle, &header);
                header.entryName[1023] = 0;
                name = Narrow(header.entryName);
                headerSize = header.unpackedSize | static_cast<uint64_t>(header.unpackedSizeHigh) << 32;
                break;
            }
        }
        if (result == HostEndArchive) break;
        // Memory ran out: the listing says so instead of ending early.
        if (result == HostNoMemory) {
            whole = false;
            break;
        }
        FuzzCheck(result == HostOk, "unexpected header result");
        const bool numberIsNew = listedNumbers.insert(name.substr(0, name.rfind('.'))).second;
        const uint64_t length = ExtractBoth(handle, name, call % 3 == 2, numberIsNew);
        FuzzCheck(length == (headerSize & 0xFFFFFFFFu), "extracted length differs from the header");
        listed.push_back({name, length});
    }
    FuzzCheck(CloseArchive(handle) == HostOk, "close failed");
    bool wholeOnOne = true;
    const std::vector<ListedEntry> onOne = ListOnOneThread(path, wholeOnOne);
    if (whole && wholeOnOne) FuzzCheck(onOne == listed, "one decode thread lists otherwise than three");
    return listed;
}

}  // namespace
