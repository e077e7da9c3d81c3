// Real PDFs from producers we did not write (tests/corpus: files made by
// scripts/make-corpus, and manuals from Debian's documentation packages that
// it fetches, named in tests/corpus/manuals.txt), listed and extracted through
// the exports as a host does, against what independent tools made of the same
// objects (scripts/make-corpus-expected: qpdf, zlib, pdfimages, libtiff). Each
// NAME.expected/manifest names the entries in listing order, the rule that
// gives their bytes and a file holding those bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/exports/pdf_fixture.h"
#include "tests/exports/plugin_fixture.h"

#ifdef _WIN32
#  include <windows.h>
#endif

namespace {

// The ways an entry's bytes may legitimately differ from qpdf's decoding.
// Objects inside object streams need no rule: they are not in the file's text,
// so neither the plug-in nor the manifest lists them.
const char* const kRules[] = {
    "decoded",              // qpdf --decode-level=specialized gives the same bytes
    "no-predictor",         // Flate data is inflated, any /Predictor left in place (zlib's bytes)
    "xml",                  // /Subtype /XML metadata: qpdf's decoded bytes, named .xml
    "ccitt-tiff",           // fax data behind a TIFF header; libtiff reads the producer's pixels
    "ccitt-mask",           // fax data of an image mask comes out as stored, without a header
    "jpeg-as-stored",       // DCT data as stored: the bytes pdfimages -j writes
    "unrecognised-filter",  // a filter the plug-in does not know leaves the data as stored
};

// Every file also runs against the DLL under Wine: the decoding is the same
// source in both builds, and the Wine run checks the Windows build's own file,
// mapping, text and time calls on real documents, for under a second.
struct CorpusFile {
    const char* name;
};

const CorpusFile kCorpus[] = {
    // ImageMagick
    {"im-bw-fax"},
    {"im-bw-group4"},
    {"im-bw-jpeg"},
    {"im-bw-lzw"},
    {"im-bw-none"},
    {"im-bw-rle"},
    {"im-bw-zip"},
    {"im-colour-jpeg"},
    {"im-colour-jpeg2000"},
    {"im-colour-lzw"},
    {"im-colour-none"},
    {"im-colour-rle"},
    {"im-colour-zip"},
    {"im-grey-jpeg"},
    {"im-grey-lzw"},
    {"im-grey-none"},
    {"im-grey-pdfa"},
    {"im-grey-rle"},
    {"im-grey-zip"},
    {"im-mask-jpeg"},
    {"im-mask-rle"},
    {"im-mask-zip"},
    // Ghostscript pdfwrite
    {"gs-ascii85"},
    {"gs-compat14"},
    {"gs-compat17"},
    {"gs-dct-images"},
    {"gs-default"},
    {"gs-fax-k0"},
    {"gs-fax-k0-eol"},
    {"gs-fax-k4-eol"},
    {"gs-fax-k4-eol-aligned"},
    {"gs-uncompressed"},
    // qpdf rewrites of pdfwrite and ImageMagick files
    {"qpdf-linearized"},
    {"qpdf-linearized-objstm"},
    {"qpdf-objstm"},
    {"qpdf-objstm-disabled"},
    {"qpdf-qdf"},
    {"qpdf-uncompressed"},
    // img2pdf
    {"img2pdf-jpeg"},
    {"img2pdf-png"},
    // libtiff's tiff2pdf and poppler's cairo output
    {"tiff2pdf-group4"},
    {"tiff2pdf-group4-blackis1"},
    {"pdftocairo-gs"},
    // an ImageMagick file with an update appended
    {"update-appended"},
    // encrypted by qpdf: RC4 of 40 and 128 bits, RC4 and AES-128 through
    // crypt filters, AES-256 (R 6 and R 5), metadata in clear, object
    // streams, linearized; some with a user password (passwords.txt)
    {"qpdf-rc4-40"},
    {"qpdf-rc4-40-user"},
    {"qpdf-rc4-128"},
    {"qpdf-rc4-128-user"},
    {"qpdf-rc4-128-crypt-filter"},
    {"qpdf-aes128"},
    {"qpdf-aes128-user"},
    {"qpdf-aes128-cleartext-metadata"},
    {"qpdf-aes128-linearized"},
    {"qpdf-aes256"},
    {"qpdf-aes256-user"},
    {"qpdf-aes256-r5"},
    {"qpdf-aes256-r5-user"},
    {"qpdf-aes256-cleartext-metadata"},
    {"qpdf-aes256-objstm"},
    // encrypted by Ghostscript's pdfwrite: R 2 (40 bits), R 3 (128 and 40 bits)
    {"gs-rc4-40"},
    {"gs-rc4-40-user"},
    {"gs-rc4-128"},
    {"gs-rc4-128-user"},
    {"gs-rc4-r3-40"},
    // manuals from Debian's documentation packages (manuals.txt names each one's source)
    {"pdftex-r-intro"},
    {"pdftex-beamer-lecture"},
    {"pdftex013d-index"},
    {"luatex-luaotfload-tool"},
    {"luametatex-lua-widow-control"},
    {"tugboat-chernoff-widows"},
    {"xdvipdfmx-xebaposter"},
    {"xetex-cqubeamer"},
    {"distiller-rcs-conf"},
    {"ghostscript-xcolor2"},
};

struct ExpectedEntry {
    unsigned object = 0;
    std::string rule;
    std::string extension;
    std::string dataFile;
};

struct ListedEntry {
    std::string name;
    uint64_t unpackedSize = 0;
    std::string data;  // extracted through ProcessFileW into memory
    int extractResult = -1;
};

std::string CorpusPath(const std::string& name) { return std::string(VELLUM_SOURCE_DIR) + "/tests/corpus/" + name; }

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::vector<ExpectedEntry> ReadManifest(const std::string& name) {
    std::vector<ExpectedEntry> entries;
    std::ifstream in(CorpusPath(name + ".expected/manifest"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        ExpectedEntry e;
        uint64_t offset = 0;
        fields >> e.object >> offset >> e.rule >> e.extension >> e.dataFile;
        entries.push_back(e);
    }
    return entries;
}

// The password tests/corpus/passwords.txt lists for an encrypted file; empty
// for a file that opens without one.
std::string PasswordFor(const std::string& name) {
    std::ifstream in(CorpusPath("passwords.txt"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string listed, password;
        if (fields >> listed >> password && listed == name) return password;
    }
    return {};
}

std::basic_string<WCHAR> Widen(const std::string& text) { return {text.begin(), text.end()}; }

std::string Narrow(const WCHAR* text) {
    std::string out;
    for (; *text != 0; ++text) out += static_cast<char>(*text < 128 ? *text : '?');
    return out;
}

// Lists the whole archive, extracting each entry into memory right after its
// header, as a host does.
bool ListAndExtract(const std::string& path, std::vector<ListedEntry>& listed) {
    std::basic_string<WCHAR> widePath = Widen(path);
    OpenArchiveRecord open{};
    open.pathName = widePath.data();
    open.mode = 1;
    const uintptr_t handle = Plugin().openArchiveW(&open);
    if (handle == 0) return false;
    auto header = std::make_unique<HeaderRecordExW>();
    int rc;
    while ((rc = Plugin().readHeaderExW(handle, header.get())) == HostOk) {
        ListedEntry entry;
        entry.name = Narrow(header->entryName);
        entry.unpackedSize = (uint64_t{header->unpackedSizeHigh} << 32) | header->unpackedSize;
        void* block = nullptr;
        std::basic_string<WCHAR> wideName(header->entryName);
        entry.extractResult = Plugin().processFileW(handle, HostExtractToMemory, reinterpret_cast<WCHAR*>(&block),
                                                    wideName.data());
        if (entry.extractResult == HostOk && block != nullptr) {
            uint64_t length = 0;
            std::memcpy(&length, block, sizeof length);
            entry.data.assign(static_cast<const char*>(block) + 8, static_cast<size_t>(length));
            FreeExtractBlock(block);
        }
        listed.push_back(std::move(entry));
    }
    EXPECT_EQ(rc, HostEndArchive);
    EXPECT_EQ(Plugin().closeArchive(handle), HostOk);
    return true;
}

std::string EntryName(unsigned object, const std::string& extension) {
    char name[64];
    std::snprintf(name, sizeof name, "object-stream-%08u%s", object, extension.c_str());
    return name;
}

// Where two byte strings first differ, for a message that points at the fault.
std::string FirstDifference(const std::string& got, const std::string& want) {
    size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
    std::ostringstream out;
    out << "got " << got.size() << " bytes, want " << want.size() << "; first difference at byte " << at;
    return out.str();
}

void PrintTo(const CorpusFile& file, std::ostream* out) { *out << file.name; }

class CorpusTest : public testing::TestWithParam<CorpusFile> {};

TEST_P(CorpusTest, EntriesMatchIndependentTools) {
    const std::string name = GetParam().name;
    const std::vector<ExpectedEntry> expected = ReadManifest(name);
    ASSERT_FALSE(expected.empty()) << "no manifest for " << name;

    std::vector<ListedEntry> listed;
    {
        const PasswordVariable password(PasswordFor(name));
        ASSERT_TRUE(ListAndExtract(CorpusPath(name + ".pdf"), listed)) << name << " does not open";
    }

    std::vector<std::string> wantNames, gotNames;
    for (const ExpectedEntry& e : expected) wantNames.push_back(EntryName(e.object, e.extension));
    for (const ListedEntry& l : listed) gotNames.push_back(l.name);
    ASSERT_EQ(gotNames, wantNames) << "stream objects of " << name << ", in the order of their offsets";

    for (size_t i = 0; i < expected.size(); ++i) {
        const ExpectedEntry& want = expected[i];
        SCOPED_TRACE(name + ": " + wantNames[i] + " by rule " + want.rule);
        EXPECT_NE(std::find(std::begin(kRules), std::end(kRules), want.rule), std::end(kRules)) << "unnamed rule";
        std::string bytes;
        ASSERT_TRUE(ReadWholeFile(CorpusPath(name + ".expected/" + want.dataFile), bytes));
        EXPECT_EQ(listed[i].unpackedSize, bytes.size());
        ASSERT_EQ(listed[i].extractResult, HostOk);
        EXPECT_TRUE(listed[i].data == bytes) << FirstDifference(listed[i].data, bytes);
    }
}

// The viewable mode lists the same objects in the same order; every entry it
// does not write as an image holds the expected bytes, under the name of
// its kind; an image's PNG or TIFF file is what its header says (its pixels
// are tests/viewable's).
TEST_P(CorpusTest, ViewableModeKeepsEveryOtherEntry) {
    const std::string name = GetParam().name;
    const std::vector<ExpectedEntry> expected = ReadManifest(name);
    ASSERT_FALSE(expected.empty()) << "no manifest for " << name;
    std::vector<ListedEntry> listed;
    {
        const PasswordVariable password(PasswordFor(name));
        const ScopedVariable viewable("VELLUM_VIEWABLE", "1");
        ASSERT_TRUE(ListAndExtract(CorpusPath(name + ".pdf"), listed)) << name << " does not open";
    }
    ASSERT_EQ(listed.size(), expected.size()) << name;
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::string defaultName = EntryName(expected[i].object, expected[i].extension);
        const std::string stem = defaultName.substr(0, defaultName.rfind('.'));
        SCOPED_TRACE(name + ": " + listed[i].name);
        ASSERT_EQ(listed[i].name.substr(0, listed[i].name.rfind('.')), stem);
        ASSERT_EQ(listed[i].extractResult, HostOk);
        EXPECT_EQ(listed[i].unpackedSize, listed[i].data.size());
        const std::string extension = listed[i].name.substr(listed[i].name.rfind('.'));
        const bool image = extension != expected[i].extension && (extension == ".png" || extension == ".tif");
        if (image) {
            // A PNG, a big-endian TIFF, or a fax mask behind the little-endian TIFF header of fax images.
            const std::string signature = extension == ".png" ? std::string("\x89PNG\r\n\x1A\n")
                                          : expected[i].rule == "ccitt-mask" ? std::string("II*\0", 4)
                                                                            : std::string("MM\0*", 4);
            EXPECT_EQ(listed[i].data.compare(0, signature.size(), signature), 0);
            continue;
        }
        std::string bytes;
        ASSERT_TRUE(ReadWholeFile(CorpusPath(name + ".expected/" + expected[i].dataFile), bytes));
        EXPECT_TRUE(listed[i].data == bytes) << FirstDifference(listed[i].data, bytes);
    }
}

std::string TestLabel(const testing::TestParamInfo<CorpusFile>& param) {
    std::string label = param.param.name;
    std::replace(label.begin(), label.end(), '-', '_');
    return label;
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusTest, testing::ValuesIn(kCorpus), TestLabel);

}  // namespace
