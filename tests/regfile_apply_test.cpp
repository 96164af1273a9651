#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "regfile/regfile.h"
#include "regfile/regfile_reader.h"
#include "registry/reg_value.h"
#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace {

// Which of the two operations a case runs.
enum class RegfileMode { apply, remove };

using namespace std::string_literals;
namespace platform = qh::platform;

constexpr std::string_view kBase = "Software\\QuillhavenTests\\regfile";
const std::string kBasePath = "HKEY_CURRENT_USER\\" + std::string(kBase);

// Values below the current user's root, where the tests import to.
std::optional<qh::RegValue> read_user_value(std::string_view subkey, std::string_view name) {
    return qh_test::read_value(qh_test::hkcu(), subkey, name);
}

// Long data are compared by their size and a checksum, to keep failures short.
std::string describe(const std::string& bytes) {
    if (bytes.size() <= 64) return testing::PrintToString(bytes);
    std::uint32_t sum = 0;
    for (char c : bytes) sum = sum * 31 + static_cast<unsigned char>(c);
    return std::to_string(bytes.size()) + " bytes, checksum " + std::to_string(sum) + ", ending " +
           testing::PrintToString(bytes.substr(bytes.size() - 16));
}

std::string escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

// Each test works below a key of its own, emptied first, and converts with
// code page 1252.
class RegfileApplyTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(platform::locale_select("english"));
        qh::reg_delete_key_at(qh_test::hkcu(), kBase);
        dir_ = qh_test::scratch_dir("regfile_apply");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override {
        qh::reg_delete_key_at(qh_test::hkcu(), kBase);
        platform::locale_select("C");
    }

    int apply(std::string_view bytes, RegfileMode mode, qh::Failure* failure = nullptr) {
        const std::string path = dir_ + "\\file" + std::to_string(++files_) + ".reg";
        EXPECT_TRUE(qh_test::write_file(path, bytes));
        return mode == RegfileMode::apply ? qh::regfile_apply(path, failure)
                                          : qh::regfile_remove(path, failure);
    }

    std::string dir_;
    int files_ = 0;
};

struct Expect {
    std::string name;
    std::optional<std::uint32_t> type;  // nothing: the value must not exist
    std::string bytes;
};

constexpr std::nullopt_t kAbsent = std::nullopt;

void expect_values(std::string_view subkey, const std::vector<Expect>& expects) {
    for (const Expect& e : expects) {
        const auto value = read_user_value(subkey, e.name);
        if (!e.type) {
            EXPECT_FALSE(value.has_value()) << e.name;
            continue;
        }
        ASSERT_TRUE(value.has_value()) << e.name;
        EXPECT_EQ(value->type, *e.type) << e.name;
        EXPECT_EQ(describe(value->data), describe(e.bytes)) << e.name;
    }
}

