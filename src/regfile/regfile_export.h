// Writing registry-editor files (-rege): the export of a whole key, from
// the lines of reg_lines.h, and the bytes of the file it makes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/failure.h"
#include "registry/reg_lines.h"
#include "registry/reg_path.h"
#include "registry/reg_result.h"

namespace qh {

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
// for a missing key nothing is written. Under a preview, the key as its
// changes would leave it, and no file: a line tells what it would hold.
// 0, or one of the codes above.
int regfile_export(std::string_view key_path, std::string_view file, Failure* failure = nullptr,
                   ChangeSession* session = nullptr);

}  // namespace qh
