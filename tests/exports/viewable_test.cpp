// The viewable mode as a host turns it on: VELLUM_VIEWABLE, or "Viewable=1"
// in the "[vellum]" section of the INI file the host names through
// PackSetDefaultParams. Entries keep their numbers; only what the mode names
// by kind gets another extension, with the same bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/exports/pdf_fixture.h"

namespace {

// A stream of each kind the mode names by its dictionary, one it names by its
// bytes, and two it leaves alone.
const std::vector<StreamObject> KindedStreams = {
    {3, "a CFF font program", "/Subtype/Type1C"},
    {4, "plain text of an attachment", "/Type/EmbeddedFile/Subtype/text#2Fplain"},
    {5, "%!PS-AdobeFont-1.0: CMR10 003.002\n", "/Length1 34/Length2 0/Length3 0"},
    {6, "BT /F1 12 Tf (content) Tj ET", ""},
    {7, "<x:xmpmeta/>", "/Type/Metadata/Subtype/XML"},
};

const std::vector<std::string> DefaultNames = {
    "object-stream-00000003.dat", "object-stream-00000004.dat", "object-stream-00000005.dat",
    "object-stream-00000006.dat", "object-stream-00000007.xml"};
const std::vector<std::string> ViewableNames = {
    "object-stream-00000003.cff", "object-stream-00000004.txt", "object-stream-00000005.pfa",
    "object-stream-00000006.dat", "object-stream-00000007.xml"};

struct Listed {
    std::vector<std::string> names;
    std::vector<std::string> bytes;
};

// Lists the document, extracting each entry to memory by its name.
Listed ListAndExtract(const std::filesystem::path& pdf) {
    Listed listed;
    OpenedArchive archive(pdf);
    EXPECT_NE(archive.Handle(), 0u);
    HeaderRecordExW header{};
    while (Plugin().readHeaderExW(archive.Handle(), &header) == HostOk) {
        listed.names.push_back(Narrow(header.entryName));
        void* block = nullptr;
        EXPECT_EQ(Plugin().processFileW(archive.Handle(), HostExtractToMemory, reinterpret_cast<WCHAR*>(&block),
                                        header.entryName),
                  HostOk);
        uint64_t length = 0;
        if (block == nullptr) continue;
        std::memcpy(&length, block, sizeof length);
        listed.bytes.emplace_back(static_cast<const char*>(block) + 8, static_cast<size_t>(length));
        FreeExtractBlock(block);
    }
    return listed;
}

// Names the INI file to the plug-in as a host does once after loading it;
// forgets it again at the end of the scope.
class HostIni {
public:
    explicit HostIni(const std::string& path) { Name(path); }
    ~HostIni() { Name(""); }
    HostIni(const HostIni&) = delete;
    HostIni& operator=(const HostIni&) = delete;

private:
    static void Name(const std::string& path) {
        DefaultParamsRecord record{};
        record.size = sizeof record;
        record.interfaceVersionLow = 10;
        record.interfaceVersionHigh = 2;
        std::strncpy(record.defaultIniName, path.c_str(), sizeof record.defaultIniName - 1);
        Plugin().packSetDefaultParams(&record);
    }
};

TEST(Viewable, TheVariableNamesContentByKindAndKeepsTheBytes) {
    ScratchFolder folder;
    const auto pdf = folder.WritePdf("kinds.pdf", KindedStreams);
    const Listed standard = ListAndExtract(pdf);
    EXPECT_EQ(standard.names, DefaultNames);
    for (const char* off : {static_cast<const char*>(nullptr), "0", "yes", "10"}) {
        const ScopedVariable variable("VELLUM_VIEWABLE", off);
        EXPECT_EQ(ListAndExtract(pdf).names, DefaultNames) << (off != nullptr ? off : "unset");
    }
    const ScopedVariable on("VELLUM_VIEWABLE", "1");
    const Listed viewable = ListAndExtract(pdf);
    EXPECT_EQ(viewable.names, ViewableNames);
    EXPECT_EQ(viewable.bytes, standard.bytes);
}

TEST(Viewable, TheHostsIniFileTurnsItOnUnlessTheVariableSaysOtherwise) {
    ScratchFolder folder;
    const auto pdf = folder.WritePdf("kinds.pdf", KindedStreams);
    const auto ini = folder.Path() / "wcx.ini";
    const HostIni named(ini.string());
    struct Case {
        const char* label;
        const char* text;     // of the INI file; null: no file
        bool viewable;
    } cases[] = {
        {"no file", nullptr, false},
        {"the setting", "[vellum]\nViewable=1\n", true},
        {"among others, CR LF, spaces, other case", "[other]\nViewable=1\r\n[ VELLUM ]\r\n; note\r\n viewable = 1 \r\n", true},
        {"off", "[vellum]\nViewable=0\n", false},
        {"another section's", "[vellum]\nThreads=2\n[other]\nViewable=1\n", false},
        {"before any section", "Viewable=1\n[vellum]\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove(ini);
        if (c.text != nullptr) WriteWholeFile(ini, c.text);
        EXPECT_EQ(ListAndExtract(pdf).names, c.viewable ? ViewableNames : DefaultNames);
    }
    WriteWholeFile(ini, "[vellum]\nViewable=1\n");
    const ScopedVariable off("VELLUM_VIEWABLE", "0");
    EXPECT_EQ(ListAndExtract(pdf).names, DefaultNames) << "VELLUM_VIEWABLE=0 overrides the INI file";
}

// An image the mode writes keeps its number, and its header's size is what
// an extraction gives, to memory and to a file alike.
TEST(Viewable, ImagesAreListedWithTheSizeTheyAreWrittenWith) {
    ScratchFolder folder;
    const std::string samples = "\x10\x20\x30\x40\x50\x60\x70\x80\x90\xA0\xB0\xC0";
    const auto pdf = folder.WritePdf(
        "image.pdf", {{9, samples, "/Type/XObject/Subtype/Image/Width 2/Height 2/ColorSpace/DeviceRGB/BitsPerComponent 8"}});
    const ScopedVariable on("VELLUM_VIEWABLE", "1");
    OpenedArchive archive(pdf);
    HeaderRecordExW header{};
    ASSERT_EQ(Plugin().readHeaderExW(archive.Handle(), &header), HostOk);
    EXPECT_EQ(Narrow(header.entryName), "object-stream-00000009.png");
    void* block = nullptr;
    ASSERT_EQ(Plugin().processFileW(archive.Handle(), HostExtractToMemory, reinterpret_cast<WCHAR*>(&block),
                                    header.entryName),
              HostOk);
    uint64_t length = 0;
    std::memcpy(&length, block, sizeof length);
    const std::string inMemory(static_cast<const char*>(block) + 8, static_cast<size_t>(length));
    FreeExtractBlock(block);
    EXPECT_EQ(length, header.unpackedSize);
    EXPECT_EQ(inMemory.compare(0, 8, "\x89PNG\r\n\x1A\n"), 0);
    WideString directory = WidePath(folder.Path());
    ASSERT_EQ(Plugin().processFileW(archive.Handle(), HostExtract, directory.data(), header.entryName), HostOk);
    EXPECT_EQ(ReadWholeFile(folder.Path() / "object-stream-00000009.png"), inMemory);
}

}  // namespace
