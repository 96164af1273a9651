// Who the emulated machine's session runs as. An administrator may change
// everything; a standard user (QUILLHAVEN_USER=standard) may read everything
// but change only what an unelevated Windows session can, so that installer
// command lines can be tried for both cases without Windows.
#pragma once

#include <string_view>

#include "platform/platform.h"
#include "platform/posix/registry_store.h"

namespace qh::platform::posix {

// kErrorSuccess when the session may create, write or delete `key`, its
// values and keys below it (or when it no longer exists); kErrorAccessDenied
// when it may only read them.
long registry_write_status(RegistryStore& store, KeyId key);

// Whether the session may create or write the file or directory at `host`
// (a host path of the machine, as host_path() gives it), wherever its
// symbolic links lead.
bool file_write_allowed(std::string_view host);

}  // namespace qh::platform::posix
