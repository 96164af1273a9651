// The two registry views: what a 32-bit installer wrote is seen in the
// 32-bit view only, and only below HKEY_LOCAL_MACHINE\SOFTWARE.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "detect_fixture.h"

namespace {

namespace platform = qh::platform;
using detect_test::Root;
using detect_test::ScratchKey;
using platform::View;

constexpr const char* kKey = "SOFTWARE\\QuillhavenViewTest";

// "v" of the key opened in the view, through one or two opens; nothing when
// the key or the value is missing.
std::optional<std::string> read_in_view(Root root, const std::string& subkey, View view,
                                        const std::string& then = "") {
    platform::Key key;
    if (platform::reg_open_key(platform::root_key(root), subkey, key, view) !=
        platform::kErrorSuccess) {
        return std::nullopt;
    }
    std::optional<std::string> text;
    platform::Key below = key;
    if (then.empty() || platform::reg_open_key(key, then, below) == platform::kErrorSuccess) {
        std::uint32_t type = 0;
        std::string data;
        if (platform::reg_query_value(below, "v", type, data, 100) == platform::kErrorSuccess) {
            text = data.substr(0, data.find('\0'));
        }
        if (below != key) platform::reg_close_key(below);
    }
    platform::reg_close_key(key);
    return text;
}

bool has_subkey(Root root, const std::string& subkey, View view, const std::string& name) {
    platform::Key key;
    if (platform::reg_open_key(platform::root_key(root), subkey, key, view) !=
        platform::kErrorSuccess) {
        return false;
    }
    bool found = false;
    std::string child;
    for (std::uint32_t i = 0; !found; ++i) {
        const long answer = platform::reg_enum_key(key, i, child, 512);
        if (answer == platform::kErrorNoMoreItems) break;
        found = answer == platform::kErrorSuccess && child == name;
    }
    platform::reg_close_key(key);
    return found;
}

TEST(RegistryViews, ThirtyTwoBitViewOfMachineSoftwareIsWow6432Node) {
    ScratchKey native(Root::local_machine, kKey);
    ScratchKey redirected(Root::local_machine, "SOFTWARE\\WOW6432Node\\QuillhavenViewTest");
    ScratchKey user(Root::current_user, kKey);
    if (native.existed_before() || redirected.existed_before() || user.existed_before()) {
        GTEST_SKIP() << "the machine has its own " << kKey;
    }
    native.set("Sub", "v", "64");
    ASSERT_TRUE(qh_test::write_32bit_view(std::string(kKey) + "\\Sub", "v", "32"));
    user.set("Sub", "v", "user");

    struct Case {
        const char* label;
        Root root;
        std::string subkey;
        View view;
        std::string then;  // opened below the first key, without a view
        std::optional<std::string> value;
    };
    const std::string sub = std::string(kKey) + "\\Sub";
    const Case cases[] = {
        {"native view", Root::local_machine, sub, View::native, "", "64"},
        {"32-bit view", Root::local_machine, sub, View::wow32, "", "32"},
        {"a key opened in the view keeps it", Root::local_machine, kKey, View::wow32, "Sub", "32"},
        {"the native key's subkeys are native", Root::local_machine, kKey, View::native, "Sub",
         "64"},
        {"SOFTWARE itself is redirected", Root::local_machine, "SOFTWARE", View::wow32,
         "QuillhavenViewTest\\Sub", "32"},
        {"WOW6432Node named outright is not redirected twice", Root::local_machine,
         "SOFTWARE\\WOW6432Node\\QuillhavenViewTest\\Sub", View::wow32, "", "32"},
        {"the current user's keys are shared", Root::current_user, sub, View::wow32, "", "user"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(read_in_view(c.root, c.subkey, c.view, c.then), c.value);
    }
    EXPECT_TRUE(has_subkey(Root::local_machine, "SOFTWARE", View::wow32, "QuillhavenViewTest"));
    EXPECT_FALSE(has_subkey(Root::local_machine, "SOFTWARE", View::wow32, "WOW6432Node"));
}

TEST(RegistryViews, CommandsReadAndWriteTheNativeView) {
    ScratchKey native(Root::local_machine, kKey);
    ScratchKey redirected(Root::local_machine, "SOFTWARE\\WOW6432Node\\QuillhavenViewTest");
    if (native.existed_before() || redirected.existed_before()) {
        GTEST_SKIP() << "the machine has its own " << kKey;
    }
    ASSERT_TRUE(qh_test::write_32bit_view(std::string(kKey) + "\\Sub", "v", "32"));
    const std::string path = std::string("HKEY_LOCAL_MACHINE\\") + kKey;

    EXPECT_EQ(qh_test::run_cli({"-read-reg", path + "\\Sub", "v"}).output,
              std::string(qh_test::kFailed));
    EXPECT_EQ(qh_test::run_cli({"+regv", path + "\\Sub", "v", "64"}).output,
              std::string(qh_test::kSucceeded));
    EXPECT_EQ(read_in_view(Root::local_machine, std::string(kKey) + "\\Sub", View::native), "64");
    EXPECT_EQ(read_in_view(Root::local_machine, std::string(kKey) + "\\Sub", View::wow32), "32");
}

}  // namespace
