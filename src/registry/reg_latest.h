// Reading a value from the "latest" subkey of a key: the subkey with the
// greatest name in plain byte order, as products keep one subkey per version.
#pragma once

#include <string>
#include <string_view>

#include "registry/reg_value.h"

namespace qh {

// `latest_name` carries the greatest name found so far in and out, so that
// lookups can be chained over several keys. Codes: 0 read; 1 subkey opened,
// value not read; 2 no subkey of the latest name; 11 key not readable;
// 12 no subkey and no name on entry.
int reg_read_latest(RegValue& out, std::string& latest_name, std::string_view key_path,
                    ValueName name);

}  // namespace qh
