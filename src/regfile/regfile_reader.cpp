#include "regfile/regfile_reader.h"

#include <algorithm>
#include <utility>

#include "regfile/utf8.h"

namespace qh {

namespace {

// Large enough that a file costs a handful of reads, small enough to stay
// in cache.
constexpr std::size_t kReadChunk = 64 * 1024;

constexpr char kTextEnd = '\x1a';
// A 32-bit number, whether a dword's value or a hex(N) type.
constexpr std::size_t kMaxNumberDigits = 8;

bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::size_t skip_blanks(std::string_view text, std::size_t pos) {
    while (pos < text.size() && is_blank(text[pos])) ++pos;
    return pos;
}

// Whether only white space, with at most one marker in it, is left at `pos`;
// with `comment`, a ';' may end the line's data there, as in the editor's
// files ("dword:00000004 ;note").
bool only_marker_left(std::string_view text, std::size_t pos, bool comment = false) {
    pos = skip_blanks(text, pos);
    if (text.substr(pos).starts_with(kUninstallMarker))
        pos = skip_blanks(text, pos + kUninstallMarker.size());
    return pos == text.size() || (comment && text[pos] == ';');
}

// Up to kMaxNumberDigits hex digits at `pos`, moving `pos` past them; nothing
// when there are none or more.
std::optional<std::uint32_t> read_number(std::string_view text, std::size_t& pos) {
    std::uint32_t number = 0;
    std::size_t digits = 0;
    for (; pos < text.size() && is_hex_digit(text[pos]); ++pos, ++digits) {
        if (digits == kMaxNumberDigits) return std::nullopt;
        number = number * 16 + static_cast<std::uint32_t>(hex_value(text[pos]));
    }
    if (digits == 0) return std::nullopt;
    return number;
}

// One pair at `pos`: leading white space, then one or two hex digits.
std::optional<unsigned char> read_pair(std::string_view text, std::size_t pos) {
    while (pos < text.size() && is_blank(text[pos])) ++pos;
    if (pos >= text.size() || !is_hex_digit(text[pos])) return std::nullopt;
    int value = hex_value(text[pos++]);
    if (pos < text.size() && is_hex_digit(text[pos])) value = value * 16 + hex_value(text[pos]);
    return static_cast<unsigned char>(value);
}

}  // namespace

RegfileReader::RegfileReader(std::FILE* file) : file_(file) {
    if (ensure(2) && buffer_[0] == '\xff' && buffer_[1] == '\xfe') {
        wide_ = true;
        pos_ = 2;
    }
}

RegfileReader::RegfileReader(std::string bytes) : buffer_(std::move(bytes)), file_done_(true) {
    if (buffer_.size() >= 2 && buffer_[0] == '\xff' && buffer_[1] == '\xfe') {
        wide_ = true;
        pos_ = 2;
    }
}

bool RegfileReader::ensure(std::size_t count) {
    while (buffer_.size() - pos_ < count) {
        if (file_done_) return false;
        buffer_.erase(0, pos_);
        pos_ = 0;
        const std::size_t old_size = buffer_.size();
        buffer_.resize(old_size + kReadChunk);
        const std::size_t got = std::fread(buffer_.data() + old_size, 1, kReadChunk, file_);
        buffer_.resize(old_size + got);
        if (got == 0) {
            file_done_ = true;
            if (std::ferror(file_)) stop_ = Stop::read_error;
        }
    }
    return true;
}

bool RegfileReader::read_line(std::string& line) {
    line.clear();
    if (stop_ != Stop::none || ended_) return false;
    const bool got = wide_ ? read_wide_line(line) : read_ansi_line(line);
    if (!got) return false;
    ++lines_read_;
    // The rest of a line behind a zero byte is lost, in both encodings, so
    // no name or path ever carries one.
    if (const std::size_t zero = line.find('\0'); zero != std::string::npos) line.resize(zero);
    return true;
}

bool RegfileReader::read_ansi_line(std::string& line) {
    bool got = false;
    while (ensure(1)) {
        const char* begin = buffer_.data() + pos_;
        const std::size_t avail = buffer_.size() - pos_;
        std::size_t span = 0;
        while (span < avail && begin[span] != '\n' && begin[span] != '\r' &&
               begin[span] != kTextEnd) {
            ++span;
        }
        line.append(begin, span);
        pos_ += span;
        got = got || span > 0;
        if (line.size() > kMaxRegfileText) {
            stop_ = Stop::too_long;
            return false;
        }
        if (span == avail) continue;

        const char c = buffer_[pos_++];
        if (c == kTextEnd) {
            ended_ = true;
            return got;
        }
        got = true;
        if (c == '\n') {
            line.push_back('\n');
            return true;
        }
        // A carriage return counts only as half of CR LF.
        if (ensure(1) && buffer_[pos_] == '\n') {
            ++pos_;
            line.push_back('\n');
            return true;
        }
        line.push_back('\r');
    }
    return got && stop_ == Stop::none;
}

bool RegfileReader::read_wide_line(std::string& line) {
    wide_line_.clear();
    if (!ensure(2)) return false;  // the end, or an odd last byte
    bool line_end = false;
    while (!line_end && stop_ == Stop::none && ensure(2)) {
        // Every whole code unit already buffered, without a call per unit.
        const char* bytes = buffer_.data() + pos_;
        const std::size_t units = (buffer_.size() - pos_) / 2;
        std::size_t i = 0;
        while (i < units) {
            const unsigned low = static_cast<unsigned char>(bytes[2 * i]);
            const unsigned high = static_cast<unsigned char>(bytes[2 * i + 1]);
            ++i;
            const auto unit = static_cast<char16_t>(low | (high << 8));
            if (unit == u'\n') {
                line_end = true;
                break;
            }
            wide_line_.push_back(unit);
        }
        pos_ += 2 * i;
        if (wide_line_.size() > kMaxRegfileText / 2) stop_ = Stop::too_long;
    }
    if (stop_ != Stop::none) return false;
    std::u16string_view text = wide_line_;
    if (const std::size_t zero = text.find(u'\0'); zero != text.npos) text = text.substr(0, zero);
    utf8_append(text, line);
    return true;
}

std::optional<std::size_t> regfile_read_quoted(std::string_view line, std::size_t pos,
                                               std::string& out) {
    if (pos >= line.size() || line[pos] != '"') return std::nullopt;
    out.clear();
    // An unclosed text ends where its line does; the line end is no part of it.
    std::size_t end = line.size();
    if (end > pos + 1 && line[end - 1] == '\n') --end;
    if (end > pos + 1 && line[end - 1] == '\r') --end;
    ++pos;
    while (pos < end) {
        const char c = line[pos];
        if (c == '"') return pos + 1;
        if (c == '\\') {
            const char next = pos + 1 < end ? line[pos + 1] : '\0';
            if (next == '\\' || next == '"') {
                out.push_back(next);
            } else if (next == 'n' || next == 'r') {
                // The editor writes a line break in a name or string so.
                out.push_back(next == 'n' ? '\n' : '\r');
            } else {
                return pos;
            }
            pos += 2;
            continue;
        }
        out.push_back(c);
        ++pos;
    }
    return pos;
}

std::optional<KeyLine> regfile_parse_key_line(std::string_view line) {
    if (!line.starts_with('[')) return std::nullopt;
    const std::size_t last = line.find_last_not_of(" \t\r\n");
    line = line.substr(0, last + 1);
    constexpr std::string_view kMarked = "]--uninstall";
    if (line.size() > kMarked.size() && line.ends_with(kMarked)) {
        const std::size_t bracket = line.size() - kMarked.size();
        return KeyLine{line.substr(1, bracket - 1), true};
    }
    const std::size_t bracket = line.rfind(']');
    if (bracket == std::string_view::npos) return std::nullopt;
    return KeyLine{line.substr(1, bracket - 1), false};
}

int regfile_parse_hex(std::string_view list, RegfileReader& reader, std::string& out) {
    out.clear();
    std::string work(list);
    std::size_t cursor = 0;
    for (;;) {
        // Pairs of this line: each takes exactly three characters.
        while (cursor < work.size()) {
            const auto byte = read_pair(work, cursor);
            if (!byte) return 1;
            if (out.size() == kMaxRegfileText) return 3;
            out.push_back(static_cast<char>(*byte));
            cursor = std::min(cursor + 3, work.size());
            if (cursor >= work.size()) break;
            const char next = work[cursor];
            if (!is_hex_digit(next) && next != ',') break;
        }
        if (cursor >= work.size() || work[cursor] != '\\') return 0;
        if (!reader.read_line(work)) return 2;
        cursor = work.find_first_not_of(' ');
        if (cursor == std::string::npos) cursor = work.size();
    }
}

bool regfile_hex_list_empty(std::string_view list) { return only_marker_left(list, 0); }

std::optional<HexType> regfile_parse_hex_type(std::string_view data) {
    constexpr std::string_view open = "hex(";
    constexpr std::string_view close = "):";
    if (!data.starts_with(open)) return std::nullopt;
    std::size_t pos = open.size();
    const auto type = read_number(data, pos);
    if (!type || !data.substr(pos).starts_with(close)) return std::nullopt;
    return HexType{*type, pos + close.size()};
}

std::optional<std::uint32_t> regfile_parse_dword(std::string_view data) {
    constexpr std::string_view prefix = "dword:";
    if (!data.starts_with(prefix)) return std::nullopt;
    std::size_t pos = skip_blanks(data, prefix.size());
    const auto number = read_number(data, pos);
    if (!number || !only_marker_left(data, pos, true)) return std::nullopt;
    return number;
}

}  // namespace qh