TEST_F(RegfileApplyTest, EveryDataFormInBothEncodings) {
    const std::string long_text(40000, 'q');
    // A key line where a reader that cuts long lines into pieces would find
    // one: at the piece length of either encoding.
    const std::string hidden_key = std::string(33294 - 10, 'p') + "[" + kBasePath + "\\hidden]";
    const std::string hidden_wide = std::string(16648 - 11, 'p') + "[" + kBasePath + "\\hidden]";
    std::string big_hex = "\"bighex\"=hex:";
    std::string big_bytes;
    for (int i = 0; i < 40000; ++i) {
        big_hex += (i % 2 ? "ab," : "01,");
        big_bytes.push_back(i % 2 ? '\xab' : '\x01');
        if (i % 25 == 24) big_hex += "\\\n  ";
    }
    big_hex.resize(big_hex.size() - (big_hex.ends_with("  ") ? 5 : 1));

    const std::string body = "REGEDIT4\n\n\"before\"=\"no key yet\"\n[" + kBasePath +
                             "]\n"
                             "\"s\"=\"a\\\\b\\\"c\"\n"
                             "\"marked\"=\"y\" --uninstall\n"
                             "\"inner\"=\"--uninstall\"\n"
                             "@=\"default\"\n"
                             "\"d\"=dword:00000010\n"
                             "\"dspace\"=dword: fFfFfFfF\n"
                             "\"dlong\"=dword:123456789\n"
                             "\"dz\"=dword:zz\n"
                             "\"b\"=hex:01,02\n"
                             "\"bempty\"=hex:\n"
                             "\"e\"=hex(2):25,00,50,00,00,00\n"
                             "\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
                             "\"h0\"=hex(0):00\n"
                             "\"minus\"=-\n"
                             "\"cont\"=hex:01,02,\\\n  03,04\n"
                             "\"tab\"=hex:01,\\\n\t03,04\n"
                             "\"after\"=\"z\"\n"
                             "\"noeq\" =\"x\"\n"
                             "\"open\"=\"abc\n"
                             "\"long\"=\"" +
                             long_text + "\"\n\"hidden\"=\"" + escaped(hidden_key) +
                             "\"\n\"hidden2\"=\"" + escaped(hidden_wide) + "\"\n" + big_hex +
                             "\n\"last\"=dword:1";
    const std::vector<Expect> expects = {
        {"before", kAbsent, ""},
        {"s", platform::kRegSz, "a\\b\"c\0"s},
        {"marked", platform::kRegSz, "y\0"s},
        {"inner", platform::kRegSz, "--uninstall\0"s},
        {"", platform::kRegSz, "default\0"s},
        {"d", platform::kRegDword, "\x10\0\0\0"s},
        {"dspace", platform::kRegDword, "\xff\xff\xff\xff"s},
        {"dlong", kAbsent, ""},
        {"dz", kAbsent, ""},
        {"b", platform::kRegBinary, "\x01\x02"s},
        {"bempty", platform::kRegBinary, ""},
        {"e", platform::kRegExpandSz, "%P\0"s},
        {"m", platform::kRegMultiSz, "a\0b\0\0"s},
        {"h0", platform::kRegNone, "\0"s},
        {"minus", kAbsent, ""},
        {"cont", platform::kRegBinary, "\x01\x02\x03\x04"s},
        {"tab", kAbsent, ""},
        {"after", platform::kRegSz, "z\0"s},
        {"noeq", kAbsent, ""},
        {"open", platform::kRegSz, "abc\0"s},
        {"long", platform::kRegSz, long_text + '\0'},
        {"hidden", platform::kRegSz, hidden_key + '\0'},
        {"hidden2", platform::kRegSz, hidden_wide + '\0'},
        {"bighex", platform::kRegBinary, big_bytes},
        {"last", platform::kRegDword, "\x01\0\0\0"s},
    };
    for (const bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "UTF-16LE" : "ANSI");
        qh::reg_delete_key_at(qh_test::hkcu(), kBase);
        ASSERT_EQ(apply(wide ? qh_test::utf16le(qh_test::crlf(body)) : qh_test::crlf(body),
                        RegfileMode::apply),
                  0);
        expect_values(kBase, expects);
        EXPECT_FALSE(qh_test::key_exists(qh_test::hkcu(), std::string(kBase) + "\\hidden"));
    }
}

