#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "regfile/regfile.h"
#include "regfile/regfile_reader.h"
#include "registry/reg_commands.h"
#include "registry/reg_value.h"

namespace qh {

namespace {

constexpr std::string_view kUninstall = "--uninstall";
constexpr std::string_view kKeyUninstall = "]--uninstall";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The state of one pass over a file.
class Engine {
  public:
    Engine(RegfileReader& reader, RegfileMode mode) : reader_(reader), mode_(mode) {}

    void run() {
        std::string line;
        while (reader_.read_line(line)) {
            if (line.empty()) continue;
            if (line[0] == '[') {
                on_key_line(line);
            } else if (line[0] == '"' || line[0] == '@') {
                on_value_line(line);
            }
        }
    }

  private:
    void on_key_line(std::string_view line) {
        key_ = {};
        const std::size_t bracket = line.find(']');
        if (bracket == std::string_view::npos) return;
        const std::string_view path = line.substr(1, bracket - 1);
        if (mode_ == RegfileMode::remove) {
            if (line.substr(bracket).find(kKeyUninstall) != std::string_view::npos) {
                reg_delete_key_path(path);
                return;
            }
            // Removal must not create keys: open for writing only what exists.
            key_ = reg_open_existing_path(path);
        } else {
            key_ = reg_create_path(path);
        }
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
                reg_write_sz(text_, key_.get(), name);
                break;
            case 'd':
                if (const auto number = regfile_parse_dword(data))
                    reg_write_dword(*number, key_.get(), name);
                break;
            case 'h':
                apply_hex(data, name);
                break;
            default:
                break;
        }
    }

    // The first prefix found anywhere in the data decides; the list starts
    // that prefix's length after the data's first character.
    void apply_hex(std::string_view data, ValueName name) {
        constexpr std::string_view binary = "hex:";
        constexpr std::string_view expand = "hex(2):";
        constexpr std::string_view multi = "hex(7):";
        const auto contains = [data](std::string_view prefix) {
            return data.find(prefix) != std::string_view::npos;
        };
        if (contains(binary)) {
            if (regfile_parse_hex(data.substr(binary.size()), reader_, bytes_) == 0) {
                reg_write_binary(bytes_, key_.get(), name);
            }
        } else if (contains(expand)) {
            if (regfile_parse_hex(data.substr(expand.size()), reader_, bytes_) == 0 &&
                regfile_wide_to_text(bytes_, text_)) {
                reg_write_expand_sz(text_, key_.get(), name);
            }
        } else if (contains(multi)) {
            if (regfile_parse_hex(data.substr(multi.size()), reader_, bytes_) == 0 &&
                regfile_wide_list_to_text(bytes_, text_)) {
                reg_write_multi_sz(text_, key_.get(), name);
            }
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
        if (line.find(kUninstall, marker_from) != std::string_view::npos) {
            qh::reg_delete_value(key_.get(), std::string_view(name_));
        }
    }

    RegfileReader& reader_;
    RegfileMode mode_;
    OwnedKey key_;
    std::string name_;
    std::string text_;
    std::string bytes_;
};

// Why a file gave nothing to read: it is not there, it is a directory, or
// the system refused it.
std::string unopened_reason(std::string_view path) {
    const std::optional<std::uint32_t> attributes = platform::find_first_attributes(path);
    if (!attributes) return std::string(path) + " does not exist";
    if ((*attributes & platform::kAttrDirectory) != 0) {
        return std::string(path) + " is a directory, not a registry file";
    }
    return std::string(path) + " cannot be opened";
}

std::string unconvertible_reason() {
    const unsigned code_page = platform::locale_code_page();
    const std::string charset =
        code_page == 0 ? "the C locale" : "code page " + std::to_string(code_page);
    return "the text has a character that " + charset + " cannot represent";
}

}  // namespace

int regfile_apply(std::string_view path, RegfileMode mode, Failure* failure) {
    const std::unique_ptr<std::FILE, FileCloser> file(platform::file_open(path, "rb"));
    if (!file) return fail(failure, 1, unopened_reason(path));
    RegfileReader reader(file.get());
    // A directory opens on some systems but cannot be read.
    if (reader.stop() == RegfileReader::Stop::read_error) {
        return fail(failure, 1, unopened_reason(path));
    }
    // A line too large for memory ends the import like any other fault part
    // way through: what came before stays, and the run goes on.
    try {
        Engine(reader, mode).run();
    } catch (const std::bad_alloc&) {
        return fail(failure, 2, std::string(path) + ": a line is too large for memory");
    }
    switch (reader.stop()) {
        case RegfileReader::Stop::none:
            return 0;
        case RegfileReader::Stop::unconvertible:
            return fail(failure, 2, std::string(path) + ": " + unconvertible_reason());
        case RegfileReader::Stop::read_error:
            break;
    }
    return fail(failure, 2, std::string(path) + " cannot be read to its end");
}

}  // namespace qh
