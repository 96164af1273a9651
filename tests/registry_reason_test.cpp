// The pieces of the registry's reasons: the system's messages as clauses,
// key names from root handles, and type names.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "registry/reg_reason.h"
#include "support/test_support.h"

namespace {

using qh::platform::Root;

// Whatever the system's wording, a clause is one line that reads on after
// "<key>: ".
TEST(RegistryReason, SystemMessagesBecomeOneLineClauses) {
    for (const long status : {2L, 3L, 5L, 6L, 87L, 161L, 234L, 1018L}) {
        SCOPED_TRACE(status);
        const std::string message = qh::platform::status_message(status);
        const std::string clause = qh::reg_status_clause(status);
        EXPECT_FALSE(message.empty());
        EXPECT_EQ(message.find_first_of("\r\n"), std::string::npos) << message;
        EXPECT_NE(message.back(), ' ');
        EXPECT_NE(message.rfind("error ", 0), 0u) << "the system has a message for " << status;
        ASSERT_FALSE(clause.empty());
        EXPECT_NE(clause.back(), '.');
        EXPECT_FALSE(clause[0] >= 'A' && clause[0] <= 'Z' && clause[1] >= 'a' && clause[1] <= 'z')
            << clause;
    }
    EXPECT_EQ(qh::platform::status_message(0x7abc1234), "error " + std::to_string(0x7abc1234));
}

// The emulated machine speaks as Windows does.
TEST(RegistryReason, EmulatedMachineUsesTheWindowsTexts) {
    if (!qh_test::on_emulated_machine()) GTEST_SKIP() << "the system's own texts";
    EXPECT_EQ(qh::platform::status_message(5), "Access is denied.");
    EXPECT_EQ(qh::reg_status_clause(5), "access is denied");
    // An initialism keeps its capitals.
    EXPECT_EQ(qh::reg_status_clause(1016).rfind("an I/O operation", 0), 0u);
}

TEST(RegistryReason, KeyNamesAndTypeNames) {
    const struct {
        Root root;
        std::string name;
    } roots[] = {{Root::classes_root, "HKEY_CLASSES_ROOT\\a\\b"},
                 {Root::current_user, "HKEY_CURRENT_USER\\a\\b"},
                 {Root::local_machine, "HKEY_LOCAL_MACHINE\\a\\b"},
                 {Root::users, "HKEY_USERS\\a\\b"},
                 {Root::current_config, "HKEY_CURRENT_CONFIG\\a\\b"}};
    for (const auto& r : roots) {
        EXPECT_EQ(qh::reg_key_name(qh::platform::root_key(r.root), "a\\b"), r.name);
    }
    EXPECT_EQ(qh::reg_type_name(qh::platform::kRegExpandSz), "REG_EXPAND_SZ");
    EXPECT_EQ(qh::reg_type_name(qh::platform::kRegMultiSz), "REG_MULTI_SZ");
    EXPECT_EQ(qh::reg_type_name(qh::platform::kRegQword), "REG_QWORD");
    EXPECT_EQ(qh::reg_type_name(12), "type 12");
    EXPECT_EQ(qh::reg_value_label(std::nullopt), "the default value");
    EXPECT_EQ(qh::reg_value_label(""), "the default value");
    EXPECT_EQ(qh::reg_value_label("Path"), "the value Path");
}

}  // namespace
