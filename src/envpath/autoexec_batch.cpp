#include "envpath/autoexec_batch.h"

#include <cstdio>
#include <optional>

#include "platform/platform.h"
#include "registry/reg_reason.h"

namespace qh {

namespace {

std::string set_line(std::string_view name, std::string_view value) {
    std::string line = "set ";
    line += name;
    line += '=';
    line += value;
    line += '\n';
    return line;
}

std::string reference(std::string_view name) {
    std::string text = "%";
    text += name;
    text += '%';
    return text;
}

std::string appended_after(std::string_view name, std::string_view dirs) {
    return reference(name) + ';' + std::string(dirs);
}

std::string prepended_before(std::string_view name, std::string_view dirs) {
    return std::string(dirs) + ';' + reference(name);
}

// A line, a variable, a separate command or the end of the file must not
// come out of the text the user typed. Nothing when the two make one set
// line, else why they do not.
std::optional<std::string> not_one_set_line(std::string_view dirs, std::string_view name) {
    constexpr std::string_view kBreaksLine = "\r\n\x1a";
    if (name.empty()) return "the variable name is empty";
    if (dirs.empty()) return "no directory is given";
    if (name.find('=') != std::string_view::npos) return std::string(name) + " has a '=' in it";
    if (name.find_first_of(kBreaksLine) != std::string_view::npos ||
        dirs.find_first_of(kBreaksLine) != std::string_view::npos) {
        return "a line end or end-of-file character would break the set line in " +
               std::string(kAutoexecPath);
    }
    return std::nullopt;
}

std::string file_reason(std::string_view what) {
    return std::string(kAutoexecPath) + " cannot be " + std::string(what);
}

// POSIX hosts have no text mode, so there a CR LF line end reaches us whole;
// its CR belongs to the line end, not to the line.
std::string with_plain_line_end(std::string_view line) {
    std::string plain(line);
    if (plain.ends_with("\r\n")) plain.erase(plain.size() - 2, 1);
    return plain;
}

bool is_dropped(std::string_view raw_line, std::string_view dirs, std::string_view name) {
    const std::string line = with_plain_line_end(raw_line);
    const auto equal = [&line](std::string_view other) {
        return platform::locale_compare_nocase(line, other) == 0;
    };
    return line == "\n" || equal(set_line(name, dirs)) ||
           equal(set_line(name, appended_after(name, dirs))) ||
           equal(set_line(name, prepended_before(name, dirs)));
}

std::optional<std::string> read_all(std::FILE* file) {
    std::string content;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) content.append(chunk, got);
    if (std::ferror(file)) return std::nullopt;
    return content;
}

// The file's content, or nothing when it is not there; `unreadable` when it
// is there but cannot be read whole, which no edit may then replace.
std::optional<std::string> current_content(bool& unreadable) {
    unreadable = false;
    std::FILE* in = platform::file_open(kAutoexecPath, "rt");
    if (in == nullptr) {
        unreadable = platform::file_attributes(kAutoexecPath).has_value();
        return std::nullopt;
    }
    std::optional<std::string> content = read_all(in);
    std::fclose(in);
    if (!content) unreadable = true;
    return content;
}

// The whole new content, written beside the file and moved over it: a full
// disk leaves the old file as it was, never one cut short.
int replace_content(std::string_view content, std::string_view what, Failure* failure) {
    const long status = platform::file_replace(kAutoexecPath, content, true);
    if (status == platform::kErrorSuccess) return 0;
    return fail(failure, kAutoexecFileFailed, file_reason(what) + ": " + reg_status_clause(status),
                status);
}

// replace_content, once the session (when given) has kept the former
// content beside its journal.
int journaled_replace(std::string_view content, std::string_view what, Failure* failure,
                      ChangeSession* session) {
    if (session && !session->before_file(kAutoexecPath).ok())
        return fail(failure, kAutoexecFileFailed, session->failure());
    const int result = replace_content(content, what, failure);
    if (session) session->after_file(kAutoexecPath);
    return result;
}

}  // namespace

int autoexec_add_path(std::string_view dirs, std::string_view name, Position position,
                      Failure* failure, ChangeSession* session) {
    if (auto refusal = not_one_set_line(dirs, name)) {
        return fail(failure, kAutoexecRefused, std::move(*refusal));
    }
    const std::optional<std::string> current = platform::env_lookup(name);
    if (current && current->find(dirs) != std::string::npos) {
        return fail(failure, kAutoexecAlreadyThere,
                    std::string(dirs) + " is already in " + std::string(name));
    }

    std::string line = "\n";
    if (!current) {
        line += set_line(name, dirs);
    } else if (position == Position::end) {
        line += set_line(name, appended_after(name, dirs));
    } else {
        line += set_line(name, prepended_before(name, dirs));
    }

    bool unreadable = false;
    const std::optional<std::string> content = current_content(unreadable);
    if (unreadable) return fail(failure, kAutoexecFileFailed, file_reason("read"));
    if (ChangePreview* const preview = session ? session->preview() : nullptr) {
        preview->line("would append to " + std::string(kAutoexecPath) + ": " +
                      line.substr(1, line.size() - 2));
        return 0;
    }
    return journaled_replace(content.value_or("") + line, "appended to", failure, session);
}

std::string autoexec_without(std::string_view content, std::string_view dirs,
                             std::string_view name) {
    std::string kept;
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t newline = content.find('\n', start);
        const std::size_t end = newline == std::string_view::npos ? content.size() : newline + 1;
        const std::string_view line = content.substr(start, end - start);
        if (!is_dropped(line, dirs, name)) kept += line;
        start = end;
    }
    return kept;
}

int autoexec_remove_path(std::string_view dirs, std::string_view name, Failure* failure,
                         ChangeSession* session) {
    if (auto refusal = not_one_set_line(dirs, name)) {
        return fail(failure, kAutoexecRefused, std::move(*refusal));
    }
    // Path, whatever the variable: a 9x machine always has one, so without
    // it the environment is not what the startup batch file built, and the
    // file is left alone.
    if (!platform::env_lookup("Path")) {
        return fail(failure, kAutoexecNoPath,
                    "the environment has no Path, so it was not built by " +
                        std::string(kAutoexecPath) + ", which is left alone");
    }

    bool unreadable = false;
    const std::optional<std::string> content = current_content(unreadable);
    if (!content)
        return fail(failure, kAutoexecFileFailed, file_reason(unreadable ? "read" : "opened"));

    const std::string kept = autoexec_without(*content, dirs, name);
    if (kept == *content) return 0;

    if (ChangePreview* const preview = session ? session->preview() : nullptr) {
        preview->line("would rewrite " + std::string(kAutoexecPath) + " without the lines that " +
                      "set " + std::string(name) + " to " + std::string(dirs));
        return 0;
    }
    return journaled_replace(kept, "rewritten", failure, session);
}

}  // namespace qh
