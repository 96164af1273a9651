// Drive mapping, the current directory and find-first on the emulated machine.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "platform/posix/machine.h"
#include "support/test_support.h"

namespace {

using namespace qh::platform;
using qh::platform::posix::host_path;

std::string drive_c() { return posix::machine_root() + "/drive_c"; }

// Runs each test in a scratch directory of its own and goes back afterwards.
class EmulatedMachineFiles : public testing::Test {
  protected:
    void SetUp() override {
        before_ = current_directory().value_or("C:\\");
        dir_ = qh_test::scratch_dir("files");
        ASSERT_TRUE(qh_test::change_directory(dir_));
    }
    void TearDown() override { qh_test::change_directory(before_); }

    std::string host(std::string_view relative) const {
        return *host_path(dir_) + (relative.empty() ? "" : "/") + std::string(relative);
    }

    std::string before_;
    std::string dir_;
};

TEST_F(EmulatedMachineFiles, WindowsPathsMapOntoTheHost) {
    const std::string here = *host_path(dir_);
    const std::string leaf = here.substr(here.rfind('/') + 1);
    struct Case {
        std::string win;
        std::optional<std::string> host;
    };
    const Case cases[] = {
        {"C:\\a\\b", drive_c() + "/a/b"},
        {"c:/a/b", drive_c() + "/a/b"},
        {"C:\\a/b\\\\c\\", drive_c() + "/a/b/c"},
        {"C:\\", drive_c()},
        {"C:\\a\\..\\..\\..\\b", drive_c() + "/b"},
        {"C:\\a\\.\\b\\..\\c", drive_c() + "/a/c"},
        {"Z:\\usr\\bin", "/usr/bin"},
        {"z:/", "/"},
        {"Z:\\..", "/"},
        {"sub\\x", here + "/sub/x"},
        {".\\sub", here + "/sub"},
        {"..\\" + leaf + "\\y", here + "/y"},
        {"C:rel", here + "/rel"},
        {"\\top", drive_c() + "/top"},
        {"/top", drive_c() + "/top"},
        {"", here},
        {"D:\\x", std::nullopt},
        {"A:", std::nullopt},
        {"\\\\server\\share", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(host_path(c.win), c.host) << c.win;
}

TEST_F(EmulatedMachineFiles, ComponentsMatchExistingNamesWhateverTheirCase) {
    ASSERT_TRUE(qh_test::make_directory(dir_ + "\\MixedCase\\Inner"));
    ASSERT_TRUE(qh_test::write_file(dir_ + "\\MixedCase\\Inner\\File.TXT", "x"));
    struct Case {
        std::string win;
        std::string host;
    };
    const Case cases[] = {
        {"mixedcase\\INNER\\file.txt", host("MixedCase/Inner/File.TXT")},
        {"MIXEDCASE\\inner\\new\\deeper", host("MixedCase/Inner/new/deeper")},
        {"mixedcase\\missing\\INNER", host("MixedCase/missing/INNER")},
    };
    for (const Case& c : cases) EXPECT_EQ(host_path(c.win), c.host) << c.win;

    // Windows would open the existing folder rather than make a second one.
    ASSERT_TRUE(qh_test::make_directory(dir_ + "\\mixedcase"));
    EXPECT_NE(access(host("mixedcase").c_str(), F_OK), 0);
    // Where the host holds both spellings, the exact one wins.
    ASSERT_EQ(mkdir(host("mixedcase").c_str(), 0777), 0);
    EXPECT_EQ(host_path("mixedcase"), host("mixedcase"));
    EXPECT_EQ(host_path("MixedCase"), host("MixedCase"));
}

TEST_F(EmulatedMachineFiles, CurrentDirectoryReadsAsADrivePath) {
    EXPECT_EQ(current_directory(), dir_);
    ASSERT_TRUE(qh_test::change_directory("C:\\"));
    EXPECT_EQ(current_directory(), "C:\\");
    ASSERT_TRUE(qh_test::change_directory("C:\\Windows\\system32"));
    EXPECT_EQ(current_directory(), "C:\\Windows\\system32");

    char resolved[PATH_MAX];
    ASSERT_NE(realpath("/usr/bin", resolved), nullptr);
    ASSERT_EQ(chdir("/usr/bin"), 0);
    std::string expected = "Z:" + std::string(resolved);
    for (char& c : expected)
        if (c == '/') c = '\\';
    EXPECT_EQ(current_directory(), expected);
    ASSERT_EQ(chdir("/"), 0);
    EXPECT_EQ(current_directory(), "Z:\\");
    // Relative paths now resolve on Z:.
    EXPECT_EQ(host_path("usr"), "/usr");
    EXPECT_EQ(host_path("\\usr"), "/usr");
}

TEST_F(EmulatedMachineFiles, FindFirstMatchesWildcardsAndReportsAttributes) {
    ASSERT_TRUE(qh_test::make_directory("d\\gamma"));
    ASSERT_TRUE(qh_test::make_directory("empty"));
    ASSERT_TRUE(qh_test::write_file("d\\alpha.txt", "a"));
    ASSERT_TRUE(qh_test::write_file("d\\Beta.TXT", "b"));
    ASSERT_TRUE(qh_test::write_file("d\\ro.txt", "r"));
    ASSERT_TRUE(qh_test::set_read_only("d\\ro.txt", true));
    ASSERT_TRUE(qh_test::write_file("d\\owner-only.txt", "w"));
    ASSERT_EQ(chmod(host("d/owner-only.txt").c_str(), 0200), 0);

    constexpr std::uint32_t kNormal = 0x80;
    struct Case {
        std::string path;
        std::optional<std::uint32_t> attributes;
    };
    const Case cases[] = {
        {"d\\alpha.txt", kNormal},
        {"D\\ALPHA.TXT", kNormal},
        {dir_ + "\\d\\alpha.txt", kNormal},
        {"d/alpha.txt", kNormal},
        {"d\\ro.txt", kAttrReadOnly},
        {"d\\owner-only.txt", kNormal},
        {"d\\r?.txt", kAttrReadOnly},
        {"d\\gamma", kAttrDirectory},
        {"d\\gam*", kAttrDirectory},
        {"d\\G?MMA", kAttrDirectory},
        {"d\\gamma.*", kAttrDirectory},
        {"d\\*.txt", kNormal},
        {"d\\beta.*", kNormal},
        {"d\\*ta.t?t", kNormal},
        {"d", kAttrDirectory},
        {"empty\\*", kAttrDirectory},
        {"d\\zz*", std::nullopt},
        {"d\\alpha.txt?", std::nullopt},
        {"d\\missing", std::nullopt},
        {"d\\", std::nullopt},
        {"d/", std::nullopt},
        {"C:\\", std::nullopt},
        {"", std::nullopt},
        {"d*\\alpha.txt", std::nullopt},
        {"D:\\d", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(find_first_attributes(c.path), c.attributes) << c.path;

    ASSERT_TRUE(qh_test::set_read_only("d\\ro.txt", false));
    EXPECT_EQ(find_first_attributes("d\\ro.txt"), kNormal);
}

TEST_F(EmulatedMachineFiles, DirectoriesAndFilesByWindowsPath) {
    ASSERT_TRUE(qh_test::make_directory(dir_ + "\\made\\child"));

    std::FILE* out = file_open("made\\child\\f.txt", "wt");
    ASSERT_NE(out, nullptr);
    std::fputs("line\r\n", out);
    std::fclose(out);
    // No translation of line ends: the bytes are what was written.
    EXPECT_EQ(qh_test::read_file("made\\child\\f.txt"), "line\r\n");

    out = file_open("MADE\\CHILD\\F.TXT", "at+");
    ASSERT_NE(out, nullptr);
    std::fputs("more", out);
    std::fclose(out);
    EXPECT_EQ(qh_test::read_file("made\\child\\f.txt"), "line\r\nmore");

    EXPECT_EQ(file_open("made\\child\\absent.txt", "rt"), nullptr);
    EXPECT_EQ(file_open("made", "rb"), nullptr);
    EXPECT_EQ(file_open("Q:\\x.txt", "wt"), nullptr);
}

}  // namespace
