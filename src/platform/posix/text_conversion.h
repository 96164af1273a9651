// Texts between an ANSI code page and UTF-16, the form in which the
// emulated registry keeps names and string data, as Windows' conversions
// make them.
#pragma once

#include <string>
#include <string_view>

namespace qh::platform::posix {

// What becomes of a byte, byte pair or code unit the other side cannot hold.
enum class Unmappable {
    fail,         // the conversion fails and appends nothing
    default_char  // '?', as Windows' A functions put it
};

// Whether this host can convert the code page (iconv knows it).
bool converts(int code_page);

// The bytes of `code_page` as UTF-16, appended to `out`. Under the C locale
// (kCLocale) each byte is the unit of the same value; the bytes that a
// single-byte code page leaves undefined (0x81 in 1252) are the units of the
// same value too, as Windows maps them. False only under
// Unmappable::fail, when a byte or byte pair has no character.
bool to_utf16(int code_page, std::string_view bytes, Unmappable unmappable, std::u16string& out);

// UTF-16 as bytes of `code_page`, appended to `out`: the reverse of
// to_utf16. False only under Unmappable::fail, when a unit has no
// representation; each half of a surrogate pair that has none is one '?'.
bool from_utf16(int code_page, std::u16string_view units, Unmappable unmappable, std::string& out);

// UTF-16 code units as stored: two bytes each, low byte first. An odd last
// byte is no unit and is dropped.
std::string utf16le_bytes(std::u16string_view units);
std::u16string units_of_utf16le(std::string_view bytes);

}  // namespace qh::platform::posix
