// The registry calls over the emulated registry. The store keeps names and
// string data in UTF-16; the A calls convert at this boundary, from and to
// the code page of the run, as Windows' A functions do.
//
// HKEY_CLASSES_ROOT has no keys of its own: it shows the user's
// HKEY_CURRENT_USER\Software\Classes over the machine's
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes. A key there that both hold gets a
// handle of its own, which stands for the pair.
#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/lock_wait.h"
#include "platform/platform.h"
#include "platform/posix/access.h"
#include "platform/posix/machine.h"
#include "platform/posix/registry_store.h"
#include "platform/posix/text_conversion.h"
#include "platform/posix/upcase.h"

namespace qh::platform {
namespace {

using posix::KeyId;
using posix::RegistryStore;
using posix::root_id;

// The system's own limits, in UTF-16 code units.
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;

// ----------------------------------------------------------- texts

bool is_string_type(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// A text of the A calls in UTF-16, a byte the code page lacks becoming '?'.
std::u16string wide(std::string_view text) {
    std::u16string units;
    posix::to_utf16(static_cast<int>(locale_code_page()), text, posix::Unmappable::default_char,
                    units);
    return units;
}

// UTF-16 as the A calls deliver it, a character the code page lacks
// becoming '?'.
std::string narrow(std::u16string_view units) {
    std::string text;
    posix::from_utf16(static_cast<int>(locale_code_page()), units, posix::Unmappable::default_char,
                      text);
    return text;
}

// The calls take zero-terminated texts: anything after a zero is unseen.
std::u16string_view cut_at_zero(std::u16string_view text) {
    return text.substr(0, text.find(u'\0'));
}

std::u16string a_value_name(ValueName name) {
    return name ? wide(posix::cut_at_zero(*name)) : std::u16string();
}

std::u16string_view w_value_name(WideName name) {
    return name ? cut_at_zero(*name) : std::u16string_view();
}

// ----------------------------------------------------------- places

// What a handle stands for: one key, or below HKEY_CLASSES_ROOT the user's
// and the machine's key of one path.
struct Place {
    KeyId first = 0;            // the key; below HKEY_CLASSES_ROOT the user's (0: none)
    KeyId second = 0;           // below HKEY_CLASSES_ROOT the machine's (0: none)
    bool classes_root = false;  // HKEY_CLASSES_ROOT itself

    // Where a write goes: to the user's key when there is one, else to the
    // machine's; at HKEY_CLASSES_ROOT itself to the machine's, where
    // Windows registers new classes.
    KeyId write_target() const {
        if (classes_root) return second ? second : first;
        return first ? first : second;
    }
};

// The handles of keys that both class registries hold: the top bit set and
// the pair's index, handed out for the process (a handle is never closed).
constexpr std::uintptr_t kPairTag = std::uintptr_t{1} << (sizeof(std::uintptr_t) * 8 - 1);

std::vector<std::pair<KeyId, KeyId>>& pairs() {
    static std::vector<std::pair<KeyId, KeyId>> known;
    return known;
}

Key key_of(const Place& place) {
    if (!place.first || !place.second)
        return Key{static_cast<std::uintptr_t>(place.first ? place.first : place.second)};
    auto& known = pairs();
    const std::pair<KeyId, KeyId> pair{place.first, place.second};
    const auto index =
        static_cast<std::uintptr_t>(std::find(known.begin(), known.end(), pair) - known.begin());
    if (index == known.size()) known.push_back(pair);
    return Key{kPairTag | index};
}

std::optional<KeyId> find_path(RegistryStore& store, KeyId key,
                               std::initializer_list<std::u16string_view> names) {
    for (const std::u16string_view name : names) {
        const auto child = store.find_child(key, name);
        if (!child) return std::nullopt;
        key = *child;
    }
    return key;
}

// Nothing for a handle that never was one.
std::optional<Place> place_of(RegistryStore& store, Key key) {
    if (!key) return std::nullopt;
    if (key.handle & kPairTag) {
        const std::size_t index = key.handle & ~kPairTag;
        if (index >= pairs().size()) return std::nullopt;
        return Place{pairs()[index].first, pairs()[index].second};
    }
    const auto id = static_cast<KeyId>(key.handle);
    if (id != root_id(Root::classes_root)) return Place{id};
    Place place;
    place.classes_root = true;
    place.first =
        find_path(store, root_id(Root::current_user), {u"Software", u"Classes"}).value_or(0);
    place.second =
        find_path(store, root_id(Root::local_machine), {u"SOFTWARE", u"Classes"}).value_or(0);
    return place;
}

bool exists(RegistryStore& store, const Place& place) {
    return place.classes_root || (place.first && store.key_exists(place.first)) ||
           (place.second && store.key_exists(place.second));
}

// ----------------------------------------------------------- keys

// The components of a subkey path; nothing when one is empty or too long.
// An empty path is the key itself, and one trailing backslash is allowed.
std::optional<std::vector<std::u16string_view>> split_subkey(std::u16string_view subkey) {
    std::vector<std::u16string_view> parts;
    if (subkey.empty()) return parts;
    if (subkey.back() == u'\\') subkey.remove_suffix(1);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = subkey.find(u'\\', start);
        const std::u16string_view part = subkey.substr(start, end - start);
        if (part.empty() || part.size() > kMaxKeyNameLength) return std::nullopt;
        parts.push_back(part);
        if (end == std::u16string_view::npos) return parts;
        start = end + 1;
    }
}

// The status of a change the store did not make.
long store_failure(const RegistryStore& store) {
    const long failure = store.failure_status();
    return failure != kErrorSuccess ? failure : kErrorRegistryIoFailed;
}

// In the 32-bit view a path from HKEY_LOCAL_MACHINE into SOFTWARE goes into
// SOFTWARE\WOW6432Node instead; a path that names that key already stays.
void redirect_to_32bit_view(Key parent, std::vector<std::u16string_view>& parts) {
    if (parent != root_key(Root::local_machine) || parts.empty()) return;
    if (posix::upcase(parts[0]) != u"SOFTWARE") return;
    constexpr std::u16string_view kRedirected = u"WOW6432Node";
    if (parts.size() > 1 && posix::upcase(parts[1]) == posix::upcase(kRedirected)) return;
    parts.insert(parts.begin() + 1, kRedirected);
}

long open_or_create(Key parent, std::u16string_view subkey, bool create, Key& out,
                    View view = View::native) {
    out = Key{};
    long status;
    RegistryStore* store = RegistryStore::open(status);
    if (!store) return status;
    if (!parent) return kErrorInvalidHandle;
    auto parts = split_subkey(cut_at_zero(subkey));
    if (!parts) return kErrorBadPathname;
    if (view == View::wow32) redirect_to_32bit_view(parent, *parts);

    std::optional<Place> place = place_of(*store, parent);
    if (!place) return kErrorInvalidHandle;
    if (!exists(*store, *place)) return kErrorKeyDeleted;
    std::size_t found = 0;
    for (; found < parts->size(); ++found) {
        const std::u16string_view name = (*parts)[found];
        Place next;
        if (place->first) next.first = store->find_child(place->first, name).value_or(0);
        if (place->second) next.second = store->find_child(place->second, name).value_or(0);
        if (!next.first && !next.second) break;
        place = next;
    }
    if (found < parts->size() && !create) return kErrorFileNotFound;
    KeyId key = place->write_target();
    // Only when a class registry itself is missing.
    if (!key) return kErrorFileNotFound;
    // Opening for writing is refused even when nothing would be created.
    if (create)
        if (const long rc = posix::registry_write_status(*store, key); rc != kErrorSuccess)
            return rc;
    if (found == parts->size()) {
        out = parts->empty() ? parent : key_of(*place);
        return kErrorSuccess;
    }
    // Windows keeps the keys directly below these two for its own hives.
    if (key == root_id(Root::local_machine) || key == root_id(Root::users))
        return kErrorAccessDenied;
    // Look again inside the unit: another run may have added them since.
    if (!store->unit_begin()) return store_failure(*store);
    for (; found < parts->size(); ++found) {
        auto child = store->find_child(key, (*parts)[found]);
        if (!child) child = store->add_child(key, (*parts)[found]);
        if (!child) {
            const long failure = store_failure(*store);
            store->unit_rollback();
            return store->key_exists(key) ? failure : kErrorKeyDeleted;
        }
        key = *child;
    }
    if (!store->unit_commit()) return store_failure(*store);
    out = Key{static_cast<std::uintptr_t>(key)};
    return kErrorSuccess;
}

long delete_tree(Key parent, std::u16string_view subkey) {
    Key key;
    if (const long rc = open_or_create(parent, subkey, false, key); rc != kErrorSuccess) return rc;
    // Open already: the key was just opened through it.
    RegistryStore* store = RegistryStore::opened();
    const std::optional<Place> place = place_of(*store, key);
    if (!place || place->classes_root) return kErrorAccessDenied;
    // Below HKEY_CLASSES_ROOT the user's key goes first, as Windows deletes it.
    const KeyId id = place->first ? place->first : place->second;
    if (posix::is_root_id(id)) return kErrorAccessDenied;
    if (const long rc = posix::registry_write_status(*store, id); rc != kErrorSuccess) return rc;
    return store->delete_tree(id) ? kErrorSuccess : store_failure(*store);
}

// ----------------------------------------------------------- values

long query_value(Key key, std::u16string_view name, RegistryStore::Value& value) {
    long status;
    RegistryStore* store = RegistryStore::open(status);
    if (!store) return status;
    const std::optional<Place> place = place_of(*store, key);
    if (!place) return kErrorInvalidHandle;
    for (const KeyId side : {place->first, place->second})
        if (side && store->value(side, name, value)) return kErrorSuccess;
    return kErrorFileNotFound;
}

long set_value(Key key, std::u16string_view name, std::uint32_t type, std::string_view data) {
    long status;
    RegistryStore* store = RegistryStore::open(status);
    if (!store) return status;
    const std::optional<Place> place = place_of(*store, key);
    if (!place) return kErrorInvalidHandle;
    if (name.size() > kMaxValueNameLength) return kErrorInvalidParameter;
    const KeyId id = place->write_target();
    if (const long rc = posix::registry_write_status(*store, id); rc != kErrorSuccess) return rc;
    if (store->set_value(id, name, type, data)) return kErrorSuccess;
    const long failure = store_failure(*store);
    return store->key_exists(id) ? failure : kErrorKeyDeleted;
}

long delete_value(Key key, std::u16string_view name) {
    long status;
    RegistryStore* store = RegistryStore::open(status);
    if (!store) return status;
    const std::optional<Place> place = place_of(*store, key);
    if (!place) return kErrorInvalidHandle;
    // Below HKEY_CLASSES_ROOT the value goes where it is, the user's first.
    KeyId id = place->write_target();
    if (place->first && place->second)
        id = store->has_value(place->first, name) ? place->first : place->second;
    if (const long rc = posix::registry_write_status(*store, id); rc != kErrorSuccess) return rc;
    if (store->delete_value(id, name)) return kErrorSuccess;
    const long failure = store->failure_status();
    return failure != kErrorSuccess ? failure : kErrorFileNotFound;
}

long enum_key(Key key, std::uint32_t index, std::u16string& name) {
    long status;
    RegistryStore* store = RegistryStore::open(status);
    if (!store) return status;
    const std::optional<Place> place = place_of(*store, key);
    if (!place) return kErrorInvalidHandle;
    // A key deleted meanwhile simply has no more subkeys, so no caller's
    // enumeration can run on without end.
    auto child = store->child_name(place->first, place->second, index);
    if (!child) return kErrorNoMoreItems;
    name = std::move(*child);
    return kErrorSuccess;
}

}  // namespace

Key root_key(Root root) { return Key{static_cast<std::uintptr_t>(root_id(root))}; }

long reg_open_key(Key parent, std::string_view subkey, Key& out, View view) {
    return open_or_create(parent, wide(posix::cut_at_zero(subkey)), false, out, view);
}

long reg_create_key_ex(Key parent, std::string_view subkey, Key& out) {
    return open_or_create(parent, wide(posix::cut_at_zero(subkey)), true, out);
}

long reg_create_key(Key parent, std::string_view subkey, Key& out) {
    return reg_create_key_ex(parent, subkey, out);
}

long reg_query_value(Key key, ValueName name, std::uint32_t& type, std::string& data,
                     std::size_t capacity) {
    RegistryStore::Value value;
    if (const long rc = query_value(key, a_value_name(name), value); rc != kErrorSuccess) return rc;
    if (is_string_type(value.type)) value.data = narrow(posix::units_of_utf16le(value.data));
    // The limit counts what the caller gets, not what is stored.
    if (value.data.size() > capacity) return kErrorMoreData;
    type = value.type;
    data = std::move(value.data);
    return kErrorSuccess;
}

long reg_set_value(Key key, ValueName name, std::uint32_t type, std::string_view data) {
    return set_value(key, a_value_name(name), type,
                     is_string_type(type) ? posix::utf16le_bytes(wide(data)) : std::string(data));
}

long reg_delete_value(Key key, ValueName name) { return delete_value(key, a_value_name(name)); }

long reg_enum_key(Key key, std::uint32_t index, std::string& name, std::size_t capacity) {
    std::u16string units;
    if (const long rc = enum_key(key, index, units); rc != kErrorSuccess) return rc;
    std::string text = narrow(units);
    if (text.size() > capacity) return kErrorMoreData;
    name = std::move(text);
    return kErrorSuccess;
}

void reg_close_key(Key) {
    // A handle is only a row id or a pair's number: nothing is held open.
}

long reg_delete_tree(Key parent, std::string_view subkey) {
    return delete_tree(parent, wide(posix::cut_at_zero(subkey)));
}

long reg_delete_tree_wide(Key parent, std::u16string_view subkey) {
    return delete_tree(parent, subkey);
}

long reg_open_key_wide(Key parent, std::u16string_view subkey, Key& out, View view) {
    return open_or_create(parent, subkey, false, out, view);
}

long reg_create_key_wide(Key parent, std::u16string_view subkey, Key& out) {
    return open_or_create(parent, subkey, true, out);
}

long reg_query_value_wide(Key key, WideName name, std::uint32_t& type, std::string& data,
                          std::size_t capacity) {
    RegistryStore::Value value;
    if (const long rc = query_value(key, w_value_name(name), value); rc != kErrorSuccess) return rc;
    if (value.data.size() > capacity) return kErrorMoreData;
    type = value.type;
    data = std::move(value.data);
    return kErrorSuccess;
}

long reg_set_value_wide(Key key, WideName name, std::uint32_t type, std::string_view data) {
    return set_value(key, w_value_name(name), type, data);
}

long reg_delete_value_wide(Key key, WideName name) { return delete_value(key, w_value_name(name)); }

long reg_enum_key_wide(Key key, std::uint32_t index, std::u16string& name) {
    return enum_key(key, index, name);
}

long reg_enum_value_wide(Key key, std::uint32_t index, std::u16string& name, std::uint32_t& type,
                         std::string& data) {
    long status;
    RegistryStore* store = RegistryStore::open(status);
    if (!store) return status;
    const std::optional<Place> place = place_of(*store, key);
    if (!place) return kErrorInvalidHandle;
    RegistryStore::Value value;
    if (!store->value_at(place->first, place->second, index, name, value)) return kErrorNoMoreItems;
    type = value.type;
    data = std::move(value.data);
    return kErrorSuccess;
}

long operation_begin() {
    // One wait in all, whether it is spent on opening a machine that another
    // run is creating or migrating, or on another run's operation.
    const auto deadline = RegistryStore::Clock::now() +
                          std::chrono::milliseconds(lock_wait_ms(env_lookup(kLockWaitVariable)));
    long status;
    RegistryStore* store = RegistryStore::open(status, deadline);
    if (!store) return status;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - RegistryStore::Clock::now())
                          .count();
    return store->scope_begin(left > 0 ? static_cast<std::uint32_t>(left) : 0);
}

bool operation_scope_defers_changes() { return true; }

long operation_end() {
    RegistryStore* store = RegistryStore::opened();
    return store ? store->scope_end() : kErrorSuccess;
}

}  // namespace qh::platform
