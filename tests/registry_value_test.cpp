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
    ASSERT_TRUE(qh::reg_write_sz_at("C:\\gs\\gsdll32.dll", kUser, sub("a\\b"), "GS_DLL").ok());
    qh::RegValue value;
    ASSERT_TRUE(qh::reg_read_value_at(value, kUser, sub("a\\b"), "GS_DLL").ok());
    EXPECT_EQ(value.type, p::kRegSz);
    EXPECT_EQ(value.data, "C:\\gs\\gsdll32.dll\0"s);

    ASSERT_TRUE(qh::reg_write_sz_at("", kUser, sub("a"), "empty").ok());
    ASSERT_TRUE(qh::reg_read_value_at(value, kUser, sub("a"), "empty").ok());
    EXPECT_EQ(value.data, "\0"s);

    ASSERT_TRUE(qh::reg_write_text_at("%X%", p::kRegExpandSz, kUser, sub("a"), "ex").ok());
    ASSERT_TRUE(qh::reg_read_value_at(value, kUser, sub("a"), "ex").ok());
    EXPECT_EQ(value.type, p::kRegExpandSz);
    EXPECT_EQ(value.data, "%X%\0"s);
}

TEST_F(RegistryPrimitives, AbsentAndEmptyNameAreTheDefaultValue) {
    ASSERT_TRUE(qh::reg_write_sz_at("default", kUser, kBase, std::nullopt).ok());
    qh::RegValue value;
    ASSERT_TRUE(qh::reg_read_value_at(value, kUser, kBase, "").ok());
    EXPECT_EQ(value.data, "default\0"s);
    ASSERT_TRUE(qh::reg_write_sz_at("again", kUser, kBase, "").ok());
    ASSERT_TRUE(qh::reg_read_value_at(value, kUser, kBase, std::nullopt).ok());
    EXPECT_EQ(value.data, "again\0"s);
}

TEST_F(RegistryPrimitives, ReadFailuresNameTheirStep) {
    qh::RegValue value{p::kRegSz, "untouched"};
    EXPECT_EQ(qh::reg_read_value_at(value, kUser, sub("missing"), "v").failed, qh::RegStep::key);
    EXPECT_EQ(qh::reg_read_value_at(value, qh::Key{}, kBase, "v").failed, qh::RegStep::key);
    ASSERT_TRUE(qh::reg_create_key_at(kUser, kBase).ok());
    EXPECT_EQ(qh::reg_read_value_at(value, kUser, kBase, "missing").failed, qh::RegStep::value);
    EXPECT_EQ(value.data, "untouched");
    EXPECT_FALSE(qh_test::key_exists(kUser, sub("missing")));
}

TEST_F(RegistryPrimitives, ReadLimitIs32767Bytes) {
    qh_test::put_raw(kUser, kBase, "fits", p::kRegBinary, std::string(qh::kMaxValueRead, 'x'));
    qh_test::put_raw(kUser, kBase, "too big", p::kRegBinary,
                     std::string(qh::kMaxValueRead + 1, 'x'));
    qh::RegValue value;
    ASSERT_TRUE(qh::reg_read_value_at(value, kUser, kBase, "fits").ok());
    EXPECT_EQ(value.data.size(), qh::kMaxValueRead);
    EXPECT_EQ(qh::reg_read_value_at(value, kUser, kBase, "too big").failed, qh::RegStep::value);

    const qh::OwnedKey key = qh::reg_open_for_reading(kUser, kBase);
    ASSERT_TRUE(key);
    EXPECT_EQ(qh::reg_read_value(value, key.get(), "too big").failed, qh::RegStep::value);
    EXPECT_TRUE(qh::reg_read_value(value, key.get(), "fits").ok());
}