// The forms the registry editor writes: every type number, lists with no
// pairs, its own deletions, key paths that end in backslashes.
TEST_F(RegfileApplyTest, RegistryEditorForms) {
    const std::string k = kBasePath;
    const std::string v = std::string(kBase) + "\\v";
    const std::string body = "REGEDIT4\n[" + k +
                             "\\v]\n"
                             "\"q\"=hex(b):01,02,03,04,05,06,07,08\n"
                             "\"none\"=hex(0):\n"
                             "\"d4\"=hex(4):78,56,\\\n  34,12\n"
                             "\"big\"=hex(ffff0011):aa,bb --uninstall\n"
                             "\"up\"=hex(B):01\n"
                             "\"s1\"=hex(1):41,00,42,00,00,00\n"
                             "\"x02\"=hex(02):25,00,00,00\n"
                             "\"e\"=hex:\n"
                             "\"e2\"=hex(2):\n"
                             "\"e7\"=hex(7):\n"
                             "\"e1\"=hex(1):\n"
                             "\"eb\"=hex: --uninstall\n"
                             "\"bad\"=hex(4:01\n"
                             "\"long\"=hex(123456789):01\n"
                             "\"old\"=-\n"
                             "@=-\n"
                             "\"absent\"=-\n"
                             "\"kept\"=- x\n"
                             "\"blanks\"=  -\n"
                             "\"tabbed\"= \t-\n"
                             "\"noted\"=- ;note\n"
                             "\"hashed\"=- #note\n"
                             "\"dnoted\"=dword:00000004 ;note\n"
                             "\"dhashed\"=dword:00000004 #note\n"
                             "[-" +
                             k +
                             "\\gone]\n"
                             "\"after\"=\"x\"\n"
                             "[-" +
                             k +
                             "\\missing\\]\n"
                             "[-HKEY_CURRENT_USER]\n"
                             "[-HKEY_CURRENT_USER\\]\n"
                             "[-HKEY_NOWHERE\\Software]\n"
                             "[" +
                             k + "\\slash\\]\n\"v\"=\"1\"\n[" + k +
                             "\\slash2\\\\]\n\"v\"=\"2\"\n[" + k + "\\marked\\]--uninstall\n";
    const auto setup = [&] {
        qh::reg_delete_key_at(qh_test::hkcu(), kBase);
        for (const char* name :
             {"old", "", "kept", "big", "eb", "blanks", "tabbed", "noted", "hashed"})
            qh_test::put_raw(qh_test::hkcu(), v, name, platform::kRegSz, "x\0"s);
        qh_test::put_raw(qh_test::hkcu(), std::string(kBase) + "\\gone\\sub", "s", platform::kRegSz,
                         "x\0"s);
        qh_test::put_raw(qh_test::hkcu(), std::string(kBase) + "\\marked", "m", platform::kRegSz,
                         "x\0"s);
    };
    const auto key_exists = [](const std::string& tail) {
        return qh_test::key_exists(qh_test::hkcu(), std::string(kBase) + tail);
    };
    for (const bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "UTF-16LE" : "ANSI");
        const std::string file = wide ? qh_test::utf16le(qh_test::crlf(body)) : qh_test::crlf(body);

        setup();
        // The root's own deletion is refused, and named; every other line is
        // applied all the same.
        qh::Failure failure;
        ASSERT_EQ(apply(file, RegfileMode::apply, &failure), qh::kRegfileRefused);
        EXPECT_TRUE(failure.reason.ends_with(
            ": HKEY_CURRENT_USER\\ is a hive, or a key that holds a whole part of the registry, "
            "which is never deleted; 1 line of the file refused"))
            << failure.reason;
        expect_values(v, {
                             {"q", platform::kRegQword, "\1\2\3\4\5\6\7\x08"s},
                             {"none", platform::kRegNone, ""},
                             {"d4", platform::kRegDword, "\x78\x56\x34\x12"s},
                             {"big", 0xffff0011, "\xaa\xbb"s},
                             {"up", platform::kRegQword, "\1"s},
                             {"s1", platform::kRegSz, "AB\0"s},
                             {"x02", platform::kRegExpandSz, "%\0"s},
                             {"e", platform::kRegBinary, ""},
                             {"e2", platform::kRegExpandSz, ""},
                             {"e7", platform::kRegMultiSz, ""},
                             {"e1", platform::kRegSz, ""},
                             {"eb", platform::kRegBinary, ""},
                             {"bad", kAbsent, ""},
                             {"long", kAbsent, ""},
                             {"old", kAbsent, ""},
                             {"", kAbsent, ""},
                             {"absent", kAbsent, ""},
                             {"kept", platform::kRegSz, "x\0"s},
                             {"blanks", kAbsent, ""},
                             {"tabbed", kAbsent, ""},
                             {"noted", kAbsent, ""},
                             {"hashed", platform::kRegSz, "x\0"s},
                             {"dnoted", platform::kRegDword, "\4\0\0\0"s},
                             {"dhashed", kAbsent, ""},
                         });
        EXPECT_FALSE(key_exists("\\gone"));
        EXPECT_FALSE(read_user_value(kBase, "after").has_value());
        EXPECT_FALSE(key_exists("\\missing"));
        EXPECT_TRUE(qh_test::key_exists(qh_test::hkcu(), "Software"));
        EXPECT_EQ(
            read_user_value(std::string(kBase) + "\\slash", "v").value_or(qh::RegValue{}).data,
            "1\0"s);
        EXPECT_EQ(
            read_user_value(std::string(kBase) + "\\slash2", "v").value_or(qh::RegValue{}).data,
            "2\0"s);
        EXPECT_TRUE(key_exists("\\marked"));

        // Removing: only what is marked goes, and the deletions do nothing.
        setup();
        ASSERT_EQ(apply(file, RegfileMode::remove), 0);
        expect_values(v, {
                             {"big", kAbsent, ""},
                             {"eb", kAbsent, ""},
                             {"old", platform::kRegSz, "x\0"s},
                             {"", platform::kRegSz, "x\0"s},
                             {"kept", platform::kRegSz, "x\0"s},
                         });
        EXPECT_TRUE(key_exists("\\gone\\sub"));
        EXPECT_FALSE(key_exists("\\marked"));
        EXPECT_FALSE(key_exists("\\slash\\"));
    }
}

