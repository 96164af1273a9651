// The environment options on the NT family, run in process.
#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "env_fixture.h"

namespace {

using qh::platform::kRegExpandSz;
using qh::platform::kRegSz;
using qh_test::kFailed;
using qh_test::kSucceeded;
using qh_test::kSystemEnvironment;
using qh_test::kUserEnvironment;
using qh_test::Text;

constexpr std::string_view kName = "QH_ENVTEST";

struct Store {
    qh::Key root;
    std::string_view subkey;
};
Store system_store() { return {qh_test::hklm(), kSystemEnvironment}; }
Store user_store() { return {qh_test::hkcu(), kUserEnvironment}; }

class EnvCommand : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = qh_test::scratch_dir("env_command");
        ASSERT_FALSE(dir_.empty());
        ASSERT_TRUE(qh_test::make_directory(dir_ + "\\two"));
    }
    std::string dir_;
    qh_test::ValueRestorer system_{qh_test::hklm(), std::string(kSystemEnvironment),
                                   std::string(kName)};
    qh_test::ValueRestorer user_{qh_test::hkcu(), std::string(kUserEnvironment),
                                 std::string(kName)};
};

TEST_F(EnvCommand, EditsKeepTheStringTypeInEitherScope) {
    struct Case {
        Store store;
        std::optional<Text> before;
        std::vector<std::string> args;
        std::string_view line;
        std::optional<Text> after;
    };
    const std::string d = dir_, two = dir_ + "\\two", n(kName);
    const Case cases[] = {
        {system_store(),
         Text{kRegExpandSz, "%SystemRoot%\\x"},
         {"+env", n, d},
         kSucceeded,
         Text{kRegExpandSz, d + ";%SystemRoot%\\x"}},
        {system_store(),
         Text{kRegSz, "C:\\y"},
         {"-end", "+env", n, d},
         kSucceeded,
         Text{kRegSz, "C:\\y;" + d}},
        {user_store(),
         Text{kRegExpandSz, "%A%"},
         {"-user", "-end", "+env", n, d + ";" + two},
         kSucceeded,
         Text{kRegExpandSz, "%A%;" + d + ";" + two}},
        {system_store(),
         Text{kRegExpandSz, d + ";C:\\y;%A%"},
         {"-env", n, "C:\\Y\\"},
         kSucceeded,
         Text{kRegExpandSz, d + ";%A%"}},
        {user_store(),
         Text{kRegSz, "C:\\tools\\bin;C:\\y"},
         {"-user", "-env", n, "bin"},
         kFailed,
         Text{kRegSz, "C:\\tools\\bin;C:\\y"}},
        {system_store(), Text{kRegSz, d}, {"+env", n, d}, kFailed, Text{kRegSz, d}},
        {system_store(),
         Text{kRegSz, "a"},
         {"+env", n, d + "\\missing"},
         kFailed,
         Text{kRegSz, "a"}},
        // The variable must exist for an edit; only =env creates one.
        {system_store(), std::nullopt, {"+env", n, d}, kFailed, std::nullopt},
        {user_store(), std::nullopt, {"-user", "-env", n, d}, kFailed, std::nullopt},
        {system_store(), std::nullopt, {"=env", n, "%A%;x"}, kSucceeded, Text{kRegSz, "%A%;x"}},
        // Setting keeps an expandable variable expandable.
        {user_store(),
         Text{kRegExpandSz, "%A%"},
         {"-user", "=env", n, "v"},
         kSucceeded,
         Text{kRegExpandSz, "v"}},
        {system_store(),
         Text{kRegExpandSz, "%A%"},
         {"=env", n, "%SystemRoot%\\system32"},
         kSucceeded,
         Text{kRegExpandSz, "%SystemRoot%\\system32"}},
        {user_store(),
         Text{kRegSz, "%A%"},
         {"-user", "=env", n, "%B%"},
         kSucceeded,
         Text{kRegSz, "%B%"}},
        {system_store(), Text{kRegExpandSz, "%A%"}, {"-env", n}, kSucceeded, std::nullopt},
        {system_store(), std::nullopt, {"-env", n}, kFailed, std::nullopt},
    };
    for (const Case& c : cases) {
        qh::reg_delete_value_at(c.store.root, c.store.subkey, kName);
        if (c.before)
            qh_test::put_text(c.store.root, c.store.subkey, kName, c.before->type, c.before->text);
        std::string command;
        for (const std::string& arg : c.args) command += arg + " ";
        EXPECT_EQ(qh_test::run_cli(c.args).output, c.line) << command;
        EXPECT_EQ(qh_test::read_typed_text(c.store.root, c.store.subkey, kName), c.after)
            << command;
    }
}

TEST_F(EnvCommand, OtherValueTypesAreNotEdited) {
    const std::string number("\x05\x00\x00\x00", 4);
    for (const char* option : {"+env", "-env"}) {
        qh_test::put_raw(qh_test::hklm(), kSystemEnvironment, kName, qh::platform::kRegDword,
                         number);
        EXPECT_EQ(qh_test::run_cli({option, std::string(kName), dir_}).output, kFailed) << option;
        const std::optional<qh::RegValue> after =
            qh_test::read_value(qh_test::hklm(), kSystemEnvironment, kName);
        ASSERT_TRUE(after);
        EXPECT_EQ(after->type, qh::platform::kRegDword);
        EXPECT_EQ(after->data, number);
    }
}