TEST_F(RegistryPrimitives, TypedWritersStoreTheirBytes) {
    const qh::OwnedKey owned = qh::reg_create_path("HKEY_CURRENT_USER\\" + std::string(kBase));
    ASSERT_TRUE(owned);
    const qh::Key key = owned.get();
    struct Case {
        const char* name;
        qh::RegResult (*write)(qh::Key, const char*);
        std::uint32_t type;
        std::string bytes;
    };
    const Case cases[] = {
        {"dword", [](qh::Key k, const char* n) { return qh::reg_write_dword(0x12345678, k, n); },
         p::kRegDword, "\x78\x56\x34\x12"s},
        {"binary",
         [](qh::Key k, const char* n) {
             return qh::reg_write_raw("\0\x01\xff"s, p::kRegBinary, k, n);
         },
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
        ASSERT_TRUE(c.write(key, c.name).ok());
        qh::RegValue value;
        ASSERT_TRUE(qh::reg_read_value(value, key, c.name).ok());
        EXPECT_EQ(value.type, c.type);
        EXPECT_EQ(value.data, c.bytes);
    }
    EXPECT_TRUE(qh::reg_delete_value(key, "dword").ok());
    EXPECT_EQ(qh::reg_delete_value(key, "dword").failed, qh::RegStep::value);
}

TEST_F(RegistryPrimitives, DeletingAValueNeverCreatesItsKey) {
    EXPECT_EQ(qh::reg_delete_value_at(kUser, sub("nowhere\\deeper"), "v").failed, qh::RegStep::key);
    EXPECT_FALSE(qh_test::key_exists(kUser, sub("nowhere")));
    EXPECT_EQ(qh::reg_delete_value_at(qh::Key{}, kBase, "v").failed, qh::RegStep::key);

    ASSERT_TRUE(qh::reg_write_sz_at("keep", kUser, kBase, "other").ok());
    EXPECT_EQ(qh::reg_delete_value_at(kUser, kBase, "absent").failed, qh::RegStep::value);
    ASSERT_TRUE(qh::reg_write_sz_at("x", kUser, kBase, "v").ok());
    EXPECT_TRUE(qh::reg_delete_value_at(kUser, kBase, "v").ok());

    qh::RegValue value;
    EXPECT_EQ(qh::reg_read_value_at(value, kUser, kBase, "v").failed, qh::RegStep::value);
    EXPECT_TRUE(qh::reg_read_value_at(value, kUser, kBase, "other").ok());
}

TEST_F(RegistryPrimitives, KeysAreCreatedWithParentsAndDeletedWhole) {
    EXPECT_TRUE(qh::reg_create_key_at(kUser, sub("p\\q\\r")).ok());
    EXPECT_TRUE(qh::reg_create_key_at(kUser, sub("p\\q\\r")).ok());  // exists already
    EXPECT_TRUE(qh_test::key_exists(kUser, sub("p\\q")));
    ASSERT_TRUE(qh::reg_write_sz_at("v", kUser, sub("p\\q"), "n").ok());

    EXPECT_TRUE(qh::reg_delete_key_at(kUser, sub("p")).ok());
    EXPECT_FALSE(qh_test::key_exists(kUser, sub("p")));
    EXPECT_EQ(qh::reg_delete_key_at(kUser, sub("p")).failed, qh::RegStep::key);

    EXPECT_EQ(qh::reg_create_key_at(qh::Key{}, sub("p")), (qh::RegResult{qh::RegStep::key, 0}));
    EXPECT_EQ(qh::reg_delete_key_at(qh::Key{}, sub("p")), (qh::RegResult{qh::RegStep::key, 0}));
    EXPECT_EQ(qh::reg_write_sz_at("v", qh::Key{}, sub("p"), "n").failed, qh::RegStep::key);
    EXPECT_FALSE(qh_test::key_exists(kUser, sub("p")));
}

TEST_F(RegistryPrimitives, DeletingARootItselfIsRefused) {
    ASSERT_TRUE(qh::reg_write_sz_at("canary", kUser, kBase, "canary").ok());
    for (const char* subkey : {"", "\\", "\\\\"}) {
        SCOPED_TRACE(subkey);
        EXPECT_EQ(qh::reg_delete_key_at(kUser, subkey), (qh::RegResult{qh::RegStep::key, 0}));
    }
    qh::RegValue value;
    EXPECT_TRUE(qh::reg_read_value_at(value, kUser, kBase, "canary").ok());
}

TEST_F(RegistryPrimitives, OpenPathForReadingDoesNotCreate) {
    const std::string path = "HKEY_CURRENT_USER\\" + sub("opened");
    EXPECT_FALSE(qh::reg_open_for_reading(kUser, sub("opened")));
    EXPECT_FALSE(qh::reg_open_existing_path(path));
    EXPECT_FALSE(qh_test::key_exists(kUser, sub("opened")));
    EXPECT_FALSE(qh::reg_create_path("HKLM\\" + sub("opened")));
    EXPECT_FALSE(qh_test::key_exists(kUser, sub("opened")));

    {
        const qh::OwnedKey written = qh::reg_create_path(path);
        ASSERT_TRUE(written);
        EXPECT_TRUE(qh::reg_write_sz("v", written.get(), "n").ok());
    }
    {
        const qh::OwnedKey read = qh::reg_open_for_reading(kUser, sub("OPENED"));
        ASSERT_TRUE(read);
        qh::RegValue value;
        EXPECT_TRUE(qh::reg_read_value(value, read.get(), "N").ok());
        EXPECT_EQ(value.data, "v\0"s);
    }
    const qh::OwnedKey existing = qh::reg_open_existing_path(path);
    ASSERT_TRUE(existing);
    EXPECT_TRUE(qh::reg_write_sz("w", existing.get(), "n").ok());
}

}  // namespace
