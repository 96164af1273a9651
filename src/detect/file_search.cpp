#include "detect/file_search.h"

#include <cstddef>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace qh {

namespace {

constexpr std::size_t kMaxSearchPath = 260;

bool exists(std::string_view path) { return platform::find_first_attributes(path).has_value(); }

}  // namespace

bool file_on_search_path(std::string_view file, std::string_view variable) {
    if (file.empty()) return false;
    if (exists(file)) return true;
    const std::optional<std::string> list = platform::env_lookup(variable);
    if (!list) return false;
    std::size_t start = 0;
    while (start <= list->size()) {
        std::size_t end = list->find(';', start);
        if (end == std::string::npos) end = list->size();
        std::string candidate;
        for (const char c : std::string_view(*list).substr(start, end - start)) {
            if (c != '"') candidate += c;
        }
        start = end + 1;
        if (candidate.empty()) continue;
        const char last = candidate.back();
        if (last != '\\' && last != '/' && last != ':') candidate += '\\';
        candidate += file;
        if (candidate.size() <= kMaxSearchPath && exists(candidate)) return true;
    }
    return false;
}

}  // namespace qh
