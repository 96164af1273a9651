// The environment options on the Windows 9x family, where adding and removing
// edit the set lines of the startup batch file. The family is seen only by
// runs started afterwards, so the tool runs as a process here.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "env_fixture.h"
#include "envpath/autoexec_batch.h"

namespace {

using qh::platform::kRegSz;
using qh_test::kFailed;
using qh_test::kSucceeded;
using qh_test::kSystemEnvironment;
using qh_test::Text;
using qh_test::text_mode;

constexpr std::string_view kBatch = "C:\\AUTOEXEC.BAT";
constexpr std::string_view kName = "QH_NINEX";

TEST(EnvBatch, RemovalDropsMatchingSetLinesAndBlankLines) {
    struct Case {
        std::string content, dirs, out;
    };
    const std::string long_dir = "C:\\" + std::string(300, 'd');
    const Case cases[] = {
        {"REM a\nset QH=C:\\q\n\nSET qh=%QH%;c:\\Q\nset QH=C:\\q;%QH%\nset QH=C:\\qx\nREM b\n",
         "C:\\q", "REM a\nset QH=C:\\qx\nREM b\n"},
        // A last line without its line end is not one of the forms.
        {"set QH=C:\\q\nset QH=C:\\q", "C:\\q", "set QH=C:\\q"},
        {"\n\n", "C:\\q", ""},
        {"set QH=" + long_dir + "\nREM " + long_dir + "\n", long_dir, "REM " + long_dir + "\n"},
        {"set OTHER=C:\\q\n", "C:\\q", "set OTHER=C:\\q\n"},
        // Line ends as Windows editors write them; kept lines keep their CR.
        {"REM a\r\nset QH=C:\\q\r\n\r\nSET qh=%QH%;c:\\Q\r\nREM b\r\n", "C:\\q",
         "REM a\r\nREM b\r\n"},
        {"set QH=C:\\q\r\r\nset QH=C:\\q\r", "C:\\q", "set QH=C:\\q\r\r\nset QH=C:\\q\r"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qh::autoexec_without(c.content, c.dirs, "QH"), c.out) << c.content;
    }
}

// Runs of the tool see the 9x family; the batch file and the process
// variable are put back afterwards.
class EnvBatchFamily : public testing::Test {
  protected:
    void SetUp() override {
        saved_batch_ = qh_test::read_file(kBatch);
        qh_test::set_windows_family_9x(true);
    }
    void TearDown() override {
        qh_test::set_windows_family_9x(false);
        qh_test::unset_env(kName);
        if (saved_batch_) {
            qh_test::write_file(kBatch, *saved_batch_);
        } else {
            qh_test::remove_file(kBatch);
        }
    }
    std::optional<std::string> saved_batch_;
};

TEST_F(EnvBatchFamily, AddingAndRemovingEditTheBatchFileOnly) {
    struct Case {
        std::optional<std::string> variable;  // in the process environment
        std::optional<std::string> before;    // the batch file, "\n" line ends
        std::vector<std::string> args;
        std::string_view line;
        std::string after;
    };
    const std::string n(kName);
    const std::string long_dir = "C:\\" + std::string(300, 'd');
    const Case cases[] = {
        {std::nullopt,
         "REM x\n",
         {"+env", n, "C:\\q9"},
         kSucceeded,
         "REM x\n\nset QH_NINEX=C:\\q9\n"},
        {std::nullopt, std::nullopt, {"+env", n, "C:\\q9"}, kSucceeded, "\nset QH_NINEX=C:\\q9\n"},
        {"C:\\y",
         "REM x",
         {"-end", "+env", n, "C:\\q9"},
         kSucceeded,
         "REM x\nset QH_NINEX=%QH_NINEX%;C:\\q9\n"},
        {"C:\\y", "", {"+env", n, "C:\\q9"}, kSucceeded, "\nset QH_NINEX=C:\\q9;%QH_NINEX%\n"},
        {"C:\\q9;C:\\y", "REM x\n", {"+env", n, "C:\\q9"}, kFailed, "REM x\n"},
        {std::nullopt, "", {"+env", n, long_dir}, kSucceeded, "\nset QH_NINEX=" + long_dir + "\n"},
        {std::nullopt,
         "REM x\n\nset QH_NINEX=C:\\q9\nset qh_ninex=%QH_NINEX%;c:\\q9\nset QH_NINEX=C:\\q9x\n",
         {"-env", n, "C:\\q9"},
         kSucceeded,
         "REM x\nset QH_NINEX=C:\\q9x\n"},
        {std::nullopt,
         "set QH_NINEX=" + long_dir + "\nREM " + long_dir + "\n",
         {"-env", n, long_dir},
         kSucceeded,
         "REM " + long_dir + "\n"},
        {std::nullopt,
         "REM x\nset Path=C:\\q9;%Path%\n",
         {"-path", "C:\\q9"},
         kSucceeded,
         "REM x\n"},
        {std::nullopt, std::nullopt, {"-env", n, "C:\\q9"}, kFailed, ""},
        // A removal that matches nothing succeeds and leaves every byte.
        {std::nullopt,
         "REM x\nset QH_NINEX=C:\\q9x\nset OTHER=C:\\q9\n",
         {"-env", n, "C:\\q9"},
         kSucceeded,
         "REM x\nset QH_NINEX=C:\\q9x\nset OTHER=C:\\q9\n"},
        {std::nullopt,
         "REM x\nset QH_NINEX=C:\\q9",
         {"-env", n, "C:\\q9"},
         kSucceeded,
         "REM x\nset QH_NINEX=C:\\q9"},
        {std::nullopt, "REM x\n", {"+env", n, "C:\\q9\ndel C:\\*.*"}, kFailed, "REM x\n"},
    };
    for (const Case& c : cases) {
        if (c.variable) {
            qh_test::set_env(kName, *c.variable);
        } else {
            qh_test::unset_env(kName);
        }
        qh_test::remove_file(kBatch);
        if (c.before) {
            ASSERT_TRUE(qh_test::write_file(kBatch, text_mode(*c.before)));
        }
        const qh_test::ToolRun run = qh_test::run_tool(c.args);
        std::string command;
        for (const std::string& arg : c.args) command += arg.substr(0, 40) + " ";
        EXPECT_EQ(run.output, text_mode(c.line)) << command;
        EXPECT_EQ(qh_test::read_file(kBatch).value_or(""), text_mode(c.after)) << command;
    }
}

// A name or directories that would break the set line out of its own line,
// or make no line at all, leave the file alone.
TEST_F(EnvBatchFamily, UnsafeSetLinesAreRefusedBeforeTheFileIsTouched) {
    struct Case {
        std::string dirs, name;
    };
    const Case cases[] = {
        {"C:\\q\ndel C:\\*.*", "QH_NL"},
        {"C:\\q\rdel C:\\*.*", "QH_CR"},
        {"C:\\q\x1a", "QH_EOF"},
        {"C:\\q", "QH\nX"},
        {"C:\\q", "QH\x1a"},
        {"C:\\q", "QH=X"},
        {"C:\\q", ""},
        {"", "QH"},
    };
    const std::string batch = text_mode("REM x\n\nset QH=C:\\q\n");
    for (const Case& c : cases) {
        ASSERT_TRUE(qh_test::write_file(kBatch, batch));
        EXPECT_EQ(qh::autoexec_add_path(c.dirs, c.name, qh::Position::end), qh::kAutoexecRefused)
            << c.name << " " << c.dirs;
        EXPECT_EQ(qh::autoexec_remove_path(c.dirs, c.name), qh::kAutoexecRefused)
            << c.name << " " << c.dirs;
        EXPECT_EQ(qh_test::read_file(kBatch), batch) << c.name << " " << c.dirs;
    }
}

TEST_F(EnvBatchFamily, SettingAndDeletingUseTheRegistry) {
    qh_test::ValueRestorer saved(qh_test::hklm(), std::string(kSystemEnvironment),
                                 std::string(kName));
    const std::string batch = text_mode("REM x\n\n");
    ASSERT_TRUE(qh_test::write_file(kBatch, batch));
    const std::string n(kName);

    qh_test::ToolRun run = qh_test::run_tool({"=env", n, "C:\\q9"});
    EXPECT_EQ(run.output, text_mode(kSucceeded));
    EXPECT_EQ(qh_test::read_typed_text(qh_test::hklm(), kSystemEnvironment, kName),
              (Text{kRegSz, "C:\\q9"}));

    run = qh_test::run_tool({"-env", n});
    EXPECT_EQ(run.output, text_mode(kSucceeded));
    EXPECT_FALSE(qh_test::read_value(qh_test::hklm(), kSystemEnvironment, kName));
    EXPECT_EQ(qh_test::read_file(kBatch), batch);
}

TEST_F(EnvBatchFamily, EmulatedMachineBatchEditsSendNoBroadcast) {
    if (!qh_test::on_emulated_machine()) GTEST_SKIP() << "broadcasts are not observable here";
    qh_test::unset_env(kName);
    const std::optional<int> before = qh_test::broadcast_count();
    ASSERT_TRUE(before);
    EXPECT_EQ(qh_test::run_tool({"+env", std::string(kName), "C:\\q9"}).output, kSucceeded);
    EXPECT_EQ(qh_test::broadcast_count(), before);
}

}  // namespace
