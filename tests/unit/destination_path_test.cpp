#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
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
#ifdef _WIN32
        {WIDE("D:\\out\\"), WIDE("n.jpg"), WIDE("D:\\out\\n.jpg")},
#else
        // A backslash is an ordinary character of a Linux name, not a separator.
        {WIDE("out\\"), WIDE("n.jpg"), WIDE("out\\/n.jpg")},
#endif
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
        EXPECT_TRUE(JoinPath(buffer, DestinationPathUnits, c.directory, c.name));
        EXPECT_EQ(Narrow(buffer), Narrow(c.expected)) << Narrow(c.expected);
    }
}

// A path that does not fit whole is refused: cut, it could lose its
// extension or, cut inside the directory, name another file.
TEST(JoinPath, JoinsOnlyWhatFitsWhole) {
    struct Case {
        size_t directoryUnits;  // 0: no directory
        bool directoryEndsInSeparator;
        size_t nameUnits;
        bool fits;
    } cases[] = {
        {232, false, 26, true},   // 232 + '/' + 26 = 259 units and the terminator
        {233, false, 26, false},  // one unit more
        {233, true, 26, true},    // the separator is the directory's own
        {234, true, 26, false},
        {300, false, 5, false},   // a cut would fall inside the directory
        {0, false, 259, true},
        {0, false, 260, false},
        {259, false, 0, true},    // a directory alone takes no separator
        {260, false, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.directoryUnits << (c.directoryEndsInSeparator ? " with separator + " : " + ")
                                        << c.nameUnits);
        WideString directory(c.directoryUnits, WIDE('d'));
        if (c.directoryEndsInSeparator) directory.back() = WIDE('/');
        WideString name(c.nameUnits, WIDE('n'));
        WideString expected = directory;
        if (!directory.empty() && !name.empty() && !c.directoryEndsInSeparator) expected += NATIVE_SEPARATOR;
        expected += name;
        WCHAR buffer[DestinationPathUnits + 8];
        std::fill(std::begin(buffer), std::end(buffer), WIDE('#'));
        EXPECT_EQ(JoinPath(buffer, DestinationPathUnits, c.directoryUnits != 0 ? directory.c_str() : nullptr,
                           c.nameUnits != 0 ? name.c_str() : nullptr),
                  c.fits);
        EXPECT_EQ(Narrow(buffer), c.fits ? Narrow(expected) : "");
        EXPECT_EQ(buffer[DestinationPathUnits], WIDE('#'));  // nothing written past the capacity
    }
}

TEST(JoinPath, SmallCapacityIsNeverOverrun) {
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), WIDE('#'));
    EXPECT_FALSE(JoinPath(buffer, 6, WIDE("abcde"), WIDE("xyz")));
    EXPECT_EQ(Narrow(buffer), "");
    EXPECT_EQ(buffer[6], WIDE('#'));
    EXPECT_FALSE(JoinPath(buffer, 6, WIDE("ab"), WIDE("xyz")));
    EXPECT_EQ(buffer[6], WIDE('#'));
    EXPECT_TRUE(JoinPath(buffer, 7, WIDE("ab"), WIDE("xyz")));
    EXPECT_EQ(Narrow(buffer), Narrow(WideString(WIDE("ab")) + NATIVE_SEPARATOR + WIDE("xyz")));
    EXPECT_EQ(buffer[7], WIDE('#'));
    std::fill(std::begin(buffer), std::end(buffer), WIDE('#'));
    EXPECT_FALSE(JoinPath(buffer, 0, WIDE("ab"), WIDE("xyz")));
    EXPECT_EQ(buffer[0], WIDE('#'));  // a capacity of 0 gets no terminator either
}

TEST(FindExtension, PointsAtTheLastDotOfTheLastComponent) {
    struct Case {
        const WCHAR* path;
        size_t expected;  // offset from the start
    } cases[] = {
        {WIDE("object-stream-00000012.jpg"), 22},
        {WIDE("a.tar.gz"), 5},
        {WIDE("object-stream-00000012"), 22},
        {WIDE("dir.d/name"), 10},
#ifdef _WIN32
        {WIDE("dir.d\\name"), 10},
        {WIDE("dir\\.hidden"), 4},
#else
        {WIDE("dir.d\\name"), 3},
        {WIDE("dir\\.hidden"), 4},
#endif
        {WIDE(""), 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(static_cast<size_t>(FindExtension(c.path) - c.path), c.expected) << Narrow(c.path);
    }
}

}  // namespace
