// Reading registry-editor files: lines in either encoding, quoted texts, hex
// lists and the UTF-16LE data of hex(2) and hex(7) values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace qh {

// The longest logical line, and the largest decoded value, that an import
// takes. A file without line ends (or a device) would otherwise be read
// into memory whole.
inline constexpr std::size_t kMaxRegfileText = 64 * 1024 * 1024;

// Behind a value's data, or behind a key line's "]", marks what -regf removes.
inline constexpr std::string_view kUninstallMarker = "--uninstall";

// Delivers the lines of a registry file: an ANSI file's as the bytes they
// are (text in the current code page), a UTF-16LE file's as UTF-8 (utf8.h),
// so that no character is lost. An ANSI line keeps its line feed (CR LF
// arrives as LF); a UTF-16LE line loses its line feed but keeps a carriage
// return before it. A zero byte (or zero code unit) ends the text of its
// line.
class RegfileReader {
  public:
    enum class Stop {
        none,        // not stopped (or simply at the end)
        read_error,  // the file could not be read (a directory, say)
        too_long,    // a line longer than kMaxRegfileText bytes
    };

    // Reads from an open file, positioned at its first byte; not closed here.
    explicit RegfileReader(std::FILE* file);
    // Reads from bytes held in memory.
    explicit RegfileReader(std::string bytes);

    // The next line, or false at the end of the file or once reading stopped.
    bool read_line(std::string& line);

    Stop stop() const { return stop_; }
    // Whether the file is UTF-16LE (its lines arrive as UTF-8).
    bool wide() const { return wide_; }
    // Lines delivered so far; the line being read when reading stopped is
    // the one after them.
    std::size_t lines_read() const { return lines_read_; }

  private:
    bool ensure(std::size_t count);
    bool read_ansi_line(std::string& line);
    bool read_wide_line(std::string& line);

    std::FILE* file_ = nullptr;
    std::string buffer_;
    std::size_t pos_ = 0;
    bool file_done_ = false;
    bool ended_ = false;  // a 0x1A byte ended an ANSI file
    bool wide_ = false;
    Stop stop_ = Stop::none;
    std::size_t lines_read_ = 0;
    std::u16string wide_line_;
};

// Takes the text out of a double-quoted text starting at `pos` in `line`,
// unescaping \\ and \", and \n and \r into a line feed and a carriage
// return. Returns the position just after the closing quote,
// or where the text ended early (at a lone backslash, or at the end of the
// line); nothing, with `out` untouched, when no quote stands at `pos`.
std::optional<std::size_t> regfile_read_quoted(std::string_view line, std::size_t pos,
                                               std::string& out);

// A key line ("[PATH]") as the registry editor reads it: the path runs to
// the line's last "]", as "]" may stand in a key name. A line that ends in
// "]--uninstall" (blanks and the line end aside) is marked for -regf, its
// path ending at the "]" before the marker.
struct KeyLine {
    std::string_view path;
    bool marked;
};
// The line's key path and mark; nothing when the line is no key line or
// holds no "]".
std::optional<KeyLine> regfile_parse_key_line(std::string_view line);

// Decodes a comma-separated list of hex byte pairs into `out`, following a
// trailing backslash onto the next lines of `reader`.
// 0 complete; 1 a pair cannot be read; 2 a continuation line is missing;
// 3 the bytes would pass kMaxRegfileText.
int regfile_parse_hex(std::string_view list, RegfileReader& reader, std::string& out);

// Whether a hex list holds no pair at all: nothing but white space, and an
// optional "--uninstall", up to the line end.
bool regfile_hex_list_empty(std::string_view list);

// "hex(N):" at the start of the data, N being one to eight hex digits of
// either case: the value type N and where the list begins. Nothing for any
// other form.
struct HexType {
    std::uint32_t type;
    std::size_t list_pos;
};
std::optional<HexType> regfile_parse_hex_type(std::string_view data);

// "dword:", optional white space, one to eight hex digits, then nothing but
// white space and an optional "--uninstall", up to the line end or a ';'
// that starts a comment. Nothing for anything else (a '#' is no comment),
// so a number too long is never stored cut.
std::optional<std::uint32_t> regfile_parse_dword(std::string_view data);

}  // namespace qh
