// Under -dry-run the reads after a change see it: listings, exports,
// detections and audits merge the changes kept in memory with the registry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detect_fixture.h"
#include "registry/reg_value.h"
#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace {

using detect_test::ScratchKey;
using qh::platform::Root;
using qh_test::run_cli;
using Args = std::vector<std::string>;

constexpr const char* kBase = "Software\\QuillhavenTests\\preview";
const std::string kKey = std::string("HKEY_CURRENT_USER\\") + kBase;
const std::string kOk(qh_test::kSucceeded);
const std::string kNo(qh_test::kFailed);

class Preview : public testing::Test {
  protected:
    void SetUp() override {
        qh::reg_delete_key_at(qh_test::hkcu(), kBase);
        dir_ = qh_test::scratch_dir("preview");
        qh_test::set_env("QUILLHAVEN_JOURNAL", "off");
        ASSERT_EQ(run_cli({"+regv", kKey, "v", "old", "+regt", kKey, "w", "REG_DWORD", "5", "+regv",
                           kKey + "\\sub", "d", "x"})
                      .errors,
                  "");
    }
    void TearDown() override {
        qh_test::unset_env("QUILLHAVEN_JOURNAL");
        qh::reg_delete_key_at(qh_test::hkcu(), kBase);
    }
    std::string dir_;
};

TEST_F(Preview, ReadsSeeTheChangesBeforeThem) {
    const std::string file = dir_ + "\\preview.reg";
    qh_test::remove_file(file);
    struct Case {
        Args run;  // after -dry-run
        std::string output;
    };
    const Case cases[] = {
        // A created key is listed after the registry's subkeys.
        {{"+regk", kKey + "\\New", "-regq", kKey + "\\"},
         "would create key " + kKey + "\\New\n" + kOk + "\n" + kKey + "\n    v    REG_SZ    old\n" +
             "    w    REG_DWORD    0x5\n\n" + kKey + "\\sub\n" + kKey + "\\New\n"},
        // A value set shows where it is, with its new type; a new one after.
        {{"+regt", kKey, "v", "REG_EXPAND_SZ", "%x%", "+regv", kKey, "Added", "1", "-regq", kKey},
         "would set " + kKey + "\\v (REG_EXPAND_SZ): %x% (was: old)\n" + kOk + "would set " + kKey +
             "\\Added (REG_SZ): 1 (new)\n" + kOk + "\n" + kKey +
             "\n    v    REG_EXPAND_SZ    %x%\n    w    REG_DWORD    0x5\n    Added    REG_SZ    "
             "1\n\n" +
             kKey + "\\sub\n"},
        // Deleted values and keys are gone, whatever the letter case.
        {{"-regv", kKey, "W", "-regk", kKey + "\\SUB", "=regq", kKey},
         "would delete value W of " + kKey + " (was: dword:00000005)\n" + kOk + "would delete " +
             kKey + "\\SUB (1 value, 0 subkeys)\n" + kOk + "\n" + kKey +
             "\n    v    REG_SZ    old\n\n"},
        // A key deleted and created again holds nothing of the registry's.
        {{"-regk", kKey, "+regk", kKey + "\\sub\\deep", "=regq", kKey},
         "would delete " + kKey + " (3 values, 1 subkey)\n" + kOk + "would create key " + kKey +
             "\\sub\\deep\n" + kOk + "\n" + kKey + "\\sub\n\n" + kKey + "\\sub\\deep\n\n"},
        // A key only the preview has is opened, walked and exported, to no file.
        {{"+regt", kKey + "\\New", "n", "REG_DWORD", "5", "=regq", kKey + "\\New", "-rege", kKey,
          file},
         "would create key " + kKey + "\\New\n" + "would set " + kKey +
             "\\New\\n (REG_DWORD): dword:00000005 (new)\n" + kOk + "\n" + kKey +
             "\\New\n    n    REG_DWORD    0x5\n\n"},
        {{"+regt", kKey + "\\New", "n", "REG_DWORD", "5", "-rege", kKey, file},
         "would create key " + kKey + "\\New\n" + "would set " + kKey +
             "\\New\\n (REG_DWORD): dword:00000005 (new)\n" + kOk + "would write " + file +
             " (3 keys, 4 values)\n" + kOk},
        {{"-regk", kKey, "-rege", kKey, file},
         "would delete " + kKey + " (3 values, 1 subkey)\n" + kOk + kNo},
        // The newest subkey counts the created ones.
        {{"+regv", kKey + "\\zz", "v", "newest", "-regl", kKey, "v"},
         "would create key " + kKey + "\\zz\n" + "would set " + kKey +
             "\\zz\\v (REG_SZ): newest (new)\n" + kOk + "\n[" + kKey + "\\zz]\nv=newest\n"},
    };
    for (const Case& c : cases) {
        Args args = {"-dry-run"};
        args.insert(args.end(), c.run.begin(), c.run.end());
        SCOPED_TRACE(c.run.back());
        EXPECT_EQ(run_cli(args).output, c.output);
    }
    EXPECT_FALSE(qh_test::read_file(file)) << "a dry run writes no file";
    EXPECT_EQ(qh_test::read_text(Root::current_user, kBase, "v"), "old");
    EXPECT_FALSE(qh_test::key_exists(Root::current_user, std::string(kBase) + "\\New"));
}

TEST_F(Preview, DetectionsAndAuditsSeeTheChanges) {
    ScratchKey java(Root::local_machine, "SOFTWARE\\JavaSoft");
    if (java.existed_before()) GTEST_SKIP() << "the machine has its own Java";
    const std::string jre = "HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Runtime Environment";
    qh_test::ValueRestorer variable(Root::current_user, "Environment", "QhPreviewVar");
    qh::reg_delete_value_at(qh_test::hkcu(), "Environment", "QhPreviewVar");
    const std::string user_env = "HKEY_CURRENT_USER\\Environment";
    struct Case {
        Args run;  // after -dry-run
        std::string output;
    };
    const Case cases[] = {
        {{"+regv", jre, "CurrentVersion", "1.4", "+regv", jre + "\\1.4", "JavaHome", "C:\\j2re1.4",
          "-javaw"},
         "would create key " + jre + "\n" + "would set " + jre +
             "\\CurrentVersion (REG_SZ): 1.4 (new)\n" + kOk + "would create key " + jre +
             "\\1.4\n" + "would set " + jre + "\\1.4\\JavaHome (REG_SZ): C:\\j2re1.4 (new)\n" +
             kOk + "C:\\j2re1.4"},
        {{"-user", "=env", "QhPreviewVar", "C:\\x", "-audit", "QhPreviewVar"},
         "would set " + user_env + "\\QhPreviewVar (REG_SZ): C:\\x (new)\n" + kOk +
             "user\t1\tC:\\x\tC:\\x\tmissing\n" +
             "1 entry, 1 with findings, length 4 of 32767 (some programs cut beyond 2047)\n"},
    };
    for (const Case& c : cases) {
        Args args = {"-dry-run"};
        args.insert(args.end(), c.run.begin(), c.run.end());
        SCOPED_TRACE(c.run.back());
        EXPECT_EQ(run_cli(args).output, c.output);
    }
    EXPECT_FALSE(qh_test::key_exists(Root::local_machine, "SOFTWARE\\JavaSoft"));
}

}  // namespace
