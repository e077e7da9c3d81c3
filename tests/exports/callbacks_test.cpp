// The host's progress callbacks as the host uses them: an answer of 0
// cancels an extraction and leaves no file; an archive's own callbacks are
// called for it alone; and a callback may close the archive it is called for.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/exports/pdf_fixture.h"

namespace {

constexpr WCHAR EntryName[] = WIDE("object-stream-00000003.dat");

// What one callback saw, and when it answers 0.
struct CallbackLog {
    std::atomic<int> calls{0};
    int cancelAt = -1;            // the call (from 0) that answers 0; -1 never
    uintptr_t closeOnCall = 0;    // an archive the first call closes
    std::atomic<int> strays{0};   // calls from a thread this log does not belong to
    std::thread::id owner;
};

CallbackLog first;
CallbackLog second;

std::string HexEncoded(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : bytes) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex + ">";
}

int Answer(CallbackLog& log) {
    if (log.owner != std::thread::id() && log.owner != std::this_thread::get_id()) ++log.strays;
    const int call = log.calls++;
    if (log.closeOnCall != 0 && call == 0) {
        EXPECT_EQ(Plugin().closeArchive(log.closeOnCall), HostOk);
    }
    return call == log.cancelAt ? 0 : 1;
}

int VELLUM_CALL FirstProgress(WCHAR*, int) { return Answer(first); }
int VELLUM_CALL SecondProgress(WCHAR*, int) { return Answer(second); }
int VELLUM_CALL FirstNarrowProgress(char*, int) { return Answer(first); }

class Callbacks : public testing::Test {
protected:
    void SetUp() override {
        ResetLog(first);
        ResetLog(second);
        Plugin().setProcessDataProcW(0, nullptr);
        Plugin().setProcessDataProc(0, nullptr);
    }
    void TearDown() override {
        Plugin().setProcessDataProcW(0, nullptr);
        Plugin().setProcessDataProc(0, nullptr);
    }
    static void ResetLog(CallbackLog& log) {
        log.calls = 0;
        log.cancelAt = -1;
        log.closeOnCall = 0;
        log.strays = 0;
        log.owner = std::thread::id();
    }

    // A document whose object 3 is 200,000 bytes: four writes of a file,
    // stored as they are, or hex-encoded and decoded again at extraction.
    std::filesystem::path Document(bool packed) {
        const std::string payload = PatternBytes(200000, 'A');
        if (!packed) return folder.WritePdf("doc.pdf", {{3, payload, ""}});
        return folder.WritePdf("doc.pdf", {{3, HexEncoded(payload), "/Filter/ASCIIHexDecode"}});
    }

    ScratchFolder folder;
};

TEST_F(Callbacks, AnswerOfZeroCancelsAndLeavesNoFile) {
    for (bool packed : {false, true}) {
        for (int cancelAt : {0, 2}) {
            SCOPED_TRACE(std::string(packed ? "decoded again" : "kept") + ", cancelled at report " +
                         std::to_string(cancelAt));
            // With no budget the packed entry is decoded again into the file as it is written.
            ScopedVariable budget("VELLUM_MEMORY_MB", packed ? "0" : nullptr);
            OpenedArchive archive(Document(packed));
            ASSERT_EQ(archive.ListAll().size(), 1u);
            ResetLog(first);
            first.cancelAt = cancelAt;
            Plugin().setProcessDataProcW(archive.Handle(), FirstProgress);
            WideString directory = WidePath(folder.Path());
            WCHAR name[std::size(EntryName)];
            std::copy(std::begin(EntryName), std::end(EntryName), name);
            EXPECT_EQ(Plugin().processFileW(archive.Handle(), HostExtract, directory.data(), name), HostAborted);
            EXPECT_EQ(first.calls, cancelAt + 1) << "the extraction went on after the answer";
            EXPECT_FALSE(std::filesystem::exists(folder.Path() / "object-stream-00000003.dat"));

            // To memory, nothing is handed over.
            void* block = nullptr;
            ResetLog(first);
            first.cancelAt = cancelAt == 0 ? 0 : 1;
            EXPECT_EQ(Plugin().processFileW(archive.Handle(), HostExtractToMemory, reinterpret_cast<WCHAR*>(&block), name),
                      HostAborted);
            EXPECT_EQ(block, nullptr);
        }
    }
}

