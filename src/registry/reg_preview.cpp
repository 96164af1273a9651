// The overlay of -dry-run and its lines.
#include "registry/reg_preview.h"

#include <algorithm>

#include "registry/reg_lines.h"
#include "registry/reg_reason.h"
#include "registry/reg_session.h"
#include "registry/reg_tree.h"

namespace qh {

namespace {

// The largest value read to be shown: more than the registry stores.
constexpr std::size_t kMaxShownValue = 64 * 1024 * 1024;

// A value's name as the registry compares it: ASCII letters folded.
std::u16string folded(std::u16string_view name) {
    std::u16string out(name);
    for (char16_t& unit : out)
        if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit + (u'a' - u'A'));
    return out;
}

// The last component of a key's name.
std::u16string last_name(std::u16string_view name) {
    const std::size_t cut = name.rfind(u'\\');
    return std::u16string(cut == std::u16string_view::npos ? name : name.substr(cut + 1));
}

bool at_or_below(std::u16string_view id, std::u16string_view key_id) {
    return id.starts_with(key_id) && (id.size() == key_id.size() || id[key_id.size()] == u'\\');
}

// Text for the console, in the code page; a character it lacks shows as '?'.
std::string shown(std::u16string_view text) {
    std::string out;
    if (platform::wide_to_multibyte(text, out)) return out;
    out.clear();
    for (const char16_t unit : text)
        if (!platform::wide_to_multibyte(std::u16string_view(&unit, 1), out)) out += '?';
    return out;
}

// The data as the console shows it: the text of a string, else as the
// export writes it.
std::string shown_data(const StoredView& value) {
    if (value.type == platform::kRegSz || value.type == platform::kRegExpandSz) {
        std::u16string text;
        for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
            const auto unit =
                static_cast<char16_t>(static_cast<unsigned char>(value.data[i]) |
                                      static_cast<unsigned char>(value.data[i + 1]) << 8);
            if (unit == u'\0') break;
            text += unit;
        }
        return shown(text);
    }
    std::u16string line;
    regfile_append_value(line, u"", value.type, value.data);
    std::u16string joined;
    for (std::size_t i = 2; i < line.size(); ++i) {  // after "@="
        if (line[i] == u'\\' && i + 1 < line.size() && line[i + 1] == u'\r') {
            i += 3;  // the continuation's line end and its indent
            while (i + 1 < line.size() && line[i + 1] == u' ') ++i;
            continue;
        }
        if (line[i] == u'\r' || line[i] == u'\n') break;
        joined += line[i];
    }
    return shown(joined);
}

std::string value_label(std::u16string_view name) {
    return name.empty() ? std::string("(Default)") : shown(name);
}

}  // namespace

const ChangePreview::ChangedKey* ChangePreview::nearest(std::u16string_view id) const {
    for (std::u16string_view at = id;;) {
        if (const auto found = keys_.find(std::u16string(at)); found != keys_.end())
            return &found->second;
        const std::size_t cut = at.rfind(u'\\');
        if (cut == std::u16string_view::npos) return nullptr;
        at = at.substr(0, cut);
    }
}

bool ChangePreview::key_exists(Key root, std::u16string_view subkey) const {
    const std::u16string id = change_key_id(root, subkey);
    // The nearest key the changes touched decides: a deleted one takes
    // what was below it, and nothing is below a created one but what the
    // changes created.
    if (const ChangedKey* const touched = nearest(id)) return touched->there && keys_.contains(id);
    Key key;
    if (platform::reg_open_key_wide(root, subkey, key) != platform::kErrorSuccess) return false;
    platform::reg_close_key(key);
    return true;
}

bool ChangePreview::only_previewed(Key root, std::u16string_view subkey) const {
    const ChangedKey* const touched = nearest(change_key_id(root, subkey));
    return touched && touched->there;
}

std::optional<StoredValue> ChangePreview::value(Key root, std::u16string_view subkey,
                                                std::u16string_view name) const {
    const std::u16string key_id = change_key_id(root, subkey);
    if (const auto in_key = values_.find(key_id); in_key != values_.end())
        if (const auto found = in_key->second.index.find(folded(name));
            found != in_key->second.index.end())
            return in_key->second.list[found->second].now;
    if (!key_exists(root, subkey)) return std::nullopt;
    // A key the changes created holds only what they set.
    if (nearest(key_id)) return std::nullopt;
    Key key;
    if (platform::reg_open_key_wide(root, subkey, key) != platform::kErrorSuccess)
        return std::nullopt;
    StoredValue stored;
    const long status = platform::reg_query_value_wide(
        key, name.empty() ? platform::WideName() : platform::WideName(name), stored.type,
        stored.data, kMaxShownValue);
    platform::reg_close_key(key);
    if (status != platform::kErrorSuccess) return std::nullopt;
    return stored;
}

std::vector<ChangePreview::ChangedValue> ChangePreview::values_in(
    Key root, std::u16string_view subkey) const {
    const auto found = values_.find(change_key_id(root, subkey));
    return found == values_.end() ? std::vector<ChangedValue>() : found->second.list;
}

