// Reasons for the registry's failures, in the words the person who ran the
// tool needs: which key or value, and the system's own message for why.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/failure.h"
#include "registry/reg_path.h"
#include "registry/reg_result.h"

namespace qh {

// The system's message for a status as a clause of a reason: its first
// letter lower-cased and its full stop dropped ("access is denied").
std::string reg_status_clause(long status);

// The full name of a key: its root's full name, a backslash and the subkey.
std::string reg_key_name(Key root, std::string_view subkey);

// Why a path text names no key: its root is not recognised, or it has no
// backslash after the root.
std::string reg_path_reason(std::string_view path);

// Why a key could not be opened, created or deleted, from the status of the
// call that failed: "<key>: the key does not exist", "<key>: access is
// denied", the latter with the advice to elevate where the key is machine-
// wide.
std::string reg_key_reason(Key root, std::string_view subkey, long status);

// Why a value could not be read, set or deleted: "<key>: the value NAME does
// not exist", "<key>: the value NAME is larger than 32767 bytes", or the
// status's clause, as for a key.
std::string reg_value_reason(Key root, std::string_view subkey, ValueName name, long status);

// Why a registry operation on the key `subkey` of `root` failed, from its
// result: the key's reason for the key step, the value's for the value
// step; empty when it did not fail. The one place where a result becomes
// words.
std::string reg_reason(const RegResult& result, Key root, std::string_view subkey,
                       ValueName name = std::nullopt);
// Records that reason and the result's status in `failure`, when given;
// returns `code`, so that a command fails in one statement.
int reg_fail(Failure* failure, int code, const RegResult& result, Key root, std::string_view subkey,
             ValueName name = std::nullopt);

// "the value NAME", or "the default value" for the unnamed one.
std::string reg_value_label(ValueName name);

// The name Windows gives a value type ("REG_MULTI_SZ"); nothing for a
// number it gives no name.
std::optional<std::string_view> reg_known_type_name(std::uint32_t type);
// The same, or "type N" for a number without a name.
std::string reg_type_name(std::uint32_t type);

}  // namespace qh
