// TYPE and DATA as reg add /t /d takes them, with what each stores: one table
// for +regt natively and under Wine, where Wine's own reg add must store the
// same (rows marked otherwise are where Wine's reg is known to differ).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qh_test {

struct TypedRow {
    const char* type;
    std::string data;
    // The type and bytes stored (the string types in UTF-16LE); nothing when
    // the row is refused and nothing may be written.
    std::optional<std::uint32_t> stored_type;
    std::string stored = {};
    // Why Wine's reg add does otherwise; empty where it agrees.
    const char* wine_differs = "";
};

inline const std::vector<TypedRow>& typed_rows() {
    using namespace std::string_literals;
    constexpr std::nullopt_t kRefused = std::nullopt;
    static const std::vector<TypedRow> rows = {
        {"REG_DWORD", "0", 4, "\0\0\0\0"s},
        {"REG_DWORD", "010", 4, "\x0a\0\0\0"s},  // a leading 0 is still decimal
        {"REG_DWORD", "0x10", 4, "\x10\0\0\0"s},
        {"reg_dword", "0X10", 4, "\x10\0\0\0"s},
        {"REG_DWORD", "4294967295", 4, "\xff\xff\xff\xff"s},
        {"REG_DWORD", "0x0000000000000010", 4, "\x10\0\0\0"s},
        {"REG_DWORD", "", 4, "\0\0\0\0"s},
        {"REG_DWORD", " 5", 4, "\5\0\0\0"s},
        {"REG_DWORD", "+5", 4, "\5\0\0\0"s},
        {"REG_DWORD", "4294967296", kRefused},
        {"REG_DWORD", "0x100000000", kRefused},
        {"REG_DWORD", "-1", kRefused},
        {"REG_DWORD", "-0x1", kRefused},
        {"REG_DWORD", "00x1", kRefused},
        {"REG_DWORD", "12abc", kRefused},
        {"REG_DWORD", "0x", kRefused},
        {"REG_DWORD", "5 ", kRefused},
        {"REG_DWORD", " ", kRefused},
        {"REG_DWORD", "+0x5", kRefused},
        {"REG_DWORD", " -1", kRefused, "", "Wine's reg add wraps it to 0xffffffff"},
        {"REG_DWORD_LITTLE_ENDIAN", "1", 4, "\1\0\0\0"s},
        {"REG_DWORD_BIG_ENDIAN", "0x12345678", 5, "\x78\x56\x34\x12"s},
        {"REG_QWORD", "18446744073709551615", 11, std::string(8, '\xff')},
        {"REG_QWORD", "0xffffffffffffffff", 11, std::string(8, '\xff')},
        {"REG_QWORD", "-1", 11, std::string(8, '\xff')},
        {"REG_QWORD", "-2", 11, "\xfe" + std::string(7, '\xff')},
        {"REG_QWORD", "4294967296", 11, "\0\0\0\0\1\0\0\0"s},
        {"REG_QWORD", "", 11, std::string(8, '\0')},
        {"REG_QWORD", "18446744073709551616", kRefused},
        {"REG_QWORD", "0x10000000000000000", kRefused},
        {"REG_QWORD", "-0x1", kRefused},
        {"REG_QWORD", "abc", kRefused},
        {"REG_QWORD", "-18446744073709551616", kRefused, "",
         "Wine's reg add stores 1 for this overflow"},
        {"REG_BINARY", "", 3, ""},
        {"REG_BINARY", "abc", 3, "\x0a\xbc"s},  // an odd count: a 0 in front
        {"REG_BINARY", "0A0b", 3, "\x0a\x0b"s},
        {"REG_BINARY", "xyz", kRefused},
        {"REG_BINARY", "0x12", kRefused},
        {"REG_BINARY", "12 34", kRefused},
        {"REG_BINARY", "12,34", kRefused},
        {"REG_MULTI_SZ", "", 7, "\0\0"s},
        {"REG_MULTI_SZ", "a\\0b", 7, "a\0\0\0b\0\0\0\0\0"s},
        {"REG_MULTI_SZ", "a\\0", 7, "a\0\0\0\0\0"s},  // a \0 at the end adds nothing
        {"REG_MULTI_SZ", "\\0", 7, "\0\0\0\0"s},      // one empty text
        {"REG_MULTI_SZ", "a\\\\0b", 7, "a\0\\\0\0\0b\0\0\0\0\0"s},
        {"REG_MULTI_SZ", "a\\00b", 7,
         "a\0\0\0"
         "0\0b\0\0\0\0\0"s},
        {"REG_MULTI_SZ", "\\0a", kRefused},
        {"REG_MULTI_SZ", "a\\0\\0b", kRefused},
        {"REG_MULTI_SZ", "a\\0\\0", kRefused},
        {"REG_NONE", "", 0, "\0\0"s},
        {"REG_NONE", "ab", 0, "a\0b\0\0\0"s},
        {"REG_SZ", "", 1, "\0\0"s},
        {"Reg_Sz", "C:\\x \"y\"", 1, "C\0:\0\\\0x\0 \0\"\0y\0\"\0\0\0"s},
        {"REG_EXPAND_SZ", "%PATH%", 2, "%\0P\0A\0T\0H\0%\0\0\0"s},
        {"REG_LINK", "x", kRefused},
        {"REG_FOO", "1", kRefused},
        {"", "1", kRefused},
    };
    return rows;
}

