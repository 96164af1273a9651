// Imports that the registry refuses under Wine: what was asked decides
// whether the import goes on or ends with a failure.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "regfile/regfile.h"
#include "support/registry_helpers.h"

namespace {

constexpr const char* kBase = "Software\\QuillhavenWineRegfile";
const std::string kBasePath = std::string("HKEY_CURRENT_USER\\") + kBase;

class WineRegfile : public testing::Test {
  protected:
    void SetUp() override {
        qh::reg_delete_key_at(qh_test::hkcu(), kBase);
        dir_ = qh_test::scratch_dir("wine_regfile");
        // A volatile key lives in memory only: the registry refuses a lasting
        // key below it, whatever the caller's rights.
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kBase) + "\\volatile").c_str(), 0,
                            nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void TearDown() override { qh::reg_delete_key_at(qh_test::hkcu(), kBase); }

    int apply(const std::string& body, qh::Failure* failure) {
        const std::string path = dir_ + "\\f" + std::to_string(++files_) + ".reg";
        EXPECT_TRUE(qh_test::write_file(path, qh_test::crlf(body)));
        return qh::regfile_apply(path, failure);
    }

    std::string dir_;
    int files_ = 0;
};

TEST_F(WineRegfile, RegistryRefusalEndsTheImportAccessDoesNot) {
    qh::Failure failure;
    // A root this system lacks names no key: passed over.
    EXPECT_EQ(apply("[HKEY_DYN_DATA\\Quillhaven]\n\"a\"=\"1\"\n[" + kBasePath + "]\n\"b\"=\"2\"\n",
                    &failure),
              0);
    EXPECT_TRUE(qh_test::read_value(qh_test::hkcu(), kBase, "b").has_value());

    EXPECT_EQ(apply("[" + kBasePath + "]\n\"c\"=\"3\"\n[" + kBasePath +
                        "\\volatile\\lasting]\n\"d\"=\"4\"\n[" + kBasePath + "]\n\"e\"=\"5\"\n",
                    &failure),
              4);
    EXPECT_NE(failure.reason.find(", line 3: " + kBasePath + "\\volatile\\lasting: "),
              std::string::npos)
        << failure.reason;
    EXPECT_EQ(failure.status, ERROR_CHILD_MUST_BE_VOLATILE);
    EXPECT_TRUE(qh_test::read_value(qh_test::hkcu(), kBase, "c").has_value());
    EXPECT_FALSE(qh_test::read_value(qh_test::hkcu(), kBase, "e").has_value());
}

// Devices are no files to import.
TEST_F(WineRegfile, DevicesAreRefused) {
    for (const char* device : {"NUL", "CON", "Z:\\dev\\zero"})
        EXPECT_EQ(qh::regfile_apply(device), 1) << device;
}

}  // namespace