// Install, then uninstall with the same file: what it marks goes, the rest
// stays, and removal creates nothing.
TEST_F(RegfileApplyTest, InstallThenUninstall) {
    const std::string keep = std::string(kBase) + "\\keep";
    const std::string gone = std::string(kBase) + "\\gone";
    const std::string file = qh_test::crlf("REGEDIT4\n[" + kBasePath +
                                           "\\keep]\n"
                                           "\"plain\"=\"v\"\n"
                                           "\"text\"=\"v\" --uninstall\n"
                                           "\"inner\"=\"--uninstall\"\n"
                                           "\"num\"=dword:00000001 --uninstall\n"
                                           "\"numkept\"=dword:00000002\n"
                                           "\"bin\"=hex:01,02 --uninstall\n"
                                           "\"list\"=hex(7):61,00,00,\\ --uninstall\n  00,00,00\n"
                                           "\"binkept\"=hex:01,\\\n  02 --uninstall\n"
                                           "@=\"d\" --uninstall\n"
                                           "[" +
                                           kBasePath +
                                           "\\gone]--uninstall\n"
                                           "\"x\"=\"y\"\n"
                                           "[" +
                                           kBasePath +
                                           "\\gone\\sub]\n"
                                           "\"z\"=\"w\"\n"
                                           "[" +
                                           kBasePath + "\\never]\n\"n\"=\"v\" --uninstall\n");
    ASSERT_EQ(apply(file, RegfileMode::apply), 0);
    for (const char* name :
         {"plain", "text", "inner", "num", "numkept", "bin", "list", "binkept", ""}) {
        EXPECT_TRUE(read_user_value(keep, name).has_value()) << name;
    }
    EXPECT_TRUE(read_user_value(gone, "x").has_value());
    EXPECT_TRUE(read_user_value(gone + "\\sub", "z").has_value());

    qh::reg_delete_key_at(qh_test::hkcu(), std::string(kBase) + "\\never");
    ASSERT_EQ(apply(file, RegfileMode::remove), 0);
    for (const char* name : {"plain", "inner", "numkept", "binkept"}) {
        EXPECT_TRUE(read_user_value(keep, name).has_value()) << name;
    }
    for (const char* name : {"text", "num", "bin", "list", ""}) {
        EXPECT_FALSE(read_user_value(keep, name).has_value()) << name;
    }
    EXPECT_FALSE(qh_test::key_exists(qh_test::hkcu(), gone));
    EXPECT_FALSE(qh_test::key_exists(qh_test::hkcu(), gone + "\\sub"));
    EXPECT_FALSE(qh_test::key_exists(qh_test::hkcu(), std::string(kBase) + "\\never"));
}

