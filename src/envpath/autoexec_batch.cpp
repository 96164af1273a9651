#include "envpath/autoexec_batch.h"

#include <cstdio>
#include <optional>

#include "platform/platform.h"

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

bool write_all(std::FILE* file, std::string_view bytes) {
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// Whether the file may be written: its former content is kept first.
bool recorded(ChangeSession* session, Failure* failure) {
    if (!session || session->before_file(kAutoexecPath).ok()) return true;
    fail(failure, kAutoexecFileFailed, session->failure());
    return false;
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

    if (ChangePreview* const preview = session ? session->preview() : nullptr) {
        preview->line("would append to " + std::string(kAutoexecPath) + ": " +
                      line.substr(1, line.size() - 2));
        return 0;
    }
    if (!recorded(session, failure)) return kAutoexecFileFailed;
    std::FILE* file = platform::file_open(kAutoexecPath, "at+");
    const bool written = file != nullptr && write_all(file, line);
    if (session) session->after_file(kAutoexecPath);
    if (!written) return fail(failure, kAutoexecFileFailed, file_reason("appended to"));
    return 0;
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

    std::FILE* in = platform::file_open(kAutoexecPath, "rt");
    if (in == nullptr) return fail(failure, kAutoexecFileFailed, file_reason("opened"));
    const std::optional<std::string> content = read_all(in);
    std::fclose(in);
    if (!content) return fail(failure, kAutoexecFileFailed, file_reason("read"));

    const std::string kept = autoexec_without(*content, dirs, name);
    if (kept == *content) return 0;

    if (ChangePreview* const preview = session ? session->preview() : nullptr) {
        preview->line("would rewrite " + std::string(kAutoexecPath) + " without the lines that " +
                      "set " + std::string(name) + " to " + std::string(dirs));
        return 0;
    }
    if (!recorded(session, failure)) return kAutoexecFileFailed;
    std::FILE* out = platform::file_open(kAutoexecPath, "wt");
    const bool written = out != nullptr && write_all(out, kept);
    if (session) session->after_file(kAutoexecPath);
    if (!written) return fail(failure, kAutoexecFileFailed, file_reason("rewritten"));
    return 0;
}

}  // namespace qh
