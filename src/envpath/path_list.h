// Finding, adding and removing directories in ';'-separated path lists.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/failure.h"
#include "common/switches.h"

namespace qh {

// A list holds at most this many characters after an addition.
inline constexpr std::size_t kMaxPathList = 32766;

// Whether `entry` ends an entry of the list: letter case aside, and with
// one backslash of the list's entry passed over. 0 found; 1 empty entry;
// 2 not found.
int pathlist_find(std::string_view list, std::string_view entry);

// The text by which two entries name the same directory: lower-cased, with
// one trailing backslash dropped unless it ends a drive root ("C:\" is the
// root, "C:" the current directory of drive C).
std::string pathlist_entry_key(std::string_view dir);

// Codes of the edits below.
inline constexpr int kPathListNoDirectory = 1;    // the operand names no directory at all
inline constexpr int kPathListNotADirectory = 2;  // add: a directory that does not exist
inline constexpr int kPathListAlreadyThere = 3;   // add: every directory is listed already
inline constexpr int kPathListTooLong = 4;        // add: the list would pass kMaxPathList
inline constexpr int kPathListNotThere = 2;       // remove: the one directory is not listed
inline constexpr int kPathListPieceNotThere = 1;  // remove: one of several is not listed

// The edits take the list's name for their reasons ("Path"); a failure,
// when given, receives the reason of a non-zero code. The list changes only
// on 0.

// 0 added, kPathListNoDirectory, kPathListNotADirectory,
// kPathListAlreadyThere, kPathListTooLong.
int pathlist_add(std::string& list, std::string_view operand, Position position,
                 Failure* failure = nullptr, std::string_view list_name = "the list");
// 0 removed, kPathListNoDirectory, kPathListNotThere (a single directory),
// kPathListPieceNotThere (one of several directories given with ';').
int pathlist_remove(std::string& list, std::string_view operand, Failure* failure = nullptr,
                    std::string_view list_name = "the list");

}  // namespace qh
