// +regt, -regq and -rege against Wine's own reg add, reg query and regedit /e
// on the same data: what reg add stores, +regt must store; what reg query
// prints, -regq must print (but for a QWORD, which Wine's reg prints as
// "(null)" where Windows prints the number); and -rege must write the file
// regedit /e writes, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>

#include "regfile/utf8.h"
#include "registry/reg_value.h"
#include "support/registry_helpers.h"
#include "support/typed_rows.h"
#include "support/win32/processes.h"

namespace {

using namespace std::string_literals;
namespace platform = qh::platform;
using qh_test::kSucceeded;
using qh_test::run_cli;

constexpr const char* kReg = "C:\\windows\\system32\\reg.exe";
constexpr const char* kRegedit = "C:\\windows\\regedit.exe";
constexpr const char* kBase = "Software\\QuillhavenWineTyped";
const std::string kPath = std::string("HKEY_CURRENT_USER\\") + kBase;

class WineTyped : public testing::Test {
  protected:
    void SetUp() override {
        qh::reg_delete_key_at(qh_test::hkcu(), kBase);
        dir_ = qh_test::scratch_dir("wine_typed");
    }
    void TearDown() override { qh::reg_delete_key_at(qh_test::hkcu(), kBase); }

    static int reg(const std::vector<std::string>& args) {
        return qh_test::win32::run_program(kReg, args).exit_code;
    }
    // regedit /e of a key: the file's bytes.
    std::string regedit_export(const std::string& key) {
        const std::string file = dir_ + "\\regedit" + std::to_string(++files_) + ".reg";
        EXPECT_EQ(qh_test::win32::run_program(kRegedit, {"/e", file, key}).exit_code, 0);
        return qh_test::read_file(file).value_or("");
    }
    std::string tool_export(const std::string& key) {
        const std::string file = dir_ + "\\tool" + std::to_string(++files_) + ".reg";
        EXPECT_EQ(run_cli({"-rege", key, file}).output, kSucceeded);
        return qh_test::read_file(file).value_or("");
    }

    std::string dir_;
    int files_ = 0;
};

// Every value of a key through the W calls: name to type and bytes.
std::map<std::u16string, std::pair<std::uint32_t, std::string>> all_values(
    const std::string& subkey) {
    std::map<std::u16string, std::pair<std::uint32_t, std::string>> values;
    platform::Key key;
    if (platform::reg_open_key(qh_test::hkcu(), subkey, key) != platform::kErrorSuccess)
        return values;
    std::u16string name;
    std::uint32_t type = 0;
    std::string data;
    for (std::uint32_t i = 0;
         platform::reg_enum_value_wide(key, i, name, type, data) == platform::kErrorSuccess; ++i)
        values[name] = {type, data};
    platform::reg_close_key(key);
    return values;
}

TEST_F(WineTyped, RegAddStoresWhatTheRowsSay) {
    const auto& rows = qh_test::typed_rows();
    const std::string key = kPath + "\\regadd";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const qh_test::TypedRow& row = rows[i];
        // Where Wine's reg is known to differ from Windows', the rows follow Windows.
        if (*row.wine_differs) continue;
        SCOPED_TRACE(std::string(row.type) + " \"" + row.data + "\"");
        const std::string name = "v" + std::to_string(i);
        const int exit_code = reg({"add", key, "/v", name, "/t", row.type, "/d", row.data, "/f"});
        EXPECT_EQ(exit_code == 0, row.stored_type.has_value());
        const auto stored =
            qh_test::read_value_wide(qh_test::hkcu(), std::string(kBase) + "\\regadd", name);
        ASSERT_EQ(stored.has_value(), row.stored_type.has_value());
        if (!stored) continue;
        EXPECT_EQ(stored->type, *row.stored_type);
        EXPECT_EQ(stored->data, row.stored);
    }
}

