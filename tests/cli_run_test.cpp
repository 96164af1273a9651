// The dispatcher in-process: exact bytes on standard output and exit codes.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "cli/help.h"
#include "cli/run.h"
#include "detect/java_gs.h"
#include "detect/tex_tools.h"
#include "detect/texlive.h"
#include "quillhaven_version.h"
#include "registry/reg_commands.h"
#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace {

using Args = std::vector<std::string>;

using qh_test::CliRun;
using qh_test::run_cli;

// Strings, so that the expected outputs can be joined with +.
const std::string kOk(qh_test::kSucceeded);
const std::string kFail(qh_test::kFailed);

// Fails with a known line whatever the machine holds: the root is unknown.
const Args kFailing = {"-regk", "HKLM\\QuillhavenTest"};

std::string collect(int (*print)(const qh::Output&)) {
    std::string text;
    print([&](std::string_view bytes) {
        text += bytes;
        return true;
    });
    return text;
}

std::string help() {
    std::string text;
    qh::show_help(
        [&](std::string_view bytes) {
            text += bytes;
            return true;
        },
        0);
    return text;
}
std::string examples() { return collect(qh::show_examples); }
std::string syntax() { return "Syntax error occurs!\n" + help(); }
const std::string kVersion = "Quillhaven " QH_RELEASE_VERSION "\n";

