// A value as the registry stores it: its type and bytes (UTF-16LE for the
// string types), as a view or as owned bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qh {

struct StoredView {
    std::uint32_t type = 0;
    std::string_view data;
};

struct StoredValue {
    std::uint32_t type = 0;
    std::string data;
    StoredView view() const { return {type, data}; }
};

}  // namespace qh
