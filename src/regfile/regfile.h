// Importing a registry-editor file (+regf), and removing what it marks with
// --uninstall (-regf): one file serves as its own installer and uninstaller.
#pragma once

#include <string_view>

#include "common/failure.h"
#include "registry/reg_session.h"

namespace qh {

// Codes of both operations.
inline constexpr int kRegfileNotOpened = 1;    // cannot be opened, or not a regular file
inline constexpr int kRegfileUnreadable = 2;   // stopped at a line that could not be read
inline constexpr int kRegfileTooLarge = 3;     // stopped at a line or value larger than an
                                               // import takes
inline constexpr int kRegfileStoreFailed = 4;  // stopped because the registry failed a write or
                                               // a deletion for a reason other than what was
                                               // asked (a full disk, a broken or locked registry)
inline constexpr int kRegfileRefused = 5;      // read to its end, but the registry refused some
                                               // lines: no access, a name beyond Windows' limits,
                                               // a key that is never deleted

// Writes every key and value the file names. 0 read to its end and every
// line taken, or one of the codes above. Lines that do not parse are
// skipped without a word; a key or value to delete that is not there is no
// refusal. What came before a stop stays applied, unless the registry's own
// failure lost it. A failure, when given, receives the reason of a non-zero
// code, with the line it stopped at (for kRegfileRefused the first line
// refused, and how many were) and the registry's status.
// The changes go through the session, when given (reg_value.h); a journal
// that fails stops the import (kRegfileStoreFailed).
int regfile_apply(std::string_view path, Failure* failure = nullptr,
                  ChangeSession* session = nullptr);
// Deletes the keys and values the file marks, and nothing else; codes and
// reasons as regfile_apply.
int regfile_remove(std::string_view path, Failure* failure = nullptr,
                   ChangeSession* session = nullptr);
// regfile_apply of a file's bytes held in memory; `name` stands for the
// file in reasons.
int regfile_apply_bytes(std::string bytes, std::string_view name, Failure* failure = nullptr,
                        ChangeSession* session = nullptr);

}  // namespace qh
