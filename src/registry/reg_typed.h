// Values typed on the command line (+regt): the type names and the data
// forms of `reg add /t TYPE /d DATA`, so that a line written for reg add
// means the same here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qh {

// The type a TYPE text names, in any letter case: REG_SZ, REG_EXPAND_SZ,
// REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE, and reg add's
// REG_DWORD_LITTLE_ENDIAN (REG_DWORD) and REG_DWORD_BIG_ENDIAN (type 5).
// Nothing for any other text.
std::optional<std::uint32_t> reg_type_from_name(std::string_view name);

// DATA as the bytes to store for `type`, in the form the A calls take:
// the string types as texts of the current code page with their
// terminators (the call converts them), the others as they are stored.
// Nothing when DATA is refused; `why` then says why.
//   REG_SZ, REG_EXPAND_SZ: the text as typed, never expanded.
//   REG_MULTI_SZ: texts separated by the two characters \0; "" is no text,
//     "\0" one empty text, a \0 at the end adds none; an empty text before
//     another is refused.
//   REG_DWORD, type 5, REG_QWORD: a decimal number (010 is ten) or 0x and
//     hex digits, within the type's range; a QWORD may be -N, stored as
//     2^64 - N, as reg add stores it.
//   REG_BINARY: hex digits, an odd count read with a 0 in front.
//   REG_NONE: the text in UTF-16LE with its terminator.
std::optional<std::string> reg_typed_bytes(std::uint32_t type, std::string_view data,
                                           std::string& why);

}  // namespace qh
