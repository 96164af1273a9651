#include "detect/file_search.h"

#include <cstddef>

#include "envpath/path_text.h"
#include "platform/platform.h"

namespace qh {

namespace {

constexpr std::size_t kMaxSearchPath = 260;

bool exists(std::string_view path) { return platform::find_first_attributes(path).has_value(); }

bool taken(bool (*accepts)(std::string_view), std::string_view directory) {
    return !accepts || accepts(directory);
}

}  // namespace

bool file_on_search_path(std::string_view file, std::string_view variable) {
    // The current directory counts even when it has no name to give.
    return exists(file) || directory_on_search_path(file, variable).has_value();
}

std::optional<std::string> directory_on_search_path(std::string_view file,
                                                    std::string_view variable,
                                                    bool (*accepts)(std::string_view directory)) {
    if (file.empty()) return std::nullopt;
    if (exists(file)) {
        if (auto current = platform::current_directory(); current && taken(accepts, *current))
            return current;
    }
    const std::optional<std::string> list = platform::env_lookup(variable);
    if (!list) return std::nullopt;
    std::size_t start = 0;
    while (start <= list->size()) {
        std::size_t end = list->find(';', start);
        if (end == std::string::npos) end = list->size();
        std::string directory;
        for (const char c : std::string_view(*list).substr(start, end - start)) {
            if (c != '"') directory += c;
        }
        start = end + 1;
        if (directory.empty()) continue;
        std::string candidate = directory;
        const char last = candidate.back();
        if (last != '\\' && last != '/' && last != ':') candidate += '\\';
        candidate += file;
        if (candidate.size() > kMaxSearchPath || !exists(candidate)) continue;
        path_trim(directory);
        if (taken(accepts, directory)) return directory;
    }
    return std::nullopt;
}

}  // namespace qh
