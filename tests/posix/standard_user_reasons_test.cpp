// The reasons an unelevated session is given (QUILLHAVEN_USER=standard), and
// what it may still do. Native only: under Wine the process is an
// administrator.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace {

using namespace std::string_literals;
using qh_test::kFailed;
using qh_test::kSucceeded;

constexpr std::string_view kSubkey = "SOFTWARE\\QhStandardReasons";
const std::string kMachineKey = "HKEY_LOCAL_MACHINE\\" + std::string(kSubkey);
const std::string kUserKey = "HKEY_CURRENT_USER\\" + std::string(kSubkey);
const std::string kUsersKey = "HKEY_USERS\\.DEFAULT\\" + std::string(kSubkey);
const std::string kSystemEnv =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const std::string kDenied = ": access is denied; run from an elevated prompt";

// The session runs as the standard user while it lives.
class StandardUserReasons : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = qh_test::scratch_dir("standard_reasons");
        ASSERT_FALSE(dir_.empty());
        qh_test::put_text(qh_test::hklm(), std::string(kSubkey), "list", qh::platform::kRegSz,
                          "C:\\x");
        qh_test::set_env("QUILLHAVEN_USER", "standard");
    }
    void TearDown() override {
        qh_test::unset_env("QUILLHAVEN_USER");
        qh::platform::reg_delete_tree(qh_test::hklm(), kSubkey);
        qh::platform::reg_delete_tree(qh_test::hkcu(), kSubkey);
    }
    std::string dir_;
    qh_test::ValueRestorer system_path_{qh_test::hklm(), std::string(qh_test::kSystemEnvironment),
                                        "Path"};
    qh_test::ValueRestorer user_path_{qh_test::hkcu(), std::string(qh_test::kUserEnvironment),
                                      "Path"};
};

TEST_F(StandardUserReasons, MachineWideChangesAreDeniedWithAdvice) {
    struct Case {
        std::vector<std::string> args;
        std::string output;
        std::string errors;  // without "quillhaven: <args>: "
    };
    const Case cases[] = {
        {{"+path", dir_}, kFailed.data(), kSystemEnv + kDenied + ", or use -user"},
        {{"=env", "QH_STANDARD", "v"}, kFailed.data(), kSystemEnv + kDenied + ", or use -user"},
        {{"-user", "+path", dir_}, kSucceeded.data(), ""},
        {{"+regv", kMachineKey, "v", "d"}, kFailed.data(), kMachineKey + kDenied},
        {{"+regv", kUserKey, "v", "d"}, kSucceeded.data(), ""},
        {{"+regv", kUsersKey, "v", "d"}, kFailed.data(), kUsersKey + kDenied},
        {{"+regp", kMachineKey, "list", dir_}, kFailed.data(), kMachineKey + kDenied},
        {{"-regk", kMachineKey}, kFailed.data(), kMachineKey + kDenied},
        {{"+regk", kMachineKey + "\\new"}, kFailed.data(), kMachineKey + "\\new" + kDenied},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const qh_test::CliRun got = qh_test::run_cli(c.args);
        EXPECT_EQ(got.exit_code, 0);
        EXPECT_EQ(got.output, c.output);
        std::vector<std::string> named = c.args;
        if (named.front() == "-user") named.erase(named.begin());
        std::string line;
        if (!c.errors.empty()) {
            line = "quillhaven:";
            for (const std::string& arg : named) line += " " + arg;
            line += ": " + c.errors + "\n";
        }
        EXPECT_EQ(got.errors, line);
    }
}

// An import goes on past what the session may not change, then fails,
// naming the first line refused; -fail-exit makes that exit code 2.
TEST_F(StandardUserReasons, ImportsNameTheFirstRefusedLine) {
    struct Case {
        std::string option;
        std::string body;
        int exit_code;
        std::string reason;  // after "<file>, line "; empty: the import succeeds
    };
    const Case cases[] = {
        {"+regf",
         "REGEDIT4\n\n[" + kUserKey + "]\n\"who\"=\"user\"\n[" + kMachineKey +
             "]\n\"who\"=\"machine\"\n\"list\"=-\n[" + kUserKey + "\\After]\n\"who\"=\"again\"\n",
         2, "5: " + kMachineKey + kDenied + "; 3 lines of the file refused"},
        {"-regf",
         "[" + kMachineKey + "]\n\"list\"=\"x\" --uninstall\n\"kept\"=\"x\"\n[" +
             "HKEY_LOCAL_MACHINE\\SOFTWARE\\QhStandardAbsent]--uninstall\n[" + kMachineKey +
             "\\Absent]\n\"v\"=\"x\" --uninstall\n[" + kUserKey + "]--uninstall\n",
         2, "2: " + kMachineKey + kDenied + "; 1 line of the file refused"},
        {"-regf", "[" + kMachineKey + "]--uninstall\n", 2,
         "1: " + kMachineKey + kDenied + "; 1 line of the file refused"},
        // Nothing there to remove: nothing refused.
        {"-regf",
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QhStandardAbsent]--uninstall\n[" + kMachineKey +
             "]\n\"kept\"=\"x\"\n",
         0, ""},
    };
    const std::string file = dir_ + "\\import.reg";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option + " " + c.body);
        ASSERT_TRUE(qh_test::write_file(file, c.body));
        const qh_test::CliRun got = qh_test::run_cli({"-fail-exit", c.option, file});
        EXPECT_EQ(got.exit_code, c.exit_code);
        EXPECT_EQ(got.output, c.reason.empty() ? kSucceeded : kFailed);
        EXPECT_EQ(got.errors, c.reason.empty() ? ""
                                               : "quillhaven: " + c.option + " " + file + ": " +
                                                     file + ", line " + c.reason + "\n");
        EXPECT_TRUE(qh_test::read_value(qh_test::hklm(), kSubkey, "list"));
    }
    EXPECT_FALSE(qh_test::key_exists(qh_test::hkcu(), kSubkey));
    EXPECT_FALSE(qh_test::key_exists(qh_test::hklm(), "SOFTWARE\\QhStandardAbsent"));
}

}  // namespace
