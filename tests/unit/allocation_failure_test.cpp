// Allocation failure injected at the 1st, 2nd, 3rd... allocation until the
// work runs through untouched: a document is opened, listed, extracted to
// memory and to a file, and closed through the exported functions while the
// heap stand-in and operator new refuse allocation N (once, or from N on).
// Every call must answer a code the host may get; the listing never depends
// on memory: the open fails (11), or the entries are those of an undisturbed
// run, all of them or, when a header call answers 11, the first of them;
// whatever was listed extracts to the bytes of an undisturbed run or answers
// 11; and nothing may leak (checked by LeakSanitizer in the asan-ubsan
// preset). The documents are the small ones of the corpus of real producers'
// files, and a fixture with every decoder; those with images also in the
// viewable mode.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <set>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux_memory_hook.h"
#include "plugin/exports.h"
#include "tests/support/pdf_text.h"
#include "tests/unit/test_allocator.h"

namespace {

struct Injection {
    bool armed = false;        // only the plug-in's own calls are counted
    bool persistent = false;   // refuse every allocation from failAt on, not only that one
    uint64_t failAt = 0;       // 1-based number of the allocation to refuse
    uint64_t count = 0;        // allocations seen while armed
    uint64_t refused = 0;      // allocations refused
};

Injection injection;

bool Refuse() {
    if (!injection.armed) return false;
    ++injection.count;
    if (injection.count == injection.failAt || (injection.persistent && injection.count > injection.failAt)) {
        ++injection.refused;
        return true;
    }
    return false;
}

bool HeapAllows(size_t) { return !Refuse(); }
bool NewRefuses(size_t, bool) { return Refuse(); }

// Arms the injection for the duration of one exported call.
template <typename Call>
auto Injected(Call call) {
    injection.armed = true;
    auto result = call();
    injection.armed = false;
    return result;
}

}  // namespace

