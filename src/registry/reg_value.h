// The value primitives: every registry access of the tool goes through here.
// Each operation opens what it needs, does one step, closes again and
// answers with a small result code (0 is success).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "registry/reg_path.h"

namespace qh {

// A value is read only when it holds at most this many bytes.
inline constexpr std::size_t kMaxValueRead = 32767;

// A value as read: its type and its raw bytes, exactly as stored.
struct RegValue {
    std::uint32_t type = platform::kRegNone;
    std::string data;
};

// Every change takes the run's session (reg_session.h), which records what
// it is about to change before it does; a change the session refuses to
// record is not made, and fails with the key step. Without a session (a
// caller outside any run's changes) nothing is recorded.

// On a root key and a subkey: each opens the key, does one thing to the
// value and closes the key again. A failure names the key step (the key not
// opened or created) or the value step, with the system's status.
// With a session in a preview, the value as the changes shown before would
// leave it.
RegResult reg_read_value_at(RegValue& out, Key root, std::string_view subkey, ValueName name,
                            ChangeSession* session = nullptr);
RegResult reg_write_sz_at(std::string_view text, Key root, std::string_view subkey, ValueName name,
                          ChangeSession* session = nullptr);
// Writes a text value of the given string type (REG_SZ or REG_EXPAND_SZ).
RegResult reg_write_text_at(std::string_view text, std::uint32_t type, Key root,
                            std::string_view subkey, ValueName name,
                            ChangeSession* session = nullptr);
// Deletes a value; the key is opened for writing only when it exists, so a
// delete never creates anything.
RegResult reg_delete_value_at(Key root, std::string_view subkey, ValueName name,
                              ChangeSession* session = nullptr);

// The key operations: every failure is the key step. The status is 0 when
// the system was not asked: `root` is no key, or (deletion) the key is
// protected (reg_protected.h).
// Done when the key exists now, whether or not it existed before.
RegResult reg_create_key_at(Key root, std::string_view subkey, ChangeSession* session = nullptr);
// Every deletion of a key goes through here: done when the key is gone with
// everything below it.
RegResult reg_delete_key_at(Key root, std::string_view subkey, ChangeSession* session = nullptr);

// On a key the caller opened, untracked: a failure is the value step.
RegResult reg_read_value(RegValue& out, Key key, ValueName name);
RegResult reg_write_sz(std::string_view text, Key key, ValueName name);
RegResult reg_write_expand_sz(std::string_view text, Key key, ValueName name);
// `multi` holds texts each ended by a zero byte and one more zero byte; the
// size stored runs up to and including the first two zero bytes in a row.
RegResult reg_write_multi_sz(std::string_view multi, Key key, ValueName name);
RegResult reg_write_dword(std::uint32_t number, Key key, ValueName name);
// The bytes exactly as given, with any type number: data whose type the
// tool does not interpret.
RegResult reg_write_raw(std::string_view bytes, std::uint32_t type, Key key, ValueName name);
RegResult reg_delete_value(Key key, ValueName name);

// The same through the W calls, names in UTF-16: the bytes exactly as
// given, with any type number, and nothing converted on the way.
RegResult reg_write_raw_wide(std::string_view bytes, std::uint32_t type, Key key, WideName name);
RegResult reg_delete_value_wide(Key key, WideName name);
// reg_delete_key_at with the subkey in UTF-16.
RegResult reg_delete_key_at_wide(Key root, std::u16string_view subkey,
                                 ChangeSession* session = nullptr);

// The changes on a key opened by reg_create or reg_open_existing: announced
// to the session that tracks the key, if any (results as above). The W
// forms take the name in UTF-16, empty for the default value.
RegResult reg_write_sz(std::string_view text, const OwnedKey& key, ValueName name);
RegResult reg_write_raw(std::string_view bytes, std::uint32_t type, const OwnedKey& key,
                        ValueName name);
RegResult reg_delete_value(const OwnedKey& key, ValueName name);
RegResult reg_write_raw_wide(std::string_view bytes, std::uint32_t type, const OwnedKey& key,
                             std::u16string_view name);
RegResult reg_delete_value_wide(const OwnedKey& key, std::u16string_view name);

// The text of a string value (REG_SZ, REG_EXPAND_SZ): its bytes up to the
// first zero byte, never past the end of the data.
std::string reg_value_text(const RegValue& value);
// How a value is shown on the console: strings as their text, numbers as
// 0x and lower-case hex, binary data as upper-case hex pairs, lists with
// their texts joined by the two characters \0.
std::string reg_value_display(const RegValue& value);
// Whether the value holds a string that path-list edits may work on.
bool reg_value_is_text(const RegValue& value);

}  // namespace qh
