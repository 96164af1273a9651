// The 32-bit view on the emulated machine is SOFTWARE\WOW6432Node; written
// through the platform calls directly.
#include <string>

#include "platform/platform.h"
#include "support/test_support.h"

namespace qh_test {

bool write_32bit_view(std::string_view subkey, std::string_view name, std::string_view text) {
    constexpr std::string_view kSoftware = "SOFTWARE\\";
    if (!subkey.starts_with(kSoftware)) return false;
    const std::string redirected =
        std::string(kSoftware) + "WOW6432Node\\" + std::string(subkey.substr(kSoftware.size()));
    namespace platform = qh::platform;
    platform::Key key;
    if (platform::reg_create_key_ex(platform::root_key(platform::Root::local_machine), redirected,
                                    key) != platform::kErrorSuccess) {
        return false;
    }
    std::string data(text);
    data += '\0';
    const bool written =
        platform::reg_set_value(key, name, platform::kRegSz, data) == platform::kErrorSuccess;
    platform::reg_close_key(key);
    return written;
}

}  // namespace qh_test
