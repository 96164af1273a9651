// The registry commands on path texts as typed, with their result codes.
#include <gtest/gtest.h>

#include <string>

#include "registry/reg_commands.h"
#include "support/registry_helpers.h"

namespace {

using namespace std::string_literals;

const std::string kUserBase = "HKEY_CURRENT_USER\\Software\\QuillhavenTest\\commands";
const std::string kMachineBase = "HKEY_LOCAL_MACHINE\\SOFTWARE\\QuillhavenTest\\commands";

class RegistryCommands : public testing::Test {
  protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        qh::reg_delete_key_path(kUserBase);
        qh::reg_delete_key_path(kMachineBase);
    }
};

TEST_F(RegistryCommands, SetAndReadNamedAndDefaultValues) {
    for (const std::string& base : {kUserBase, kMachineBase}) {
        SCOPED_TRACE(base);
        const std::string key = base + "\\tovrane";
        ASSERT_EQ(qh::reg_set_path_value("named", key, "name"), 0);
        ASSERT_EQ(qh::reg_set_path_value("unnamed", key, std::nullopt), 0);
        qh::RegValue value;
        ASSERT_EQ(qh::reg_read_path_value(value, key, "name"), 0);
        EXPECT_EQ(qh::reg_value_text(value), "named");
        ASSERT_EQ(qh::reg_read_path_value(value, key, ""), 0);
        EXPECT_EQ(qh::reg_value_text(value), "unnamed");
        EXPECT_EQ(qh::reg_read_path_value(value, key, "absent"), 2);
        EXPECT_EQ(qh::reg_read_path_value(value, key + "\\missing", "name"), 1);
    }
}

TEST_F(RegistryCommands, SetReplacesAnyTypeWithText) {
    {
        const qh::OwnedKey key = qh::reg_create_path(kUserBase);
        ASSERT_TRUE(key);
        ASSERT_TRUE(qh::reg_write_dword(7, key.get(), "n").ok());
    }
    ASSERT_EQ(qh::reg_set_path_value("text", kUserBase, "n"), 0);
    qh::RegValue value;
    ASSERT_EQ(qh::reg_read_path_value(value, kUserBase, "n"), 0);
    EXPECT_EQ(value.type, qh::platform::kRegSz);
    EXPECT_EQ(value.data, "text\0"s);
}

TEST_F(RegistryCommands, UnknownRootsChangeNothing) {
    for (const char* path : {"HKLM\\SOFTWARE\\QuillhavenTest\\commands",
                             "HKEY_CURRENT_USERS\\Software\\QuillhavenTest\\commands",
                             "Software\\QuillhavenTest\\commands"}) {
        SCOPED_TRACE(path);
        qh::RegValue value;
        EXPECT_EQ(qh::reg_read_path_value(value, path, "v"), 10);
        EXPECT_EQ(qh::reg_set_path_value("x", path, "v"), 10);
        EXPECT_EQ(qh::reg_delete_path_value(path, "v"), 1);
        EXPECT_EQ(qh::reg_create_key_path(path), 1);
        EXPECT_EQ(qh::reg_delete_key_path(path), 1);
    }
    EXPECT_FALSE(qh_test::key_exists(kUserBase));
    EXPECT_FALSE(qh_test::key_exists(kMachineBase));
}

TEST_F(RegistryCommands, DeleteValueOnlyWhereTheKeyExists) {
    EXPECT_EQ(qh::reg_delete_path_value(kUserBase + "\\tovrane", "v"), 1);
    EXPECT_FALSE(qh_test::key_exists(kUserBase + "\\tovrane"));
    EXPECT_FALSE(qh_test::key_exists(kUserBase));

    ASSERT_EQ(qh::reg_create_key_path(kUserBase), 0);
    EXPECT_EQ(qh::reg_delete_path_value(kUserBase, std::nullopt), 2);  // no default value
    ASSERT_EQ(qh::reg_set_path_value("d", kUserBase, std::nullopt), 0);
    EXPECT_EQ(qh::reg_delete_path_value(kUserBase, std::nullopt), 0);
    qh::RegValue value;
    EXPECT_EQ(qh::reg_read_path_value(value, kUserBase, ""), 2);
}

TEST_F(RegistryCommands, CreateAndDeleteKeys) {
    const std::string key = kMachineBase + "\\tovrane\\test";
    EXPECT_EQ(qh::reg_create_key_path(key), 0);
    EXPECT_EQ(qh::reg_create_key_path(key), 0);
    ASSERT_EQ(qh::reg_set_path_value("v", key + "\\below", "n"), 0);
    EXPECT_EQ(qh::reg_delete_key_path(kMachineBase + "\\tovrane"), 0);
    EXPECT_FALSE(qh_test::key_exists(kMachineBase + "\\tovrane"));
    EXPECT_EQ(qh::reg_delete_key_path(kMachineBase + "\\tovrane"), 2);
    EXPECT_TRUE(qh_test::key_exists(kMachineBase));
}

TEST_F(RegistryCommands, DeletingAWholeRootIsRefused) {
    ASSERT_EQ(qh::reg_set_path_value("canary", kUserBase, "canary"), 0);
    for (const char* path : {"HKEY_CURRENT_USER\\", "hkey_current_user\\\\"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(qh::reg_delete_key_path(path), 1);
    }
    qh::RegValue value;
    EXPECT_EQ(qh::reg_read_path_value(value, kUserBase, "canary"), 0);
}

}  // namespace