// "]" may stand in a key name: the path runs to the line's last "]", and a
// marked key is the one named before "]--uninstall", never its parent.
TEST_F(RegfileApplyTest, BracketsInKeyNames) {
    const std::string vendor = std::string(kBase) + "\\Vendor";
    const std::string plugin = vendor + "]Plugin";
    const std::string install =
        qh_test::crlf("REGEDIT4\n[HKEY_CURRENT_USER\\" + vendor +
                      "]\n\"own\"=\"v\"\n[HKEY_CURRENT_USER\\" + plugin + "]\n\"p\"=\"x\"\n");
    const std::string uninstall =
        qh_test::crlf("REGEDIT4\n[HKEY_CURRENT_USER\\" + plugin + "]--uninstall\n\"q\"=\"y\"\n");
    for (const bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "UTF-16LE" : "ANSI");
        const auto encoded = [wide](const std::string& text) {
            return wide ? qh_test::utf16le(text) : text;
        };
        ASSERT_EQ(apply(encoded(install), RegfileMode::apply), 0);
        EXPECT_TRUE(read_user_value(plugin, "p").has_value());
        EXPECT_FALSE(read_user_value(vendor, "p").has_value());

        ASSERT_EQ(apply(encoded(uninstall), RegfileMode::remove), 0);
        EXPECT_FALSE(qh_test::key_exists(qh_test::hkcu(), plugin));
        EXPECT_TRUE(read_user_value(vendor, "own").has_value());

        // Applied, the marked file writes into the key it names.
        ASSERT_EQ(apply(encoded(uninstall), RegfileMode::apply), 0);
        EXPECT_TRUE(read_user_value(plugin, "q").has_value());
        EXPECT_FALSE(read_user_value(vendor, "q").has_value());
    }
}

// Lines the registry refuses are counted and the first one is named; the
// rest of the file is applied. What is already as the file wants is no
// refusal.
TEST_F(RegfileApplyTest, RefusedLinesAreNamedAndCounted) {
    // Beyond Wine's limit too, which takes 256.
    const std::string too_long(300, 'k');
    const std::string long_name(16384, 'n');
    struct Case {
        const char* what;
        std::string body;  // after "REGEDIT4\n"
        RegfileMode mode;
        std::string reason;      // after ", line "; empty: nothing refused
        std::string kept_key;    // below kBase; holds the value kept_value afterwards
        std::string kept_value;  // empty: nothing to look for
    };
    const Case cases[] = {
        {"a key name beyond 255 characters",
         "[" + kBasePath + "\\" + too_long + "]\n\"v\"=\"x\"\n\"w\"=dword:1\n[" + kBasePath + "\\" +
             "ok]\n\"v\"=\"x\"\n",
         RegfileMode::apply,
         "2: " + kBasePath + "\\" + too_long +
             ": a key name in it is longer than 255 characters, Windows' limit; 3 lines of the "
             "file refused",
         "\\ok", "v"},
        {"a value name beyond 16383 characters",
         "[" + kBasePath + "]\n\"" + long_name + "\"=\"x\"\n\"" + long_name.substr(1) +
             "\"=\"x\"\n",
         RegfileMode::apply,
         "3: " + kBasePath +
             ": the value name is longer than 16383 characters, Windows' limit; 1 line of the "
             "file refused",
         "", long_name.substr(1)},
        {"a key that is never deleted",
         "[HKEY_CURRENT_USER\\Software]--uninstall\n[-HKEY_CURRENT_USER\\Software\\]\n[" +
             kBasePath + "]\n\"v\"=\"x\"\n",
         RegfileMode::remove,
         "2: HKEY_CURRENT_USER\\Software is a hive, or a key that holds a whole part of the "
         "registry, which is never deleted; 1 line of the file refused",
         "", ""},
        {"deletions of what is not there",
         "[-" + kBasePath + "\\absent]\n[" + kBasePath + "\\absent2]--uninstall\n[" + kBasePath +
             "]\n\"absent\"=-\n\"v\"=\"x\"\n",
         RegfileMode::apply, "", "", "v"},
        {"removals of what is not there",
         "[" + kBasePath + "\\absent]--uninstall\n[" + kBasePath +
             "\\absent2]\n\"v\"=\"x\" --uninstall\n",
         RegfileMode::remove, "", "", ""},
    };
    for (const Case& c : cases) {
        for (const bool wide : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (wide ? ", UTF-16LE" : ", ANSI"));
            qh::reg_delete_key_at(qh_test::hkcu(), kBase);
            const std::string text = qh_test::crlf("REGEDIT4\n" + c.body);
            qh::Failure failure;
            const int result = apply(wide ? qh_test::utf16le(text) : text, c.mode, &failure);
            if (c.reason.empty()) {
                EXPECT_EQ(result, 0) << failure.reason;
            } else {
                EXPECT_EQ(result, qh::kRegfileRefused);
                EXPECT_TRUE(failure.reason.ends_with(", line " + c.reason)) << failure.reason;
            }
            // Beside the refused lines, the rest was applied.
            if (!c.kept_value.empty()) {
                EXPECT_TRUE(
                    read_user_value(std::string(kBase) + c.kept_key, c.kept_value).has_value());
            }
        }
    }
    EXPECT_TRUE(qh_test::key_exists(qh_test::hkcu(), "Software"));
}

