// The registry commands of the command line, each on a registry path text
// as the user typed it. A failure, when given, receives the reason of a
// non-zero code; the changes go through the run's session, when given
// (reg_value.h).
#pragma once

#include <string_view>

#include "common/failure.h"
#include "registry/reg_value.h"

namespace qh {

// Codes of the value commands (read, set, delete).
inline constexpr int kValuePathRootUnknown = 10;  // read and set: the path names no root key
inline constexpr int kValueKeyFailed = 1;         // the key not opened or created; for the deletion
                                                  // also a root not recognised or the key missing
inline constexpr int kValueFailed = 2;            // the value not read, set or deleted
inline constexpr int kValueDataRefused = 3;       // +regt: a TYPE or DATA it does not take

// Codes of the key commands (create, delete).
inline constexpr int kKeyRefused = 1;  // no root recognised; for the deletion also a protected
                                       // key (a root, a hive, a top key: reg_protected.h)
inline constexpr int kKeyNotDone = 2;  // the system did not create or delete the key

// 0 read, kValuePathRootUnknown, kValueKeyFailed (not readable), kValueFailed.
int reg_read_path_value(RegValue& out, std::string_view key_path, ValueName name,
                        Failure* failure = nullptr, ChangeSession* session = nullptr);
// 0 set as REG_SZ, kValuePathRootUnknown, kValueKeyFailed (not created), kValueFailed.
int reg_set_path_value(std::string_view text, std::string_view key_path, ValueName name,
                       Failure* failure = nullptr, ChangeSession* session = nullptr);
// The value TYPE DATA as reg add /t /d makes it (reg_typed.h). 0 set,
// kValuePathRootUnknown, kValueKeyFailed (not created, or the path names a
// root key alone), kValueDataRefused (nothing is written), kValueFailed.
int reg_set_typed_path_value(std::string_view key_path, ValueName name, std::string_view type,
                             std::string_view data, Failure* failure = nullptr,
                             ChangeSession* session = nullptr);
// 0 deleted, kValueKeyFailed (no root, or no such key: nothing is created),
// kValueFailed (for instance no such value).
int reg_delete_path_value(std::string_view key_path, ValueName name, Failure* failure = nullptr,
                          ChangeSession* session = nullptr);
// 0 the key exists now, kKeyRefused, kKeyNotDone.
int reg_create_key_path(std::string_view key_path, Failure* failure = nullptr,
                        ChangeSession* session = nullptr);
// 0 deleted with everything below it, kKeyRefused (nothing touched), kKeyNotDone.
int reg_delete_key_path(std::string_view key_path, Failure* failure = nullptr,
                        ChangeSession* session = nullptr);

}  // namespace qh
