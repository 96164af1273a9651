// +regt's TYPE and DATA: what each row of reg add's forms stores, read back
// through the W calls, and that a refused row writes nothing.
#include <gtest/gtest.h>

#include <string>

#include "registry/reg_commands.h"
#include "support/registry_helpers.h"
#include "support/typed_rows.h"

namespace {

namespace platform = qh::platform;
constexpr const char* kBase = "Software\\QuillhavenTests\\typed";
const std::string kBasePath = std::string("HKEY_CURRENT_USER\\") + kBase;

class TypedValues : public testing::Test {
  protected:
    void SetUp() override { qh::reg_delete_key_at(qh_test::hkcu(), kBase); }
    void TearDown() override {
        qh::reg_delete_key_at(qh_test::hkcu(), kBase);
        platform::locale_select("C");
    }
};

TEST_F(TypedValues, EachRowStoresWhatRegAddStores) {
    const auto& rows = qh_test::typed_rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const qh_test::TypedRow& row = rows[i];
        SCOPED_TRACE(std::string(row.type) + " \"" + row.data + "\"");
        const std::string name = "v" + std::to_string(i);
        qh::Failure failure;
        const int result =
            qh::reg_set_typed_path_value(kBasePath, name, row.type, row.data, &failure);
        const auto stored = qh_test::read_value_wide(qh_test::hkcu(), kBase, name);
        if (!row.stored_type) {
            EXPECT_EQ(result, qh::kValueDataRefused);
            EXPECT_FALSE(failure.reason.empty());
            EXPECT_FALSE(stored.has_value());
            continue;
        }
        ASSERT_EQ(result, 0) << failure.reason;
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(stored->type, *row.stored_type);
        EXPECT_EQ(stored->data, row.stored);
    }
}

TEST_F(TypedValues, KeyFailuresAndTheDefaultValue) {
    // Nothing is created for a refused value, nor below a bare root.
    EXPECT_EQ(qh::reg_set_typed_path_value(kBasePath, "v", "REG_DWORD", "x"),
              qh::kValueDataRefused);
    EXPECT_FALSE(qh_test::key_exists(qh_test::hkcu(), kBase));
    EXPECT_EQ(qh::reg_set_typed_path_value("HKEY_CURRENT_USER\\", "v", "REG_SZ", "x"),
              qh::kValueKeyFailed);
    EXPECT_EQ(qh::reg_set_typed_path_value("HKCU\\Software", "v", "REG_SZ", "x"),
              qh::kValuePathRootUnknown);
    ASSERT_EQ(qh::reg_set_typed_path_value(kBasePath, std::nullopt, "REG_SZ", "d"), 0);
    const auto stored = qh_test::read_value_wide(qh_test::hkcu(), kBase, "");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->data, std::string("d\0\0\0", 4));
}

// Bytes the code page cannot read are split as they stand, and stored as
// REG_SZ stores them.
TEST_F(TypedValues, ListOfBytesTheCodePageCannotRead) {
    ASSERT_TRUE(platform::locale_select("chinese-simplified"));
    ASSERT_EQ(qh::reg_set_typed_path_value(kBasePath, "sz", "REG_SZ", "\xfe"), 0);
    ASSERT_EQ(qh::reg_set_typed_path_value(kBasePath, "multi", "REG_MULTI_SZ", "a\\0\xfe"), 0);
    const auto sz = qh_test::read_value_wide(qh_test::hkcu(), kBase, "sz");
    const auto multi = qh_test::read_value_wide(qh_test::hkcu(), kBase, "multi");
    ASSERT_TRUE(sz && multi);
    EXPECT_EQ(multi->data, std::string("a\0\0\0", 4) + sz->data + std::string(2, '\0'));
}

}  // namespace
