// The value primitives: each opens what it needs, does one step and closes
// again, on every path.
#include "registry/reg_value.h"

#include "registry/reg_protected.h"
#include "registry/reg_session.h"

namespace qh {

namespace {

// A text value is stored with its terminator, so an empty text is one byte.
std::string with_terminator(std::string_view text) {
    std::string bytes(text);
    bytes.push_back('\0');
    return bytes;
}

RegResult set_value(Key key, ValueName name, std::uint32_t type, std::string_view bytes) {
    return reg_step(RegStep::value, platform::reg_set_value(key, name, type, bytes));
}

// A text of the A calls (a subkey, a value name) in UTF-16, for the session.
std::optional<std::u16string> to_wide(ValueName name) {
    std::u16string wide;
    if (name && !platform::multibyte_to_wide(*name, wide)) return std::nullopt;
    return wide;
}

// One change of a value through a tracked key: announced, made, and what it
// left recorded. `left` is what it stores when the caller knows the bytes;
// the A calls convert them, so theirs are read back.
bool is_string_type(std::uint32_t type) {
    return type == platform::kRegSz || type == platform::kRegExpandSz ||
           type == platform::kRegMultiSz;
}

// The bytes an A call stores: those of the string types in UTF-16LE.
std::optional<std::string> stored_by_a_call(std::uint32_t type, std::string_view bytes) {
    if (!is_string_type(type)) return std::string(bytes);
    std::u16string wide;
    if (!platform::multibyte_to_wide(bytes, wide)) return std::nullopt;
    std::string stored;
    for (const char16_t unit : wide) {
        stored.push_back(static_cast<char>(unit & 0xFF));
        stored.push_back(static_cast<char>(unit >> 8));
    }
    return stored;
}

template <typename Change>
RegResult tracked(const OwnedKey& key, std::u16string_view name, Change change,
                  const std::optional<std::optional<StoredView>>& left = std::nullopt) {
    ChangeSession* const session = key.session();
    if (!session) return change();
    if (ChangePreview* const preview = session->preview())
        return preview->set_value(key.root(), key.subkey(), name, left.value_or(std::nullopt));
    if (const RegResult recorded = session->before_value(key.get(), key.root(), key.subkey(), name);
        !recorded.ok())
        return {RegStep::value, recorded.status};
    const RegResult result = change();
    const bool known = left.has_value() && result.ok();
    session->after_value(key.get(), key.root(), key.subkey(), name,
                         known ? *left : std::optional<StoredView>(), known);
    return result;
}

// The same through an A call; `now` is what it is given to store, in the
// code page (nothing: a deletion).
template <typename Change>
RegResult tracked_a(const OwnedKey& key, ValueName name, Change change,
                    const std::optional<StoredView>& now) {
    if (!key.session()) return change();
    const std::optional<std::u16string> wide = to_wide(name);
    if (!wide) return {RegStep::value, platform::kErrorInvalidName};
    if (ChangePreview* const preview = key.session()->preview()) {
        if (!now) return preview->set_value(key.root(), key.subkey(), *wide, std::nullopt);
        const std::optional<std::string> stored = stored_by_a_call(now->type, now->data);
        if (!stored) return {RegStep::value, platform::kErrorInvalidParameter};
        return preview->set_value(key.root(), key.subkey(), *wide, StoredView{now->type, *stored});
    }
    return tracked(key, *wide, change);
}

}  // namespace

RegResult reg_read_value_at(RegValue& out, Key root, std::string_view subkey, ValueName name,
                            ChangeSession* session) {
    if (ChangePreview* const preview = session ? session->preview() : nullptr) {
        const std::optional<std::u16string> wide_key = to_wide(subkey);
        const std::optional<std::u16string> wide_name = to_wide(name);
        if (!wide_key || !wide_name) return {RegStep::value, platform::kErrorInvalidName};
        if (!root || !preview->key_exists(root, *wide_key))
            return {RegStep::key, platform::kErrorFileNotFound};
        const std::optional<StoredValue> now = preview->value(root, *wide_key, *wide_name);
        if (!now) return {RegStep::value, platform::kErrorFileNotFound};
        // As the A call gives it: the string types in the code page.
        out.type = now->type;
        out.data = now->data;
        if (is_string_type(now->type)) {
            std::u16string units;
            for (std::size_t i = 0; i + 1 < now->data.size(); i += 2)
                units += static_cast<char16_t>(static_cast<unsigned char>(now->data[i]) |
                                               static_cast<unsigned char>(now->data[i + 1]) << 8);
            out.data.clear();
            platform::wide_to_multibyte(units, out.data);
        }
        if (out.data.size() > kMaxValueRead) return {RegStep::value, platform::kErrorMoreData};
        return {};
    }
    const OwnedKey key = reg_open_for_reading(root, subkey);
    if (!key) return key.result();
    return reg_read_value(out, key.get(), name);
}

RegResult reg_write_sz_at(std::string_view text, Key root, std::string_view subkey, ValueName name,
                          ChangeSession* session) {
    return reg_write_text_at(text, platform::kRegSz, root, subkey, name, session);
}

RegResult reg_write_text_at(std::string_view text, std::uint32_t type, Key root,
                            std::string_view subkey, ValueName name, ChangeSession* session) {
    const OwnedKey key = reg_create(root, subkey, session);
    if (!key) return key.result();
    const std::string bytes = with_terminator(text);
    return tracked_a(
        key, name, [&] { return set_value(key.get(), name, type, bytes); },
        StoredView{type, bytes});
}

RegResult reg_delete_value_at(Key root, std::string_view subkey, ValueName name,
                              ChangeSession* session) {
    const OwnedKey key = reg_open_existing(root, subkey, session);
    if (!key) return key.result();
    return qh::reg_delete_value(key, name);
}

RegResult reg_create_key_at(Key root, std::string_view subkey, ChangeSession* session) {
    if (!root) return {RegStep::key, 0};
    std::optional<std::u16string> wide;
    bool creates = false;
    if (session) {
        wide = to_wide(subkey);
        if (!wide) return {RegStep::key, platform::kErrorInvalidName};
        if (ChangePreview* const preview = session->preview()) {
            preview->create_key(root, *wide);
            return {};
        }
        if (const RegResult recorded = session->before_key_created(root, *wide, creates);
            !recorded.ok())
            return recorded;
    }
    // The older call, as it also opens a key that exists but may not be
    // written: such a key exists, and that is all this asks.
    Key key;
    const long status = platform::reg_create_key(root, subkey, key);
    if (status == platform::kErrorSuccess) platform::reg_close_key(key);
    if (creates)
        session->after_key(
            root, *wide,
            status == platform::kErrorSuccess ? std::optional<bool>(true) : std::nullopt);
    return reg_step(RegStep::key, status);
}

RegResult reg_delete_key_at(Key root, std::string_view subkey, ChangeSession* session) {
    if (!root || reg_key_is_protected(root, subkey)) return {RegStep::key, 0};
    if (!session) return reg_step(RegStep::key, platform::reg_delete_tree(root, subkey));
    const std::optional<std::u16string> wide = to_wide(subkey);
    if (!wide) return {RegStep::key, platform::kErrorInvalidName};
    if (ChangePreview* const preview = session->preview()) return preview->delete_key(root, *wide);
    if (const RegResult recorded = session->before_key_deleted(root, *wide); !recorded.ok())
        return recorded;
    const RegResult result = reg_step(RegStep::key, platform::reg_delete_tree(root, subkey));
    session->after_key(root, *wide, result.ok() ? std::optional<bool>(false) : std::nullopt);
    return result;
}

RegResult reg_read_value(RegValue& out, Key key, ValueName name) {
    std::uint32_t type = platform::kRegNone;
    std::string data;
    const long status = platform::reg_query_value(key, name, type, data, kMaxValueRead);
    if (status == platform::kErrorSuccess) {
        out.type = type;
        out.data = std::move(data);
    }
    return reg_step(RegStep::value, status);
}

RegResult reg_write_sz(std::string_view text, Key key, ValueName name) {
    return set_value(key, name, platform::kRegSz, with_terminator(text));
}

RegResult reg_write_expand_sz(std::string_view text, Key key, ValueName name) {
    return set_value(key, name, platform::kRegExpandSz, with_terminator(text));
}

RegResult reg_write_multi_sz(std::string_view multi, Key key, ValueName name) {
    using namespace std::string_view_literals;
    std::string bytes;
    const auto end = multi.find("\0\0"sv);
    if (end != std::string_view::npos) {
        bytes.assign(multi.substr(0, end + 2));
    } else {
        // An unclosed list is closed here rather than stored half-made.
        bytes.assign(multi);
        if (bytes.empty() || bytes.back() != '\0') bytes.push_back('\0');
        bytes.push_back('\0');
    }
    return set_value(key, name, platform::kRegMultiSz, bytes);
}

RegResult reg_write_dword(std::uint32_t number, Key key, ValueName name) {
    std::string bytes(4, '\0');
    for (std::size_t i = 0; i < 4; ++i) bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    return set_value(key, name, platform::kRegDword, bytes);
}

RegResult reg_write_raw(std::string_view bytes, std::uint32_t type, Key key, ValueName name) {
    return set_value(key, name, type, bytes);
}

RegResult reg_delete_value(Key key, ValueName name) {
    return reg_step(RegStep::value, platform::reg_delete_value(key, name));
}

RegResult reg_write_raw_wide(std::string_view bytes, std::uint32_t type, Key key, WideName name) {
    return reg_step(RegStep::value, platform::reg_set_value_wide(key, name, type, bytes));
}

RegResult reg_delete_value_wide(Key key, WideName name) {
    return reg_step(RegStep::value, platform::reg_delete_value_wide(key, name));
}

RegResult reg_write_sz(std::string_view text, const OwnedKey& key, ValueName name) {
    const std::string bytes = with_terminator(text);
    return tracked_a(
        key, name, [&] { return reg_write_sz(text, key.get(), name); },
        StoredView{platform::kRegSz, bytes});
}

RegResult reg_write_raw(std::string_view bytes, std::uint32_t type, const OwnedKey& key,
                        ValueName name) {
    return tracked_a(
        key, name, [&] { return reg_write_raw(bytes, type, key.get(), name); },
        StoredView{type, bytes});
}

RegResult reg_delete_value(const OwnedKey& key, ValueName name) {
    return tracked_a(
        key, name, [&] { return qh::reg_delete_value(key.get(), name); }, std::nullopt);
}

RegResult reg_write_raw_wide(std::string_view bytes, std::uint32_t type, const OwnedKey& key,
                             std::u16string_view name) {
    return tracked(
        key, name,
        [&] {
            return qh::reg_write_raw_wide(bytes, type, key.get(), name.empty() ? WideName() : name);
        },
        std::optional<std::optional<StoredView>>(StoredView{type, bytes}));
}

RegResult reg_delete_value_wide(const OwnedKey& key, std::u16string_view name) {
    return tracked(
        key, name,
        [&] { return qh::reg_delete_value_wide(key.get(), name.empty() ? WideName() : name); },
        std::optional<std::optional<StoredView>>(std::in_place));
}

RegResult reg_delete_key_at_wide(Key root, std::u16string_view subkey, ChangeSession* session) {
    // The protected keys all have ASCII names: any other character stands
    // for itself, as a byte no ASCII name holds.
    std::string ascii(subkey.size(), '\x80');
    for (std::size_t i = 0; i < subkey.size(); ++i)
        if (subkey[i] < 0x80) ascii[i] = static_cast<char>(subkey[i]);
    if (!root || reg_key_is_protected(root, ascii)) return {RegStep::key, 0};
    if (session && session->preview()) return session->preview()->delete_key(root, subkey);
    if (session)
        if (const RegResult recorded = session->before_key_deleted(root, subkey); !recorded.ok())
            return recorded;
    const RegResult result = reg_step(RegStep::key, platform::reg_delete_tree_wide(root, subkey));
    if (session) session->after_key(root, subkey);
    return result;
}

}  // namespace qh