TEST_F(RegfileApplyTest, KeyLinesThatNameNoKey) {
    const std::string minus = "[-" + kBasePath + "\\minus]\n\"v\"=\"x\"\n";
    const std::string file =
        qh_test::crlf("[HKEY_CURRENT_USER]\n\"root\"=\"x\"\n" + minus + "[" + kBasePath +
                      "\\ok]\n\"v\"=\"x\"\n[" + kBasePath + "\\unclosed\n\"after\"=\"x\"\n");
    for (const RegfileMode mode : {RegfileMode::apply, RegfileMode::remove}) {
        ASSERT_EQ(apply(file, mode), 0);
        EXPECT_FALSE(read_user_value("", "root").has_value());
        const auto hklm = platform::root_key(platform::Root::local_machine);
        EXPECT_FALSE(qh_test::key_exists(hklm, std::string(kBase) + "\\minus"));
        EXPECT_FALSE(qh_test::key_exists(qh_test::hkcu(), std::string(kBase) + "\\minus"));
        EXPECT_FALSE(read_user_value(std::string(kBase) + "\\ok", "after").has_value());
    }
    EXPECT_TRUE(read_user_value(std::string(kBase) + "\\ok", "v").has_value());

    // With its backslash the root is named: the value goes into the root itself.
    const std::string at_root =
        qh_test::crlf("[HKEY_CURRENT_USER\\]\n\"QhRegfileAtRoot\"=\"x\" --uninstall\n");
    ASSERT_EQ(apply(at_root, RegfileMode::apply), 0);
    EXPECT_TRUE(read_user_value("", "QhRegfileAtRoot").has_value());
    ASSERT_EQ(apply(at_root, RegfileMode::remove), 0);
    EXPECT_FALSE(read_user_value("", "QhRegfileAtRoot").has_value());
}

