// Keys that are never deleted: the roots, the hives and the keys whose loss
// would take a whole part of the system's or a user's registry with them,
// under every name by which the tool can reach them.
#pragma once

#include <string_view>

#include "platform/platform.h"

namespace qh {

// Whether deleting `subkey` below the root key `root` is refused: the root
// itself; any key directly below HKEY_USERS (the hives), HKEY_LOCAL_MACHINE,
// HKEY_CURRENT_USER or HKEY_CURRENT_CONFIG (their top keys); a top key of a
// hive below HKEY_USERS (the same keys under the user's other name);
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes, HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node,
// HKEY_CURRENT_USER\Software\Classes and HKEY_USERS\<hive>\Software\Classes.
// Letter case and empty components (doubled, leading or trailing
// backslashes) play no part. Keys below these stay deletable.
bool reg_key_is_protected(platform::Key root, std::string_view subkey);

}  // namespace qh
