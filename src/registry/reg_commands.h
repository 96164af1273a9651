// The registry commands of the command line, each on a registry path text
// as the user typed it. Result codes: 0 success, see each operation. A
// failure, when given, receives the reason of a non-zero code.
#pragma once

#include <string_view>

#include "common/failure.h"
#include "registry/reg_value.h"

namespace qh {

// 10 root not recognised; 1 key not readable; 2 value not read.
int reg_read_path_value(RegValue& out, std::string_view key_path, ValueName name,
                        Failure* failure = nullptr);
// 10 root not recognised; 1 key not created; 2 value not set.
int reg_set_path_value(std::string_view text, std::string_view key_path, ValueName name,
                       Failure* failure = nullptr);
// 1 root not recognised or key missing; 2 value not deleted.
int reg_delete_path_value(std::string_view key_path, ValueName name, Failure* failure = nullptr);
// 1 root not recognised; 2 key not created.
int reg_create_key_path(std::string_view key_path, Failure* failure = nullptr);
// 1 root not recognised or a protected key (a root, a hive, a top key, ...:
// reg_protected.h), nothing touched; 2 key not deleted.
int reg_delete_key_path(std::string_view key_path, Failure* failure = nullptr);

}  // namespace qh
