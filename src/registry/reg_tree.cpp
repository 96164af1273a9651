#include "registry/reg_tree.h"

#include <unordered_map>
#include <unordered_set>

#include "registry/reg_preview.h"

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

// A name as the registry compares it: ASCII letters folded.
std::u16string folded(std::u16string_view name) {
    std::u16string out(name);
    for (char16_t& unit : out)
        if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit + (u'a' - u'A'));
    return out;
}

// walk_below over the preview: `key` is the registry's key at
// `root`\`subkey`, or none when only the preview has it.
RegResult walk_previewed(const ChangePreview& preview, Key root, std::u16string& subkey, Key key,
                         std::u16string& below, bool recurse, const RegWalkVisitor& visitor,
                         RegWideValue& value) {
    visitor.key(below);
    std::vector<ChangePreview::ChangedValue> changed = preview.values_in(root, subkey);
    std::unordered_map<std::u16string, std::size_t> changed_at;
    for (std::size_t i = 0; i < changed.size(); ++i) changed_at.emplace(folded(changed[i].name), i);
    std::vector<bool> shown(changed.size());
    std::vector<std::u16string> subkeys;
    if (key) {
        for (std::uint32_t index = 0;; ++index) {
            const long status =
                platform::reg_enum_value_wide(key, index, value.name, value.type, value.data);
            if (status == platform::kErrorNoMoreItems) break;
            if (status != platform::kErrorSuccess) return {RegStep::value, status};
            if (const auto found = changed_at.find(folded(value.name)); found != changed_at.end()) {
                shown[found->second] = true;
                const std::optional<StoredValue>& now = changed[found->second].now;
                if (!now) continue;
                value.type = now->type;
                value.data = now->data;
            }
            visitor.value(value);
        }
        const std::size_t length = subkey.size();
        for (std::uint32_t index = 0;; ++index) {
            std::u16string name;
            const long status = platform::reg_enum_key_wide(key, index, name);
            if (status == platform::kErrorNoMoreItems) break;
            if (status != platform::kErrorSuccess) return {RegStep::key, status};
            subkey += u'\\';
            subkey += name;
            if (preview.key_exists(root, subkey)) subkeys.push_back(std::move(name));
            subkey.resize(length);
        }
    }
    for (std::size_t i = 0; i < changed.size(); ++i) {
        if (shown[i] || !changed[i].now) continue;
        value.name = std::move(changed[i].name);
        value.type = changed[i].now->type;
        value.data = std::move(changed[i].now->data);
        visitor.value(value);
    }
    std::unordered_set<std::u16string> listed;
    for (const std::u16string& name : subkeys) listed.insert(folded(name));
    for (std::u16string& name : preview.keys_created_in(root, subkey))
        if (!listed.contains(folded(name))) subkeys.push_back(std::move(name));
    visitor.key_done(below, subkeys);
    if (!recurse) return {};
    const std::size_t subkey_length = subkey.size();
    const std::size_t below_length = below.size();
    for (const std::u16string& name : subkeys) {
        subkey += u'\\';
        subkey += name;
        OwnedKey opened;
        if (key && !preview.only_previewed(root, subkey)) {
            opened = reg_open_for_reading_wide(key, name);
            if (!opened && !passed_over(opened.result().status)) return opened.result();
        }
        RegResult walked;
        // A subkey of the registry's that cannot be opened is passed over.
        if (opened || !key || preview.only_previewed(root, subkey)) {
            if (!below.empty()) below += u'\\';
            below += name;
            walked =
                walk_previewed(preview, root, subkey, opened.get(), below, recurse, visitor, value);
            below.resize(below_length);
        }
        subkey.resize(subkey_length);
        if (!walked.ok()) return walked;
    }
    return {};
}

}  // namespace

RegResult reg_walk_at(Key root, std::u16string_view subkey, bool recurse,
                      const RegWalkVisitor& visitor, const ChangePreview* preview) {
    if (!root) return {RegStep::key, platform::kErrorInvalidHandle};
    if (preview && !preview->key_exists(root, subkey))
        return {RegStep::key, platform::kErrorFileNotFound};
    OwnedKey key;
    if (!preview || !preview->only_previewed(root, subkey)) {
        key = reg_open_for_reading_wide(root, subkey);
        if (!key) return key.result();
    }
    if (!preview) return reg_walk(key.get(), recurse, visitor);
    // Subkey names are joined to it with one backslash.
    std::u16string at(subkey);
    while (!at.empty() && at.back() == u'\\') at.pop_back();
    std::u16string below;
    RegWideValue value;
    return walk_previewed(*preview, root, at, key.get(), below, recurse, visitor, value);
}

RegResult reg_walk(Key key, bool recurse, const RegWalkVisitor& visitor) {
    std::u16string below;
    // One value's buffers for the whole walk.
    RegWideValue value;
    return walk_below(key, below, recurse, visitor, value);
}

}  // namespace qh
