// The value primitives against the machine's registry (the emulated one
// natively, the prefix's under Wine).
#include <gtest/gtest.h>

#include <string>

#include "registry/reg_value.h"
#include "support/registry_helpers.h"

namespace {

using namespace std::string_literals;
namespace p = qh::platform;

const qh::Key kUser = p::root_key(p::Root::current_user);
constexpr const char* kBase = "Software\\QuillhavenTest\\primitives";

class RegistryPrimitives : public testing::Test {
  protected:
    void SetUp() override { qh::reg_delete_key_at(kUser, kBase); }
    void TearDown() override { qh::reg_delete_key_at(kUser, kBase); }

    static std::string sub(const std::string& tail) { return std::string(kBase) + "\\" + tail; }
};

TEST_F(RegistryPrimitives, WrittenTextReadsBackWithTerminator) {
    ASSERT_EQ(qh::reg_write_sz_at("C:\\gs\\gsdll32.dll", kUser, sub("a\\b"), "GS_DLL"), 0);
    qh::RegValue value;
    ASSERT_EQ(qh::reg_read_value_at(value, kUser, sub("a\\b"), "GS_DLL"), 0);
    EXPECT_EQ(value.type, p::kRegSz);
    EXPECT_EQ(value.data, "C:\\gs\\gsdll32.dll\0"s);

    ASSERT_EQ(qh::reg_write_sz_at("", kUser, sub("a"), "empty"), 0);
    ASSERT_EQ(qh::reg_read_value_at(value, kUser, sub("a"), "empty"), 0);
    EXPECT_EQ(value.data, "\0"s);

    ASSERT_EQ(qh::reg_write_text_at("%X%", p::kRegExpandSz, kUser, sub("a"), "ex"), 0);
    ASSERT_EQ(qh::reg_read_value_at(value, kUser, sub("a"), "ex"), 0);
    EXPECT_EQ(value.type, p::kRegExpandSz);
    EXPECT_EQ(value.data, "%X%\0"s);
}

TEST_F(RegistryPrimitives, AbsentAndEmptyNameAreTheDefaultValue) {
    ASSERT_EQ(qh::reg_write_sz_at("default", kUser, kBase, std::nullopt), 0);
    qh::RegValue value;
    ASSERT_EQ(qh::reg_read_value_at(value, kUser, kBase, ""), 0);
    EXPECT_EQ(value.data, "default\0"s);
    ASSERT_EQ(qh::reg_write_sz_at("again", kUser, kBase, ""), 0);
    ASSERT_EQ(qh::reg_read_value_at(value, kUser, kBase, std::nullopt), 0);
    EXPECT_EQ(value.data, "again\0"s);
}

TEST_F(RegistryPrimitives, ReadFailuresNameTheirStep) {
    qh::RegValue value{p::kRegSz, "untouched"};
    EXPECT_EQ(qh::reg_read_value_at(value, kUser, sub("missing"), "v"), 1);
    EXPECT_EQ(qh::reg_read_value_at(value, qh::Key{}, kBase, "v"), 1);
    ASSERT_EQ(qh::reg_create_key_at(kUser, kBase), 0);
    EXPECT_EQ(qh::reg_read_value_at(value, kUser, kBase, "missing"), 2);
    EXPECT_EQ(value.data, "untouched");
    EXPECT_FALSE(qh_test::key_exists(kUser, sub("missing")));
}

TEST_F(RegistryPrimitives, ReadLimitIs32767Bytes) {
    qh_test::put_raw(kUser, kBase, "fits", p::kRegBinary, std::string(qh::kMaxValueRead, 'x'));
    qh_test::put_raw(kUser, kBase, "too big", p::kRegBinary,
                     std::string(qh::kMaxValueRead + 1, 'x'));
    qh::RegValue value;
    ASSERT_EQ(qh::reg_read_value_at(value, kUser, kBase, "fits"), 0);
    EXPECT_EQ(value.data.size(), qh::kMaxValueRead);
    EXPECT_EQ(qh::reg_read_value_at(value, kUser, kBase, "too big"), 2);

    const qh::OwnedKey key =
        qh::reg_open_path_for_reading("HKEY_CURRENT_USER\\" + std::string(kBase));
    ASSERT_TRUE(key);
    EXPECT_EQ(qh::reg_read_value(value, key.get(), "too big"), 1);
    EXPECT_EQ(qh::reg_read_value(value, key.get(), "fits"), 0);
}

TEST_F(RegistryPrimitives, TypedWritersStoreTheirBytes) {
    const qh::OwnedKey owned = qh::reg_create_path("HKEY_CURRENT_USER\\" + std::string(kBase));
    ASSERT_TRUE(owned);
    const qh::Key key = owned.get();
    struct Case {
        const char* name;
        int (*write)(qh::Key, const char*);
        std::uint32_t type;
        std::string bytes;
    };
    const Case cases[] = {
        {"dword", [](qh::Key k, const char* n) { return qh::reg_write_dword(0x12345678, k, n); },
         p::kRegDword, "\x78\x56\x34\x12"s},
        {"binary",
         [](qh::Key k, const char* n) { return qh::reg_write_binary("\0\x01\xff"s, k, n); },
         p::kRegBinary, "\0\x01\xff"s},
        {"expand", [](qh::Key k, const char* n) { return qh::reg_write_expand_sz("%P%", k, n); },
         p::kRegExpandSz, "%P%\0"s},
        {"sz", [](qh::Key k, const char* n) { return qh::reg_write_sz("", k, n); }, p::kRegSz,
         "\0"s},
        {"multi",
         [](qh::Key k, const char* n) { return qh::reg_write_multi_sz("a\0b\0\0"s, k, n); },
         p::kRegMultiSz, "a\0b\0\0"s},
        {"multi-empty",
         [](qh::Key k, const char* n) { return qh::reg_write_multi_sz("\0\0"s, k, n); },
         p::kRegMultiSz, "\0\0"s},
        {"multi-lead",
         [](qh::Key k, const char* n) { return qh::reg_write_multi_sz("\0a\0\0"s, k, n); },
         p::kRegMultiSz, "\0a\0\0"s},
        // Bytes after the closing pair are not stored.
        {"multi-tail",
         [](qh::Key k, const char* n) { return qh::reg_write_multi_sz("a\0\0zz"s, k, n); },
         p::kRegMultiSz, "a\0\0"s},
        // An unclosed list is closed.
        {"multi-open",
         [](qh::Key k, const char* n) { return qh::reg_write_multi_sz("a\0b"s, k, n); },
         p::kRegMultiSz, "a\0b\0\0"s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.write(key, c.name), 0);
        qh::RegValue value;
        ASSERT_EQ(qh::reg_read_value(value, key, c.name), 0);
        EXPECT_EQ(value.type, c.type);
        EXPECT_EQ(value.data, c.bytes);
    }
    EXPECT_EQ(qh::reg_delete_value(key, "dword"), 0);
    EXPECT_EQ(qh::reg_delete_value(key, "dword"), 1);
}

TEST_F(RegistryPrimitives, DeletingAValueNeverCreatesItsKey) {
    EXPECT_EQ(qh::reg_delete_value_at(kUser, sub("nowhere\\deeper"), "v"), 1);
    EXPECT_FALSE(qh_test::key_exists(kUser, sub("nowhere")));
    EXPECT_EQ(qh::reg_delete_value_at(qh::Key{}, kBase, "v"), 1);

    ASSERT_EQ(qh::reg_write_sz_at("keep", kUser, kBase, "other"), 0);
    EXPECT_EQ(qh::reg_delete_value_at(kUser, kBase, "absent"), 2);
    ASSERT_EQ(qh::reg_write_sz_at("x", kUser, kBase, "v"), 0);
    EXPECT_EQ(qh::reg_delete_value_at(kUser, kBase, "v"), 0);

    qh::RegValue value;
    EXPECT_EQ(qh::reg_read_value_at(value, kUser, kBase, "v"), 2);
    EXPECT_EQ(qh::reg_read_value_at(value, kUser, kBase, "other"), 0);
}

TEST_F(RegistryPrimitives, KeysAreCreatedWithParentsAndDeletedWhole) {
    EXPECT_EQ(qh::reg_create_key_at(kUser, sub("p\\q\\r")), 0);
    EXPECT_EQ(qh::reg_create_key_at(kUser, sub("p\\q\\r")), 0);  // exists already
    EXPECT_TRUE(qh_test::key_exists(kUser, sub("p\\q")));
    ASSERT_EQ(qh::reg_write_sz_at("v", kUser, sub("p\\q"), "n"), 0);

    EXPECT_EQ(qh::reg_delete_key_at(kUser, sub("p")), 0);
    EXPECT_FALSE(qh_test::key_exists(kUser, sub("p")));
    EXPECT_EQ(qh::reg_delete_key_at(kUser, sub("p")), 2);

    EXPECT_EQ(qh::reg_create_key_at(qh::Key{}, sub("p")), 1);
    EXPECT_EQ(qh::reg_delete_key_at(qh::Key{}, sub("p")), 1);
    EXPECT_EQ(qh::reg_write_sz_at("v", qh::Key{}, sub("p"), "n"), 1);
    EXPECT_FALSE(qh_test::key_exists(kUser, sub("p")));
}

TEST_F(RegistryPrimitives, DeletingARootItselfIsRefused) {
    ASSERT_EQ(qh::reg_write_sz_at("canary", kUser, kBase, "canary"), 0);
    for (const char* subkey : {"", "\\", "\\\\"}) {
        SCOPED_TRACE(subkey);
        EXPECT_EQ(qh::reg_delete_key_at(kUser, subkey), 1);
    }
    qh::RegValue value;
    EXPECT_EQ(qh::reg_read_value_at(value, kUser, kBase, "canary"), 0);
}

TEST_F(RegistryPrimitives, OpenPathForReadingDoesNotCreate) {
    const std::string path = "HKEY_CURRENT_USER\\" + sub("opened");
    EXPECT_FALSE(qh::reg_open_path_for_reading(path));
    EXPECT_FALSE(qh::reg_open_existing_path(path));
    EXPECT_FALSE(qh_test::key_exists(kUser, sub("opened")));
    EXPECT_FALSE(qh::reg_create_path("HKLM\\" + sub("opened")));
    EXPECT_FALSE(qh_test::key_exists(kUser, sub("opened")));

    {
        const qh::OwnedKey written = qh::reg_create_path(path);
        ASSERT_TRUE(written);
        EXPECT_EQ(qh::reg_write_sz("v", written.get(), "n"), 0);
    }
    {
        const qh::OwnedKey read =
            qh::reg_open_path_for_reading("hkey_current_user\\" + sub("OPENED"));
        ASSERT_TRUE(read);
        qh::RegValue value;
        EXPECT_EQ(qh::reg_read_value(value, read.get(), "N"), 0);
        EXPECT_EQ(value.data, "v\0"s);
    }
    const qh::OwnedKey existing = qh::reg_open_existing_path(path);
    ASSERT_TRUE(existing);
    EXPECT_EQ(qh::reg_write_sz("w", existing.get(), "n"), 0);
}

}  // namespace
