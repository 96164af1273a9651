// The overlay of -dry-run and its lines.
#include "registry/reg_preview.h"

#include "registry/reg_lines.h"
#include "registry/reg_reason.h"
#include "registry/reg_session.h"
#include "registry/reg_tree.h"

namespace qh {

namespace {

// The largest value read to be shown: more than the registry stores.
constexpr std::size_t kMaxShownValue = 64 * 1024 * 1024;

std::u16string value_id(std::u16string_view key_id, std::u16string_view name) {
    std::u16string id(key_id);
    id.append(1, u'\0');
    for (const char16_t unit : name)
        id += unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + (u'a' - u'A')) : unit;
    return id;
}

bool at_or_below(std::u16string_view id, std::u16string_view key_id) {
    return id.starts_with(key_id) &&
           (id.size() == key_id.size() || id[key_id.size()] == u'\\' || id[key_id.size()] == u'\0');
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

bool ChangePreview::key_exists(Key root, std::u16string_view subkey) const {
    const std::u16string id = change_key_id(root, subkey);
    // The nearest key the changes touched decides: a deleted one takes
    // what was below it, and nothing is below a created one but what the
    // changes created.
    for (std::u16string_view at = id;;) {
        if (const auto found = keys_.find(std::u16string(at)); found != keys_.end())
            return at.size() == id.size() && found->second;
        const std::size_t cut = at.rfind(u'\\');
        if (cut == std::u16string_view::npos) break;
        at = at.substr(0, cut);
    }
    Key key;
    if (platform::reg_open_key_wide(root, subkey, key) != platform::kErrorSuccess) return false;
    platform::reg_close_key(key);
    return true;
}

std::optional<StoredValue> ChangePreview::value(Key root, std::u16string_view subkey,
                                                std::u16string_view name) const {
    const std::u16string key_id = change_key_id(root, subkey);
    if (const auto found = values_.find(value_id(key_id, name)); found != values_.end())
        return found->second;
    if (!key_exists(root, subkey)) return std::nullopt;
    // A key the changes created holds only what they set.
    for (std::u16string_view at = key_id;;) {
        if (keys_.contains(std::u16string(at))) return std::nullopt;
        const std::size_t cut = at.rfind(u'\\');
        if (cut == std::u16string_view::npos) break;
        at = at.substr(0, cut);
    }
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
    values_[value_id(change_key_id(root, subkey), name)] =
        now ? std::optional<StoredValue>(StoredValue{now->type, std::string(now->data)})
            : std::nullopt;
    return {};
}

void ChangePreview::create_key(Key root, std::u16string_view subkey) {
    if (key_exists(root, subkey)) return;
    line("would create key " + shown(change_key_name(root, subkey)));
    // Each missing parent is created with it.
    for (std::size_t end = 0; end != std::u16string_view::npos;) {
        end = subkey.find(u'\\', end + 1);
        const std::u16string_view part = subkey.substr(0, end);
        if (!key_exists(root, part)) keys_[change_key_id(root, part)] = true;
    }
}

RegResult ChangePreview::delete_key(Key root, std::u16string_view subkey) {
    if (!key_exists(root, subkey)) return {RegStep::key, platform::kErrorFileNotFound};
    const std::u16string id = change_key_id(root, subkey);
    std::size_t values = 0;
    std::size_t keys = 0;
    bool created = false;
    for (std::u16string_view at = id; !created;) {
        created = keys_.contains(std::u16string(at));
        const std::size_t cut = at.rfind(u'\\');
        if (cut == std::u16string_view::npos) break;
        at = at.substr(0, cut);
    }
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
                gone = found != keys_.end() && !found->second;
                up = up.substr(0, up.rfind(u'\\'));
            }
            if (!below.empty() && !gone) ++keys;
        };
        visitor.value = [&](const RegWideValue& value) {
            if (!gone && !values_.contains(value_id(at, value.name))) ++values;
        };
        visitor.key_done = [](std::u16string_view, const std::vector<std::u16string>&) {};
        reg_walk(key, true, visitor);
        platform::reg_close_key(key);
    }
    for (const auto& [value, now] : values_)
        if (now && at_or_below(value, id)) ++values;
    for (const auto& [key, there] : keys_)
        if (there && key != id && at_or_below(key, id)) ++keys;
    line("would delete " + shown(change_key_name(root, subkey)) + " (" + std::to_string(values) +
         (values == 1 ? " value, " : " values, ") + std::to_string(keys) +
         (keys == 1 ? " subkey)" : " subkeys)"));
    std::erase_if(values_, [&id](const auto& value) { return at_or_below(value.first, id); });
    std::erase_if(keys_, [&id](const auto& key) { return at_or_below(key.first, id); });
    keys_[id] = false;
    return {};
}

void ChangePreview::line(std::string_view text) const {
    std::string out(text);
    out += '\n';
    out_(out);
}

}  // namespace qh
