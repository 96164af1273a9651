// Runs of the built tool at the same time must not lose each other's edits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "env_fixture.h"

namespace {

using qh::platform::kRegExpandSz;
using qh_test::kUserEnvironment;

TEST(EnvParallel, EightRunsAddingToOneVariableAllLand) {
    constexpr int kRuns = 8;
    const std::string name = "QH_PARALLEL";
    qh_test::ValueRestorer saved(qh_test::hkcu(), std::string(kUserEnvironment), name);
    qh_test::put_text(qh_test::hkcu(), kUserEnvironment, name, kRegExpandSz, "%A%");

    // Several edits per run give the runs more chances to interleave.
    constexpr int kEditsPerRun = 4;
    const std::string base = qh_test::scratch_dir("env_parallel");
    std::vector<std::string> dirs;
    std::vector<std::vector<std::string>> runs;
    for (int i = 0; i < kRuns; ++i) {
        std::vector<std::string> args = {"-no-refresh", "-user", "-end"};
        for (int j = 0; j < kEditsPerRun; ++j) {
            dirs.push_back(base + "\\d" + std::to_string(i) + std::to_string(j));
            ASSERT_TRUE(qh_test::make_directory(dirs.back()));
            args.insert(args.end(), {"+env", name, dirs.back()});
        }
        runs.push_back(args);
    }

    const std::vector<int> exit_codes = qh_test::run_tool_parallel(runs);
    EXPECT_EQ(exit_codes, std::vector<int>(kRuns, 0));

    const std::optional<qh_test::Text> after =
        qh_test::read_typed_text(qh_test::hkcu(), kUserEnvironment, name);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->type, kRegExpandSz);
    const std::string list = ";" + after->text + ";";
    EXPECT_EQ(list.rfind(";%A%;", 0), 0u) << after->text;
    for (const std::string& dir : dirs) {
        EXPECT_NE(list.find(";" + dir + ";"), std::string::npos) << dir << " in " << after->text;
    }
    EXPECT_EQ(after->text.size(), 3 + dirs.size() * (1 + dirs[0].size())) << after->text;
}

}  // namespace