// One value of every type with edge data, for the whole way: set with
// +regt (DATA in code page 1252, so that \xfe is a thorn, which code page
// 936 lacks), listed with -regq, exported with -rege and imported again.
// Names sort in the order of the rows, as Wine enumerates values by name.
struct EveryTypeRow {
    std::string name;  // empty: the default value, set with KEY TYPE DATA
    const char* type;
    std::string data;
    std::optional<std::uint32_t> stored_type;  // nothing: +regt refuses it
    std::string stored = {};                   // the bytes, as the W calls read them
    std::string listed = {};                   // TYPE    DATA as -regq prints them (code page 936)
    std::string exported = {};                 // the value's line in the export, as UTF-8
};

inline const std::vector<EveryTypeRow>& every_type_rows() {
    using namespace std::string_literals;
    static const std::vector<EveryTypeRow> rows = {
        {"", "REG_SZ", "default", 1, "d\0e\0f\0a\0u\0l\0t\0\0\0"s, "REG_SZ    default",
         "@=\"default\""},
        {"v01", "REG_SZ", "", 1, "\0\0"s, "REG_SZ    ", "\"v01\"=\"\""},
        {"v02", "REG_SZ", "a\"b\\c\xfe", 1, "a\0\"\0b\0\\\0c\0\xfe\0\0\0"s, "REG_SZ    a\"b\\c?",
         "\"v02\"=\"a\\\"b\\\\c\xc3\xbe\""},
        {"v03", "REG_EXPAND_SZ", "%A%\xfe", 2, "%\0A\0%\0\xfe\0\0\0"s, "REG_EXPAND_SZ    %A%?",
         "\"v03\"=hex(2):25,00,41,00,25,00,fe,00,00,00"},
        {"v04", "REG_EXPAND_SZ", "", 2, "\0\0"s, "REG_EXPAND_SZ    ", "\"v04\"=hex(2):00,00"},
        {"v05", "REG_MULTI_SZ", "\\0", 7, "\0\0\0\0"s, "REG_MULTI_SZ    ",
         "\"v05\"=hex(7):00,00,00,00"},
        {"v06", "REG_MULTI_SZ", "\\0a", std::nullopt},
        {"v07", "REG_MULTI_SZ", "a\\0\xfe\\0", 7, "a\0\0\0\xfe\0\0\0\0\0"s, "REG_MULTI_SZ    a\\0?",
         "\"v07\"=hex(7):61,00,00,00,fe,00,00,00,00,00"},
        {"v08", "REG_MULTI_SZ", "", 7, "\0\0"s, "REG_MULTI_SZ    ", "\"v08\"=hex(7):00,00"},
        {"v09", "REG_DWORD", "4294967295", 4, "\xff\xff\xff\xff"s, "REG_DWORD    0xffffffff",
         "\"v09\"=dword:ffffffff"},
        {"v10", "reg_dword", "", 4, "\0\0\0\0"s, "REG_DWORD    0x0", "\"v10\"=dword:00000000"},
        {"v11", "REG_DWORD_BIG_ENDIAN", "0x12345678", 5, "\x78\x56\x34\x12"s,
         "REG_DWORD_BIG_ENDIAN    0x12345678", "\"v11\"=hex(5):78,56,34,12"},
        {"v12", "REG_QWORD", "18446744073709551615", 11, std::string(8, '\xff'),
         "REG_QWORD    0xffffffffffffffff", "\"v12\"=hex(b):ff,ff,ff,ff,ff,ff,ff,ff"},
        {"v13", "REG_QWORD", "0x10", 11, "\x10\0\0\0\0\0\0\0"s, "REG_QWORD    0x10",
         "\"v13\"=hex(b):10,00,00,00,00,00,00,00"},
        {"v14", "REG_BINARY", "abc", 3, "\x0a\xbc"s, "REG_BINARY    0ABC", "\"v14\"=hex:0a,bc"},
        {"v15", "REG_BINARY", "", 3, "", "REG_BINARY    ", "\"v15\"=hex:"},
        {"v16", "REG_NONE", "\xfe", 0, "\xfe\0\0\0"s, "REG_NONE    FE000000",
         "\"v16\"=hex(0):fe,00,00,00"},
        {"v17", "REG_NONE", "", 0, "\0\0"s, "REG_NONE    0000", "\"v17\"=hex(0):00,00"},
        {"v18q\"\\\xfe", "REG_SZ", "x", 1, "x\0\0\0"s, "REG_SZ    x",
         "\"v18q\\\"\\\\\xc3\xbe\"=\"x\""},
    };
    return rows;
}

}  // namespace qh_test
