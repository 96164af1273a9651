// The registry calls over the emulated registry.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/lock_wait.h"
#include "platform/platform.h"
#include "platform/posix/access.h"
#include "platform/posix/machine.h"
#include "platform/posix/registry_store.h"

namespace qh::platform {
namespace {

using posix::KeyId;
using posix::RegistryStore;

// The system's own limits, in characters (bytes here).
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;

// The A calls take zero-terminated texts: anything after a zero is unseen.

std::string_view value_name(ValueName name) {
    return name ? posix::cut_at_zero(*name) : std::string_view();
}

// The components of a subkey path; nothing when one is empty or too long.
// An empty path is the key itself, and one trailing backslash is allowed.
std::optional<std::vector<std::string_view>> split_subkey(std::string_view subkey) {
    subkey = posix::cut_at_zero(subkey);
    std::vector<std::string_view> parts;
    if (subkey.empty()) return parts;
    if (subkey.back() == '\\') subkey.remove_suffix(1);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = subkey.find('\\', start);
        const std::string_view part = subkey.substr(start, end - start);
        if (part.empty() || part.size() > kMaxKeyNameLength) return std::nullopt;
        parts.push_back(part);
        if (end == std::string_view::npos) return parts;
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
void redirect_to_32bit_view(Key parent, std::vector<std::string_view>& parts) {
    if (parent != root_key(Root::local_machine) || parts.empty()) return;
    if (posix::fold_name(parts[0]) != "software") return;
    constexpr std::string_view kRedirected = "WOW6432Node";
    if (parts.size() > 1 && posix::fold_name(parts[1]) == posix::fold_name(kRedirected)) return;
    parts.insert(parts.begin() + 1, kRedirected);
}

long open_or_create(Key parent, std::string_view subkey, bool create, Key& out,
                    View view = View::native) {
    out = Key{};
    long status;
    RegistryStore* store = RegistryStore::open(status);
    if (!store) return status;
    if (!parent) return kErrorInvalidHandle;
    auto parts = split_subkey(subkey);
    if (!parts) return kErrorBadPathname;
    if (view == View::wow32) redirect_to_32bit_view(parent, *parts);

    KeyId key = static_cast<KeyId>(parent.handle);
    if (!store->key_exists(key)) return kErrorKeyDeleted;
    // Opening for writing is refused even when nothing would be created.
    if (create)
        if (const long rc = posix::registry_write_status(*store, key); rc != kErrorSuccess)
            return rc;
    std::size_t found = 0;
    for (; found < parts->size(); ++found) {
        const auto child = store->find_child(key, (*parts)[found]);
        if (!child) break;
        key = *child;
    }
    if (found < parts->size()) {
        if (!create) return kErrorFileNotFound;
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
    }
    out = Key{static_cast<std::uintptr_t>(key)};
    return kErrorSuccess;
}

}  // namespace

Key root_key(Root root) {
    return Key{static_cast<std::uintptr_t>(posix::kFirstRootId + static_cast<KeyId>(root))};
}

long reg_open_key(Key parent, std::string_view subkey, Key& out, View view) {
    return open_or_create(parent, subkey, false, out, view);
}

long reg_create_key_ex(Key parent, std::string_view subkey, Key& out) {
    return open_or_create(parent, subkey, true, out);
}

long reg_create_key(Key parent, std::string_view subkey, Key& out) {
    return open_or_create(parent, subkey, true, out);
}

long reg_query_value(Key key, ValueName name, std::uint32_t& type, std::string& data,
                     std::size_t capacity) {
    long status;
    RegistryStore* store = RegistryStore::open(status);
    if (!store) return status;
    if (!key) return kErrorInvalidHandle;
    RegistryStore::Value value;
    switch (store->value(static_cast<KeyId>(key.handle), value_name(name), capacity, value)) {
        case RegistryStore::Lookup::missing:
            return kErrorFileNotFound;
        case RegistryStore::Lookup::too_large:
            return kErrorMoreData;
        case RegistryStore::Lookup::found:
            break;
    }
    type = value.type;
    data = std::move(value.data);
    return kErrorSuccess;
}

long reg_set_value(Key key, ValueName name, std::uint32_t type, std::string_view data) {
    long status;
    RegistryStore* store = RegistryStore::open(status);
    if (!store) return status;
    if (!key) return kErrorInvalidHandle;
    const std::string_view text = value_name(name);
    if (text.size() > kMaxValueNameLength) return kErrorInvalidParameter;
    const KeyId id = static_cast<KeyId>(key.handle);
    if (const long rc = posix::registry_write_status(*store, id); rc != kErrorSuccess) return rc;
    if (store->set_value(id, text, type, data)) return kErrorSuccess;
    const long failure = store_failure(*store);
    return store->key_exists(id) ? failure : kErrorKeyDeleted;
}

long reg_delete_value(Key key, ValueName name) {
    long status;
    RegistryStore* store = RegistryStore::open(status);
    if (!store) return status;
    if (!key) return kErrorInvalidHandle;
    const KeyId id = static_cast<KeyId>(key.handle);
    if (const long rc = posix::registry_write_status(*store, id); rc != kErrorSuccess) return rc;
    if (store->delete_value(id, value_name(name))) return kErrorSuccess;
    const long failure = store->failure_status();
    return failure != kErrorSuccess ? failure : kErrorFileNotFound;
}

long reg_enum_key(Key key, std::uint32_t index, std::string& name, std::size_t capacity) {
    long status;
    RegistryStore* store = RegistryStore::open(status);
    if (!store) return status;
    if (!key) return kErrorInvalidHandle;
    // A key deleted meanwhile simply has no more subkeys, so no caller's
    // enumeration can run on without end.
    auto child = store->child_name(static_cast<KeyId>(key.handle), index);
    if (!child) return kErrorNoMoreItems;
    if (child->size() > capacity) return kErrorMoreData;
    name = std::move(*child);
    return kErrorSuccess;
}

void reg_close_key(Key) {
    // A handle is only a row id: nothing is held open.
}

long reg_delete_tree(Key parent, std::string_view subkey) {
    Key key;
    if (const long rc = reg_open_key(parent, subkey, key); rc != kErrorSuccess) return rc;
    const KeyId id = static_cast<KeyId>(key.handle);
    if (id < posix::kFirstRootId + posix::kRootCount) return kErrorAccessDenied;
    // Open already: the key was just opened through it.
    RegistryStore* store = RegistryStore::opened();
    if (const long rc = posix::registry_write_status(*store, id); rc != kErrorSuccess) return rc;
    return store->delete_tree(id) ? kErrorSuccess : store_failure(*store);
}

long operation_begin() {
    // One wait in all, whether it is spent on opening a fresh machine that
    // another run is creating or on another run's operation.
    const std::uint32_t wait_ms = lock_wait_ms(env_lookup(kLockWaitVariable));
    const auto start = std::chrono::steady_clock::now();
    long status;
    RegistryStore* store = RegistryStore::open(status);
    if (!store) return status;
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
    return store->scope_begin(spent >= wait_ms ? 0 : wait_ms - static_cast<std::uint32_t>(spent));
}

long operation_end() {
    RegistryStore* store = RegistryStore::opened();
    return store ? store->scope_end() : kErrorSuccess;
}

}  // namespace qh::platform
