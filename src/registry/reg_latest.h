// Reading a value from the "latest" subkey of a key: the subkey with the
// greatest name in plain byte order, as products keep one subkey per version.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/failure.h"
#include "registry/reg_value.h"

namespace qh {

// Longest subkey name the enumeration accepts.
inline constexpr std::size_t kMaxSubkeyName = 512;
// The enumeration gives up after this many failed answers in a row, so a key
// deleted during the walk cannot keep it asking for ever.
inline constexpr int kMaxFailedEnumAnswers = 32;

// Byte-wise order of subkey names, each byte unsigned; a proper prefix is the
// smaller. True when `candidate` sorts after `current`.
bool latest_name_greater(std::string_view candidate, std::string_view current);

// `latest_name` carries the greatest name found so far in and out, so that
// lookups can be chained over several keys. Codes: 0 read; 1 subkey opened,
// value not read; 2 no subkey of the latest name; 11 key not readable;
// 12 no subkey and no name on entry. A failure, when given, receives the
// reason of a non-zero code.
int reg_read_latest(RegValue& out, std::string& latest_name, std::string_view key_path,
                    ValueName name, Failure* failure = nullptr);

}  // namespace qh
