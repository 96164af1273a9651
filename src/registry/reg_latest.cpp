#include "registry/reg_latest.h"

#include <algorithm>
#include <cstdint>

namespace qh {

namespace {

// Raises `latest_name` to the greatest subkey name of `key`.
void raise_to_greatest_subkey(Key key, std::string& latest_name) {
    int failed_in_a_row = 0;
    for (std::uint32_t index = 0; failed_in_a_row < kMaxFailedEnumAnswers; ++index) {
        std::string name;
        const long answer = platform::reg_enum_key(key, index, name, kMaxSubkeyName);
        if (answer == platform::kErrorNoMoreItems) return;
        if (answer != platform::kErrorSuccess) {
            // One unreadable index does not hide the names after it.
            ++failed_in_a_row;
            continue;
        }
        failed_in_a_row = 0;
        if (latest_name_greater(name, latest_name)) latest_name = name;
    }
}

}  // namespace

bool latest_name_greater(std::string_view candidate, std::string_view current) {
    const std::size_t common = std::min(candidate.size(), current.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto a = static_cast<unsigned char>(candidate[i]);
        const auto b = static_cast<unsigned char>(current[i]);
        if (a != b) return a > b;
    }
    return candidate.size() > current.size();
}

int reg_read_latest(RegValue& out, std::string& latest_name, std::string_view key_path,
                    ValueName name) {
    const OwnedKey key = reg_open_path_for_reading(key_path);
    if (!key) return 11;

    raise_to_greatest_subkey(key.get(), latest_name);
    if (latest_name.empty()) return 12;

    const OwnedKey subkey = reg_open_for_reading(key.get(), latest_name);
    if (!subkey) return 2;
    return reg_read_value(out, subkey.get(), name);
}

}  // namespace qh
