// Writing registry-editor files (-rege): the pieces of the format, each on
// its own so that any caller can write one key's line or one value's line
// exactly as the editor's export writes it, and the export of a whole key.
//
// The text is UTF-16, as the registry keeps names and strings: nothing is
// converted on the way. A file is the header, then one block per key (its
// line, its values, an empty line); lines end in CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/failure.h"
#include "registry/reg_path.h"
#include "registry/reg_result.h"

namespace qh {

// Appends "Windows Registry Editor Version 5.00" and the empty line after it.
void regfile_append_header(std::u16string& out);
// Appends a key's line, "[path]": `path` is the full path, root name first.
void regfile_append_key(std::u16string& out, std::u16string_view path);
// Appends one value's line, with the continuation lines of a long hex list:
//   the name quoted, or @ for the default value (an empty name);
//   REG_SZ "text", up to its first zero; REG_DWORD of four bytes
//   dword:%08x; REG_BINARY hex:; every other type, and a REG_DWORD of
//   another size, hex(N): with N in lower-case hex. Hex lists are
//   lower-case pairs joined by commas, wrapped where the editor wraps them.
//   In names and strings \ " LF and CR are written \\ \" \n \r.
void regfile_append_value(std::u16string& out, std::u16string_view name, std::uint32_t type,
                          std::string_view data);
// Appends the empty line that ends a key's block.
void regfile_append_key_end(std::u16string& out);

// Appends the blocks of `key`, named `path`, and of every key below it,
// depth first in enumeration order. Subkeys that cannot be opened for lack
// of access are passed over; another failure ends it with its result.
RegResult regfile_append_tree(std::u16string& out, Key key, std::u16string_view path);

// A file's bytes as its text is made: the byte-order mark FF FE, then each
// piece of text appended in UTF-16LE (nothing at all before the first). Grown by realloc, so that
// the system moves the pages of a large file rather than copying them.
class RegfileBytes {
  public:
    RegfileBytes() = default;
    RegfileBytes(const RegfileBytes&) = delete;
    RegfileBytes& operator=(const RegfileBytes&) = delete;
    ~RegfileBytes();

    // Appends the text; false, appending nothing, when memory runs out.
    bool append(std::u16string_view text);
    std::string_view view() const { return {data_, size_}; }

  private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// Codes of -rege.
inline constexpr int kExportNoKey = 1;       // no root, HKEY_DYN_DATA, or the key not opened
inline constexpr int kExportUnread = 2;      // the key, or one below it, could not be read
inline constexpr int kExportNotWritten = 3;  // the file could not be written

// Writes the key at `key_path` with everything below it to `file`, the
// whole file at once: on any failure an existing file stays as it was, and
// for a missing key nothing is written. 0, or one of the codes above.
int regfile_export(std::string_view key_path, std::string_view file, Failure* failure = nullptr);

}  // namespace qh
