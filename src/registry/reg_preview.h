// -dry-run: the changes a run would make, kept in memory instead of the
// registry and shown one line each, so that the operations after them see
// them as they would be.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

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

  private:
    // Keys created (true) or deleted (false) by the changes shown, by id.
    std::unordered_map<std::u16string, bool> keys_;
    // Values set or deleted (nothing), by key id, a zero unit, folded name.
    std::unordered_map<std::u16string, std::optional<StoredValue>> values_;
    std::function<void(std::string_view)> out_;
};

}  // namespace qh