TEST_F(Callbacks, ANarrowCallbackCancelsAsWell) {
    OpenedArchive archive(Document(false));
    ASSERT_EQ(archive.ListAll().size(), 1u);
    first.cancelAt = 1;
    Plugin().setProcessDataProc(archive.Handle(), FirstNarrowProgress);
    std::string directory = folder.Path().string();
    EXPECT_EQ(Plugin().processFile(archive.Handle(), HostExtract, directory.data(), const_cast<char*>("x-3.dat")),
              HostAborted);
    EXPECT_EQ(first.calls, 2);
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "x-3.dat"));
}

// Two archives on two threads, each with its own callback, and a default
// callback that neither may reach.
TEST_F(Callbacks, EachArchiveCallsOnlyItsOwn) {
    const std::filesystem::path pdf = Document(false);
    OpenedArchive one(pdf);
    OpenedArchive two(pdf);
    ASSERT_EQ(one.ListAll().size(), 1u);
    ASSERT_EQ(two.ListAll().size(), 1u);
    Plugin().setProcessDataProcW(0, SecondProgress);  // the default: used by neither
    Plugin().setProcessDataProcW(one.Handle(), FirstProgress);
    Plugin().setProcessDataProcW(two.Handle(), FirstProgress);
    Plugin().setProcessDataProcW(two.Handle(), SecondProgress);
    const auto extractAll = [&](OpenedArchive& archive, CallbackLog& log, const char* subfolder) {
        log.owner = std::this_thread::get_id();
        const std::filesystem::path target = folder.Path() / subfolder;
        std::filesystem::create_directories(target);
        WideString directory = WidePath(target);
        for (int round = 0; round < 20; ++round) {
            WCHAR name[std::size(EntryName)];
            std::copy(std::begin(EntryName), std::end(EntryName), name);
            EXPECT_EQ(Plugin().processFileW(archive.Handle(), HostExtract, directory.data(), name), HostOk);
        }
    };
    // The second archive's callback is its own, not the default it shares a function with.
    ResetLog(second);
    std::thread other([&] { extractAll(two, second, "two"); });
    extractAll(one, first, "one");
    other.join();
    EXPECT_EQ(first.calls, 20 * 4);
    EXPECT_EQ(second.calls, 20 * 4);
    EXPECT_EQ(first.strays, 0);
    EXPECT_EQ(second.strays, 0);
}

// A callback that closes its own archive: the extraction stops as if it had
// been cancelled, the handle is dead at once, and the archive goes when the
// extraction returns (AddressSanitizer would see a use after its end).
TEST_F(Callbacks, ACallbackMayCloseItsOwnArchive) {
    for (bool packed : {false, true}) {
        ScopedVariable budget("VELLUM_MEMORY_MB", packed ? "0" : nullptr);
        const std::filesystem::path pdf = Document(packed);
        OpenArchiveRecord record{};
        WideString path = WidePath(pdf);
        record.pathName = path.data();
        const uintptr_t handle = Plugin().openArchiveW(&record);
        ASSERT_NE(handle, 0u);
        HeaderRecordExW header{};
        ASSERT_EQ(Plugin().readHeaderExW(handle, &header), HostOk);
        ResetLog(first);
        first.closeOnCall = handle;
        Plugin().setProcessDataProcW(handle, FirstProgress);
        WideString directory = WidePath(folder.Path());
        EXPECT_EQ(Plugin().processFileW(handle, HostExtract, directory.data(), header.entryName), HostAborted);
        EXPECT_EQ(first.calls, 1);
        EXPECT_FALSE(std::filesystem::exists(folder.Path() / "object-stream-00000003.dat"));
        EXPECT_EQ(Plugin().readHeaderExW(handle, &header), HostUnknownFormat);
        EXPECT_EQ(Plugin().closeArchive(handle), HostNotSupported);
    }
}

}  // namespace
