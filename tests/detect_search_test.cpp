// Finding a program along a list of directories in the environment.
#include <gtest/gtest.h>

#include <string>

#include "detect/file_search.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace {

class FileSearch : public testing::Test {
  protected:
    void SetUp() override {
        before_ = qh::platform::current_directory().value_or("C:\\");
        dir_ = qh_test::scratch_dir("search");
        ASSERT_TRUE(qh_test::change_directory(dir_));
    }
    void TearDown() override {
        qh_test::unset_env("QhSearchList");
        qh_test::change_directory(before_);
    }

    std::string before_;
    std::string dir_;
};

TEST_F(FileSearch, CurrentDirectoryFirstThenEachListedDirectory) {
    ASSERT_TRUE(qh_test::make_directory(dir_ + "\\bin1"));
    ASSERT_TRUE(qh_test::make_directory(dir_ + "\\bin2"));
    ASSERT_TRUE(qh_test::write_file(dir_ + "\\bin2\\tool.exe", "x"));
    ASSERT_TRUE(qh_test::write_file(dir_ + "\\here.exe", "x"));

    struct Case {
        std::string list;
        std::string file;
        bool found;
    };
    const Case cases[] = {
        {dir_ + "\\bin1;" + dir_ + "\\bin2", "tool.exe", true},
        {";;\"" + dir_ + "\\bin2\";", "tool.exe", true},
        {dir_ + "\\bin2\\", "TOOL.EXE", true},
        {dir_ + "\\bin2/", "tool.exe", true},
        {dir_ + "\\bin1", "tool.exe", false},
        {"", "tool.exe", false},
        {"Q:\\nowhere", "tool.exe", false},
        {"Q:\\nowhere", "here.exe", true},
        {dir_ + "\\bin2", "", false},
    };
    for (const Case& c : cases) {
        qh_test::set_env("QhSearchList", c.list);
        EXPECT_EQ(qh::file_on_search_path(c.file, "QHSEARCHLIST"), c.found)
            << c.list << " " << c.file;
    }
    qh_test::unset_env("QhSearchList");
    EXPECT_FALSE(qh::file_on_search_path("tool.exe", "QhSearchList"));
    EXPECT_TRUE(qh::file_on_search_path("here.exe", "QhSearchList"));
}

// Windows itself cannot make a directory this deep through the ANSI calls.
TEST_F(FileSearch, EmulatedMachinePassesOverCombinationsLongerThan260) {
    if (!qh_test::on_emulated_machine()) GTEST_SKIP();
    std::string deep = dir_ + "\\deep";
    while (deep.size() < 262) deep += "\\" + std::string(40, 'd');
    ASSERT_TRUE(qh_test::make_directory(deep));
    ASSERT_TRUE(qh_test::write_file(deep + "\\far.exe", "x"));
    qh_test::set_env("QhSearchList", deep);
    EXPECT_FALSE(qh::file_on_search_path("far.exe", "QhSearchList"));
    qh_test::set_env("QhSearchList", dir_ + "\\deep");
    ASSERT_TRUE(qh_test::write_file(dir_ + "\\deep\\near.exe", "x"));
    EXPECT_TRUE(qh::file_on_search_path("near.exe", "QhSearchList"));
}

}  // namespace
