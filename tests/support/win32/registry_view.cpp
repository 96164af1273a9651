// The 32-bit view under Wine, written by Wine's own reg.exe.
#include <string>

#include "support/test_support.h"
#include "support/win32/processes.h"

namespace qh_test {

bool write_32bit_view(std::string_view subkey, std::string_view name, std::string_view text) {
    const ToolRun run =
        win32::run_program("C:\\windows\\system32\\reg.exe",
                           {"add", "HKLM\\" + std::string(subkey), "/v", std::string(name), "/d",
                            std::string(text), "/f", "/reg:32"});
    return run.exit_code == 0;
}

}  // namespace qh_test