namespace {

struct Listed {
    std::string name;
    std::vector<uint8_t> bytes;
    bool extracted;   // false when the extraction answered out of memory
};

// What one host session saw.
struct Seen {
    bool opened = false;
    std::vector<Listed> listed;
    int ended = HostEndArchive;   // the answer of the header call that ended the listing
};

std::string Fixture(const std::string& relative) { return std::string(VELLUM_SOURCE_DIR) + "/tests/" + relative; }

std::vector<uint8_t> ReadWhole(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

// One host session over the file; every answer is checked against the codes
// the host may receive.
Seen HostSession(const std::string& path, const std::filesystem::path& directory) {
    Seen seen;
    std::string pathCopy = path;
    OpenArchiveRecord record{};
    record.pathName = pathCopy.data();
    record.mode = HostOpenExtract;
    const uintptr_t handle = Injected([&] { return OpenArchive(&record); });
    if (handle == 0) {
        EXPECT_EQ(record.resultCode, HostNoMemory) << "open failed otherwise than for memory";
        return seen;
    }
    seen.opened = true;
    std::string directoryText = directory.string();
    std::set<std::string> numbers;
    for (;;) {
        HeaderRecordEx header{};
        const int result = Injected([&] { return ReadHeaderEx(handle, &header); });
        if (result != HostOk) {
            EXPECT_TRUE(result == HostEndArchive || result == HostNoMemory) << "a header call answered " << result;
            seen.ended = result;
            break;
        }

        std::string name = header.entryName;
        void* block = nullptr;
        const int toMemory =
            Injected([&] { return ProcessFile(handle, HostExtractToMemory, reinterpret_cast<char*>(&block), name.data()); });
        EXPECT_TRUE(toMemory == HostOk || toMemory == HostNoMemory) << name << " answered " << toMemory;
        Listed entry{name, {}, toMemory == HostOk};
        if (entry.extracted) {
            uint64_t length = 0;
            std::memcpy(&length, block, sizeof length);
            const uint8_t* bytes = static_cast<const uint8_t*>(block) + sizeof length;
            entry.bytes.assign(bytes, bytes + length);
            std::free(block);
        }

        const int toFile = Injected([&] { return ProcessFile(handle, HostExtract, directoryText.data(), name.data()); });
        EXPECT_TRUE(toFile == HostOk || toFile == HostNoMemory) << name << " answered " << toFile;
        const auto written = directory / name;
        if (toFile == HostNoMemory) {
            EXPECT_FALSE(std::filesystem::exists(written)) << name << ": a file was left behind";
        }
        // By name a file extraction finds the first entry with the name's
        // number, which is this one only when the number is new.
        const bool numberIsNew = numbers.insert(name.substr(0, name.rfind('.'))).second;
        if (toFile == HostOk && entry.extracted && numberIsNew) {
            EXPECT_EQ(ReadWhole(written), entry.bytes) << name << ": file and memory differ";
        }
        std::filesystem::remove(written);
        seen.listed.push_back(std::move(entry));
    }
    EXPECT_EQ(Injected([&] { return CloseArchive(handle); }), HostOk);
    return seen;
}

struct Session {
    std::string document;         // under tests/
    const char* memoryMegabytes;  // the budget for kept bytes; "0" decodes again at every extraction
    bool viewable = false;        // the viewable mode, whose image plans follow references
};

void PrintTo(const Session& session, std::ostream* out) {
    *out << session.document << ", budget " << session.memoryMegabytes << (session.viewable ? ", viewable" : "");
}

bool HoldsImages(const std::string& relative) {
    std::ifstream stream(Fixture(relative), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    return text.find("/Image") != std::string::npos;
}

// The corpus' documents up to this size: enough producers, few allocations each.
constexpr uintmax_t SmallDocumentBytes = 16 * 1024;

// The fixture with every decoder, then the corpus' small documents, each at
// both budgets.
std::vector<Session> Sessions() {
    std::vector<std::string> documents;
    for (const auto& file : std::filesystem::directory_iterator(Fixture("corpus"))) {
        if (file.path().extension() == ".pdf" && file.file_size() <= SmallDocumentBytes) {
            documents.push_back("corpus/" + file.path().filename().string());
        }
    }
    std::sort(documents.begin(), documents.end());
    documents.insert(documents.begin(), "fuzz/corpus/document/every_filter");
    std::vector<Session> sessions;
    for (const std::string& document : documents) {
        // With no bytes kept, the failures also strike where an extraction decodes again.
        for (const char* budget : {"1024", "0"}) sessions.push_back(Session{document, budget});
        if (HoldsImages(document)) sessions.push_back(Session{document, "1024", true});
    }
    return sessions;
}

class AllocationFailure : public ::testing::TestWithParam<Session> {
protected:
    void SetUp() override {
        directory_ = std::filesystem::temp_directory_path() / ("vellum-allocation-" + std::to_string(::getpid()));
        std::filesystem::create_directories(directory_);
        allocationHook = HeapAllows;
        refuseAllocation = NewRefuses;
        // The Nth allocation is only the same allocation from run to run on one thread.
        setenv("VELLUM_THREADS", "1", 1);
        setenv("VELLUM_MEMORY_MB", GetParam().memoryMegabytes, 1);
        setenv("VELLUM_VIEWABLE", GetParam().viewable ? "1" : "0", 1);
    }
    void TearDown() override {
        unsetenv("VELLUM_THREADS");
        unsetenv("VELLUM_MEMORY_MB");
        unsetenv("VELLUM_VIEWABLE");
        allocationHook = nullptr;
        refuseAllocation = nullptr;
        injection = Injection{};
        std::filesystem::remove_all(directory_);
    }

    // Fails allocation N for N = 1, 2, 3... until a session runs without a
    // refusal, checking each session against the undisturbed one.
    void FailEachAllocationInTurn(bool persistent) {
        if (!allocationFailureAvailable) GTEST_SKIP() << "allocations cannot be made to fail in this build";
        const std::string path = Fixture(GetParam().document);
        injection = Injection{};
        const Seen expected = HostSession(path, directory_);
        // An encrypted document whose password is not given opens in no session.
        if (!expected.opened) GTEST_SKIP() << "the document does not open";
        ASSERT_EQ(expected.ended, HostEndArchive);

        uint64_t failAt = 1;
        for (;; ++failAt) {
            injection = Injection{};
            injection.failAt = failAt;
            injection.persistent = persistent;
            const Seen seen = HostSession(path, directory_);
            if (injection.refused == 0) {
                ASSERT_EQ(seen.listed.size(), expected.listed.size());
                break;
            }
            if (!seen.opened) continue;
            // The listing is the undisturbed one, or its start and an
            // answer that says memory ran out: never a shorter one that ends
            // as the document does.
            ASSERT_LE(seen.listed.size(), expected.listed.size()) << "after refusing allocation " << failAt;
            if (seen.ended == HostEndArchive) {
                ASSERT_EQ(seen.listed.size(), expected.listed.size())
                    << "after refusing allocation " << failAt << " the listing ended early as if complete";
            }
            for (size_t i = 0; i < seen.listed.size(); ++i) {
                const Listed& entry = seen.listed[i];
                ASSERT_EQ(entry.name, expected.listed[i].name) << "after refusing allocation " << failAt;
                if (entry.extracted) {
                    EXPECT_EQ(entry.bytes, expected.listed[i].bytes) << entry.name << ", allocation " << failAt;
                }
            }
            ASSERT_LT(failAt, 1000000u) << "the session never ran through";
        }
        EXPECT_GT(failAt, 1u) << "no allocation was ever refused";
    }

protected:
    std::filesystem::path directory_;
};

TEST_P(AllocationFailure, EachAllocationRefusedOnce) { FailEachAllocationInTurn(false); }
TEST_P(AllocationFailure, EveryAllocationRefusedFromEachPointOn) { FailEachAllocationInTurn(true); }

int VELLUM_CALL NarrowProgress(char*, int) { return 1; }

// A destination of 200 units with a narrow progress callback: its name is
// converted once, into a heap buffer, before the file is made. Whichever
// allocation of the extraction fails, the answer is a code the host may get,
// and no file stands under the entry's name unless the answer is 0.
TEST_P(AllocationFailure, LongDestinationWithANarrowCallbackLeavesNoCutFile) {
    if (!allocationFailureAvailable) GTEST_SKIP() << "allocations cannot be made to fail in this build";
    const std::string path = Fixture(GetParam().document);
    std::string pathCopy = path;
    OpenArchiveRecord record{};
    record.pathName = pathCopy.data();
    record.mode = HostOpenExtract;
    const uintptr_t handle = OpenArchive(&record);
    if (handle == 0) GTEST_SKIP() << "the document does not open";
    HeaderRecordEx header{};
    ASSERT_EQ(ReadHeaderEx(handle, &header), HostOk);
    SetProcessDataProc(handle, NarrowProgress);
    const std::filesystem::path folder = directory_ / std::string(200 - directory_.string().size() - 27, 'd');
    std::filesystem::create_directories(folder);
    std::string folderText = folder.string();
    std::string name = header.entryName;
    ASSERT_GE(folderText.size() + 1 + name.size(), 200u);
    for (uint64_t failAt = 1;; ++failAt) {
        injection = Injection{};
        injection.failAt = failAt;
        const int result = Injected([&] { return ProcessFile(handle, HostExtract, folderText.data(), name.data()); });
        EXPECT_TRUE(result == HostOk || result == HostNoMemory) << "allocation " << failAt << " answered " << result;
        EXPECT_EQ(std::filesystem::exists(folder / name), result == HostOk) << "allocation " << failAt;
        std::filesystem::remove(folder / name);
        if (injection.refused == 0) break;
        ASSERT_LT(failAt, 100000u);
    }
    EXPECT_EQ(CloseArchive(handle), HostOk);
}

INSTANTIATE_TEST_SUITE_P(Documents, AllocationFailure, ::testing::ValuesIn(Sessions()));

#if defined(__SANITIZE_ADDRESS__)
#  define VELLUM_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
#    define VELLUM_ADDRESS_SANITIZER 1
#  endif
#endif

// The process's address space now, in bytes.
uint64_t AddressSpaceBytes() {
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0;
    statm >> pages;
    return pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

// A small stream, one whose decoding wants memory (4 MiB of zeros read as
// one-dimensional fax data, which is one endless row), and three small
// streams, as a host lists them in a child process whose address space is
// limited to `limit`: the open's answer, each header call's, and the names.
std::string ListUnderLimit(const std::string& path, uint64_t limit) {
    int channel[2];
    if (pipe(channel) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        const rlimit bound{limit, limit};
        setrlimit(RLIMIT_AS, &bound);
        std::string seen;
        std::string pathCopy = path;
        OpenArchiveRecord record{};
        record.pathName = pathCopy.data();
        record.mode = HostOpenList;
        const uintptr_t handle = OpenArchive(&record);
        seen = "open " + std::to_string(record.resultCode);
        if (handle != 0) {
            HeaderRecordEx header{};
            int result = HostOk;
            while ((result = ReadHeaderEx(handle, &header)) == HostOk) seen += std::string(" ") + header.entryName;
            seen += " end " + std::to_string(result);
            CloseArchive(handle);
        }
        const ssize_t written = write(channel[1], seen.data(), seen.size());
        _exit(written == static_cast<ssize_t>(seen.size()) ? 0 : 1);
    }
    close(channel[1]);
    std::string seen;
    char buffer[4096];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;) seen.append(buffer, static_cast<size_t>(got));
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return seen;
}

// Whatever the limit, a listing is whole, or says that memory ran out: the
// open or a header call answers 11. A shorter listing that ends as the
// document does never happens.
TEST(MemoryLimit, ListingIsWholeOrSaysMemoryRanOut) {
#if defined(VELLUM_ADDRESS_SANITIZER) || defined(VELLUM_TSAN)
    GTEST_SKIP() << "a sanitizer's runtime reserves more address space than any limit here";
#endif
    const std::string small = StreamObject(1, "<</Length 5>>", "small");
    const std::string zeros = Compressed(std::string(4u << 20, '\0'));
    std::string body = "%PDF-1.4\n" + small +
                       StreamObject(2, "<</Filter[/FlateDecode/CCITTFaxDecode]/DecodeParms[null<</K 0/Columns 1728>>]/Length " +
                                           std::to_string(zeros.size()) + ">>",
                                    zeros);
    for (int number = 3; number <= 5; ++number) body += StreamObject(number, "<</Length 5>>", "small");
    body += "%" + std::string(800, '-') + "\n%%EOF\n";
    const auto path = std::filesystem::temp_directory_path() / ("vellum-limit-" + std::to_string(::getpid()) + ".pdf");
    {
        std::ofstream file(path, std::ios::binary);
        file << body;
    }
    const std::string whole = ListUnderLimit(path.string(), RLIM_INFINITY);
    ASSERT_EQ(whole.find("open 0 "), 0u) << whole;
    const std::string listed = whole.substr(0, whole.rfind(" end "));
    ASSERT_EQ(whole.substr(listed.size()), " end 10") << whole;
    size_t failures = 0;
    const uint64_t base = AddressSpaceBytes();
    for (uint64_t extra = 0; extra <= (uint64_t{64} << 20); extra += uint64_t{4} << 20) {
        const std::string seen = ListUnderLimit(path.string(), base + extra);
        if (seen == whole) continue;
        ++failures;
        // Failed: at the open, or at a header call after the first entries.
        if (seen == "open 11") continue;
        const size_t end = seen.rfind(" end ");
        ASSERT_NE(end, std::string::npos) << seen;
        EXPECT_EQ(seen.substr(end), " end 11") << "with " << (extra >> 20) << " MiB to spare: " << seen;
        EXPECT_EQ(listed.compare(0, end, seen, 0, end), 0) << "with " << (extra >> 20) << " MiB to spare: " << seen;
    }
    std::filesystem::remove(path);
    EXPECT_GT(failures, 0u) << "no limit was tight enough to matter";
}

}  // namespace

#endif
