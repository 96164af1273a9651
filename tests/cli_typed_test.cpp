// The whole way of a value of every type: set with +regt, listed with -regq
// and =regq, exported with -rege, imported into the emptied key with +regf,
// and compared byte for byte; then the failures of the three options.
#include <gtest/gtest.h>

#include <string>

#include "regfile/utf8.h"
#include "registry/reg_value.h"
#include "support/registry_helpers.h"
#include "support/typed_rows.h"

namespace {

using namespace std::string_literals;
using qh_test::CliRun;
using qh_test::kFailed;
using qh_test::kSucceeded;
using qh_test::run_cli;

constexpr const char* kBase = "Software\\QuillhavenTests\\cli_typed";
const std::string kPath = std::string("HKEY_CURRENT_USER\\") + kBase;

class TypedCommands : public testing::Test {
  protected:
    void SetUp() override {
        qh::reg_delete_key_at(qh_test::hkcu(), kBase);
        dir_ = qh_test::scratch_dir("cli_typed");
    }
    void TearDown() override { qh::reg_delete_key_at(qh_test::hkcu(), kBase); }

    // Every row set with +regt, and a subkey with a value and an empty one.
    void set_every_type() {
        for (const qh_test::EveryTypeRow& row : qh_test::every_type_rows()) {
            SCOPED_TRACE(row.name);
            std::vector<std::string> args = {"-language", "english", "+regt", kPath};
            if (!row.name.empty()) args.push_back(row.name);
            args.insert(args.end(), {row.type, row.data});
            const CliRun run = run_cli(args);
            EXPECT_EQ(run.output, row.stored_type ? kSucceeded : kFailed) << run.errors;
        }
        ASSERT_EQ(run_cli({"+regt", kPath + "\\sub", "v", "REG_SZ", "1"}).output, kSucceeded);
        ASSERT_EQ(run_cli({"+regk", kPath + "\\empty"}).output, kSucceeded);
    }

    void expect_every_type_stored() {
        for (const qh_test::EveryTypeRow& row : qh_test::every_type_rows()) {
            SCOPED_TRACE(row.name);
            std::u16string name;
            // The names are code page 1252 text: each byte is its unit.
            for (const char c : row.name)
                name += static_cast<char16_t>(static_cast<unsigned char>(c));
            const auto stored =
                qh_test::read_value_wide(qh_test::hkcu(), qh_test::widened(kBase), name);
            ASSERT_EQ(stored.has_value(), row.stored_type.has_value());
            if (!stored) continue;
            EXPECT_EQ(stored->type, *row.stored_type);
            EXPECT_EQ(stored->data, row.stored);
        }
    }

