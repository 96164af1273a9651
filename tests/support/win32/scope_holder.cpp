// The scope holder under Windows: the probe program in its "hold" mode takes
// the named mutex through the tool's own platform layer.
#include "support/scope_holder.h"

#include <windows.h>

#include "support/win32/processes.h"

namespace qh_test {

std::intptr_t start_scope_holder(const std::string& held_file, const std::string& release_file) {
    const win32::Started started =
        win32::start_program(QH_WIN32_PROBE_EXE, {"hold", held_file, release_file});
    return started.process ? reinterpret_cast<std::intptr_t>(started.process) : -1;
}

int finish_scope_holder(std::intptr_t helper) {
    return win32::finish_program(win32::Started{reinterpret_cast<void*>(helper)});
}

}  // namespace qh_test
