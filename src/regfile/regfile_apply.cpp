// The registry file engine: one pass over a file, acting on each key line
// and value line as it comes, in apply or in remove mode.
#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "regfile/regfile.h"
#include "regfile/regfile_reader.h"
#include "regfile/utf8.h"
#include "registry/reg_commands.h"
#include "registry/reg_reason.h"
#include "registry/reg_session.h"
#include "registry/reg_value.h"

namespace qh {

namespace {

enum class RegfileMode { apply, remove };

// Windows' limits of names, in characters (UTF-16 code units).
constexpr std::size_t kMaxKeyNameChars = 255;
constexpr std::size_t kMaxValueNameChars = 16383;

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

// The editor's deletion of a value: a minus, with blanks before and after
// it and a ';' comment behind it ("v"=  -, "v"=- ;note).
bool is_deletion(std::string_view data) {
    std::size_t pos = data.find_first_not_of(" \t");
    if (pos == std::string_view::npos || data[pos] != '-') return false;
    pos = data.find_first_not_of(" \t\r\n", pos + 1);
    return pos == std::string_view::npos || data[pos] == ';';
}

// UTF-16 text as the registry stores it, with its terminator.
std::string stored_text(std::u16string_view units) {
    std::string bytes;
    bytes.reserve(2 * units.size() + 2);
    for (const char16_t unit : units) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    bytes.append(2, '\0');
    return bytes;
}

bool is_string_type(std::uint32_t type) {
    return type == platform::kRegSz || type == platform::kRegExpandSz ||
           type == platform::kRegMultiSz;
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

// The lines of a file that the registry refused: how many, and the first.
struct Refusals {
    std::size_t count = 0;
    std::size_t first_line = 0;
    std::string first_reason;
    long first_status = 0;
};

// The state of one pass over a file. The texts of an ANSI file reach the
// registry through the A calls, in the code page, as they always have; those
// of a UTF-16LE file, which the reader delivers as UTF-8, through the W
// calls, so that nothing is lost to a code page.
class Engine {
  public:
    Engine(RegfileReader& reader, RegfileMode mode, ChangeSession* session)
        : reader_(reader), mode_(mode), wide_(reader.wide()), session_(session) {}

    // Why the engine stopped before the reader did.
    enum class Halt { none, too_large, store_failed };

    // Reads to the end of the file, or until the engine halts.
    void run() {
        std::string line;
        while (halt_ == Halt::none && reader_.read_line(line)) {
            line_number_ = reader_.lines_read();
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
    const Refusals& refusals() const { return refusals_; }

  private:
    // A registry that fails ends the import; a refusal of what the line asked
    // (no access, a name beyond Windows' limits, a key never deleted) is
    // counted, and the import goes on. What is already as the file wants (a
    // key or value to delete that is not there) is neither.
    void check(const RegResult& result, bool deletion, ValueName value = std::nullopt) {
        if (result.ok()) return;
        // A journal that failed refuses every change after it.
        const bool unrecorded = session_ && !session_->failure().empty();
        if (unrecorded || reg_status_is_store_failure(result.status)) {
            halt_ = Halt::store_failed;
            store_status_ = result.status;
            store_key_ = key_path_;
            return;
        }
        if (deletion && is_absent(result.status)) return;
        refuse(refusal_reason(result, value), result.status);
    }

    static bool is_absent(long status) {
        return status == platform::kErrorFileNotFound || status == platform::kErrorPathNotFound;
    }

    void refuse(std::string reason, long status) {
        if (++refusals_.count > 1) return;
        refusals_.first_line = line_number_;
        refusals_.first_reason = std::move(reason);
        refusals_.first_status = status;
    }

    // Why the registry refused the current line, in the words of the
    // command line's reasons.
    std::string refusal_reason(const RegResult& result, ValueName value) const {
        const std::optional<KeyPath> path = reg_parse_path(key_path_);
        const Key root = path ? path->root : Key{};
        const std::string_view subkey = path ? path->subkey : std::string_view(key_path_);
        if (result.status == 0) {
            return key_path_ + " is a hive, or a key that holds a whole part of the registry, " +
                   "which is never deleted";
        }
        if (result.failed == RegStep::key) {
            if (longest_key_name(subkey) > kMaxKeyNameChars)
                return key_path_ + ": a key name in it is longer than " +
                       std::to_string(kMaxKeyNameChars) + " characters, Windows' limit";
            return reg_key_reason(root, subkey, result.status);
        }
        if (value && name_length(*value) > kMaxValueNameChars)
            return key_path_ + ": the value name is longer than " +
                   std::to_string(kMaxValueNameChars) + " characters, Windows' limit";
        return reg_value_reason(root, subkey, value, result.status);
    }

    // The characters of a name as Windows counts them: UTF-16 code units.
    std::size_t name_length(std::string_view name) const {
        std::u16string units;
        if (wide_) return utf8_to_utf16(name).size();
        return platform::multibyte_to_wide(name, units) ? units.size() : name.size();
    }

    // The most characters of one key name in a path.
    std::size_t longest_key_name(std::string_view path) const {
        std::size_t longest = 0;
        for (std::size_t start = 0; start <= path.size();) {
            std::size_t end = path.find('\\', start);
            if (end == std::string_view::npos) end = path.size();
            longest = std::max(longest, name_length(path.substr(start, end - start)));
            start = end + 1;
        }
        return longest;
    }

    void on_key_line(std::string_view line) {
        key_ = {};
        key_refusal_.reset();
        const std::optional<KeyLine> key_line = regfile_parse_key_line(line);
        if (!key_line) return;
        std::string_view path = key_line->path;
        key_path_.assign(path);
        // The registry editor's deletion of a key; in remove mode the file
        // marks nothing here.
        if (path.starts_with('-')) {
            if (mode_ == RegfileMode::apply) delete_key(path.substr(1));
            return;
        }
        path = without_trailing_backslashes(path);
        // A root this tool does not know names no key: such a line is
        // skipped, as one that does not parse.
        if (!reg_parse_path(path)) return;
        if (mode_ == RegfileMode::apply) {
            key_ = open_key(path, true);
            const RegResult opened = key_.result();
            check(opened, false);
            // The lines under it are refused for the same reason.
            if (!key_ && halt_ == Halt::none)
                key_refusal_ = Failure{refusal_reason(opened, std::nullopt), opened.status};
            return;
        }
        if (key_line->marked) {
            delete_key(path);
            return;
        }
        // Removal must not create keys: open for writing only what exists.
        key_ = open_key(path, false);
        const RegResult opened = key_.result();
        if (key_ || is_absent(opened.status)) return;
        if (reg_status_is_store_failure(opened.status)) {
            check(opened, true);
            return;
        }
        // Refused only when a line under it asks for a removal.
        key_refusal_ = Failure{refusal_reason(opened, std::nullopt), opened.status};
    }

    OwnedKey open_key(std::string_view path, bool create) {
        if (!wide_)
            return create ? reg_create_path(path, session_)
                          : reg_open_existing_path(path, session_);
        const std::optional<KeyPath> key_path = reg_parse_path(path);
        if (!key_path) return OwnedKey::failed(platform::kErrorInvalidHandle);
        const std::u16string subkey = utf8_to_utf16(key_path->subkey);
        return create ? reg_create_wide(key_path->root, subkey, session_)
                      : reg_open_existing_wide(key_path->root, subkey, session_);
    }

    // A key that is not there is no failure; one that may not be deleted is
    // refused.
    void delete_key(std::string_view path) {
        path = without_trailing_backslashes(path);
        key_path_.assign(path);
        const std::optional<KeyPath> key_path = reg_parse_path(path);
        if (!key_path) return;
        if (wide_)
            check(reg_delete_key_at_wide(key_path->root, utf8_to_utf16(key_path->subkey), session_),
                  true);
        else
            check(reg_delete_key_at(key_path->root, key_path->subkey, session_), true);
    }

    // Writes the value named by the current line: `bytes` as stored.
    RegResult write_value(std::uint32_t type, std::string_view bytes) {
        if (wide_) return reg_write_raw_wide(bytes, type, key_, utf8_to_utf16(name_));
        if (!is_string_type(type)) return reg_write_raw(bytes, type, key_, name_);
        // UTF-16 bytes through an A call would be converted once more.
        std::u16string name;
        if (!platform::multibyte_to_wide(name_, name))
            return {RegStep::value, platform::kErrorInvalidName};
        return reg_write_raw_wide(bytes, type, key_, name);
    }

    RegResult delete_value() {
        if (wide_) return qh::reg_delete_value_wide(key_, utf8_to_utf16(name_));
        return qh::reg_delete_value(key_, std::string_view(name_));
    }

    // Acts on the current line's value with `call`; under a key that could
    // not be opened the line is refused for the key's reason.
    template <typename Call>
    void act(bool deletion, Call call) {
        if (!key_) {
            refuse(key_refusal_->reason, key_refusal_->status);
            return;
        }
        check(call(), deletion, std::string_view(name_));
    }

    void on_value_line(std::string_view line) {
        if (!key_ && !key_refusal_) return;
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
        if (is_deletion(data)) {
            act(true, [this] { return delete_value(); });
            return;
        }
        switch (data[0]) {
            case '"':
                regfile_read_quoted(data, 0, text_);
                act(false, [this] {
                    if (wide_)
                        return write_value(platform::kRegSz, stored_text(utf8_to_utf16(text_)));
                    return reg_write_sz(text_, key_, std::string_view(name_));
                });
                break;
            case 'd':
                if (const auto number = regfile_parse_dword(data)) {
                    std::string bytes(4, '\0');
                    for (std::size_t i = 0; i < 4; ++i)
                        bytes[i] = static_cast<char>((*number >> (8 * i)) & 0xFF);
                    act(false, [&] { return write_value(platform::kRegDword, bytes); });
                }
                break;
            case 'h':
                apply_hex(data);
                break;
            default:
                break;
        }
    }

    // The first of the three long-known prefixes found anywhere in the data
    // decides, the list starting that prefix's length after the data's
    // first character; any other type number must start the data.
    void apply_hex(std::string_view data) {
        constexpr std::string_view binary = "hex:";
        constexpr std::string_view expand = "hex(2):";
        constexpr std::string_view multi = "hex(7):";
        const auto contains = [data](std::string_view prefix) {
            return data.find(prefix) != std::string_view::npos;
        };
        if (contains(binary)) {
            write_hex(data.substr(binary.size()), platform::kRegBinary);
        } else if (contains(expand)) {
            write_hex(data.substr(expand.size()), platform::kRegExpandSz);
        } else if (contains(multi)) {
            write_hex(data.substr(multi.size()), platform::kRegMultiSz);
        } else if (const auto typed = regfile_parse_hex_type(data)) {
            write_hex(data.substr(typed->list_pos), typed->type);
        }
    }

    // Every list is written as the bytes it holds, as the editor writes it:
    // the string types' UTF-16LE text too, in files of either encoding, with
    // no terminator supplied. An empty list writes an empty value.
    void write_hex(std::string_view list, std::uint32_t type) {
        if (regfile_hex_list_empty(list)) {
            act(false, [&] { return write_value(type, {}); });
            return;
        }
        const int decoded = regfile_parse_hex(list, reader_, bytes_);
        if (decoded == 3) halt_ = Halt::too_large;
        if (decoded == 0) act(false, [&] { return write_value(type, bytes_); });
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
        if (line.find(kUninstallMarker, marker_from) != std::string_view::npos)
            act(true, [this] { return delete_value(); });
    }

    RegfileReader& reader_;
    RegfileMode mode_;
    bool wide_;
    ChangeSession* session_;
    OwnedKey key_;
    Halt halt_ = Halt::none;
    long store_status_ = 0;
    std::string key_path_;  // as the last key line wrote it
    std::string store_key_;
    // Why the last key line's key could not be opened, when the registry
    // refused it: the lines under it are refused too.
    std::optional<Failure> key_refusal_;
    std::size_t line_number_ = 0;  // of the line being acted on
    Refusals refusals_;
    std::string name_;
    std::string text_;
    std::string bytes_;
};

// 0 when the registry took every line; otherwise kRegfileRefused, naming
// the first line it refused and how many it refused in all.
int refused(std::string_view path, const Refusals& refusals, Failure* failure) {
    if (refusals.count == 0) return 0;
    std::string reason = std::string(path) + ", line " + std::to_string(refusals.first_line) +
                         ": " + refusals.first_reason + "; " + std::to_string(refusals.count) +
                         (refusals.count == 1 ? " line" : " lines") + " of the file refused";
    return fail(failure, kRegfileRefused, std::move(reason), refusals.first_status);
}

// One pass over what the reader reads, in the given mode; `path` names it
// in reasons.
int run_reader(RegfileReader& reader, std::string_view path, RegfileMode mode, Failure* failure,
               ChangeSession* session) {
    Engine engine(reader, mode, session);
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
            return refused(path, engine.refusals(), failure);
        case RegfileReader::Stop::too_long:
            return fail(failure, kRegfileTooLarge, at(next_line) + too_large);
        case RegfileReader::Stop::read_error:
            break;
    }
    return fail(failure, kRegfileUnreadable, at(next_line) + "the file cannot be read to its end");
}

// One pass over the file in the given mode.
int run_file(std::string_view path, RegfileMode mode, Failure* failure, ChangeSession* session) {
    const std::unique_ptr<std::FILE, FileCloser> file(platform::file_open(path, "rb"));
    if (!file) return fail(failure, kRegfileNotOpened, unopened_reason(path));
    RegfileReader reader(file.get());
    // A file that cannot be read at all is as good as one that cannot be
    // opened: nothing was changed.
    if (reader.stop() == RegfileReader::Stop::read_error) {
        return fail(failure, kRegfileNotOpened, unopened_reason(path));
    }
    return run_reader(reader, path, mode, failure, session);
}

}  // namespace

int regfile_apply(std::string_view path, Failure* failure, ChangeSession* session) {
    return run_file(path, RegfileMode::apply, failure, session);
}

int regfile_remove(std::string_view path, Failure* failure, ChangeSession* session) {
    return run_file(path, RegfileMode::remove, failure, session);
}

int regfile_apply_bytes(std::string bytes, std::string_view name, Failure* failure,
                        ChangeSession* session) {
    RegfileReader reader(std::move(bytes));
    return run_reader(reader, name, RegfileMode::apply, failure, session);
}

}  // namespace qh