    std::string dir_;
};

TEST_F(TypedCommands, EveryTypeSetListedExportedAndImportedAgain) {
    set_every_type();
    expect_every_type_stored();

    std::string values;
    for (const qh_test::EveryTypeRow& row : qh_test::every_type_rows()) {
        if (!row.stored_type) continue;
        const std::string name = row.name.empty() ? "(Default)"s : row.name;
        // The code page of the run (936) has no thorn.
        std::string printed;
        for (const char c : name) printed += c == '\xfe' ? '?' : c;
        values += "    " + printed + "    " + row.listed + "\n";
    }
    const CliRun listed = run_cli({"-regq", kPath, "+regk", kPath + "\\never"});
    EXPECT_EQ(listed.exit_code, 0);
    EXPECT_EQ(listed.output,
              "\n" + kPath + "\n" + values + "\n" + kPath + "\\empty\n" + kPath + "\\sub\n");
    EXPECT_FALSE(qh_test::key_exists(qh_test::hkcu(), std::string(kBase) + "\\never"));
    // =regq: every key below as a block of its own, values or not; a trailing
    // backslash of KEY is not printed.
    EXPECT_EQ(run_cli({"=regq", kPath + "\\"}).output, "\n" + kPath + "\n" + values + "\n" + kPath +
                                                           "\\empty\n\n" + kPath +
                                                           "\\sub\n    v    REG_SZ    1\n\n");

    const std::string file = dir_ + "\\every.reg";
    ASSERT_EQ(run_cli({"-rege", kPath, file}).output, kSucceeded);
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[" + kPath + "]\r\n";
    for (const qh_test::EveryTypeRow& row : qh_test::every_type_rows())
        if (row.stored_type) text += row.exported + "\r\n";
    text += "\r\n[" + kPath + "\\empty]\r\n\r\n[" + kPath + "\\sub]\r\n\"v\"=\"1\"\r\n\r\n";
    const std::optional<std::string> exported = qh_test::read_file(file);
    ASSERT_TRUE(exported.has_value());
    EXPECT_EQ(*exported, "\xff\xfe"s + qh_test::le_bytes(qh::utf8_to_utf16(text)));

    // Into the emptied key: every value back, byte for byte, and the same
    // export again.
    qh::reg_delete_key_at(qh_test::hkcu(), kBase);
    ASSERT_EQ(run_cli({"+regf", file}).output, kSucceeded);
    expect_every_type_stored();
    const std::string again = dir_ + "\\again.reg";
    ASSERT_EQ(run_cli({"-rege", kPath, again}).output, kSucceeded);
    EXPECT_EQ(qh_test::read_file(again), exported);
}

TEST_F(TypedCommands, FailuresSayWhyAndChangeNothing) {
    const std::string file = dir_ + "\\kept.reg";
    ASSERT_TRUE(qh_test::write_file(file, "old"));
    struct Case {
        std::vector<std::string> args;
        std::string reason;
    };
    const Case cases[] = {
        {{"+regt", kPath, "v", "REG_WORD", "1"},
         "REG_WORD is no value type: REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, "
         "REG_BINARY or REG_NONE"},
        {{"+regt", kPath, "v", "REG_DWORD", "-1"},
         "\"-1\" is no number from 0 to 4294967295 (decimal, or hexadecimal after 0x)"},
        {{"+regt", kPath, "v", "REG_BINARY", "0x1"}, "\"0x1\" is not a run of hexadecimal digits"},
        {{"+regt", "HKEY_CURRENT_USER\\", "v", "REG_SZ", "x"},
         "HKEY_CURRENT_USER\\ names a whole root key; name a key below it"},
        {{"-regq", kPath}, kPath + ": the key does not exist"},
        {{"=regq", "HKCU\\Software"},
         "HKCU is not a registry root; name one in full, such as HKEY_LOCAL_MACHINE"},
        {{"-rege", kPath, file}, kPath + ": the key does not exist"},
        {{"-rege", "HKEY_DYN_DATA\\x", file}, "HKEY_DYN_DATA is not exported"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const CliRun run = run_cli(c.args);
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.output, kFailed);
        std::string line = "quillhaven:";
        for (const std::string& arg : c.args) line += " " + arg;
        EXPECT_EQ(run.errors, line + ": " + c.reason + "\n");
    }
    EXPECT_FALSE(qh_test::key_exists(qh_test::hkcu(), kBase));
    EXPECT_EQ(qh_test::read_file(file), "old");

    // A file that cannot be replaced stays as it was, and no other is left.
    ASSERT_EQ(run_cli({"+regt", kPath, "v", "REG_SZ", "x"}).output, kSucceeded);
    ASSERT_TRUE(qh_test::set_read_only(file, true));
    const CliRun refused = run_cli({"-rege", kPath, file});
    EXPECT_EQ(refused.output, kFailed);
    EXPECT_NE(refused.errors.find(file + " cannot be written: "), std::string::npos)
        << refused.errors;
    ASSERT_TRUE(qh_test::set_read_only(file, false));
    EXPECT_EQ(qh_test::read_file(file), "old");
    EXPECT_FALSE(qh_test::path_exists(dir_ + "\\missing\\x.reg"));
    EXPECT_EQ(run_cli({"-rege", kPath, dir_ + "\\missing\\x.reg"}).output, kFailed);

    // A listing ends the run; its failure does not.
    const CliRun listed =
        run_cli({"-regq", kPath + "\\none", "-regq", kPath, "+regk", kPath + "\\x"});
    EXPECT_EQ(listed.output, std::string(kFailed) + "\n" + kPath + "\n    v    REG_SZ    x\n\n");
    EXPECT_FALSE(qh_test::key_exists(qh_test::hkcu(), std::string(kBase) + "\\x"));
}

// A value under an environment key is an environment change: the run ends
// with the broadcast, where it can be seen.
TEST_F(TypedCommands, EnvironmentKeysBroadcast) {
    const auto count = qh_test::broadcast_count();
    if (!count) GTEST_SKIP() << "broadcasts cannot be seen here";
    qh_test::ValueRestorer restore(qh_test::hkcu(), "Environment", "QH_TYPED_HOME");
    EXPECT_EQ(run_cli({"+regt", "hkey_current_user\\environment\\", "QH_TYPED_HOME",
                       "REG_EXPAND_SZ", "%ProgramFiles%\\x"})
                  .output,
              kSucceeded);
    EXPECT_EQ(qh_test::broadcast_count(), *count + 1);
    EXPECT_EQ(run_cli({"+regt", kPath, "QH_TYPED_HOME", "REG_SZ", "x"}).output, kSucceeded);
    EXPECT_EQ(qh_test::broadcast_count(), *count + 1);
}

}  // namespace