TEST_F(RegfileApplyTest, ResultsAndBadInput) {
    EXPECT_EQ(qh::regfile_apply(dir_ + "\\missing.reg"), 1);
    EXPECT_EQ(qh::regfile_apply(dir_), 1);
    EXPECT_EQ(apply("", RegfileMode::apply), 0);

    qh::Failure failure;
    // Cut inside a hex list, at an odd length: the list is not written.
    const std::string cut = qh_test::utf16le(
        qh_test::crlf("[" + kBasePath + "]\n\"whole\"=dword:5\n\"cut\"=hex:01,02,\\\n  03"));
    EXPECT_EQ(apply(cut.substr(0, cut.size() - 9), RegfileMode::apply), 0);
    EXPECT_TRUE(read_user_value(kBase, "whole").has_value());
    EXPECT_FALSE(read_user_value(kBase, "cut").has_value());

    // A value larger than an import takes ends it in the line that holds it.
    std::string huge = "[" + kBasePath + "]\n\"small\"=\"x\"\n\"huge\"=hex:";
    huge.reserve(qh::kMaxRegfileText * 3 + 4096);
    const std::string pairs_line = [] {
        std::string line;
        for (int i = 0; i < 4096; ++i) line += "ab,";
        return line + "\\\n  ";
    }();
    for (std::size_t i = 0; i <= qh::kMaxRegfileText / 4096; ++i) huge += pairs_line;
    huge += "ab\n\"after\"=\"x\"\n";
    EXPECT_EQ(apply(huge, RegfileMode::apply, &failure), 3);
    EXPECT_NE(failure.reason.find(", line " + std::to_string(3 + qh::kMaxRegfileText / 4096) +
                                  ": a line or value is larger than 64 MiB"),
              std::string::npos)
        << failure.reason;
    EXPECT_TRUE(read_user_value(kBase, "small").has_value());
    EXPECT_FALSE(read_user_value(kBase, "huge").has_value());
    EXPECT_FALSE(read_user_value(kBase, "after").has_value());

    // NUL bytes end the text of their line.
    EXPECT_EQ(apply("[" + kBasePath + "]\n\"n\0ul\"=\"x\"\n\"v\"=\"a\0b\"\n"s, RegfileMode::apply),
              0);
    EXPECT_FALSE(read_user_value(kBase, "n").has_value());
    EXPECT_EQ(read_user_value(kBase, "v").value_or(qh::RegValue{}).data, "a\0"s);

    // Random bytes, with and without the mark, under a key line.
    std::mt19937 random(4);
    for (int round = 0; round < 20; ++round) {
        std::string bytes = round % 2 ? "\xff\xfe"s : ""s;
        bytes += (round % 2 ? qh_test::utf16le("[" + kBasePath + "]\n").substr(2)
                            : "[" + kBasePath + "]\n");
        for (int i = 0; i < 4000; ++i) bytes.push_back(static_cast<char>(random()));
        const int result = apply(bytes, round % 4 < 2 ? RegfileMode::apply : RegfileMode::remove);
        // Names the registry cannot take are refused.
        EXPECT_TRUE(result == 0 || result == 2 || result == qh::kRegfileRefused) << round;
    }
}

// Through the tool itself, whose code page is 936 unless told otherwise: a
// UTF-16LE file's names, paths and texts reach the registry whole, beyond
// any code page and the first plane; an ANSI file's stay in the code page.
TEST_F(RegfileApplyTest, WideFilesBeyondTheCodePage) {
    const std::u16string thai = u"\u0e01\U0001F600";
    const std::string path = dir_ + "\\tool.reg";
    std::string file = qh_test::utf16le(qh_test::crlf("[" + kBasePath + "\\"));
    const auto units = qh_test::le_bytes;
    file += units(thai) + qh_test::utf16le(qh_test::crlf("]\n\"")).substr(2) + units(thai) +
            qh_test::utf16le(qh_test::crlf("\"=\"")).substr(2) + units(thai) +
            qh_test::utf16le(qh_test::crlf("\"\n\"after\"=\"x\"\n")).substr(2);
    ASSERT_TRUE(qh_test::write_file(path, file));

    const qh_test::ToolRun run = qh_test::run_tool({"+regf", path});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.output, qh_test::text_mode(qh_test::kSucceeded)) << run.errors;
    const std::u16string subkey = u"Software\\QuillhavenTests\\regfile\\" + thai;
    platform::Key key;
    ASSERT_EQ(platform::reg_open_key_wide(qh_test::hkcu(), subkey, key), platform::kErrorSuccess);
    std::uint32_t type = 0;
    std::string data;
    EXPECT_EQ(platform::reg_query_value_wide(key, thai, type, data, 100), platform::kErrorSuccess);
    EXPECT_EQ(type, platform::kRegSz);
    EXPECT_EQ(data, units(thai + u'\0'));
    EXPECT_EQ(platform::reg_query_value_wide(key, u"after", type, data, 100),
              platform::kErrorSuccess);
    platform::reg_close_key(key);
}
}  // namespace
