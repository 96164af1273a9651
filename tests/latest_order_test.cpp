#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "detect_fixture.h"
#include "registry/reg_latest.h"
#include "support/registry_helpers.h"

namespace {

using detect_test::Root;
using detect_test::ScratchKey;

constexpr const char* kKey = "Software\\QuillhavenLatestTest";
constexpr const char* kKeyPath = "HKEY_CURRENT_USER\\Software\\QuillhavenLatestTest";

TEST(LatestNameOrder, BytesCompareUnsignedAndPrefixesSortFirst) {
    struct Case {
        std::string candidate;
        std::string current;
        bool greater;
    };
    const Case cases[] = {
        {"9.0", "10.0", true},     {"10.0", "9.0", false},
        {"1.5.0_06", "1.5", true}, {"1.5", "1.5.0_06", false},
        {"a", "B", true},          {"\x80", "zzz", true},
        {"zzz", "\xff", false},    {"8.50", "8.50", false},
        {"8.14", "", true},        {"", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qh::latest_name_greater(c.candidate, c.current), c.greater)
            << c.candidate << " vs " << c.current;
    }
}

TEST(LatestNameOrder, VersionsCompareDigitRunsByValue) {
    struct Case {
        std::string candidate;
        std::string current;
        bool greater;
    };
    const Case cases[] = {
        {"1.8.0_301", "1.8.0_45", true},
        {"17.0.2", "9.0.4", true},
        {"10.02.1", "9.56.1", true},
        {"10.0", "9.0", true},
        {"zulu-17", "zulu-8", true},
        {"WinEdt 10", "WinEdt 9", true},
        {"0010", "9", true},
        // Equal values: the run with leading zeros after the one without.
        {"1.05", "1.5", true},
        {"1.5", "1.05", false},
        // A longer name with the same beginning is the greater.
        {"1.5.0_06", "1.5", true},
        {"1.0", "1.0.", false},
        // Outside digit runs, bytes as in the byte order.
        {"1.0_2", "1.0.2", true},
        {"1.0-beta", "1.0.1", false},
        {"a", "B", true},
        {"9", "9z", true},
        {"8.50", "8.50", false},
        {"8.14", "", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qh::latest_name_greater(c.candidate, c.current, qh::NameOrder::version),
                  c.greater)
            << c.candidate << " vs " << c.current;
    }
}

TEST(LatestNameOrder, VersionOrderIsTotal) {
    const std::vector<std::string> names = {"",     "0",    "00",     "1",       "01", "1.0",
                                            "1.00", "1.0.", "1.0a",   "10",      "9",  "a9",
                                            "a10",  "A10",  "9.56.1", "10.02.1", "ÿ1", "1ÿ"};
    for (const std::string& a : names) {
        for (const std::string& b : names) {
            const bool a_after = qh::latest_name_greater(a, b, qh::NameOrder::version);
            const bool b_after = qh::latest_name_greater(b, a, qh::NameOrder::version);
            // Exactly one of: a after b, b after a, the same name.
            EXPECT_EQ(int{a_after} + int{b_after} + int{a == b}, 1) << a << " vs " << b;
            for (const std::string& c : names) {
                if (a_after && qh::latest_name_greater(b, c, qh::NameOrder::version)) {
                    EXPECT_TRUE(qh::latest_name_greater(a, c, qh::NameOrder::version))
                        << a << " > " << b << " > " << c;
                }
            }
        }
    }
}

struct Subkey {
    std::string name;
    std::optional<std::string> value;  // "Ver" of that subkey, if it has one
};

struct LatestCase {
    const char* label;
    std::vector<Subkey> subkeys;  // no entry at all: the key itself is missing
    bool key_exists;
    std::string latest_on_entry;
    int code;
    std::string latest_after;
    std::string value_after;  // "old" when the buffer must stay as it was
};

TEST(RegReadLatest, PicksGreatestNameAndChainsFromTheNameGiven) {
    const LatestCase cases[] = {
        {"versions", {{"8.14", "a"}, {"8.50", "b"}, {"8.15", "c"}}, true, "", 0, "8.50", "b"},
        {"no numeric order", {{"9.0", "nine"}, {"10.0", "ten"}}, true, "", 0, "9.0", "nine"},
        {"longer name wins", {{"1.5", "a"}, {"1.5.0_06", "b"}}, true, "", 0, "1.5.0_06", "b"},
        {"case counts", {{"B", "upper"}, {"a", "lower"}}, true, "", 0, "a", "lower"},
        {"no subkeys", {}, true, "", 12, "", "old"},
        {"no subkeys, name given", {}, true, "9.0", 2, "9.0", "old"},
        {"same name here", {{"8.5", "a"}, {"9.0", "b"}}, true, "9.0", 0, "9.0", "b"},
        {"name given is missing here", {{"8.5", "a"}}, true, "9.0", 2, "9.0", "old"},
        {"greater name here", {{"8.5", "a"}, {"7.0", "b"}}, true, "8.0", 0, "8.5", "a"},
        {"latest lacks the value",
         {{"1.0", "a"}, {"2.0", std::nullopt}},
         true,
         "",
         1,
         "2.0",
         "old"},
        {"key missing", {}, false, "1.0", 11, "1.0", "old"},
    };
    for (const LatestCase& c : cases) {
        SCOPED_TRACE(c.label);
        ScratchKey key(Root::current_user, kKey);
        if (key.existed_before()) GTEST_SKIP() << "the machine has its own " << kKey;
        if (c.key_exists) key.create("");
        for (const Subkey& subkey : c.subkeys) {
            if (subkey.value) {
                key.set(subkey.name, "Ver", *subkey.value);
            } else {
                key.create(subkey.name);
            }
        }

        qh::RegValue value{qh::platform::kRegSz, std::string("old", 4)};
        std::string latest = c.latest_on_entry;
        EXPECT_EQ(qh::reg_read_latest(value, latest, kKeyPath, "Ver"), c.code);
        EXPECT_EQ(latest, c.latest_after);
        EXPECT_EQ(qh::reg_value_text(value), c.value_after);
    }
}

bool starts_with_v(std::string_view name) { return name.starts_with("v"); }

TEST(RegReadLatest, OrderBelowAndFilterAreOptionsOfTheOneLookup) {
    struct Case {
        const char* label;
        std::vector<std::string> subkeys;  // each holds "Ver" = its name
        qh::LatestLookup lookup;
        int code;
        std::string latest_after;
        std::string value_after;
    };
    const qh::LatestLookup by_version{qh::NameOrder::version};
    const qh::LatestLookup below{qh::NameOrder::version, qh::View::native, "hotspot\\MSI"};
    const qh::LatestLookup filtered{qh::NameOrder::version, qh::View::native, {}, starts_with_v};
    const Case cases[] = {
        {"bytes by default", {"9.0", "10.0"}, {}, 0, "9.0", "9.0"},
        {"versions", {"9.0", "10.0", "1.8.0_45"}, by_version, 0, "10.0", "10.0"},
        {"value below the latest",
         {"8.0", "17.0.2.8\\hotspot\\MSI"},
         below,
         0,
         "17.0.2.8",
         "17.0.2.8\\hotspot\\MSI"},
        {"latest without the subkey below",
         {"17.0.2.8\\hotspot\\MSI", "21.0.1"},
         below,
         2,
         "21.0.1",
         "old"},
        {"only accepted names", {"v2", "x9", "v10", "w"}, filtered, 0, "v10", "v10"},
        {"no accepted name", {"x9"}, filtered, 12, "", "old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ScratchKey key(Root::current_user, kKey);
        if (key.existed_before()) GTEST_SKIP() << "the machine has its own " << kKey;
        for (const std::string& subkey : c.subkeys) key.set(subkey, "Ver", subkey);

        qh::RegValue value{qh::platform::kRegSz, std::string("old", 4)};
        std::string latest;
        EXPECT_EQ(qh::reg_read_latest(value, latest, kKeyPath, "Ver", nullptr, c.lookup), c.code);
        EXPECT_EQ(latest, c.latest_after);
        EXPECT_EQ(qh::reg_value_text(value), c.value_after);
    }
}

TEST(RegReadLatest, EachFailureSaysWhyWithTheSystemsStatus) {
    namespace p = qh::platform;
    const std::string key_path = kKeyPath;
    struct Case {
        const char* label;
        std::string path;
        std::vector<std::string> subkeys;  // each holds "Ver" = its name
        std::string below;
        int code;
        std::string reason;
        long status;
    };
    const Case cases[] = {
        {"no root",
         "HKLM\\SOFTWARE",
         {},
         "",
         qh::kLatestKeyNotReadable,
         "HKLM is not a registry root; name one in full, such as HKEY_LOCAL_MACHINE",
         0},
        {"key missing",
         key_path + "\\absent",
         {"x"},
         "",
         qh::kLatestKeyNotReadable,
         key_path + "\\absent: the key does not exist",
         p::kErrorFileNotFound},
        {"no subkey",
         key_path,
         {},
         "",
         qh::kLatestNoSubkey,
         key_path + ": the key has no subkey",
         0},
        {"latest without the subkey below",
         key_path,
         {"1.0\\MSI", "2.0"},
         "MSI",
         qh::kLatestSubkeyNotOpened,
         key_path + "\\2.0\\MSI: the key does not exist",
         p::kErrorFileNotFound},
        {"latest without the value",
         key_path,
         {"1.0", "2.0\\other"},
         "",
         qh::kLatestValueNotRead,
         key_path + "\\2.0: the value Ver does not exist",
         p::kErrorFileNotFound},
        {"value too large",
         key_path,
         {"big"},
         "",
         qh::kLatestValueNotRead,
         key_path + "\\big: the value Ver is larger than 32767 bytes",
         p::kErrorMoreData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ScratchKey key(Root::current_user, kKey);
        if (key.existed_before()) GTEST_SKIP() << "the machine has its own " << kKey;
        key.create("");
        for (const std::string& subkey : c.subkeys) key.set(subkey, "Ver", subkey);
        if (std::string(c.label) == "value too large") {
            qh_test::put_raw(qh_test::hkcu(), key.path("big"), "Ver", p::kRegBinary,
                             std::string(qh::kMaxValueRead + 1, 'x'));
        }
        qh::RegValue value;
        std::string latest;
        qh::Failure failure;
        const qh::LatestLookup lookup{qh::NameOrder::bytes, qh::View::native, c.below};
        EXPECT_EQ(qh::reg_read_latest(value, latest, c.path, "Ver", &failure, lookup), c.code);
        EXPECT_EQ(failure.reason, c.reason);
        EXPECT_EQ(failure.status, c.status);
    }
}

TEST(RegReadLatest, UnknownRootIsRefused) {
    qh::RegValue value;
    std::string latest = "x";
    EXPECT_EQ(qh::reg_read_latest(value, latest, "HKLM\\SOFTWARE", "Ver"), 11);
    EXPECT_EQ(qh::reg_read_latest(value, latest, "no backslash", "Ver"), 11);
    EXPECT_EQ(latest, "x");
}

TEST(RegReadLatestCommand, PrintsFramedOrBareAndGoesOnAfterAFailure) {
    ScratchKey key(Root::current_user, kKey);
    if (key.existed_before()) GTEST_SKIP() << "the machine has its own " << kKey;
    key.set("8.14", "GS_DLL", "C:\\gs\\old.dll");
    key.set("8.50", "GS_DLL", "C:\\gs\\gsdll32.dll");

    struct Case {
        std::vector<std::string> args;
        std::string output;
    };
    const std::string path = kKeyPath;
    const std::string framed = "\n[" + path + "\\8.50]\nGS_DLL=C:\\gs\\gsdll32.dll\n";
    const Case cases[] = {
        {{"-regl", path, "GS_DLL"}, framed},
        {{"-x", "-regl", path, "GS_DLL"}, "8.50\nC:\\gs\\gsdll32.dll"},
        {{"-regl", path, "Missing", "-regl", path, "GS_DLL"},
         std::string(qh_test::kFailed) + framed},
    };
    for (const Case& c : cases) {
        const qh_test::CliRun run = qh_test::run_cli(c.args);
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.output, c.output);
    }
}

}  // namespace
