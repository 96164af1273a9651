#include "envpath/path_list.h"

#include <optional>
#include <string>
#include <vector>

#include "envpath/path_text.h"
#include "platform/platform.h"

namespace qh {

namespace {

std::vector<std::string_view> split_list(std::string_view list) {
    std::vector<std::string_view> entries;
    std::size_t start = 0;
    while (true) {
        const std::size_t cut = list.find(';', start);
        if (cut == std::string_view::npos) {
            entries.push_back(list.substr(start));
            return entries;
        }
        entries.push_back(list.substr(start, cut - start));
        start = cut + 1;
    }
}

std::string join_list(const std::vector<std::string_view>& entries) {
    std::string out;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) out += ';';
        out += entries[i];
    }
    return out;
}

// One trailing backslash does not make a different directory, except the
// one of a drive root.
std::string_view without_trailing_backslash(std::string_view dir) {
    if (dir.size() >= 2 && dir.back() == '\\' && dir[dir.size() - 2] != ':') {
        dir.remove_suffix(1);
    }
    return dir;
}

bool same_directory(std::string_view a, std::string_view b) {
    return pathlist_entry_key(a) == pathlist_entry_key(b);
}

bool list_has_entry(std::string_view list, std::string_view dir) {
    for (std::string_view entry : split_list(list)) {
        if (!entry.empty() && same_directory(entry, dir)) return true;
    }
    return false;
}

constexpr std::string_view kNoDirectory = "no directory is given";

std::string not_a_directory(std::string_view dir) {
    return std::string(dir) + " is not an existing directory";
}

std::string not_in(std::string_view dir, std::string_view list_name) {
    return std::string(dir) + " is not in " + std::string(list_name);
}

bool already_listed(std::string_view list, std::string_view typed, std::string_view normalized) {
    return pathlist_find(list, typed) == 0 || list_has_entry(list, normalized);
}

// Removes every entry that names `dir` (one directory, no ';'). 0 removed;
// kPathListNoDirectory for an empty `dir`; kPathListNotThere when none does.
int remove_entry(std::string& list, std::string_view dir) {
    if (dir.empty()) return kPathListNoDirectory;
    std::string normalized(dir);
    path_normalize(normalized);

    std::vector<std::string_view> kept;
    bool removed = false;
    for (std::string_view entry : split_list(list)) {
        const bool match =
            !entry.empty() && (same_directory(entry, dir) ||
                               (!normalized.empty() && same_directory(entry, normalized)));
        if (match) {
            removed = true;
        } else {
            kept.push_back(entry);
        }
    }
    if (!removed) return kPathListNotThere;
    list = join_list(kept);
    return 0;
}

}  // namespace

std::string pathlist_entry_key(std::string_view dir) {
    return platform::locale_lower(without_trailing_backslash(dir));
}

int pathlist_find(std::string_view list, std::string_view entry) {
    if (entry.empty()) return 1;
    const std::string hay = platform::locale_lower(list);
    std::string needle = platform::locale_lower(entry);
    if (!needle.empty() && needle.back() == ';') needle.pop_back();
    // From 3 characters on, not path_trim's 2: cut to one letter, "a\" would
    // match the last letter of every entry that ends in an a.
    if (needle.size() >= 3 && needle.back() == '\\' && needle[needle.size() - 2] != ':') {
        needle.pop_back();
    }
    if (needle.empty()) return 1;

    std::size_t from = 0;
    while (true) {
        const std::size_t at = hay.find(needle, from);
        if (at == std::string::npos) return 2;
        std::size_t end = at + needle.size();
        if (end < hay.size() && hay[end] == '\\') ++end;
        if (end == hay.size() || hay[end] == ';') return 0;
        from = end;
    }
}

int pathlist_add(std::string& list, std::string_view operand, Position position, Failure* failure,
                 std::string_view list_name) {
    std::string added;
    bool any_piece = false;
    for (std::string_view piece : split_list(operand)) {
        if (piece.empty()) continue;
        any_piece = true;
        if (!path_is_directory(piece))
            return fail(failure, kPathListNotADirectory, not_a_directory(piece));
        std::string normalized(piece);
        path_normalize(normalized);
        if (normalized.empty())
            return fail(failure, kPathListNotADirectory, not_a_directory(piece));
        if (already_listed(list, piece, normalized) || list_has_entry(added, normalized)) {
            continue;
        }
        if (!added.empty()) added += ';';
        added += normalized;
    }
    if (!any_piece) return fail(failure, kPathListNoDirectory, std::string(kNoDirectory));
    if (added.empty()) {
        return fail(failure, kPathListAlreadyThere,
                    std::string(operand) + " is already in " + std::string(list_name));
    }

    std::string result;
    if (position == Position::end) {
        result = list;
        if (!result.empty() && result.back() != ';') result += ';';
        result += added;
    } else {
        result = added;
        if (!list.empty()) {
            result += ';';
            result += list;
        }
    }
    if (result.size() > kMaxPathList) {
        return fail(
            failure, kPathListTooLong,
            "the path list would be longer than " + std::to_string(kMaxPathList) + " characters");
    }
    list = std::move(result);
    return 0;
}

int pathlist_remove(std::string& list, std::string_view operand, Failure* failure,
                    std::string_view list_name) {
    if (operand.find(';') == std::string_view::npos) {
        const int result = remove_entry(list, operand);
        if (result == kPathListNoDirectory) return fail(failure, result, std::string(kNoDirectory));
        if (result != 0) return fail(failure, kPathListNotThere, not_in(operand, list_name));
        return 0;
    }

    // Every piece is tried; the caller writes back only a complete removal,
    // so the list changes only then. Empty pieces are passed over, as
    // pathlist_add does.
    std::string edited = list;
    std::optional<std::string_view> missing;
    bool any_piece = false;
    for (std::string_view piece : split_list(operand)) {
        if (piece.empty()) continue;
        any_piece = true;
        if (remove_entry(edited, piece) != 0 && !missing) missing = piece;
    }
    if (!any_piece) return fail(failure, kPathListNoDirectory, std::string(kNoDirectory));
    if (missing) return fail(failure, kPathListPieceNotThere, not_in(*missing, list_name));
    list = std::move(edited);
    return 0;
}

}  // namespace qh
