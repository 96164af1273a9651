#include "envpath/path_text.h"

#include <gtest/gtest.h>

#include <string>

#include "env_fixture.h"
#include "support/test_support.h"

namespace {

struct Edit {
    std::string in;
    std::string out;
};

TEST(PathText, TrimDropsOneSemicolonThenOneBackslashButNotARoots) {
    const Edit cases[] = {
        {"C:\\x\\", "C:\\x"},
        {"C:\\x;", "C:\\x"},
        {"C:\\x\\;", "C:\\x"},
        {"C:\\x\\\\", "C:\\x\\"},
        {"C:\\x;;", "C:\\x;"},
        {"C:\\", "C:\\"},
        {"C:\\;", "C:\\"},
        {"\\", "\\"},
        {"a\\", "a"},
        {"", ""},
        {";", ""},
    };
    for (const Edit& c : cases) {
        std::string text = c.in;
        qh::path_trim(text);
        EXPECT_EQ(text, c.out) << c.in;
    }
}

TEST(PathText, JoinAndAppendAgree) {
    struct Join {
        std::string base, relative, out;
    };
    const Join cases[] = {
        {"C:\\a", "b", "C:\\a\\b"}, {"C:\\a\\", "b", "C:\\a\\b"}, {"C:\\", "b\\c", "C:\\b\\c"},
        {"C:\\a", "\\b", "\\b"},  // a rooted text replaces the base
        {"", "b", "\\b"},           {"C:", "b", "C:\\b"},
    };
    for (const Join& c : cases) {
        EXPECT_EQ(qh::path_join(c.base, c.relative), c.out) << c.base << " + " << c.relative;
        std::string base = c.base;
        qh::path_append(base, c.relative);
        EXPECT_EQ(base, c.out) << c.base << " + " << c.relative;
    }
}

TEST(PathText, NormalizeWithoutDotsNeedsNoCurrentDirectory) {
    const Edit cases[] = {
        {"C:\\Program Files\\tool.dir\\bin", "C:\\Program Files\\tool.dir\\bin"},
        {"C:\\a.b.c\\x", "C:\\a.b.c\\x"},
        {"C:\\a\\.\\b", "C:\\a\\b"},
        {"C:\\a\\b\\.", "C:\\a\\b"},
        {"C:\\x\\", "C:\\x"},
        {"C:\\", "C:\\"},
        {"C:\\.", "C:\\"},
        {"C:\\work\\..", "C:"},
        {"C:\\..", "C:\\"},
        // Only the .. that empties a first-level path gives the bare drive;
        // one that finds nothing left gives the root.
        {"C:\\a\\..\\..", "C:\\"},
        {"C:\\a\\..\\..\\..", "C:\\"},
        {"C:\\..\\..", "C:\\"},
        {"C:\\a\\b\\..\\..", "C:"},
        {"C:\\a\\..\\..\\b", "C:\\b"},
        {"C:\\a\\b\\..\\c\\", "C:\\a\\c"},
        {"C:\\a\\..b\\...\\c", "C:\\a\\..b\\...\\c"},  // dots inside names are names
        {"bin", "bin"},
        {"tools\\..\\bin", "bin"},
        {"a\\b\\..\\..\\c\\.\\d", "c\\d"},
        {"", ""},
    };
    for (const Edit& c : cases) {
        std::string text = c.in;
        qh::path_normalize(text);
        EXPECT_EQ(text, c.out) << c.in;
    }
}

TEST(PathText, MachineNormalizeResolvesDotFirstTextsAgainstTheCurrentDirectory) {
    ASSERT_TRUE(qh_test::make_directory("C:\\qhnorm\\work\\proj"));
    env_test::InDirectory here("C:\\qhnorm\\work\\proj");
    const Edit cases[] = {
        {".", "C:\\qhnorm\\work\\proj"},
        {".\\", "C:\\qhnorm\\work\\proj"},
        {".\\tools\\..\\bin", "C:\\qhnorm\\work\\proj\\bin"},
        {"..\\bin", "C:\\qhnorm\\work\\bin"},
        {"..", "C:\\qhnorm\\work"},
        {"..\\", "C:\\qhnorm\\work"},
        {"..\\..\\..\\..\\..\\x", "C:\\x"},
        {"..\\..\\..", "C:"},
        {"..\\..\\..\\..", "C:\\"},
        // Climbing above the start of a relative text, or to nothing, only
        // has a meaning against the current directory.
        {"a\\..\\..\\b", "C:\\qhnorm\\work\\b"},
        {"tools\\..", "C:\\qhnorm\\work\\proj"},
        {"C:\\a\\.\\b", "C:\\a\\b"},
    };
    for (const Edit& c : cases) {
        std::string text = c.in;
        qh::path_normalize(text);
        EXPECT_EQ(text, c.out) << c.in;
    }
}

TEST(PathText, MachineNormalizeKeepsTextsLongerThanTheOldBuffers) {
    const std::string long_name(300, 'n');
    ASSERT_TRUE(qh_test::make_directory("C:\\qhnorm\\deep"));
    env_test::InDirectory here("C:\\qhnorm\\deep");
    std::string text = ".\\" + long_name + "\\.\\x\\..\\" + long_name + "\\";
    qh::path_normalize(text);
    EXPECT_EQ(text, "C:\\qhnorm\\deep\\" + long_name + "\\" + long_name);
}

TEST(PathText, MachineIsDirectoryJudgesTheFirstMatch) {
    const std::string dir = qh_test::scratch_dir("path_is_directory");
    ASSERT_TRUE(qh_test::make_directory(dir + "\\sub"));
    ASSERT_TRUE(qh_test::write_file(dir + "\\file.txt", "x"));
    struct Probe {
        std::string path;
        bool directory;
    };
    const Probe cases[] = {
        {dir, true},
        {dir + "\\sub", true},
        {dir + "\\sub\\", false},  // a trailing separator matches nothing
        {dir + "\\file.txt", false},
        {dir + "\\missing", false},
        {dir + "\\su?", true},
        {"C:\\", false},
    };
    for (const Probe& c : cases) EXPECT_EQ(qh::path_is_directory(c.path), c.directory) << c.path;
}

}  // namespace
