// Finding, adding and removing directories in ';'-separated path lists.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/failure.h"
#include "common/run_context.h"

namespace qh {

// A list holds at most this many characters after an addition.
inline constexpr std::size_t kMaxPathList = 32766;

// Whether `entry` ends an entry of the list: letter case aside, and with
// one backslash of the list's entry passed over. 0 found; 1 empty entry;
// 2 not found.
int pathlist_find(std::string_view list, std::string_view entry);
// The edits below take the list's name for their reasons ("Path"); a
// failure, when given, receives the reason of a non-zero code.

// 0 added; 1 empty operand; 2 not a directory; 3 already present; 4 too long.
int pathlist_add(std::string& list, std::string_view operand, Position position,
                 Failure* failure = nullptr, std::string_view list_name = "the list");
// 0 removed; non-zero when a directory was not removed.
int pathlist_remove(std::string& list, std::string_view operand, Failure* failure = nullptr,
                    std::string_view list_name = "the list");
int pathlist_remove_entry(std::string& list, std::string_view dir);

}  // namespace qh
