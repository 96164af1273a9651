// The built tool as its own process: what reaches standard output and the
// exit code.
#include <gtest/gtest.h>

#include <string>

#include "cli/help.h"
#include "registry/reg_commands.h"
#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace {

// Windows writes standard output in text mode: every line ends in CR LF
// there. Checked, then compared in the one form of the emulated machine.
std::string newlines_normalised(const std::string& output) {
    if (qh_test::on_emulated_machine()) return output;
    std::string text;
    for (std::size_t i = 0; i < output.size(); ++i) {
        if (output[i] == '\n') {
            EXPECT_TRUE(i > 0 && output[i - 1] == '\r') << "bare line feed at byte " << i;
        }
        if (output[i] == '\r' && i + 1 < output.size() && output[i + 1] == '\n') continue;
        text.push_back(output[i]);
    }
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

TEST(ToolProcess, BareCallAndSyntaxError) {
    qh_test::ToolRun got = qh_test::run_tool({});
    EXPECT_EQ(got.exit_code, 0);
    EXPECT_EQ(newlines_normalised(got.output), help());

    got = qh_test::run_tool({"user"});
    EXPECT_EQ(got.exit_code, 1);
    EXPECT_EQ(newlines_normalised(got.output), "Syntax error occurs!\n" + help());
}

TEST(ToolProcess, WritesAValueAndReadsItBack) {
    const std::string key = "HKEY_CURRENT_USER\\Software\\QuillhavenTest\\process";
    qh::reg_delete_key_path(key);

    qh_test::ToolRun got = qh_test::run_tool(
        {"-regk", "HKLM\\x", "+regv", key, "greeting", "50% done", "-no-refresh"});
    EXPECT_EQ(got.exit_code, 0);
    EXPECT_EQ(newlines_normalised(got.output),
              std::string(qh_test::kFailed) + std::string(qh_test::kSucceeded));

    got = qh_test::run_tool({"-read-reg", key, "greeting", "-regk", key});
    EXPECT_EQ(got.exit_code, 0);
    EXPECT_EQ(newlines_normalised(got.output), "\n[" + key + "]\ngreeting=50% done\n");

    got = qh_test::run_tool({"-x", "-read-reg", key, "greeting"});
    EXPECT_EQ(got.output, "50% done");

    EXPECT_EQ(qh::reg_delete_key_path(key), 0);
}

}  // namespace
