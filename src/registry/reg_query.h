// -regq and =regq: a key listed as Windows' `reg query KEY` (and with /s)
// prints it, read through the W calls and printed in the current code page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/failure.h"
#include "registry/reg_path.h"

namespace qh {

inline constexpr int kQueryNoKey = 1;   // the path names no root, or the key cannot be opened
inline constexpr int kQueryUnread = 2;  // the key, or one below it, could not be read

// The listing of the key at `key_path` (with every key below it when
// `recurse`), lines ended by "\n":
//   an empty line; when the key has values, its path, one line per value
//   ("    NAME    TYPE    DATA", the default value as "(Default)") and an
//   empty line; then without `recurse` each subkey's path, with `recurse`
//   each key below in turn as a block of its path, its values and an empty
//   line, whether or not it has values.
// Paths are the root's full name and the subkey as typed, without the
// backslashes it ends in. A character the code page lacks prints as '?'.
// Under a preview, the key as its changes would leave it (reg_walk_at).
// 0 listed, kQueryNoKey, kQueryUnread.
int reg_query_path(std::string& listing, std::string_view key_path, bool recurse,
                   Failure* failure = nullptr, ChangeSession* session = nullptr);

// DATA of a listed value, from the bytes the W calls deliver: the string
// types' text up to its first zero; DWORD (and type 5) and QWORD as 0x and
// lower-case hex digits; a multi-string's texts joined by the two
// characters \0; every other type as upper-case hex pairs.
std::u16string reg_query_data(std::uint32_t type, std::string_view bytes);

}  // namespace qh
