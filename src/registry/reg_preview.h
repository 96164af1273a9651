// -dry-run: the changes a run would make, kept in memory instead of the
// registry and shown one line each, so that the operations after them see
// them as they would be.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "registry/reg_path.h"
#include "registry/reg_result.h"
#include "registry/reg_stored.h"

namespace qh {

class ChangePreview {
  public:
    explicit ChangePreview(std::function<void(std::string_view)> out) : out_(std::move(out)) {}

    // Whether the key is there, as the changes before would leave it.
    bool key_exists(Key root, std::u16string_view subkey) const;
    // The value as the changes before would leave it (nothing: absent).
    std::optional<StoredValue> value(Key root, std::u16string_view subkey,
                                     std::u16string_view name) const;

    // Shows and keeps the setting of a value (`now`) or its deletion
    // (nothing). Done; the deletion of a value that is not there fails (the
    // value step, file not found), as it would.
    RegResult set_value(Key root, std::u16string_view subkey, std::u16string_view name,
                        const std::optional<StoredView>& now);
    // Shows and keeps the creation of a key with its missing parents.
    void create_key(Key root, std::u16string_view subkey);
    // Shows and keeps the deletion of a key with everything below it, with
    // how many values and keys go with it. Fails (the key step, file not
    // found) when it is not there.
    RegResult delete_key(Key root, std::u16string_view subkey);
    // Shows one line of another change ("would ..."), without its line end.
    void line(std::string_view text) const;

    // The reads that list a key merge these with what the registry holds.
    // A value the changes set (`now`) or deleted (nothing), its name as
    // first given.
    struct ChangedValue {
        std::u16string name;
        std::optional<StoredValue> now;
    };
    // The values of the key the changes set or deleted, in the order first
    // changed; none when they changed none there.
    std::vector<ChangedValue> values_in(Key root, std::u16string_view subkey) const;
    // The names (as first given) of the keys the changes created directly
    // below the key, in the order created.
    std::vector<std::u16string> keys_created_in(Key root, std::u16string_view subkey) const;
    // Whether nothing the registry holds at the key counts: it is there
    // only by the changes (created by them, or below a key they created).
    bool only_previewed(Key root, std::u16string_view subkey) const;

  private:
    // A key created (`there`) or deleted by the changes shown: the last
    // component of its name as first given, and when it was created.
    struct ChangedKey {
        bool there = false;
        std::u16string name;
        std::size_t order = 0;
    };
    // The nearest key at or above `id` that the changes touched; nothing
    // when they touched none.
    const ChangedKey* nearest(std::u16string_view id) const;
    void mark_created(Key root, std::u16string_view subkey);

    // By key id.
    std::unordered_map<std::u16string, ChangedKey> keys_;
    std::size_t keys_created_ = 0;
    // The values changed in one key: by folded name, the index in `list`.
    struct KeyValues {
        std::unordered_map<std::u16string, std::size_t> index;
        std::vector<ChangedValue> list;
    };
    // By key id.
    std::unordered_map<std::u16string, KeyValues> values_;
    std::function<void(std::string_view)> out_;
};

}  // namespace qh
