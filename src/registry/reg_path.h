// Naming and holding registry keys: a path text into its root and subkey,
// and the one way the tool opens a key. Every key the tool opens comes back
// as an OwnedKey, so no path through the code can leave one open.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "registry/reg_result.h"

namespace qh {

using platform::Key;
using platform::ValueName;
using platform::View;
using platform::WideName;

class ChangeSession;

// An opened key, closed when the owner goes; empty when opening failed, and
// then it keeps the system's status of the call that failed.
class OwnedKey {
  public:
    OwnedKey() = default;
    explicit OwnedKey(Key key) : key_(key) {}
    // No key, because opening failed with `status` (never 0).
    static OwnedKey failed(long status) {
        OwnedKey none;
        none.status_ = status;
        return none;
    }
    ~OwnedKey() { platform::reg_close_key(key_); }
    OwnedKey(OwnedKey&& other) noexcept
        : key_(other.release()),
          status_(other.status_),
          previewed_(other.previewed_),
          session_(other.session_),
          root_(other.root_),
          subkey_(std::move(other.subkey_)) {}
    OwnedKey& operator=(OwnedKey&& other) noexcept {
        if (this != &other) {
            platform::reg_close_key(key_);
            status_ = other.status_;
            key_ = other.release();
            previewed_ = other.previewed_;
            session_ = other.session_;
            root_ = other.root_;
            subkey_ = std::move(other.subkey_);
        }
        return *this;
    }
    OwnedKey(const OwnedKey&) = delete;
    OwnedKey& operator=(const OwnedKey&) = delete;

    // A key that a preview shows as there, with no key of the system behind
    // it: the changes through it are only shown (reg_preview.h).
    static OwnedKey previewed(ChangeSession* session, Key root, std::u16string subkey) {
        OwnedKey key;
        key.previewed_ = true;
        key.track(session, root, std::move(subkey));
        return key;
    }
    Key get() const { return key_; }
    explicit operator bool() const { return static_cast<bool>(key_) || previewed_; }
    // The key step as a result: done, or failed with the status of the
    // opening call.
    RegResult result() const { return *this ? RegResult{} : RegResult{RegStep::key, status_}; }

    // Changes made through the key are announced to `session` first
    // (reg_session.h); the key is `subkey` of `root`.
    void track(ChangeSession* session, Key root, std::u16string subkey) {
        session_ = session;
        root_ = root;
        subkey_ = std::move(subkey);
    }
    // The session, or none for a key opened outside a run's changes.
    ChangeSession* session() const { return session_; }
    Key root() const { return root_; }
    const std::u16string& subkey() const { return subkey_; }

  private:
    Key release() {
        const Key key = key_;
        key_ = {};
        return key;
    }
    Key key_{};
    long status_ = 0;
    bool previewed_ = false;
    ChangeSession* session_ = nullptr;
    Key root_{};
    std::u16string subkey_;
};

// A registry path text resolved: the root key and the subkey text after the
// first backslash, a view into the text that was parsed.
struct KeyPath {
    Key root;
    std::string_view subkey;
};

// Whether two key (or root) names are the same to the registry: ASCII
// letters without regard to case, every other byte exactly.
bool reg_same_name(std::string_view a, std::string_view b);

// Splits "ROOT\subkey". The root name must equal one of the seven full
// names, letter case aside; nothing when it does not, or when the text has
// no backslash.
std::optional<KeyPath> reg_parse_path(std::string_view path);

// An empty OwnedKey keeps the status of the call that failed; when `root`
// is no key, no call is made and the status is kErrorInvalidHandle.

// Opens an existing key for reading, in the given registry view. Empty when
// `root` is no key or the key cannot be opened.
OwnedKey reg_open_for_reading(Key root, std::string_view subkey, View view = View::native);
// Opens a key for writing, creating it and its parents first. Empty when
// `root` is no key or the key cannot be created or opened. With a session,
// a creation is announced to it first (empty, with its status, when the
// journal refuses), and the key comes back tracked by it.
OwnedKey reg_create(Key root, std::string_view subkey, ChangeSession* session = nullptr);
// Opens a key for writing only when it exists already: removals must never
// create what they were asked to remove. Empty otherwise.
OwnedKey reg_open_existing(Key root, std::string_view subkey, ChangeSession* session = nullptr);

// The same three with the subkey in UTF-16, through the W calls: for names
// that must not pass through a code page.
OwnedKey reg_open_for_reading_wide(Key root, std::u16string_view subkey);
OwnedKey reg_create_wide(Key root, std::u16string_view subkey, ChangeSession* session = nullptr);
OwnedKey reg_open_existing_wide(Key root, std::u16string_view subkey,
                                ChangeSession* session = nullptr);

// The last two on a path text; empty also when its root is not recognised
// (kErrorInvalidHandle).
OwnedKey reg_create_path(std::string_view path, ChangeSession* session = nullptr);
OwnedKey reg_open_existing_path(std::string_view path, ChangeSession* session = nullptr);

// Whether a failed call failed because the registry itself did (a full
// disk, a broken or locked store), rather than because of what was asked
// (no access, nothing there, a name the registry refuses).
bool reg_status_is_store_failure(long status);

}  // namespace qh
