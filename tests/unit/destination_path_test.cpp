#include <gtest/gtest.h>

#include <string>

#include "plugin/extraction.h"

namespace {

using WideString = std::basic_string<WCHAR>;

#ifdef _WIN32
#  define NATIVE_SEPARATOR L"\\"
#else
#  define NATIVE_SEPARATOR u"/"
#endif

std::string Narrow(const WideString& text) {
    std::string narrow;
    for (WCHAR unit : text) narrow += static_cast<char>(unit);
    return narrow;
}

TEST(JoinPath, JoinsWithTheSeparatorThatSuitsTheDirectory) {
    struct Case {
        const WCHAR* directory;
        const WCHAR* name;
        WideString expected;
    } cases[] = {
        {WIDE("D:\\out"), WIDE("object-stream-00000012.jpg"),
         WideString(WIDE("D:\\out")) + NATIVE_SEPARATOR + WIDE("object-stream-00000012.jpg")},
        {WIDE("D:\\out\\"), WIDE("n.jpg"), WIDE("D:\\out\\n.jpg")},
        {WIDE("/srv/out/"), WIDE("n.jpg"), WIDE("/srv/out/n.jpg")},
        {WIDE("ftp:x"), WIDE("n"), WIDE("ftp:x/n")},
        {WIDE("FtP:host"), WIDE("n"), WIDE("FtP:host/n")},
        {WIDE("ftp:"), WIDE("n"), WideString(WIDE("ftp:")) + NATIVE_SEPARATOR + WIDE("n")},
        {WIDE("HTTP:/h"), WIDE("n"), WIDE("HTTP:/h/n")},
        {WIDE("https:"), WIDE("n"), WideString(WIDE("https:")) + NATIVE_SEPARATOR + WIDE("n")},
        {WIDE("https:h"), WIDE("n"), WIDE("https:h/n")},
        {nullptr, WIDE("n.dat"), WIDE("n.dat")},
        {WIDE(""), WIDE("n.dat"), WIDE("n.dat")},
        {WIDE("D:\\out"), nullptr, WIDE("D:\\out")},
        {WIDE("D:\\out"), WIDE(""), WIDE("D:\\out")},
    };
    for (const Case& c : cases) {
        WCHAR buffer[DestinationPathUnits];
        JoinPath(buffer, DestinationPathUnits, c.directory, c.name);
        EXPECT_EQ(Narrow(buffer), Narrow(c.expected)) << Narrow(c.expected);
    }
}

TEST(JoinPath, CutsTheWholePathAt259Units) {
    struct Case {
        size_t directoryUnits;
        size_t nameUnits;
        size_t expectedUnits;
    } cases[] = {
        {300, 5, 259},  // the directory alone is cut; no room is left for the name
        {259, 5, 259},
        {258, 5, 259},  // one separator fits, then nothing of the name
        {250, 20, 259},
        {100, 20, 121},
    };
    for (const Case& c : cases) {
        WideString directory(c.directoryUnits, WIDE('d'));
        WideString name(c.nameUnits, WIDE('n'));
        WCHAR buffer[DestinationPathUnits + 8];
        std::fill(std::begin(buffer), std::end(buffer), WIDE('#'));
        JoinPath(buffer, DestinationPathUnits, directory.c_str(), name.c_str());
        WideString joined(buffer);
        EXPECT_EQ(joined.size(), c.expectedUnits) << c.directoryUnits << "+" << c.nameUnits;
        WideString full = directory.substr(0, 259);
        if (full.size() < 259) full += NATIVE_SEPARATOR + name;
        EXPECT_EQ(Narrow(joined), Narrow(full.substr(0, 259)));
        EXPECT_EQ(buffer[DestinationPathUnits], WIDE('#'));  // nothing written past the capacity
    }
}

TEST(JoinPath, SmallCapacityIsNeverOverrun) {
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), WIDE('#'));
    JoinPath(buffer, 6, WIDE("abcde"), WIDE("xyz"));
    EXPECT_EQ(Narrow(buffer), "abcde");
    EXPECT_EQ(buffer[6], WIDE('#'));
    JoinPath(buffer, 6, WIDE("ab"), WIDE("xyz"));
    EXPECT_EQ(Narrow(buffer), Narrow(WideString(WIDE("ab")) + NATIVE_SEPARATOR + WIDE("xy")));
}

TEST(FindExtension, PointsAtTheLastDotOfTheLastComponent) {
    struct Case {
        const WCHAR* path;
        size_t expected;  // offset from the start
    } cases[] = {
        {WIDE("object-stream-00000012.jpg"), 22},
        {WIDE("a.tar.gz"), 5},
        {WIDE("object-stream-00000012"), 22},
        {WIDE("dir.d\\name"), 10},
        {WIDE("dir.d/name"), 10},
        {WIDE("dir\\.hidden"), 4},
        {WIDE(""), 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(static_cast<size_t>(FindExtension(c.path) - c.path), c.expected) << Narrow(c.path);
    }
}

}  // namespace