TEST_F(WineTyped, EveryTypeAsRegAddRegQueryAndRegeditHaveIt) {
    const std::string tool = kPath + "\\tool";
    const std::string wine = kPath + "\\regadd";
    for (const qh_test::EveryTypeRow& row : qh_test::every_type_rows()) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = {"-language", "english", "+regt", tool};
        std::vector<std::string> reg_args = {"add", wine};
        if (row.name.empty()) {
            reg_args.push_back("/ve");
        } else {
            args.push_back(row.name);
            reg_args.insert(reg_args.end(), {"/v", row.name});
        }
        args.insert(args.end(), {row.type, row.data});
        reg_args.insert(reg_args.end(), {"/t", row.type, "/d", row.data, "/f"});
        EXPECT_EQ(run_cli(args).output == kSucceeded, row.stored_type.has_value());
        EXPECT_EQ(reg(reg_args) == 0, row.stored_type.has_value());
    }
    const auto tool_values = all_values(std::string(kBase) + "\\tool");
    EXPECT_EQ(tool_values.size(), qh_test::every_type_rows().size() - 1);
    EXPECT_TRUE(tool_values == all_values(std::string(kBase) + "\\regadd"));

    // reg query's lines, with the key's name of the tool's; Wine prints a
    // character the console lacks its own way, so those lines are not compared.
    const qh_test::ToolRun query = qh_test::win32::run_program(kReg, {"query", wine});
    std::string expected;
    for (char c : query.output)
        if (c != '\r') expected += c;
    for (std::size_t at; (at = expected.find("\\regadd")) != std::string::npos;)
        expected.replace(at, 7, "\\tool");
    const std::string listed = run_cli({"-regq", tool}).output;
    std::istringstream want(expected), got(listed);
    std::string want_line, got_line;
    std::size_t compared = 0;
    while (std::getline(want, want_line) && std::getline(got, got_line)) {
        if (got_line.find('?') != std::string::npos) continue;
        if (got_line.find("REG_QWORD") != std::string::npos) {
            EXPECT_NE(want_line.find("(null)"), std::string::npos) << want_line;
            continue;
        }
        EXPECT_EQ(got_line, want_line);
        ++compared;
    }
    EXPECT_GE(compared, 15u);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'),
              std::count(expected.begin(), expected.end(), '\n'));

    EXPECT_EQ(tool_export(tool), regedit_export(tool));
}

// What the table leaves out: names and strings beyond the first plane and
// with line breaks, a lone surrogate, a string holding a zero, type numbers
// of every size, lists wrapped after names of many lengths, the default
// value, empty and nested keys. Then the export imported into the emptied
// key gives every value back.
TEST_F(WineTyped, EdgesAsRegeditExportsThemAndBack) {
    const std::string subkey = std::string(kBase) + "\\edges";
    platform::Key key;
    ASSERT_EQ(platform::reg_create_key_ex(qh_test::hkcu(), subkey, key), platform::kErrorSuccess);
    const auto set = [&](std::u16string_view name, std::uint32_t type, std::string_view data) {
        EXPECT_EQ(platform::reg_set_value_wide(key, name, type, data), platform::kErrorSuccess);
    };
    const auto text = [](std::u16string_view units) {
        return qh_test::le_bytes(units) + std::string(2, '\0');
    };
    std::string bytes;
    for (int i = 0; i < 200; ++i) bytes.push_back(static_cast<char>(i * 7));
    for (int length = 1; length <= 90; length += 7)
        set(u"n" + std::u16string(static_cast<std::size_t>(length), u'x'), platform::kRegBinary,
            bytes.substr(0, static_cast<std::size_t>(length) * 2));
    set(u"", platform::kRegSz, text(u"default"));
    set(u"q\"u\\o\r\nte\U0001F600\u4e2d", platform::kRegSz, text(u"a\r\nb\"\\\U0001F600\u0e01"));
    set(u"lone", platform::kRegSz, text(u"\xd83d"));
    set(u"zero", platform::kRegSz, qh_test::le_bytes(u"a\0b\0"s));
    set(u"expand", platform::kRegExpandSz, text(u"%SystemRoot%\\\u0e01"));
    set(u"multi", platform::kRegMultiSz, qh_test::le_bytes(u"a\0\u0e01\0\0"s));
    set(u"none", platform::kRegNone, "");
    set(u"qword", platform::kRegQword, "\1\2\3\4\5\6\7\x08"s);
    set(u"type", 0xabcd, "\1"s);
    set(u"type8", 0xABCDEF12, bytes.substr(0, 40));
    set(u"dword", platform::kRegDword, "\x78\x56\x34\x12"s);
    // A DWORD of another size: Windows writes hex(4), Wine's regedit a
    // dword: of four bytes read past the end; so it stays out of this key.
    platform::reg_close_key(key);
    for (const char* below : {"\\empty", "\\a\\b", "\\\xfe"}) {
        platform::Key child;
        ASSERT_EQ(platform::reg_create_key_ex(qh_test::hkcu(), subkey + below, child),
                  platform::kErrorSuccess);
        platform::reg_close_key(child);
    }
    const std::string exported = tool_export(kPath + "\\edges");
    EXPECT_EQ(exported, regedit_export(kPath + "\\edges"));

    const auto before = all_values(subkey);
    qh::reg_delete_key_at(qh_test::hkcu(), subkey);
    const std::string file = dir_ + "\\edges.reg";
    ASSERT_TRUE(qh_test::write_file(file, exported));
    ASSERT_EQ(run_cli({"+regf", file}).output, kSucceeded);
    auto after = all_values(subkey);
    // A string holding a zero is written up to it, by Windows too.
    EXPECT_EQ(after[u"zero"].second, qh_test::le_bytes(u"a\0"s));
    after[u"zero"] = before.at(u"zero");
    EXPECT_TRUE(after == before);
    EXPECT_EQ(tool_export(kPath + "\\edges"), exported);
}

}  // namespace