Args cat(Args a, const Args& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Case {
    Args args;
    int exit_code;
    std::string output;
};

void PrintTo(const Case& c, std::ostream* os) {
    for (const std::string& arg : c.args) *os << '[' << arg << ']';
}

class Dispatch : public testing::TestWithParam<Case> {};

TEST_P(Dispatch, PrintsAndExits) {
    const Case& c = GetParam();
    const CliRun got = run_cli(c.args);
    EXPECT_EQ(got.exit_code, c.exit_code);
    EXPECT_EQ(got.output, c.output);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Dispatch,
    testing::Values(Case{{}, 0, help()}, Case{{"-help"}, 0, help()}, Case{{"-h"}, 0, help()},
                    Case{{"+hello", "-examples"}, 0, help()},
                    Case{cat(kFailing, {"-help", "+regk", "HKLM\\x"}), 0, kFail + help()},
                    Case{{"-examples"}, 0, examples()}, Case{{"-exam"}, 0, examples()},
                    Case{{"=ex12", "-h"}, 0, examples()},
                    Case{cat(kFailing, {"-examples"}), 0, kFail + examples()},
                    Case{{"-version"}, 0, kVersion}, Case{{"+VERS", "-help"}, 0, kVersion},
                    Case{cat(kFailing, {"=v12", "+regk", "HKLM\\x"}), 0, kFail + kVersion},
                    Case{{"-ve"}, 1, syntax()}));

// Each way a command line can be wrong; what ran before stays done.
INSTANTIATE_TEST_SUITE_P(
    SyntaxErrors, Dispatch,
    testing::Values(
        Case{{"user"}, 1, syntax()}, Case{{""}, 1, syntax()}, Case{{"*env", "a", "b"}, 1, syntax()},
        Case{{"-user", "user"}, 1, syntax()}, Case{{"-user", ""}, 1, syntax()},
        Case{{"-user", "-"}, 1, syntax()}, Case{{"-st"}, 1, syntax()}, Case{{"-sa12"}, 1, syntax()},
        Case{{"-q123"}, 1, syntax()}, Case{{"-language"}, 1, syntax()},
        Case{{"-sys", "-c"}, 1, syntax()}, Case{{"+env", "NAME"}, 1, syntax()},
        Case{{"=env", "NAME"}, 1, syntax()}, Case{{"-env"}, 1, syntax()},
        Case{{"-sys", "*env", "a", "b"}, 1, syntax()}, Case{{"+path"}, 1, syntax()},
        Case{{"-path"}, 1, syntax()}, Case{{"=path", "C:\\a"}, 1, syntax()},
        Case{{"-read-reg", "K"}, 1, syntax()}, Case{{"+read-reg", "K", "V"}, 1, syntax()},
        Case{{"-readreg", "K", "V"}, 1, syntax()}, Case{{"-regedit", "K"}, 1, syntax()},
        Case{{"+refresh"}, 1, syntax()}, Case{{"-reg", "K"}, 1, syntax()},
        Case{{"-regk"}, 1, syntax()}, Case{{"=regk", "K"}, 1, syntax()},
        Case{{"=regf", "F"}, 1, syntax()}, Case{{"=regp", "K", "D"}, 1, syntax()},
        Case{{"+regp", "K"}, 1, syntax()}, Case{{"+regv", "K"}, 1, syntax()},
        Case{{"=regv", "K"}, 1, syntax()}, Case{{"-sys", "*regv", "K", "D"}, 1, syntax()},
        Case{{"-regl", "K"}, 1, syntax()}, Case{{"-regr", "K"}, 1, syntax()},
        Case{{"-regz", "K", "V"}, 1, syntax()},
        Case{cat(kFailing, {"-st", "-h"}), 1, kFail + syntax()},
        // Two arguments were left, so the registry path lands in operation position.
        Case{{"-regv", "HKLM\\x", "-regk", "HKLM\\x"}, 1, kFail + syntax()}));

INSTANTIATE_TEST_SUITE_P(
    Switches, Dispatch,
    testing::Values(Case{{"-sys", "-user", "-start", "-end", "-x", "-refresh", "-no-refresh",
                          "-language", "chs", "-code-page", "english", "-no-refresh"},
                         0,
                         ""},
                    Case{{"-USER", "+Start", "=END", "-Sys"}, 0, ""},
                    Case{cat({"-language", "no-such-locale"}, kFailing), 0, kFail},
                    Case{cat({"-language", "chs"}, kFailing), 0, kFail}));

// Every operation followed by a result line takes exactly its operands: the
// failing command after it is then in operation position.
INSTANTIATE_TEST_SUITE_P(
    ResultLines, Dispatch,
    testing::Values(
        Case{kFailing, 0, kFail}, Case{cat(kFailing, kFailing), 0, kFail + kFail},
        Case{cat({"+regk", "HKLM\\x"}, kFailing), 0, kFail + kFail},
        Case{{"+regv", "HKLM\\x", "D"}, 0, kFail},
        // Three arguments left: the failing command's option becomes the data.
        Case{cat({"+regv", "HKLM\\x", "D"}, kFailing), 1, kFail + syntax()},
        Case{cat({"=regv", "HKLM\\x", "N", "D"}, kFailing), 0, kFail + kFail},
        Case{{"-regv", "HKLM\\x"}, 0, kFail},
        Case{cat({"-regv", "HKLM\\x", "N"}, kFailing), 0, kFail + kFail},
        Case{cat({"-read-reg", "HKLM\\x", "V"}, kFailing), 0, kFail + kFail},
        Case{cat({"-regr", "HKLM\\x", "V"}, kFailing), 0, kFail + kFail},
        Case{cat({"-regl", "HKLM\\x", "V"}, kFailing), 0, kFail + kFail},
        Case{{"+regp", "HKLM\\x", "C:\\"}, 0, kFail},
        Case{cat({"+regp", "HKLM\\x", "N", "C:\\"}, kFailing), 0, kFail + kFail},
        Case{{"-regp", "HKLM\\x", "C:\\"}, 0, kFail},
        Case{cat({"-regp", "HKLM\\x", "N", "C:\\"}, kFailing), 0, kFail + kFail},
        Case{cat({"+regf", "C:\\quillhaven-no-such-file.reg"}, kFailing), 0, kFail + kFail},
        Case{cat({"-regf", "C:\\quillhaven-no-such-file.reg"}, kFailing), 0, kFail + kFail},
        Case{cat({"+path", "C:\\quillhaven-no-such-dir"}, kFailing), 0, kFail + kFail},
        Case{cat({"-path", "C:\\quillhaven-no-such-dir"}, kFailing), 0, kFail + kFail},
        Case{cat({"-user", "+env", "QH_CLI_TEST", "C:\\quillhaven-no-such-dir"}, kFailing), 0,
             kFail + kFail},
        Case{cat({"-user", "-env", "QH_CLI_TEST", "C:\\quillhaven-no-such-dir"}, kFailing), 0,
             kFail + kFail},
        // -env NAME as the last two arguments deletes; with more left it takes two.
        Case{{"-user", "=env", "QH_CLI_TEST", "v", "-env", "QH_CLI_TEST"}, 0, kOk + kOk},
        Case{{"-user", "-env", "QH_CLI_TEST", "-regk", "HKLM\\x"}, 1, kFail + syntax()},
        Case{{"-user", "-env", "QH_CLI_TEST"}, 0, kFail}));

// -javaw, -gswin32c, -WinEdt print exactly what their detection found and
// end the run; the result code is not reported.
TEST(DispatchDetections, PrintWhatWasFoundAndEnd) {
    struct Detection {
        const char* option;
        int (*detect)(std::string&, qh::Failure*, qh::ChangeSession*);
    };
    for (const Detection& d :
         {Detection{"-javaw", qh::java_detect}, Detection{"-gswin32c", qh::gs_detect},
          Detection{"-WinEdt", qh::detect_winedt}, Detection{"-texlive", qh::texlive_detect}}) {
        SCOPED_TRACE(d.option);
        std::string found;
        d.detect(found, nullptr, nullptr);
        const CliRun got = run_cli(cat({d.option}, kFailing));
        EXPECT_EQ(got.exit_code, 0);
        EXPECT_EQ(got.output, found);
    }
}

TEST(DispatchDetections, MiktexReportHasOneOfThreeForms) {
    const CliRun got = run_cli(cat({"-MiKTeX"}, kFailing));
    EXPECT_EQ(got.exit_code, 0);
    const std::regex form(
        "No MiKTeX installation is detected!\n|"
        "(Normal MiKTeX installation|MiKTeX DirectCD):\nTeXMF=[^\n]*\nLocalTeXMF=[^\n]*\n");
    EXPECT_TRUE(std::regex_match(got.output, form)) << got.output;
}

TEST(DispatchDetections, SettersPrintNothingAndEnd) {
    for (const Args& args : {Args{"+gswin32c", "-regk", "HKLM\\x"},
                             Args{"+javaw", "QH_CLI_JAVA", "-regk", "HKLM\\x"}}) {
        SCOPED_TRACE(args[0]);
        const CliRun got = run_cli(args);
        EXPECT_EQ(got.exit_code, 0);
        EXPECT_EQ(got.output, "");
    }
}

// Commands against the registry of the machine the tests run on.
class DispatchRegistry : public testing::Test {
  protected:
    const std::string key_ = "HKEY_CURRENT_USER\\Software\\QuillhavenTest\\dispatch";
    void SetUp() override { qh::reg_delete_key_path(key_); }
    void TearDown() override { qh::reg_delete_key_path(key_); }
};

TEST_F(DispatchRegistry, SetThenReadFramedAndBare) {
    const std::string key = key_ + "\\AFPL Ghostscript\\8.50";
    CliRun got = run_cli({"+regv", key, "GS_DLL", "C:\\gs\\gsdll32.dll", "+regk", key + "\\x"});
    EXPECT_EQ(got.output, kOk + kOk);

    got = run_cli(cat({"-read-reg", key, "GS_DLL"}, kFailing));
    EXPECT_EQ(got.exit_code, 0);
    EXPECT_EQ(got.output, "\n[" + key + "]\nGS_DLL=C:\\gs\\gsdll32.dll\n");

    got = run_cli({"-x", "-regr", key, "gs_dll"});
    EXPECT_EQ(got.exit_code, 0);
    EXPECT_EQ(got.output, "C:\\gs\\gsdll32.dll");

    // The name is printed as typed, not as stored.
    got = run_cli({"-regr", key, "gs_dll"});
    EXPECT_EQ(got.output, "\n[" + key + "]\ngs_dll=C:\\gs\\gsdll32.dll\n");
}

TEST_F(DispatchRegistry, ValueTextsArePrintedUnchanged) {
    ASSERT_EQ(run_cli({"=regv", key_, "%SystemRoot%\\system32;%s%d"}).output, kOk);
    CliRun got = run_cli({"-x", "-read-reg", key_, ""});
    EXPECT_EQ(got.output, "%SystemRoot%\\system32;%s%d");
    got = run_cli({"-read-reg", key_, ""});
    EXPECT_EQ(got.output, "\n[" + key_ + "]\n=%SystemRoot%\\system32;%s%d\n");

    {
        const qh::OwnedKey key = qh::reg_create_path(key_);
        ASSERT_TRUE(key);
        ASSERT_TRUE(qh::reg_write_dword(16, key.get(), "number").ok());
        ASSERT_TRUE(qh::reg_write_multi_sz(std::string("a\0b\0\0", 5), key.get(), "list").ok());
    }
    EXPECT_EQ(run_cli({"-x", "-read-reg", key_, "number"}).output, "0x10");
    EXPECT_EQ(run_cli({"-x", "-read-reg", key_, "list"}).output, "a\\0b");
}

TEST_F(DispatchRegistry, OptionalValueNameDependsOnArgumentsLeft) {
    // Three arguments left: the last one is data, even when it looks like an option.
    EXPECT_EQ(run_cli({"+regv", key_, "DATA", "-no-refresh"}).output, kOk);
    EXPECT_EQ(run_cli({"-x", "-read-reg", key_, "DATA"}).output, "-no-refresh");
    EXPECT_EQ(run_cli({"+regv", key_, "unnamed"}).output, kOk);
    EXPECT_EQ(run_cli({"-x", "-read-reg", key_, ""}).output, "unnamed");

    EXPECT_EQ(run_cli({"-regv", key_}).output, kOk);
    EXPECT_EQ(run_cli({"-regv", key_}).output, kFail);
    EXPECT_EQ(run_cli({"-regv", key_, "data"}).output, kOk);
    EXPECT_EQ(run_cli({"-read-reg", key_, "DATA"}).output, kFail);
}

TEST_F(DispatchRegistry, KeysComeAndGo) {
    const std::string test = key_ + "\\tovrane\\test";
    EXPECT_EQ(run_cli({"+regk", test, "+regk", test}).output, kOk + kOk);
    EXPECT_TRUE(qh_test::key_exists(test));
    EXPECT_EQ(run_cli({"-regk", key_ + "\\tovrane", "-regk", key_ + "\\tovrane"}).output,
              kOk + kFail);
    EXPECT_FALSE(qh_test::key_exists(key_ + "\\tovrane"));
}

TEST_F(DispatchRegistry, DeletesNeverCreateNorTakeAHive) {
    EXPECT_EQ(run_cli({"-regv", key_ + "\\missing", "v"}).output, kFail);
    EXPECT_FALSE(qh_test::key_exists(key_ + "\\missing"));

    ASSERT_EQ(run_cli({"+regv", key_, "canary", "alive"}).output, kOk);
    EXPECT_EQ(run_cli({"-regk", "HKEY_CURRENT_USER\\", "-regk", "hkey_current_user\\"}).output,
              kFail + kFail);
    EXPECT_EQ(run_cli({"-x", "-read-reg", key_, "canary"}).output, "alive");
}

TEST_F(DispatchRegistry, LatestSubkeyFramedAndBare) {
    const std::string key = key_ + "\\AFPL Ghostscript";
    ASSERT_EQ(run_cli({"+regv", key + "\\8.14", "GS_DLL", "old", "+regv", key + "\\8.50", "GS_DLL",
                       "C:\\gs\\gsdll32.dll", "+regv", key + "\\8.15", "GS_DLL", "older"})
                  .output,
              kOk + kOk + kOk);
    CliRun got = run_cli(cat({"-regl", key, "GS_DLL"}, kFailing));
    EXPECT_EQ(got.exit_code, 0);
    EXPECT_EQ(got.output, "\n[" + key + "\\8.50]\nGS_DLL=C:\\gs\\gsdll32.dll\n");
    got = run_cli({"-x", "-regl", key, "GS_DLL"});
    EXPECT_EQ(got.output, "8.50\nC:\\gs\\gsdll32.dll");
    // A failed lookup goes on with the argument after its two operands.
    got = run_cli({"-regl", key, "absent", "+regk", key_ + "\\after"});
    EXPECT_EQ(got.output, kFail + kOk);
}

TEST_F(DispatchRegistry, FailureThenSuccessStillExitsZero) {
    const CliRun got = run_cli(cat(kFailing, {"+regk", key_}));
    EXPECT_EQ(got.exit_code, 0);
    EXPECT_EQ(got.output, kFail + kOk);
}

TEST_F(DispatchRegistry, SwitchesAffectOnlyLaterOperations) {
    // Scope set after =env does not reach it: the variable lands in the system.
    const std::string system_env =
        "HKEY_LOCAL_MACHINE\\" + std::string(qh_test::kSystemEnvironment);
    const std::string user_env = "HKEY_CURRENT_USER\\" + std::string(qh_test::kUserEnvironment);
    run_cli({"=env", "QH_CLI_SCOPE", "system", "-user", "=env", "QH_CLI_SCOPE", "user"});
    const CliRun system_value = run_cli({"-x", "-read-reg", system_env, "QH_CLI_SCOPE"});
    const CliRun user_value = run_cli({"-x", "-read-reg", user_env, "QH_CLI_SCOPE"});
    run_cli({"-env", "QH_CLI_SCOPE"});
    run_cli({"-user", "-env", "QH_CLI_SCOPE"});
    EXPECT_EQ(system_value.output, "system");
    EXPECT_EQ(user_value.output, "user");
}

// The broadcast count is only observable on the emulated machine.
TEST(DispatchRefresh, EmulatedMachineBroadcastsOnlyAtANormalEnd) {
    if (!qh_test::on_emulated_machine()) GTEST_SKIP() << "broadcasts are not observable here";
    struct Case {
        Args args;
        int broadcasts;
    };
    const std::string canary = "HKEY_CURRENT_USER\\Environment";
    const Case cases[] = {
        {{"-refresh"}, 1},
        {{"-no-refresh", "-refresh"}, 1},
        {{"-refresh", "-no-refresh"}, 0},
        {cat({"-refresh"}, kFailing), 1},
        {{"-sys"}, 0},
        {{"-refresh", "-h"}, 0},
        {{"-refresh", "-st"}, 0},
        {{"-refresh", "-read-reg", canary, "TEMP"}, 0},
        {{"-refresh", "-read-reg", canary, "QH_NO_SUCH_VALUE"}, 1},
        {{"-refresh", "+gswin32c"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const int before = qh_test::broadcast_count().value_or(-1);
        run_cli(c.args);
        EXPECT_EQ(qh_test::broadcast_count().value_or(-1) - before, c.broadcasts);
    }
}

}  // namespace
