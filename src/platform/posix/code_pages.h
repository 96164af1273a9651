// What the emulated machine knows of its ANSI code pages: which locale names
// select which code page, double-byte lead bytes, and letter case.
#pragma once

#include <optional>
#include <string_view>

namespace qh::platform::posix {

// The "C" locale: no code page of its own; UTF-16 units below 256 become
// the byte of the same value and only ASCII letters have case.
inline constexpr int kCLocale = 0;

// The code page a Windows locale name selects ("chs", "Russian_Russia.1251",
// ".932", "C" ...), kCLocale for "C", nothing for a name that is refused.
std::optional<int> code_page_of_locale(std::string_view name);

// iconv's name of a code page this machine supports.
const char* iconv_name(int code_page);

// Whether the code page has characters of two bytes (932, 936, 949, 950).
bool is_double_byte(int code_page);

// Whether the byte starts a double-byte character in the code page.
bool is_lead_byte(int code_page, unsigned char byte);

// Whether a single-byte code page leaves the byte without a character
// (0x81 in 1252); Windows maps such a byte to the unit of the same value
// and back.
bool is_undefined_byte(int code_page, unsigned char byte);

// The lower-case form of a single-byte letter, or the byte itself.
unsigned char lower_byte(int code_page, unsigned char byte);

}  // namespace qh::platform::posix
