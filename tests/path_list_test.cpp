#include "envpath/path_list.h"

#include <gtest/gtest.h>

#include <string>

#include "env_fixture.h"
#include "support/test_support.h"

namespace {

using qh::Position;

TEST(PathList, FindMatchesAtTheEndOfAnEntry) {
    struct Find {
        std::string list, entry;
        int result;
    };
    const Find cases[] = {
        {"C:\\tools\\bin;D:\\x", "bin", 0},
        {"c:\\TOOLS\\;x", "C:\\tools", 0},
        {"y;x", "x;", 0},
        {"y;xz;x\\;w", "x", 0},
        {"y;xz", "x", 2},
        {"ababa;x", "aba", 2},
        {"C:\\tools\\bin", "C:\\tools", 2},
        {"a;b", "a\\", 2},  // two characters keep their backslash
        {"C:\\;x", "C:\\", 0},
        {"x", "", 1},
        {"x", ";", 1},
    };
    for (const Find& c : cases) {
        EXPECT_EQ(qh::pathlist_find(c.list, c.entry), c.result) << c.list << " / " << c.entry;
    }
}

// Directories that exist, below a current directory the test chooses.
class PathListEdit : public testing::Test {
  protected:
    void SetUp() override {
        root_ = qh_test::scratch_dir("path_list");
        for (const char* sub : {"a", "b", "c", "cwd\\bin"}) {
            ASSERT_TRUE(qh_test::make_directory(root_ + "\\" + sub));
        }
        ASSERT_TRUE(qh_test::write_file(root_ + "\\file", "x"));
        here_.emplace(root_ + "\\cwd");
    }
    std::string dir(std::string_view sub) const { return root_ + "\\" + std::string(sub); }

