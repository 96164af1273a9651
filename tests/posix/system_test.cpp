// Family, environment, commands and the broadcast log of the emulated machine.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform/platform.h"
#include "platform/posix/machine.h"
#include "support/test_support.h"

namespace {

using namespace qh::platform;

TEST(EmulatedMachineSystem, FamilyFollowsTheVariableAtEveryCall) {
    struct Case {
        std::optional<const char*> value;
        Family family;
    };
    const Case cases[] = {
        {std::nullopt, Family::nt}, {"9x", Family::win9x}, {"nt", Family::nt},  {"9X", Family::nt},
        {"95", Family::nt},         {"", Family::nt},      {"9x ", Family::nt},
    };
    for (const Case& c : cases) {
        if (c.value)
            qh_test::set_env("QUILLHAVEN_WINDOWS_FAMILY", *c.value);
        else
            qh_test::unset_env("QUILLHAVEN_WINDOWS_FAMILY");
        EXPECT_EQ(windows_family(), c.family) << c.value.value_or("(unset)");
    }
    qh_test::set_windows_family_9x(false);
    EXPECT_EQ(windows_family(), Family::nt);
}

TEST(EmulatedMachineSystem, EnvironmentNamesIgnoreCase) {
    qh_test::set_env("QhEnvProbe", "mixed");
    EXPECT_EQ(env_lookup("QHENVPROBE"), "mixed");
    EXPECT_EQ(env_lookup("qhenvprobe"), "mixed");
    // The host can hold both spellings; the exact one is taken.
    qh_test::set_env("QHENVPROBE", "upper");
    EXPECT_EQ(env_lookup("QHENVPROBE"), "upper");
    EXPECT_EQ(env_lookup("QhEnvProbe"), "mixed");
    qh_test::unset_env("QhEnvProbe");
    qh_test::unset_env("QHENVPROBE");
    EXPECT_EQ(env_lookup("QhEnvProbe"), std::nullopt);
    EXPECT_EQ(env_lookup(""), std::nullopt);
}

TEST(EmulatedMachineSystem, CommandsRunThroughTheShell) {
    struct Case {
        const char* command;
        std::string output;
    };
    const Case cases[] = {
        {"echo first; echo second", "first\nsecond\n"},
        {"printf 'no line end'; exit 3", "no line end"},
        {"echo to-stderr >&2", ""},
        {"no-such-program-of-quillhaven 2>/dev/null", ""},
    };
    for (const Case& c : cases) {
        const CommandResult result = run_command(c.command);
        EXPECT_TRUE(result.started) << c.command;
        EXPECT_EQ(result.output, c.output) << c.command;
    }
}

TEST(EmulatedMachineSystem, BroadcastAppendsOneLineEach) {
    const int before = qh_test::broadcast_count().value_or(-1);
    ASSERT_GE(before, 0);
    broadcast_environment_change();
    broadcast_environment_change();
    EXPECT_EQ(qh_test::broadcast_count(), before + 2);

    std::ifstream log(posix::machine_root() + "/broadcast.log");
    const std::string text{std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>()};
    std::string expected;
    for (int i = 0; i < before + 2; ++i) expected += "WM_WININICHANGE Environment\n";
    EXPECT_EQ(text, expected);
}

}  // namespace
