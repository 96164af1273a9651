// The registry file engine: one pass over a file, acting on each key line
// and value line as it comes, in apply or in remove mode.
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "regfile/regfile.h"
#include "regfile/regfile_reader.h"
#include "registry/reg_commands.h"
#include "registry/reg_reason.h"
#include "registry/reg_value.h"

namespace qh {

namespace {

enum class RegfileMode { apply, remove };

constexpr std::string_view kKeyUninstall = "]--uninstall";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// A key path as written, without the backslashes it may end in: the
// registry editor's files name "Software\Foo\" and "Software\Foo" alike.
// The one behind the root name stays, so that "ROOT\" still names the root.
std::string_view without_trailing_backslashes(std::string_view path) {
    const std::size_t first = path.find('\\');
    if (first == std::string_view::npos) return path;
    while (path.size() > first + 1 && path.back() == '\\') path.remove_suffix(1);
    return path;
}

bool blank_to_end(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// Why a file gave nothing to read: it is not there, it is a directory, or
// the system refused it (or it is no regular file).
std::string unopened_reason(std::string_view path) {
    const std::optional<std::uint32_t> attributes = platform::find_first_attributes(path);
    if (!attributes) return std::string(path) + " does not exist";
    if ((*attributes & platform::kAttrDirectory) != 0) {
        return std::string(path) + " is a directory, not a registry file";
    }
    return std::string(path) + " cannot be opened as a file";
}

std::string unconvertible_reason() {
    const unsigned code_page = platform::locale_code_page();
    const std::string charset =
        code_page == 0 ? "the C locale" : "code page " + std::to_string(code_page);
    return "the text has a character that " + charset + " cannot represent";
}

// The state of one pass over a file.
class Engine {
  public:
    Engine(RegfileReader& reader, RegfileMode mode) : reader_(reader), mode_(mode) {}

    // Why the engine stopped before the reader did.
    enum class Halt { none, too_large, store_failed };

    // Reads to the end of the file, or until the engine halts.
    void run() {
        std::string line;
        while (halt_ == Halt::none && reader_.read_line(line)) {
            if (line.empty()) continue;
            if (line[0] == '[') {
                on_key_line(line);
            } else if (line[0] == '"' || line[0] == '@') {
                on_value_line(line);
            }
        }
    }

    Halt halt() const { return halt_; }
    // The status of the call that the registry failed, or 0.
    long store_status() const { return store_status_; }
    // The key path of the line that the registry failed.
    const std::string& store_key() const { return store_key_; }

  private:
    // A call that failed because of what was asked has no further effect;
    // one that the registry failed ends the import.
    void check(const RegResult& result) {
        if (!result.ok() && reg_status_is_store_failure(result.status)) {
            halt_ = Halt::store_failed;
            store_status_ = result.status;
            store_key_ = key_path_;
        }
    }

    void on_key_line(std::string_view line) {
        key_ = {};
        const std::size_t bracket = line.find(']');
        if (bracket == std::string_view::npos) return;
        std::string_view path = line.substr(1, bracket - 1);
        key_path_.assign(path);
        // The registry editor's deletion of a key; in remove mode the file
        // marks nothing here.
        if (path.starts_with('-')) {
            if (mode_ == RegfileMode::apply) delete_key(path.substr(1));
            return;
        }
        path = without_trailing_backslashes(path);
        if (mode_ == RegfileMode::remove) {
            if (line.substr(bracket).find(kKeyUninstall) != std::string_view::npos) {
                delete_key(path);
                return;
            }
            // Removal must not create keys: open for writing only what exists.
            key_ = reg_open_existing_path(path);
        } else {
            key_ = reg_create_path(path);
        }
        check(key_.result());
    }

    // A key that is not there, or that may not be deleted, is no failure.
    void delete_key(std::string_view path) {
        Failure failure;
        if (reg_delete_key_path(without_trailing_backslashes(path), &failure) != 0)
            check({RegStep::key, failure.status});
    }

    void on_value_line(std::string_view line) {
        if (!key_) return;
        std::size_t data_pos;
        if (line[0] == '@') {
            if (line.size() < 2 || line[1] != '=') return;
            name_.clear();
            data_pos = 2;
        } else {
            const auto end = regfile_read_quoted(line, 0, name_);
            if (!end || *end >= line.size() || line[*end] != '=') return;
            data_pos = *end + 1;
        }
        if (data_pos >= line.size()) return;
        if (mode_ == RegfileMode::apply) {
            apply_value(line.substr(data_pos));
        } else {
            remove_value(line, data_pos);
        }
    }

    void apply_value(std::string_view data) {
        const ValueName name = std::string_view(name_);
        switch (data[0]) {
            case '"':
                regfile_read_quoted(data, 0, text_);
                check(reg_write_sz(text_, key_.get(), name));
                break;
            case 'd':
                if (const auto number = regfile_parse_dword(data))
                    check(reg_write_dword(*number, key_.get(), name));
                break;
            case 'h':
                apply_hex(data, name);
                break;
            case '-':
                // The registry editor's deletion of a value; one that is
                // not there is no failure.
                if (blank_to_end(data.substr(1))) check(qh::reg_delete_value(key_.get(), name));
                break;
            default:
                break;
        }
    }

    // The first of the three long-known prefixes found anywhere in the data
    // decides, the list starting that prefix's length after the data's
    // first character; any other type number must start the data.
    void apply_hex(std::string_view data, ValueName name) {
        constexpr std::string_view binary = "hex:";
        constexpr std::string_view expand = "hex(2):";
        constexpr std::string_view multi = "hex(7):";
        const auto contains = [data](std::string_view prefix) {
            return data.find(prefix) != std::string_view::npos;
        };
        if (contains(binary)) {
            write_hex(data.substr(binary.size()), platform::kRegBinary, name);
        } else if (contains(expand)) {
            write_hex(data.substr(expand.size()), platform::kRegExpandSz, name);
        } else if (contains(multi)) {
            write_hex(data.substr(multi.size()), platform::kRegMultiSz, name);
        } else if (const auto typed = regfile_parse_hex_type(data)) {
            write_hex(data.substr(typed->list_pos), typed->type, name);
        }
    }

    // The text types hold UTF-16LE text in the list, in files of either
    // encoding, and are written as text; every other type as its bytes.
    // An empty list writes an empty value of its type.
    void write_hex(std::string_view list, std::uint32_t type, ValueName name) {
        if (regfile_hex_list_empty(list)) {
            check(reg_write_raw({}, type, key_.get(), name));
            return;
        }
        const int decoded = regfile_parse_hex(list, reader_, bytes_);
        if (decoded == 3) halt_ = Halt::too_large;
        if (decoded != 0) return;
        switch (type) {
            case platform::kRegSz:
                if (regfile_wide_to_text(bytes_, text_))
                    check(reg_write_sz(text_, key_.get(), name));
                break;
            case platform::kRegExpandSz:
                if (regfile_wide_to_text(bytes_, text_))
                    check(reg_write_expand_sz(text_, key_.get(), name));
                break;
            case platform::kRegMultiSz:
                if (regfile_wide_list_to_text(bytes_, text_))
                    check(reg_write_multi_sz(text_, key_.get(), name));
                break;
            default:
                check(reg_write_raw(bytes_, type, key_.get(), name));
                break;
        }
    }

    // Only the first character of the data matters here; hex lists are not
    // decoded, so their continuation lines pass as ordinary lines.
    void remove_value(std::string_view line, std::size_t data_pos) {
        std::size_t marker_from;
        switch (line[data_pos]) {
            case '"':
                marker_from = *regfile_read_quoted(line, data_pos, text_);
                break;
            case 'd':
            case 'h':
                marker_from = data_pos;
                break;
            default:
                return;
        }
        if (line.find(kUninstallMarker, marker_from) != std::string_view::npos) {
            check(qh::reg_delete_value(key_.get(), std::string_view(name_)));
        }
    }

    RegfileReader& reader_;
    RegfileMode mode_;
    OwnedKey key_;
    Halt halt_ = Halt::none;
    long store_status_ = 0;
    std::string key_path_;  // as the last key line wrote it
    std::string store_key_;
    std::string name_;
    std::string text_;
    std::string bytes_;
};

// One pass over the file in the given mode.
int run_file(std::string_view path, RegfileMode mode, Failure* failure) {
    const std::unique_ptr<std::FILE, FileCloser> file(platform::file_open(path, "rb"));
    if (!file) return fail(failure, kRegfileNotOpened, unopened_reason(path));
    RegfileReader reader(file.get());
    // A file that cannot be read at all is as good as one that cannot be
    // opened: nothing was changed.
    if (reader.stop() == RegfileReader::Stop::read_error) {
        return fail(failure, kRegfileNotOpened, unopened_reason(path));
    }
    Engine engine(reader, mode);
    bool out_of_memory = false;
    // Running out of memory ends the import like any other fault part way
    // through: what came before stays.
    try {
        engine.run();
    } catch (const std::bad_alloc&) {
        out_of_memory = true;
    }
    // The engine stops in the line just read; the reader before the next.
    const auto at = [&](std::size_t line) {
        return std::string(path) + ", line " + std::to_string(line) + ": ";
    };
    const std::size_t this_line = reader.lines_read();
    const std::size_t next_line = this_line + 1;
    constexpr std::size_t kMiB = 1024 * 1024;
    const std::string too_large =
        "a line or value is larger than " + std::to_string(kMaxRegfileText / kMiB) + " MiB";
    if (out_of_memory)
        return fail(failure, kRegfileTooLarge, at(this_line) + "a line is too large for memory");
    switch (engine.halt()) {
        case Engine::Halt::too_large:
            return fail(failure, kRegfileTooLarge, at(this_line) + too_large);
        case Engine::Halt::store_failed:
            return fail(failure, kRegfileStoreFailed,
                        at(this_line) + engine.store_key() + ": " +
                            reg_status_clause(engine.store_status()),
                        engine.store_status());
        case Engine::Halt::none:
            break;
    }
    switch (reader.stop()) {
        case RegfileReader::Stop::none:
            return 0;
        case RegfileReader::Stop::too_long:
            return fail(failure, kRegfileTooLarge, at(next_line) + too_large);
        case RegfileReader::Stop::unconvertible:
            return fail(failure, kRegfileUnreadable, at(next_line) + unconvertible_reason());
        case RegfileReader::Stop::read_error:
            break;
    }
    return fail(failure, kRegfileUnreadable, at(next_line) + "the file cannot be read to its end");
}

}  // namespace

int regfile_apply(std::string_view path, Failure* failure) {
    return run_file(path, RegfileMode::apply, failure);
}

int regfile_remove(std::string_view path, Failure* failure) {
    return run_file(path, RegfileMode::remove, failure);
}

}  // namespace qh