std::vector<std::u16string> ChangePreview::keys_created_in(Key root,
                                                           std::u16string_view subkey) const {
    const std::u16string id = change_key_id(root, subkey);
    std::vector<const ChangedKey*> created;
    for (const auto& [key, change] : keys_)
        if (change.there && key.size() > id.size() && key.starts_with(id) &&
            key[id.size()] == u'\\' && key.find(u'\\', id.size() + 1) == std::u16string::npos)
            created.push_back(&change);
    std::sort(created.begin(), created.end(),
              [](const ChangedKey* a, const ChangedKey* b) { return a->order < b->order; });
    std::vector<std::u16string> names;
    for (const ChangedKey* change : created) names.push_back(change->name);
    return names;
}

RegResult ChangePreview::set_value(Key root, std::u16string_view subkey, std::u16string_view name,
                                   const std::optional<StoredView>& now) {
    const std::optional<StoredValue> before = value(root, subkey, name);
    const std::string where = shown(change_key_name(root, subkey));
    if (!now) {
        if (!before) return {RegStep::value, platform::kErrorFileNotFound};
        line("would delete value " + value_label(name) + " of " + where +
             " (was: " + shown_data(before->view()) + ")");
    } else {
        std::string text = "would set " + where + "\\" + value_label(name) + " (" +
                           reg_type_name(now->type) + "): " + shown_data(*now);
        text += before ? " (was: " + shown_data(before->view()) + ")" : " (new)";
        line(text);
    }
    std::optional<StoredValue> kept;
    if (now) kept = StoredValue{now->type, std::string(now->data)};
    KeyValues& in_key = values_[change_key_id(root, subkey)];
    const auto [found, added] = in_key.index.try_emplace(folded(name), in_key.list.size());
    if (added)
        in_key.list.push_back({std::u16string(name), std::move(kept)});
    else
        in_key.list[found->second].now = std::move(kept);
    return {};
}

void ChangePreview::create_key(Key root, std::u16string_view subkey) {
    if (key_exists(root, subkey)) return;
    line("would create key " + shown(change_key_name(root, subkey)));
    // Each missing parent is created with it.
    for (std::size_t end = 0; end != std::u16string_view::npos;) {
        end = subkey.find(u'\\', end + 1);
        const std::u16string_view part = subkey.substr(0, end);
        if (!key_exists(root, part)) mark_created(root, part);
    }
}

void ChangePreview::mark_created(Key root, std::u16string_view subkey) {
    keys_[change_key_id(root, subkey)] =
        ChangedKey{true, last_name(change_key_name(root, subkey)), ++keys_created_};
}

RegResult ChangePreview::delete_key(Key root, std::u16string_view subkey) {
    if (!key_exists(root, subkey)) return {RegStep::key, platform::kErrorFileNotFound};
    const std::u16string id = change_key_id(root, subkey);
    std::size_t values = 0;
    std::size_t keys = 0;
    const bool created = nearest(id) != nullptr;
    if (Key key;
        !created && platform::reg_open_key_wide(root, subkey, key) == platform::kErrorSuccess) {
        // What the registry holds, less what the changes shown took away.
        std::u16string at;
        bool gone = false;
        RegWalkVisitor visitor;
        visitor.key = [&](std::u16string_view below) {
            at = id;
            if (!below.empty()) at += u'\\';
            for (const char16_t unit : below)
                at += unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + (u'a' - u'A'))
                                                   : unit;
            gone = false;
            for (std::u16string_view up = at; !gone && up.size() > id.size();) {
                const auto found = keys_.find(std::u16string(up));
                gone = found != keys_.end() && !found->second.there;
                up = up.substr(0, up.rfind(u'\\'));
            }
            if (!below.empty() && !gone) ++keys;
        };
        visitor.value = [&](const RegWideValue& value) {
            const auto in_key = values_.find(at);
            if (!gone &&
                (in_key == values_.end() || !in_key->second.index.contains(folded(value.name))))
                ++values;
        };
        visitor.key_done = [](std::u16string_view, const std::vector<std::u16string>&) {};
        reg_walk(key, true, visitor);
        platform::reg_close_key(key);
    }
    for (const auto& [key, in_key] : values_)
        if (at_or_below(key, id))
            for (const ChangedValue& value : in_key.list)
                if (value.now) ++values;
    for (const auto& [key, change] : keys_)
        if (change.there && key != id && at_or_below(key, id)) ++keys;
    line("would delete " + shown(change_key_name(root, subkey)) + " (" + std::to_string(values) +
         (values == 1 ? " value, " : " values, ") + std::to_string(keys) +
         (keys == 1 ? " subkey)" : " subkeys)"));
    std::erase_if(values_, [&id](const auto& value) { return at_or_below(value.first, id); });
    std::erase_if(keys_, [&id](const auto& key) { return at_or_below(key.first, id); });
    keys_[id] = ChangedKey{};
    return {};
}

void ChangePreview::line(std::string_view text) const {
    std::string out(text);
    out += '\n';
    out_(out);
}

}  // namespace qh
