// Keys that are never deleted: the roots, the hives and the keys whose loss
// would take a whole part of the system's or a user's registry with them,
// under every name by which the tool can reach them.
#pragma once

#include <string_view>

#include "platform/platform.h"

namespace qh {

// Whether deleting `subkey` below the root key `root` is refused: the root
// itself; the hives below HKEY_USERS and the top keys of HKEY_LOCAL_MACHINE
// and HKEY_CURRENT_CONFIG; Windows' own top keys of each user hive
// (HKEY_CURRENT_USER and those below HKEY_USERS: Software, Environment,
// Control Panel, ...); the control sets of SYSTEM with their first level,
// Session Manager and the system Environment; SOFTWARE\Microsoft, its
// Windows and Windows NT with their CurrentVersion, and SOFTWARE\Policies, in
// the machine and in each user hive; SOFTWARE\WOW6432Node; and each class
// registry (HKEY_CLASSES_ROOT, the machine's and each user's Software\Classes)
// with its CLSID, Interface, TypeLib, AppID, *, Directory, Drive, Folder and
// AllFilesystemObjects. Letter case and empty components (doubled, leading
// or trailing backslashes) play no part. Keys below these stay deletable.
bool reg_key_is_protected(platform::Key root, std::string_view subkey);

}  // namespace qh