TEST_F(EnvCommand, StockSystemPathStaysExpandable) {
    const std::string stock = "%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\System32\\Wbem";
    qh_test::ValueRestorer saved(qh_test::hklm(), std::string(kSystemEnvironment), "Path");
    qh_test::put_text(qh_test::hklm(), kSystemEnvironment, "Path", kRegExpandSz, stock);
    const std::string two = dir_ + "\\two";

    EXPECT_EQ(qh_test::run_cli({"+path", dir_}).output, kSucceeded);
    EXPECT_EQ(qh_test::run_cli({"-end", "+path", two}).output, kSucceeded);
    EXPECT_EQ(qh_test::read_typed_text(qh_test::hklm(), kSystemEnvironment, "Path"),
              (Text{kRegExpandSz, dir_ + ";" + stock + ";" + two}));

    EXPECT_EQ(qh_test::run_cli({"-path", two + ";" + dir_}).output, kSucceeded);
    EXPECT_EQ(qh_test::read_typed_text(qh_test::hklm(), kSystemEnvironment, "Path"),
              (Text{kRegExpandSz, stock}));
}

// The machine's own variables stay in the system environment, whatever the
// letter case of the name; the user's are the user's to delete, and -regv
// is the explicit way to delete a system one.
TEST_F(EnvCommand, VariablesWindowsNeedsAreNotDeletedFromTheSystem) {
    const std::string names[] = {"Path",
                                 "pathext",
                                 "COMSPEC",
                                 "SystemRoot",
                                 "WinDir",
                                 "os",
                                 "Temp",
                                 "tmp",
                                 "PSMODULEPATH",
                                 "processor_architecture",
                                 "Number_Of_Processors",
                                 "DRIVERDATA"};
    std::deque<qh_test::ValueRestorer> saved;
    for (const std::string& name : names) {
        saved.emplace_back(qh_test::hklm(), std::string(kSystemEnvironment), name);
        saved.emplace_back(qh_test::hkcu(), std::string(kUserEnvironment), name);
        qh_test::put_text(qh_test::hklm(), kSystemEnvironment, name, kRegSz, "machine");
        qh_test::put_text(qh_test::hkcu(), kUserEnvironment, name, kRegSz, "user");

        const qh_test::CliRun system = qh_test::run_cli({"-env", name});
        EXPECT_EQ(system.output, kFailed) << name;
        EXPECT_EQ(system.errors, "quillhaven: -env " + name + ": " + name +
                                     " is a variable Windows itself needs, so it is not deleted "
                                     "from the system environment; -regv on its key deletes it "
                                     "all the same\n");
        EXPECT_EQ(qh_test::read_typed_text(qh_test::hklm(), kSystemEnvironment, name),
                  (Text{kRegSz, "machine"}));

        EXPECT_EQ(qh_test::run_cli({"-user", "-env", name}).output, kSucceeded) << name;
        EXPECT_FALSE(qh_test::read_value(qh_test::hkcu(), kUserEnvironment, name)) << name;
    }
    const std::string key = "HKEY_LOCAL_MACHINE\\" + std::string(kSystemEnvironment);
    EXPECT_EQ(qh_test::run_cli({"-regv", key, "TMP"}).output, kSucceeded);
    EXPECT_FALSE(qh_test::read_value(qh_test::hklm(), kSystemEnvironment, "TMP"));
    // Only the whole name counts.
    qh_test::ValueRestorer near_miss(qh_test::hklm(), std::string(kSystemEnvironment), "PathX");
    qh_test::put_text(qh_test::hklm(), kSystemEnvironment, "PathX", kRegSz, "x");
    EXPECT_EQ(qh_test::run_cli({"-env", "PathX"}).output, kSucceeded);
}

// "set NAME=" through a shell changed nothing and ran whatever the name held.
TEST_F(EnvCommand, DeletingRunsNoShell) {
    env_test::InDirectory here(dir_);
    const std::string name = "QH_ENVTEST&mkdir qh_injected";
    qh_test::ValueRestorer saved(qh_test::hklm(), std::string(kSystemEnvironment), name);
    ASSERT_EQ(qh_test::run_cli({"=env", name, "x"}).output, kSucceeded);
    EXPECT_EQ(qh_test::run_cli({"-env", name}).output, kSucceeded);
    EXPECT_FALSE(qh_test::read_value(qh_test::hklm(), kSystemEnvironment, name));
    EXPECT_FALSE(qh::platform::find_first_attributes(dir_ + "\\qh_injected*"));
}

TEST_F(EnvCommand, EmulatedMachineOneBroadcastWhenSomethingChanged) {
    if (!qh_test::on_emulated_machine()) GTEST_SKIP() << "broadcasts are not observable here";
    const std::string n(kName);
    struct Case {
        std::vector<std::string> args;
        int broadcasts;
    };
    const Case cases[] = {
        {{"=env", n, "a"}, 1},
        {{"=env", n, "a", "=env", n, "b", "-end", "+env", n, dir_}, 1},
        {{"-env", n, dir_}, 1},
        {{"-env", n, dir_}, 0},  // nothing left to remove
        {{"+env", "QH_ENVTEST_MISSING", dir_}, 0},
        {{"-env", n}, 1},
        {{"-env", n}, 0},
    };
    for (const Case& c : cases) {
        const std::optional<int> before = qh_test::broadcast_count();
        ASSERT_TRUE(before);
        qh_test::run_cli(c.args);
        EXPECT_EQ(qh_test::broadcast_count(), *before + c.broadcasts)
            << c.args[0] << " " << c.args.size();
    }
}

}  // namespace
