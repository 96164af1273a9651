#include "registry/reg_latest.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "registry/reg_reason.h"

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
                    ValueName name, Failure* failure) {
    const std::optional<KeyPath> path = reg_parse_path(key_path);
    if (!path) return fail(failure, 11, reg_path_reason(key_path));
    long status;
    const OwnedKey key = reg_open_for_reading(path->root, path->subkey, &status);
    if (!key) return fail(failure, 11, reg_key_reason(path->root, path->subkey, status));

    raise_to_greatest_subkey(key.get(), latest_name);
    if (latest_name.empty()) {
        return fail(failure, 12,
                    reg_key_name(path->root, path->subkey) + ": the key has no subkey");
    }

    const std::string subkey_path = std::string(path->subkey) + "\\" + latest_name;
    const OwnedKey subkey = reg_open_for_reading(key.get(), latest_name, &status);
    if (!subkey) return fail(failure, 2, reg_key_reason(path->root, subkey_path, status));
    if (reg_read_value(out, subkey.get(), name, &status) == 0) return 0;
    return fail(failure, 1, reg_value_reason(path->root, subkey_path, name, status));
}

}  // namespace qh
