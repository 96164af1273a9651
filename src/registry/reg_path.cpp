// Registry path texts into a root key and a subkey, and the opening of keys:
// every key the tool opens is opened here.
#include "registry/reg_path.h"

#include <cctype>

#include "registry/reg_session.h"

namespace qh {

namespace {

constexpr long kOk = platform::kErrorSuccess;

// Statuses that speak of what was asked rather than of the registry itself.
constexpr long kStatusesOfTheRequest[] = {
    platform::kErrorFileNotFound,        // the key or value is not there
    platform::kErrorPathNotFound,        // a parent is not there
    platform::kErrorAccessDenied,        // no access to the key
    platform::kErrorInvalidHandle,       // a root this system lacks
    platform::kErrorInvalidParameter,    // a name or size the registry refuses
    platform::kErrorInvalidName,         // a name the registry refuses
    platform::kErrorBadPathname,         // an empty or too long key name
    platform::kErrorFilenameExcedRange,  // a path too long
    platform::kErrorMoreData,            // a name or data more than the call takes
    platform::kErrorBadKey,              // a key not fit for the call
    platform::kErrorKeyDeleted,          // deleted by another program meanwhile
};

// The key a call opened, or its failure.
OwnedKey opened(long status, Key key) {
    return status == kOk ? OwnedKey(key) : OwnedKey::failed(status);
}

// Creates (or opens) the key, announcing a creation to the session.
OwnedKey create_tracked(Key root, std::u16string_view subkey, ChangeSession& session) {
    if (ChangePreview* const preview = session.preview()) {
        preview->create_key(root, subkey);
        return OwnedKey::previewed(&session, root, std::u16string(subkey));
    }
    bool creates = false;
    if (const RegResult recorded = session.before_key_created(root, subkey, creates);
        !recorded.ok())
        return OwnedKey::failed(recorded.status);
    Key key;
    OwnedKey created = opened(platform::reg_create_key_wide(root, subkey, key), key);
    if (creates)
        session.after_key(root, subkey, created ? std::optional<bool>(true) : std::nullopt);
    if (created) created.track(&session, root, std::u16string(subkey));
    return created;
}

// The subkey in UTF-16, for the session: nothing when the code page has no
// characters for its bytes.
std::optional<std::u16string> wide_subkey(std::string_view subkey) {
    std::u16string wide;
    if (!platform::multibyte_to_wide(subkey, wide)) return std::nullopt;
    return wide;
}

}  // namespace

// The names are compared byte by byte, so the locale plays no part: a
// double-byte character can never make two names match.
bool reg_same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca >= 0x80 || cb >= 0x80) {
            if (ca != cb) return false;
        } else if (std::tolower(ca) != std::tolower(cb)) {
            return false;
        }
    }
    return true;
}

std::optional<KeyPath> reg_parse_path(std::string_view path) {
    const auto slash = path.find('\\');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view root_name = path.substr(0, slash);
    for (std::size_t i = 0; i < platform::kRootNames.size(); ++i) {
        if (reg_same_name(root_name, platform::kRootNames[i])) {
            const Key root = platform::root_key(static_cast<platform::Root>(i));
            return KeyPath{root, path.substr(slash + 1)};
        }
    }
    return std::nullopt;
}

OwnedKey reg_open_for_reading(Key root, std::string_view subkey, View view) {
    if (!root) return OwnedKey::failed(platform::kErrorInvalidHandle);
    Key key;
    const long status = platform::reg_open_key(root, subkey, key, view);
    return opened(status, key);
}

OwnedKey reg_create(Key root, std::string_view subkey, ChangeSession* session) {
    if (!root) return OwnedKey::failed(platform::kErrorInvalidHandle);
    if (session) {
        const std::optional<std::u16string> wide = wide_subkey(subkey);
        if (!wide) return OwnedKey::failed(platform::kErrorInvalidName);
        return create_tracked(root, *wide, *session);
    }
    Key key;
    const long status = platform::reg_create_key_ex(root, subkey, key);
    return opened(status, key);
}

OwnedKey reg_open_existing(Key root, std::string_view subkey, ChangeSession* session) {
    if (session && session->preview()) {
        const std::optional<std::u16string> wide = wide_subkey(subkey);
        if (!wide || !session->preview()->key_exists(root, *wide))
            return OwnedKey::failed(platform::kErrorFileNotFound);
        return OwnedKey::previewed(session, root, *wide);
    }
    if (OwnedKey readable = reg_open_for_reading(root, subkey); !readable) return readable;
    return reg_create(root, subkey, session);
}

OwnedKey reg_open_for_reading_wide(Key root, std::u16string_view subkey) {
    if (!root) return OwnedKey::failed(platform::kErrorInvalidHandle);
    Key key;
    const long status = platform::reg_open_key_wide(root, subkey, key);
    return opened(status, key);
}

OwnedKey reg_create_wide(Key root, std::u16string_view subkey, ChangeSession* session) {
    if (!root) return OwnedKey::failed(platform::kErrorInvalidHandle);
    if (session) return create_tracked(root, subkey, *session);
    Key key;
    const long status = platform::reg_create_key_wide(root, subkey, key);
    return opened(status, key);
}

OwnedKey reg_open_existing_wide(Key root, std::u16string_view subkey, ChangeSession* session) {
    if (session && session->preview()) {
        if (!session->preview()->key_exists(root, subkey))
            return OwnedKey::failed(platform::kErrorFileNotFound);
        return OwnedKey::previewed(session, root, std::u16string(subkey));
    }
    if (OwnedKey readable = reg_open_for_reading_wide(root, subkey); !readable) return readable;
    return reg_create_wide(root, subkey, session);
}

OwnedKey reg_create_path(std::string_view path, ChangeSession* session) {
    const std::optional<KeyPath> key_path = reg_parse_path(path);
    if (!key_path) return OwnedKey::failed(platform::kErrorInvalidHandle);
    return reg_create(key_path->root, key_path->subkey, session);
}

OwnedKey reg_open_existing_path(std::string_view path, ChangeSession* session) {
    const std::optional<KeyPath> key_path = reg_parse_path(path);
    if (!key_path) return OwnedKey::failed(platform::kErrorInvalidHandle);
    return reg_open_existing(key_path->root, key_path->subkey, session);
}

bool reg_status_is_store_failure(long status) {
    if (status == kOk) return false;
    for (const long asked : kStatusesOfTheRequest)
        if (status == asked) return false;
    return true;
}

}  // namespace qh
