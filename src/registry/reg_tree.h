// Reading whole keys through the W calls, for listings and exports: every
// name and text as the registry keeps it, in UTF-16, so that nothing is
// lost to a code page on the way. Values are handed on one at a time, as
// they are read, so that a key of any size costs no more memory than its
// largest value.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/reg_path.h"

namespace qh {

// A value as stored: name (empty for the default value), type and bytes.
struct RegWideValue {
    std::u16string name;
    std::uint32_t type = platform::kRegNone;
    std::string data;
};

// What a walk tells, key by key: each key's path below the key the walk
// started at (empty for that key itself; names joined by backslashes).
struct RegWalkVisitor {
    // A key begins.
    std::function<void(std::u16string_view below)> key;
    // One value of the key that began last, in enumeration order.
    std::function<void(const RegWideValue& value)> value;
    // The key's values are done; the names of its subkeys, in enumeration
    // order. Its subkeys' walks follow.
    std::function<void(std::u16string_view below, const std::vector<std::u16string>& subkeys)>
        key_done;
};

// Walks `key` and, when `recurse`, every key below it, depth first: each
// key before its subkeys. A subkey that cannot be opened for lack of access,
// or that was deleted meanwhile, is passed over; any other failure ends the
// walk with its result (the value step for a value, else the key step).
RegResult reg_walk(Key key, bool recurse, const RegWalkVisitor& visitor);

class ChangePreview;
// reg_walk of the key at `root`\`subkey`, as the changes of `preview` (when
// given) would leave it: a value they set shows with its new type and data
// where the registry has it, or after the key's other values when new; a
// value or key they deleted is gone; a key they created is walked after
// the key's other subkeys. Fails (the key step, file not found) when the
// key is not there.
RegResult reg_walk_at(Key root, std::u16string_view subkey, bool recurse,
                      const RegWalkVisitor& visitor, const ChangePreview* preview = nullptr);

}  // namespace qh
