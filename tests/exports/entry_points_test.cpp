#include <gtest/gtest.h>

#include "tests/exports/pdf_fixture.h"

namespace {

std::vector<StreamObject> OneStream() { return {{1, "HELLO", ""}}; }

TEST(OpenArchive, AnswersTheOpenOutcomeInTheResultCode) {
    ScratchFolder folder;
    std::filesystem::path pdf = folder.WritePdf("doc.pdf", OneStream());
    std::filesystem::path text = folder.Path() / "notes.txt";
    WriteWholeFile(text, std::string(1000, 'x'));
    struct Case {
        const char* label;
        WideString path;
        int32_t mode;
        bool opens;
        int32_t resultCode;
    } cases[] = {
        {"empty path", WideString(), 0, false, HostUnknownFormat},
        {"mode 2", WidePath(pdf), 2, false, HostUnknownFormat},
        {"mode -1", WidePath(pdf), -1, false, HostUnknownFormat},
        {"text file of 1000 bytes", WidePath(text), 0, false, HostNoMemory},
        {"missing file", WidePath(folder.Path() / "absent.pdf"), 0, false, HostNoMemory},
        {"PDF to list", WidePath(pdf), 0, true, HostOk},
        {"PDF to extract", WidePath(pdf), 1, true, HostOk},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.label);
        OpenArchiveRecord record{};
        record.pathName = c.path.data();
        record.mode = c.mode;
        record.resultCode = -7;
        uintptr_t handle = Plugin().openArchiveW(&record);
        EXPECT_EQ(handle != 0, c.opens);
        EXPECT_EQ(record.resultCode, c.resultCode);
        if (handle != 0) {
            EXPECT_EQ(Plugin().closeArchive(handle), HostOk);
        }
    }
}

TEST(OpenArchive, NullPathIsRefusedInBothForms) {
    OpenArchiveRecord record{};
    EXPECT_EQ(Plugin().openArchiveW(&record), 0u);
    EXPECT_EQ(record.resultCode, HostUnknownFormat);
    record.resultCode = 0;
    EXPECT_EQ(Plugin().openArchive(&record), 0u);
    EXPECT_EQ(record.resultCode, HostUnknownFormat);
}

// Paths of 126 units or fewer convert in the holder's inline store, longer
// ones in a heap buffer; both must open the file.
TEST(OpenArchive, AnsiPathsOpenOnEitherSideOfTheInlineStore) {
    ScratchFolder folder;
    size_t base = folder.Path().string().size() + 1;  // the folder and a separator
    for (size_t length : {size_t{126}, size_t{127}, size_t{200}}) {
        ASSERT_LT(base + 5, length);
        std::string name = std::string(length - base - 4, 'a') + ".pdf";
        std::filesystem::path pdf = folder.WritePdf(name, OneStream());
        std::string ansi = pdf.string();
        ASSERT_EQ(ansi.size(), length);
        OpenArchiveRecord record{};
        record.pathName = ansi.data();
        uintptr_t handle = Plugin().openArchive(&record);
        EXPECT_NE(handle, 0u) << length;
        EXPECT_EQ(record.resultCode, HostOk) << length;
        HeaderRecord header{};
        EXPECT_EQ(Plugin().readHeader(handle, &header), HostOk) << length;
        EXPECT_STREQ(header.entryName, "object-stream-00000001.dat");
        EXPECT_EQ(Plugin().closeArchive(handle), HostOk);
    }
}

TEST(CanYouHandleThisFile, JudgesByContentNotByName) {
    ScratchFolder folder;
    std::filesystem::path noSuffix = folder.Path() / "document.bin";
    WriteWholeFile(noSuffix, BuildPdf(OneStream()));
    std::filesystem::path shortPdf = folder.Path() / "short.pdf";
    WriteWholeFile(shortPdf, "%PDF-1.4\n" + std::string(700, ' ') + "\n%%EOF\n");
    std::filesystem::path text = folder.Path() / "text.pdf";
    WriteWholeFile(text, std::string(1000, 'x'));
    struct Case {
        const char* label;
        std::filesystem::path path;
        int expected;
    } cases[] = {
        {"PDF without .pdf", noSuffix, 1},
        {"PDF under 768 bytes", shortPdf, 0},
        {"text named .pdf", text, 0},
        {"missing", folder.Path() / "absent.pdf", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        WideString wide = WidePath(c.path);
        EXPECT_EQ(Plugin().canYouHandleThisFileW(wide.c_str()), c.expected);
        EXPECT_EQ(Plugin().canYouHandleThisFile(c.path.string().c_str()), c.expected);
    }
    EXPECT_EQ(Plugin().canYouHandleThisFileW(nullptr), 0);
    EXPECT_EQ(Plugin().canYouHandleThisFile(nullptr), 0);
}

TEST(CloseArchive, RefusesWhatIsNotAnArchive) {
    std::vector<uint64_t> notAnArchive(512, 0);  // zeroed memory the size of any archive
    for (uintptr_t handle : {uintptr_t{0}, ~uintptr_t{0}, reinterpret_cast<uintptr_t>(notAnArchive.data())}) {
        EXPECT_EQ(Plugin().closeArchive(handle), HostNotSupported) << handle;
    }
}

TEST(ProcessFile, DispatchesOnTheOperationFirst) {
    struct Case {
        int operation;
        int expected;
    } cases[] = {{0, HostOk}, {1, HostOk}, {-1, HostNotSupported}, {4, HostNotSupported},
                 {2, HostBadArchive}, {3, HostBadArchive}};
    WCHAR name[] = WIDE("object-stream-00000001.dat");
    void* slot = nullptr;
    for (const Case& c : cases) {
        // Skip and test never look at the handle, so 0 is as good as any.
        EXPECT_EQ(Plugin().processFileW(0, c.operation, reinterpret_cast<WCHAR*>(&slot), name), c.expected)
            << c.operation;
        EXPECT_EQ(Plugin().processFile(0, c.operation, reinterpret_cast<char*>(&slot),
                                       const_cast<char*>("object-stream-00000001.dat")),
                  c.expected)
            << c.operation;
    }
    EXPECT_EQ(slot, nullptr);
}

TEST(Stubs, PackingAndDeletingAreNotSupported) {
    EXPECT_EQ(Plugin().packFiles(nullptr, nullptr, nullptr, nullptr, 0), HostNotSupported);
    EXPECT_EQ(Plugin().packFilesW(nullptr, nullptr, nullptr, nullptr, 0), HostNotSupported);
    EXPECT_EQ(Plugin().deleteFiles(nullptr, nullptr), HostNotSupported);
    EXPECT_EQ(Plugin().deleteFilesW(nullptr, nullptr), HostNotSupported);
}

}  // namespace
