// What a separately started process sees under Wine: its arguments as the C
// runtime splits them, its Windows family, the operation scope of another
// run, and the text mode of the tool's standard output.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/test_support.h"
#include "support/win32/processes.h"

namespace {

namespace platform = qh::platform;
namespace win32 = qh_test::win32;

std::vector<std::string> split_at_zero(const std::string& bytes) {
    std::vector<std::string> parts;
    std::string part;
    for (const char c : bytes) {
        if (c == '\0') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    return parts;
}

TEST(WineProcess, ArgumentsReachTheChildExactly) {
    const std::vector<std::string> args = {
        "plain",
        "two words",
        "",
        "say \"hi\"",
        "trailing\\",
        "blank and trailing\\",
        "\\\\server\\x",
        "odd\\\\\"quote",
        "C:\\Program Files\\",
        "tab\there",
        "\\\"",
        "semi;colon&amp|pipe",
        "%PATH%",
        "ends with quote\"",
        "a\\\\b c\\\\",
    };
    std::vector<std::string> probe_args = {"args"};
    probe_args.insert(probe_args.end(), args.begin(), args.end());
    const qh_test::ToolRun run = win32::run_program(QH_WIN32_PROBE_EXE, probe_args);
    ASSERT_EQ(run.exit_code, 0);
    EXPECT_EQ(split_at_zero(run.output), args);
}

TEST(WineProcess, FamilyFollowsTheWineVersionValue) {
    struct Case {
        bool win9x;
        const char* seen;
    };
    const Case cases[] = {{true, "9x"}, {false, "nt"}, {true, "9x"}, {false, "nt"}};
    for (const Case& c : cases) {
        qh_test::set_windows_family_9x(c.win9x);
        const qh_test::ToolRun run = win32::run_program(QH_WIN32_PROBE_EXE, {"family"});
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.output, c.seen) << "9x switched " << (c.win9x ? "on" : "off");
    }
    qh_test::set_windows_family_9x(false);
}

TEST(WineProcess, OperationScopeExcludesASecondRun) {
    platform::operation_begin();
    const win32::Started second = win32::start_program(QH_WIN32_PROBE_EXE, {"scope"});
    ASSERT_TRUE(second.process);
    const bool waited = win32::still_running_after(second, 1500);
    platform::operation_end();
    EXPECT_TRUE(waited) << "the second run entered the scope while it was held";
    EXPECT_EQ(win32::finish_program(second, 30000), 0);
}

TEST(WineProcess, OperationScopeOfAKilledRunIsTakenOver) {
    // The first run ends inside its scope, as a run killed mid-operation does;
    // this process takes the scope over, and must hand it on afterwards.
    ASSERT_EQ(win32::run_program(QH_WIN32_PROBE_EXE, {"scope-abandon"}).exit_code, 0);
    platform::operation_begin();
    platform::operation_end();
    EXPECT_EQ(win32::run_program(QH_WIN32_PROBE_EXE, {"scope"}, 30000).exit_code, 0);
}

TEST(WineProcess, ToolOutputEndsLinesInCrLf) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, std::vector<std::string>{"-help"}}) {
        const qh_test::ToolRun run = qh_test::run_tool(args);
        EXPECT_EQ(run.exit_code, 0);
        ASSERT_NE(run.output.find('\n'), std::string::npos) << "no line at all";
        EXPECT_EQ(run.output.back(), '\n');
        for (std::size_t i = 0; i < run.output.size(); ++i) {
            if (run.output[i] != '\n') continue;
            ASSERT_TRUE(i > 0 && run.output[i - 1] == '\r') << "bare LF at byte " << i;
            ASSERT_FALSE(i > 1 && run.output[i - 2] == '\r') << "CR CR LF at byte " << i;
        }
    }
}

TEST(WineProcess, CommandRunsThroughTheInterpreterAsText) {
    struct Case {
        const char* command;
        std::string output;
    };
    const Case cases[] = {
        {"echo one& echo two& exit 7", "one\ntwo\n"},
        {"exit 0", ""},
        {"qh-no-such-program-here.exe", ""},  // the interpreter's "not found"
    };
    for (const Case& c : cases) {
        const platform::CommandResult result = platform::run_command(c.command);
        EXPECT_TRUE(result.started) << c.command;
        EXPECT_EQ(result.output, c.output) << c.command;
    }
}

TEST(WineProcess, BroadcastEndsWithinItsTimeout) {
    const auto start = std::chrono::steady_clock::now();
    platform::broadcast_environment_change();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

}  // namespace
