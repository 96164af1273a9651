#include "registry/reg_tree.h"

namespace qh {

namespace {

// Subkeys a walk passes over: not to be read by this user, or gone.
bool passed_over(long status) {
    return status == platform::kErrorAccessDenied || status == platform::kErrorFileNotFound ||
           status == platform::kErrorKeyDeleted;
}

RegResult walk_below(Key key, std::u16string& below, bool recurse, const RegWalkVisitor& visitor,
                     RegWideValue& value) {
    visitor.key(below);
    for (std::uint32_t index = 0;; ++index) {
        const long status =
            platform::reg_enum_value_wide(key, index, value.name, value.type, value.data);
        if (status == platform::kErrorNoMoreItems) break;
        if (status != platform::kErrorSuccess) return {RegStep::value, status};
        visitor.value(value);
    }
    // All names first: an enumeration goes on fastest undisturbed.
    std::vector<std::u16string> subkeys;
    for (std::uint32_t index = 0;; ++index) {
        std::u16string name;
        const long status = platform::reg_enum_key_wide(key, index, name);
        if (status == platform::kErrorNoMoreItems) break;
        if (status != platform::kErrorSuccess) return {RegStep::key, status};
        subkeys.push_back(std::move(name));
    }
    visitor.key_done(below, subkeys);
    if (!recurse) return {};
    const std::size_t length = below.size();
    for (const std::u16string& name : subkeys) {
        const OwnedKey subkey = reg_open_for_reading_wide(key, name);
        if (!subkey) {
            if (passed_over(subkey.result().status)) continue;
            return subkey.result();
        }
        if (!below.empty()) below += u'\\';
        below += name;
        const RegResult walked = walk_below(subkey.get(), below, recurse, visitor, value);
        below.resize(length);
        if (!walked.ok()) return walked;
    }
    return {};
}

}  // namespace

RegResult reg_walk(Key key, bool recurse, const RegWalkVisitor& visitor) {
    std::u16string below;
    // One value's buffers for the whole walk.
    RegWideValue value;
    return walk_below(key, below, recurse, visitor, value);
}

}  // namespace qh
