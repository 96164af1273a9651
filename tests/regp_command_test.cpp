#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "env_fixture.h"

namespace {

using qh::platform::kRegExpandSz;
using qh::platform::kRegSz;
using qh_test::kFailed;
using qh_test::kSucceeded;
using qh_test::Text;

constexpr std::string_view kSubkey = "Software\\QuillhavenRegpTest";
constexpr std::string_view kKeyPath = "HKEY_CURRENT_USER\\Software\\QuillhavenRegpTest";

class RegpCommand : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = qh_test::scratch_dir("regp");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override { qh::platform::reg_delete_tree(qh_test::hkcu(), kSubkey); }
    std::string dir_;
};

TEST_F(RegpCommand, EditsKeepTheStringTypeAndTheReferences) {
    struct Case {
        std::optional<Text> before;  // of the value "Dirs"
        std::vector<std::string> args;
        std::string_view line;
        std::optional<Text> after;
    };
    const std::string d = dir_;
    const std::string key(kKeyPath);
    const Case cases[] = {
        {Text{kRegExpandSz, "%X%\\a"},
         {"+regp", key, "Dirs", d},
         kSucceeded,
         Text{kRegExpandSz, d + ";%X%\\a"}},
        {Text{kRegSz, "C:\\y"},
         {"-end", "+regp", key, "Dirs", d},
         kSucceeded,
         Text{kRegSz, "C:\\y;" + d}},
        {Text{kRegExpandSz, "a;" + d + ";%X%"},
         {"-regp", key, "Dirs", d},
         kSucceeded,
         Text{kRegExpandSz, "a;%X%"}},
        {Text{kRegSz, "a;b"}, {"-regp", key, "Dirs", "C:\\nowhere"}, kFailed, Text{kRegSz, "a;b"}},
        {Text{kRegSz, d}, {"+regp", key, "Dirs", d}, kFailed, Text{kRegSz, d}},
        {Text{kRegSz, "a"}, {"+regp", key, "Dirs", d + "\\missing"}, kFailed, Text{kRegSz, "a"}},
        {std::nullopt, {"+regp", key, "Dirs", d}, kFailed, std::nullopt},
        {std::nullopt, {"-regp", key, "Dirs", d}, kFailed, std::nullopt},
        {Text{kRegSz, "a"},
         {"+regp", "HKLM\\Software\\QuillhavenRegpTest", "Dirs", d},
         kFailed,
         Text{kRegSz, "a"}},
    };
    for (const Case& c : cases) {
        qh::platform::reg_delete_tree(qh_test::hkcu(), kSubkey);
        if (c.before)
            qh_test::put_text(qh_test::hkcu(), kSubkey, "Dirs", c.before->type, c.before->text);
        const qh_test::CliRun run = qh_test::run_cli(c.args);
        EXPECT_EQ(run.output, c.line) << c.args.front();
        EXPECT_EQ(qh_test::read_typed_text(qh_test::hkcu(), kSubkey, "Dirs"), c.after)
            << c.args.front() << " " << c.args.back();
    }
}

TEST_F(RegpCommand, TwoOperandsEditTheDefaultValue) {
    qh_test::put_text(qh_test::hkcu(), kSubkey, std::nullopt, kRegSz, "C:\\y");
    EXPECT_EQ(qh_test::run_cli({"+regp", std::string(kKeyPath), dir_}).output, kSucceeded);
    EXPECT_EQ(qh_test::read_typed_text(qh_test::hkcu(), kSubkey, std::nullopt),
              (Text{kRegSz, dir_ + ";C:\\y"}));
    EXPECT_EQ(qh_test::run_cli({"-regp", std::string(kKeyPath), dir_}).output, kSucceeded);
    EXPECT_EQ(qh_test::read_typed_text(qh_test::hkcu(), kSubkey, std::nullopt),
              (Text{kRegSz, "C:\\y"}));
}

TEST_F(RegpCommand, ValuesThatAreNoTextAreLeftAlone) {
    const std::string number("\x01\x02\x03\x04", 4);
    const std::string list = dir_ + std::string(1, '\0') + "x" + std::string(2, '\0');
    struct Case {
        std::uint32_t type;
        std::string bytes;
        std::string option;
    };
    const Case cases[] = {
        {qh::platform::kRegDword, number, "+regp"},
        {qh::platform::kRegBinary, dir_, "+regp"},
        {qh::platform::kRegMultiSz, list, "-regp"},
    };
    for (const Case& c : cases) {
        qh_test::put_raw(qh_test::hkcu(), kSubkey, "Dirs", c.type, c.bytes);
        EXPECT_EQ(qh_test::run_cli({c.option, std::string(kKeyPath), "Dirs", dir_}).output, kFailed)
            << c.type;
        const std::optional<qh::RegValue> after =
            qh_test::read_value(qh_test::hkcu(), kSubkey, "Dirs");
        ASSERT_TRUE(after);
        EXPECT_EQ(after->type, c.type);
        EXPECT_EQ(after->data, c.bytes);
    }
}

TEST_F(RegpCommand, AMissingKeyIsNotCreated) {
    EXPECT_EQ(qh_test::run_cli({"+regp", std::string(kKeyPath) + "\\Deeper", "Dirs", dir_}).output,
              kFailed);
    EXPECT_FALSE(qh_test::key_exists(qh_test::hkcu(), kSubkey));
}

TEST_F(RegpCommand, EmulatedMachineNoBroadcastForARegistryValue) {
    if (!qh_test::on_emulated_machine()) GTEST_SKIP() << "broadcasts are not observable here";
    qh_test::put_text(qh_test::hkcu(), kSubkey, "Dirs", kRegSz, "C:\\y");
    const std::optional<int> before = qh_test::broadcast_count();
    ASSERT_TRUE(before);
    EXPECT_EQ(qh_test::run_cli({"+regp", std::string(kKeyPath), "Dirs", dir_}).output, kSucceeded);
    EXPECT_EQ(qh_test::broadcast_count(), before);
}

}  // namespace