    std::string root_;
    std::optional<env_test::InDirectory> here_;
};

TEST_F(PathListEdit, MachineAddPutsNewDirectoriesInOrderAtEitherEnd) {
    const std::string a = dir("a"), b = dir("b"), c = dir("c"), bin = dir("cwd\\bin");
    struct Add {
        std::string list, operand;
        Position position;
        std::string out;
    };
    const Add cases[] = {
        {"", a, Position::start, a},
        {"", a, Position::end, a},
        {"C:\\x;", b, Position::end, "C:\\x;" + b},
        {"C:\\x;", b, Position::start, b + ";C:\\x;"},
        {"C:\\x", ".\\bin", Position::start, bin + ";C:\\x"},
        {"C:\\x", a + ";" + b, Position::start, a + ";" + b + ";C:\\x"},
        {"C:\\x", a + ";" + b, Position::end, "C:\\x;" + a + ";" + b},
        {b, a + ";" + b + ";" + c, Position::end, b + ";" + a + ";" + c},  // b passed over
        {"C:\\x", a + ";" + a, Position::end, "C:\\x;" + a},               // once only
        {"C:\\x", ";" + a + ";", Position::end, "C:\\x;" + a},             // no empty entries
    };
    for (const Add& c : cases) {
        std::string list = c.list;
        EXPECT_EQ(qh::pathlist_add(list, c.operand, c.position), 0) << c.operand;
        EXPECT_EQ(list, c.out) << c.list << " + " << c.operand;
    }
}

TEST_F(PathListEdit, MachineAddRefusesAndLeavesTheListAlone) {
    const std::string a = dir("a"), b = dir("b"), bin = dir("cwd\\bin");
    std::string lower_a = a;
    for (char& ch : lower_a) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    struct Refusal {
        std::string list, operand;
        int result;
    };
    const Refusal cases[] = {
        {"C:\\x", "", 1},
        {"C:\\x", ";;", 1},
        {"C:\\x", dir("missing"), 2},
        {"C:\\x", dir("file"), 2},
        {"C:\\x", a + ";" + dir("missing"), 2},  // every piece must exist
        {"C:\\x", a + "\\", 2},                  // existence is asked of the text as typed
        {lower_a + "\\;C:\\x", a, 3},
        {"C:\\x;" + a + ";" + b, b + ";" + a, 3},
        {"C:\\x;" + bin, ".\\bin", 3},  // the normalised form is there already
        {"C:\\somewhere\\bin", "bin", 3},
    };
    for (const Refusal& c : cases) {
        std::string list = c.list;
        EXPECT_EQ(qh::pathlist_add(list, c.operand, Position::end), c.result) << c.operand;
        EXPECT_EQ(list, c.list) << c.operand;
    }
}

TEST_F(PathListEdit, MachineAddHoldsTheListToItsLimit) {
    const std::string a = dir("a");
    const std::size_t n = a.size();
    struct Limit {
        std::size_t list_length;
        bool ends_in_semicolon;
        Position position;
        int result;
    };
    // L + N + 1 == 32766 fits either way; one more fits only when no
    // separator has to be added.
    const std::size_t fits = qh::kMaxPathList - n - 1;
    const Limit cases[] = {
        {fits, false, Position::start, 0},     {fits, false, Position::end, 0},
        {fits + 1, false, Position::start, 4}, {fits + 1, false, Position::end, 4},
        {fits + 1, true, Position::end, 0},    {fits + 1, true, Position::start, 4},
    };
    for (const Limit& c : cases) {
        std::string list(c.list_length, 'x');
        if (c.ends_in_semicolon) list.back() = ';';
        const std::string before = list;
        EXPECT_EQ(qh::pathlist_add(list, a, c.position), c.result) << c.list_length;
        if (c.result == 0) {
            EXPECT_LE(list.size(), qh::kMaxPathList);
        } else {
            EXPECT_EQ(list, before);
        }
    }
}

TEST_F(PathListEdit, MachineRemoveTakesWholeEntriesOnly) {
    const std::string bin = dir("cwd\\bin");
    const std::string long_dir = "C:\\" + std::string(400, 'L');
    struct Remove {
        std::string list, operand;
        int result;
        std::string out;
    };
    const Remove cases[] = {
        {"C:\\tools\\bin;D:\\x", "bin", 2, "C:\\tools\\bin;D:\\x"},
        {"C:\\x;C:\\xy", "C:\\x", 0, "C:\\xy"},
        {"c:\\TOOLS\\;x", "C:\\tools", 0, "x"},
        {"a;C:\\t;b", "C:\\t\\", 0, "a;b"},
        {"a;C:\\t", "C:\\t", 0, "a"},
        {"C:\\t;a", "C:\\t", 0, "a"},
        {"C:\\t", "C:\\t", 0, ""},
        {"C:\\t;a;c:\\T\\;b", "C:\\t", 0, "a;b"},  // every occurrence
        {"a;;C:\\t;b;", "C:\\t", 0, "a;;b;"},      // earlier empty entries stay
        {"C:\\a\\b;x", "C:\\a\\.\\b", 0, "x"},     // by its normalised form
        {"x;" + bin, ".\\bin", 0, "x"},
        {"x;" + long_dir + ";y", long_dir, 0, "x;y"},
        {"C:\\t;a", "C:\\t;a", 0, ""},
        {"C:\\t;a", "C:\\t;zz", 1, "C:\\t;a"},  // all or nothing
        // Empty pieces are passed over, as in addition.
        {"C:\\t;a", ";C:\\t", 0, "a"},
        {"C:\\t;a;b", "C:\\t;;a", 0, "b"},
        {"C:\\t;a", "C:\\t;;zz", 1, "C:\\t;a"},
        {"C:\\t;a", "", 1, "C:\\t;a"},
        {"C:\\t;;a", ";;", 1, "C:\\t;;a"},
        {"C:\\t;a", ";", 1, "C:\\t;a"},
        {"", "C:\\t", 2, ""},
    };
    for (const Remove& c : cases) {
        std::string list = c.list;
        const int result = qh::pathlist_remove(list, c.operand);
        EXPECT_EQ(result == 0, c.result == 0) << c.list << " - " << c.operand << ": " << result;
        EXPECT_EQ(list, c.out) << c.list << " - " << c.operand;
    }
}

}  // namespace
