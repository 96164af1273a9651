#include "registry/reg_tree.h"

namespace qh {

namespace {

// Subkeys a walk passes over: not to be read by this user, or gone.
bool passed_over(long status) {
    return status == platform::kErrorAccessDenied || status == platform::kErrorFileNotFound ||
           status == platform::kErrorKeyDeleted;
}

RegResult walk_below(Key key, std::u16string& below, bool recurse, const RegVisit& visit) {
    RegKeyContents contents;
    if (const RegResult read = reg_read_contents(key, contents); !read.ok()) return read;
    visit(below, contents);
    if (!recurse) return {};
    const std::size_t length = below.size();
    for (const std::u16string& name : contents.subkeys) {
        const OwnedKey subkey = reg_open_for_reading_wide(key, name);
        if (!subkey) {
            if (passed_over(subkey.result().status)) continue;
            return subkey.result();
        }
        if (!below.empty()) below += u'\\';
        below += name;
        const RegResult walked = walk_below(subkey.get(), below, recurse, visit);
        below.resize(length);
        if (!walked.ok()) return walked;
    }
    return {};
}

}  // namespace

RegResult reg_read_contents(Key key, RegKeyContents& out) {
    out = {};
    for (std::uint32_t index = 0;; ++index) {
        RegWideValue value;
        const long status =
            platform::reg_enum_value_wide(key, index, value.name, value.type, value.data);
        if (status == platform::kErrorNoMoreItems) break;
        if (status != platform::kErrorSuccess) return {RegStep::value, status};
        out.values.push_back(std::move(value));
    }
    for (std::uint32_t index = 0;; ++index) {
        std::u16string name;
        const long status = platform::reg_enum_key_wide(key, index, name);
        if (status == platform::kErrorNoMoreItems) break;
        if (status != platform::kErrorSuccess) return {RegStep::key, status};
        out.subkeys.push_back(std::move(name));
    }
    return {};
}

RegResult reg_walk(Key key, bool recurse, const RegVisit& visit) {
    std::u16string below;
    return walk_below(key, below, recurse, visit);
}

}  // namespace qh
