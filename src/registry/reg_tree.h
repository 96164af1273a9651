// Reading whole keys through the W calls, for listings and exports: every
// name and text as the registry keeps it, in UTF-16, so that nothing is
// lost to a code page on the way.
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

// What one key holds, each in the order the registry enumerates it.
struct RegKeyContents {
    std::vector<RegWideValue> values;
    std::vector<std::u16string> subkeys;
};

// Reads the values and the subkey names of an open key. A failure is the
// value step (reading a value) or the key step (reading a subkey name).
RegResult reg_read_contents(Key key, RegKeyContents& out);

// Called for each key of a walk: its path below the key the walk started
// at (empty for that key itself; names joined by backslashes) and what it
// holds.
using RegVisit = std::function<void(std::u16string_view below, const RegKeyContents& contents)>;

// Visits `key` and, when `recurse`, every key below it, depth first: each
// key before its subkeys, the subkeys in enumeration order. A subkey that
// cannot be opened for lack of access, or that was deleted meanwhile, is
// passed over; any other failure ends the walk with its result.
RegResult reg_walk(Key key, bool recurse, const RegVisit& visit);

}  // namespace qh
