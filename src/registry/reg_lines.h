// The lines of registry-editor files: each piece on its own, so that any
// caller (the export, a run's journal) can write one key's line or one
// value's line exactly as the editor's export writes it.
//
// The text is UTF-16, as the registry keeps names and strings: nothing is
// converted on the way. A file is the header, then one block per key (its
// line, its values, an empty line); lines end in CR LF.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "registry/reg_path.h"
#include "registry/reg_result.h"
#include "registry/reg_tree.h"

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

// Appends a name or a string between quotes, with the escapes below.
void regfile_append_quoted(std::u16string& out, std::u16string_view text);

// Appends the blocks of `key`, named `path`, and of every key below it,
// depth first in enumeration order. Subkeys that cannot be opened for lack
// of access are passed over; another failure ends it with its result.
RegResult regfile_append_tree(std::u16string& out, Key key, std::u16string_view path);

// regfile_append_tree of the tree that `walk` walks (reg_walk or
// reg_walk_at, with the visitor given), with `drain` (when given) called
// after each line: it may take what `out` holds, so that a large tree need
// not sit in memory.
RegResult regfile_append_tree_drained(std::u16string& out,
                                      const std::function<RegResult(const RegWalkVisitor&)>& walk,
                                      std::u16string_view path,
                                      const std::function<void(std::u16string&)>& drain);

}  // namespace qh
