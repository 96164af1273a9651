// Another run that holds the operation scope: an operation waits for it once,
// within the lock wait, and then fails without touching anything.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/lock_wait.h"
#include "platform/platform.h"
#include "support/registry_helpers.h"
#include "support/scope_holder.h"
#include "support/test_support.h"

namespace {

namespace platform = qh::platform;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST(LockWait, SettingIsMillisecondsOrTheDefault) {
    struct Case {
        std::optional<std::string_view> setting;
        std::uint32_t wait_ms;
    };
    const Case cases[] = {
        {std::nullopt, platform::kDefaultLockWaitMs},
        {"", platform::kDefaultLockWaitMs},
        {"0", 0},
        {"250", 250},
        {"0250", 250},
        {" 250", platform::kDefaultLockWaitMs},
        {"250ms", platform::kDefaultLockWaitMs},
        {"-1", platform::kDefaultLockWaitMs},
        {"3600000", platform::kMaxLockWaitMs},
        {"3600001", platform::kMaxLockWaitMs},
        // Would wrap around a 64-bit number if taken digit by digit.
        {"99999999999999999999999", platform::kMaxLockWaitMs},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::lock_wait_ms(c.setting), c.wait_ms) << c.setting.value_or("(unset)");
}

constexpr int kWaitMs = 400;

class HeldScope : public testing::Test {
  protected:
    void SetUp() override {
        qh_test::set_env(platform::kLockWaitVariable, std::to_string(kWaitMs));
    }
    void TearDown() override { qh_test::unset_env(platform::kLockWaitVariable); }
};

TEST_F(HeldScope, BeginGivesUpAfterTheWaitAndLeavesNothingOpen) {
    qh_test::ScopeHolder holder;
    ASSERT_TRUE(holder.holds());
    const auto start = steady_clock::now();
    EXPECT_EQ(platform::operation_begin(), platform::kErrorTimeout);
    EXPECT_GE(steady_clock::now() - start, milliseconds(kWaitMs - 50));
    // Nothing was begun, so there is nothing to end.
    EXPECT_EQ(platform::operation_end(), platform::kErrorSuccess);

    EXPECT_EQ(holder.release(), 0);
    ASSERT_EQ(platform::operation_begin(), platform::kErrorSuccess);
    EXPECT_EQ(platform::operation_end(), platform::kErrorSuccess);
}

TEST_F(HeldScope, EachOperationWaitsOnceThenFailsUntouched) {
    const std::string key = "HKEY_CURRENT_USER\\Software\\QhHeldScope";
    const std::string file = qh_test::scratch_dir("held-scope") + "\\five.reg";
    std::string lines = "REGEDIT4\n\n[" + key + "]\n";
    for (const char* name : {"a", "b", "c", "d", "e"})
        lines += "\"" + std::string(name) + "\"=\"value\"\n";
    ASSERT_TRUE(qh_test::write_file(file, lines));
    const std::vector<std::string> args = {"+regv", key,         "single", "x",      "+regf",
                                           file,    "-read-reg", key,      "single", "-no-refresh"};

    qh_test::ToolRun run;
    steady_clock::duration took{};
    {
        qh_test::ScopeHolder holder;
        ASSERT_TRUE(holder.holds());
        const auto start = steady_clock::now();
        run = qh_test::run_tool(args);
        took = steady_clock::now() - start;
    }
    const std::string failed(qh_test::kFailed);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.output, qh_test::text_mode(failed + failed + failed));
    const std::string held =
        ": another run of the tool held the registry for longer than the "
        "lock wait\n";
    EXPECT_EQ(run.errors, qh_test::text_mode("quillhaven: +regv " + key + " single x" + held +
                                             "quillhaven: +regf " + file + held +
                                             "quillhaven: -read-reg " + key + " single" + held));
    // Three operations, three waits: not one per value of the file.
    EXPECT_GE(took, milliseconds(3 * kWaitMs));
    EXPECT_LT(took, milliseconds(3 * kWaitMs + 8000));
    EXPECT_FALSE(qh_test::key_exists(qh_test::hkcu(), "Software\\QhHeldScope"));

    // With the scope free again the same run does it all.
    run = qh_test::run_tool(args);
    EXPECT_EQ(run.output,
              qh_test::text_mode(std::string(qh_test::kSucceeded) +
                                 std::string(qh_test::kSucceeded) + "\n[" + key + "]\nsingle=x\n"));
    for (const char* name : {"single", "a", "e"})
        EXPECT_TRUE(qh_test::read_value(qh_test::hkcu(), "Software\\QhHeldScope", name)) << name;
    qh::platform::reg_delete_tree(qh_test::hkcu(), "Software\\QhHeldScope");
}

}  // namespace
