#include "envpath/path_text.h"

#include <cstddef>
#include <optional>
#include <vector>

#include "platform/platform.h"

namespace qh {

namespace {

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// "X:\", "X:", "\\" (a network path) or "\"; empty for a relative text.
std::size_t root_length(std::string_view text) {
    if (text.size() >= 2 && text[1] == ':') {
        return text.size() >= 3 && text[2] == '\\' ? 3 : 2;
    }
    if (starts_with(text, "\\\\")) return 2;
    if (starts_with(text, "\\")) return 1;
    return 0;
}

std::vector<std::string_view> split_components(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t cut = text.find('\\', start);
        parts.push_back(text.substr(start, cut == std::string_view::npos ? cut : cut - start));
        if (cut == std::string_view::npos) return parts;
        start = cut + 1;
    }
}

struct Cleaned {
    std::string text;
    // A relative text whose ".." went above its first component, or that
    // came to nothing: only the current directory can give it a meaning.
    bool needs_base = false;
};

// Removes "." and ".." components; a text that has neither stays as it is.
Cleaned clean_dots(std::string_view text) {
    const std::size_t root_len = root_length(text);
    const std::string_view root = text.substr(0, root_len);
    const std::string_view rest = text.substr(root_len);
    const std::vector<std::string_view> parts = split_components(rest);

    bool has_dots = false;
    for (std::string_view part : parts) has_dots = has_dots || part == "." || part == "..";
    if (!has_dots) return {std::string(text), false};

    std::vector<std::string_view> kept;
    bool climbed_above = false;
    bool popped_to_root = false;
    for (std::string_view part : parts) {
        if (part == ".") continue;
        if (part != "..") {
            kept.push_back(part);
            popped_to_root = false;
            continue;
        }
        if (!kept.empty()) {
            kept.pop_back();
            popped_to_root = kept.empty();
        } else {
            // Nothing left to remove: the root stays a root, not a drive.
            popped_to_root = false;
            climbed_above = root.empty();
        }
    }

    if (root.empty() && (climbed_above || kept.empty())) return {{}, true};

    std::string out(root);
    // Going up from a first-level directory ends at the bare drive
    // (C:\work\.. gives C:), as cutting off the last component does.
    if (kept.empty() && popped_to_root && root.size() == 3) out.pop_back();
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i > 0) out += '\\';
        out += kept[i];
    }
    return {out, false};
}

}  // namespace

void path_trim(std::string& dir) {
    if (!dir.empty() && dir.back() == ';') dir.pop_back();
    if (dir.size() >= 2 && dir.back() == '\\' && dir[dir.size() - 2] != ':') dir.pop_back();
}

std::string path_join(std::string_view base, std::string_view relative) {
    std::string out(base);
    path_append(out, relative);
    return out;
}

void path_append(std::string& base, std::string_view relative) {
    if (starts_with(relative, "\\")) {
        base.assign(relative);
        return;
    }
    if (base.empty() || base.back() != '\\') base += '\\';
    base += relative;
}

bool path_is_directory(std::string_view path) {
    const std::optional<std::uint32_t> attributes = platform::find_first_attributes(path);
    return attributes && (*attributes & platform::kAttrDirectory) != 0;
}

void path_normalize(std::string& dir) {
    path_trim(dir);
    const bool dot_first =
        dir == "." || dir == ".." || starts_with(dir, ".\\") || starts_with(dir, "..\\");
    std::optional<std::string> base;
    if (dot_first) {
        base = platform::current_directory();
        if (!base) return;  // nothing to resolve against: keep what was typed
        if (dir == ".") {
            dir = *base;
            return;
        }
        path_append(*base, dir);
        dir = *base;
    }

    Cleaned cleaned = clean_dots(dir);
    if (cleaned.needs_base) {
        if (!base) base = platform::current_directory();
        if (!base) return;
        cleaned = clean_dots(path_join(*base, dir));
    }
    dir = std::move(cleaned.text);
    path_trim(dir);
}

}  // namespace qh
