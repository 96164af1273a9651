// The one narrow interface between the tool and the operating system.
//
// Two backends implement it: win32/ calls the real Windows APIs, posix/ keeps
// an emulated Windows machine in one folder (see the README). Everything above
// this header is the same code on both.
//
// Conventions: registry calls return a Win32-style status (0 is success, any
// other number is a failure); texts are bytes in the current ANSI code page,
// except in the calls named _wide, which take UTF-16 as the registry keeps
// it; paths are Windows paths ("C:\x\y", relative, or "\x" on the current
// drive).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qh::platform {

// ---------------------------------------------------------------- registry

// A registry key: one of the predefined roots or a key opened below one.
// A zero handle is "no key".
struct Key {
    std::uintptr_t handle = 0;
    explicit operator bool() const { return handle != 0; }
    bool operator==(const Key&) const = default;
};

enum class Root {
    classes_root,
    current_user,
    local_machine,
    users,
    performance_data,
    current_config,
    dyn_data,
};

// The full names of the roots, indexed by Root: the one list of them.
inline constexpr std::array<std::string_view, 7> kRootNames = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA",
};
static_assert(static_cast<std::size_t>(Root::dyn_data) + 1 == kRootNames.size());

// The predefined key of a root (never needs closing).
Key root_key(Root root);

// Value name; std::nullopt addresses the key's default (unnamed) value, as
// does the empty name.
using ValueName = std::optional<std::string_view>;

inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorPathNotFound = 3;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorOutOfMemory = 14;
inline constexpr long kErrorWriteFault = 29;
inline constexpr long kErrorFileExists = 80;
inline constexpr long kErrorLockViolation = 33;
inline constexpr long kErrorInvalidParameter = 87;
inline constexpr long kErrorDiskFull = 112;
inline constexpr long kErrorInvalidName = 123;
inline constexpr long kErrorBadPathname = 161;
inline constexpr long kErrorFilenameExcedRange = 206;
inline constexpr long kErrorMoreData = 234;
inline constexpr long kErrorNoMoreItems = 259;
inline constexpr long kErrorBadDb = 1009;
inline constexpr long kErrorBadKey = 1010;
inline constexpr long kErrorCantWrite = 1013;
inline constexpr long kErrorRegistryIoFailed = 1016;
inline constexpr long kErrorKeyDeleted = 1018;
inline constexpr long kErrorTimeout = 1460;

// The system's own message for a status, as one line without its line end
// ("Access is denied."): FormatMessageA on Windows, the same standard texts
// for the statuses the emulated machine gives. "error N" for a status the
// system has no message for.
std::string status_message(long status);

// The registry as a 64-bit program sees it (native), or as 32-bit programs
// do (KEY_WOW64_32KEY): their view of HKEY_LOCAL_MACHINE\SOFTWARE\X is
// HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\X, and every other key is the
// same in both. 32-bit installers register there.
enum class View { native, wow32 };

// RegOpenKeyExA(parent, subkey, 0, KEY_READ, with KEY_WOW64_32KEY in the
// 32-bit view): opens an existing key. The key opened is the one of that
// view, so keys opened below it stay in the view.
long reg_open_key(Key parent, std::string_view subkey, Key& out, View view = View::native);
// RegCreateKeyExA(parent, subkey, 0, no class, REG_OPTION_NON_VOLATILE,
// KEY_ALL_ACCESS, default security): opens, creating missing keys first.
long reg_create_key_ex(Key parent, std::string_view subkey, Key& out);
// RegCreateKeyA(parent, subkey): the same through the older call.
long reg_create_key(Key parent, std::string_view subkey, Key& out);
// RegQueryValueExA: the value's type and bytes, those of the string types
// converted to the code page. A value that would deliver more than
// `capacity` bytes fails (kErrorMoreData) and leaves `data` and `type` alone.
long reg_query_value(Key key, ValueName name, std::uint32_t& type, std::string& data,
                     std::size_t capacity);
// RegSetValueExA: creates or replaces the value with these bytes, those of
// the string types converted from the code page as given (a terminator
// only when they hold one).
long reg_set_value(Key key, ValueName name, std::uint32_t type, std::string_view data);
// RegDeleteValueA: fails when the value does not exist.
long reg_delete_value(Key key, ValueName name);
// RegEnumKeyExA: the name of subkey number `index`; kErrorNoMoreItems past
// the last one; kErrorMoreData when the name is longer than `capacity`.
long reg_enum_key(Key key, std::uint32_t index, std::string& name, std::size_t capacity);
// RegCloseKey; closing a root or no key does nothing.
void reg_close_key(Key key);
// SHDeleteKeyA: deletes the key with everything below it.
long reg_delete_tree(Key parent, std::string_view subkey);

// The same calls in UTF-16 (the W functions), for what must pass through
// the registry without a code page in between: the registry keeps names
// and the data of REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ in UTF-16, and the
// A calls above convert them from and to the code page, a character the
// code page lacks becoming '?'. Names and data here are as stored; a name
// holding a zero unit is refused (Windows) or cut there (emulated machine).

// Value name in UTF-16; std::nullopt or empty: the default value.
using WideName = std::optional<std::u16string_view>;

// RegOpenKeyExW, as reg_open_key.
long reg_open_key_wide(Key parent, std::u16string_view subkey, Key& out, View view = View::native);
// RegCreateKeyExW, as reg_create_key_ex.
long reg_create_key_wide(Key parent, std::u16string_view subkey, Key& out);
// RegQueryValueExW: the type and the stored bytes (for the string types
// UTF-16LE, with the terminator they were stored with). A value larger
// than `capacity` bytes fails (kErrorMoreData) and leaves `data` and `type`
// alone.
long reg_query_value_wide(Key key, WideName name, std::uint32_t& type, std::string& data,
                          std::size_t capacity);
// RegSetValueExW: creates or replaces the value with exactly these bytes.
long reg_set_value_wide(Key key, WideName name, std::uint32_t type, std::string_view data);
// RegDeleteValueW: fails when the value does not exist.
long reg_delete_value_wide(Key key, WideName name);
// RegEnumKeyExW: the name of subkey number `index`, in the order of
// reg_enum_key; kErrorNoMoreItems past the last one.
long reg_enum_key_wide(Key key, std::uint32_t index, std::u16string& name);
// RegEnumValueW: value number `index` with its name, type and stored bytes,
// in the registry's order (on Windows the order in which the values were
// first set); kErrorNoMoreItems past the last one.
long reg_enum_value_wide(Key key, std::uint32_t index, std::u16string& name, std::uint32_t& type,
                         std::string& data);
// SHDeleteKeyW, as reg_delete_tree.
long reg_delete_tree_wide(Key parent, std::u16string_view subkey);

// ------------------------------------------------------- operation scope

// Makes one command-line operation a unit against other runs of the tool:
// on the emulated machine an SQLite transaction (committed at the end),
// on Windows a named mutex held for the span. Scopes do not nest.
//
// Begins the scope, waiting for another run's operation at most the lock
// wait (lock_wait.h). Returns kErrorSuccess when begun; otherwise
// kErrorTimeout or another status, and the operation must touch nothing.
// Once begun, nothing inside the scope waits for other runs again.
long operation_begin();
// Ends the scope. Returns kErrorSuccess when everything done inside it is
// kept; any other status means none of it stays. Does nothing (success)
// when no scope is open.
long operation_end();
// Whether the registry keeps a scope's changes only when the scope ends
// (the emulated machine's transaction): true there, false on Windows, where
// each change is made at once.
bool operation_scope_defers_changes();

// One scope for the span of a C++ scope. The owner asks begun() before the
// operation and end() after it; a scope left open is ended on destruction.
class OperationScope {
  public:
    OperationScope() : begun_(operation_begin()) {}
    ~OperationScope() {
        if (begun_ == kErrorSuccess && !ended_) operation_end();
    }
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

    // kErrorSuccess when the scope was begun, else the reason it was not.
    long begun() const { return begun_; }
    // Ends the scope now, as operation_end; kErrorSuccess when nothing was
    // begun.
    long end() {
        if (begun_ != kErrorSuccess || ended_) return kErrorSuccess;
        ended_ = true;
        return operation_end();
    }

  private:
    long begun_;
    bool ended_ = false;
};

// ------------------------------------------------------------------ locale

// setlocale(LC_ALL, name) with a Windows locale name ("chinese-simplified",
// "chs", "english", ".936", "C", ...). Returns false and keeps the current
// locale when the name is refused.
bool locale_select(std::string_view name);
// Lower-cases the letters of a text in the current locale; a double-byte
// character (lead and trail byte) is one unit and is left alone.
std::string locale_lower(std::string_view text);
// Compares two texts without regard to letter case in the current locale;
// 0 when equal, else negative or positive.
int locale_compare_nocase(std::string_view a, std::string_view b);
// Converts UTF-16 code units (no terminator needed, zeros are converted as
// zero bytes) into the current locale's code page, appending to `out`.
// Returns false as soon as one unit has no representation in that code page.
bool wide_to_multibyte(std::u16string_view text, std::string& out);
// Converts a text in the current locale's code page into UTF-16, appending
// to `out`; under the "C" locale each byte is the unit of the same value.
// Returns false, appending nothing, when a byte or byte pair has no
// character in that code page.
bool multibyte_to_wide(std::string_view text, std::u16string& out);
// The ANSI code page of the current locale (936 for "chinese-simplified");
// 0 under the "C" locale, which has none.
unsigned locale_code_page();

// ------------------------------------------------------------------ output

// Write bytes to standard output or standard error (text mode on Windows)
// and flush. Returns false when not all of them could be written (the
// stream full, closed, or a pipe without reader); never ends the process.
bool stdout_write(std::string_view bytes);
bool stderr_write(std::string_view bytes);

// ------------------------------------------------------------ file system

inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrDirectory = 0x10;

// GetCurrentDirectoryA: the absolute current directory ("C:\work"), or
// nothing when it cannot be had.
std::optional<std::string> current_directory();
// FindFirstFileA + FindClose: the attribute bits of the first entry that
// matches the path (wildcards * and ? allowed in the last component), or
// nothing when none matches. A path ending in a separator matches nothing.
std::optional<std::uint32_t> find_first_attributes(std::string_view path);
// GetFileAttributesA: the attribute bits of the file or directory that the
// path names, or nothing when it names none. No wildcards; a trailing
// separator and a drive root ("C:\") are fine, and only a directory matches
// a path that ends in a separator.
std::optional<std::uint32_t> file_attributes(std::string_view path);
// FindFirstFileA + FindNextFileA + FindClose: the names of every entry that
// matches the path (wildcards as above), "." and ".." left out, in the order
// the search gives them; none when nothing matches.
std::vector<std::string> find_names(std::string_view path);
// fopen of a Windows path; mode as for fopen ("rb", "rt", "wt", "at+", ...).
// For reading only a regular file opens: a directory, a device or a pipe
// gives nothing, without waiting on it.
std::FILE* file_open(std::string_view path, const char* mode);

// Replaces the whole content of the file at `path` with `bytes`, or creates
// it: the bytes are written to a new file beside it, which is then moved
// over it, so that a failure leaves an existing file as it was. The file
// keeps its attributes. `text_mode` writes "\n" as CR LF where text files
// have them (Windows). kErrorSuccess, or the status of the step that failed
// (a read-only file or a folder in its place: kErrorAccessDenied).
long file_replace(std::string_view path, std::string_view bytes, bool text_mode);

// The folder of the user's application data that stays on this machine
// (%LOCALAPPDATA%); on the emulated machine C:\Users\<user>\AppData\Local
// of its drive C:. Nothing when it cannot be had.
std::optional<std::string> local_app_data();
// CreateDirectoryA of the folder and of each missing parent. kErrorSuccess
// when the path is a folder afterwards, else the status of the step that
// failed.
long folder_create(std::string_view path);
// CreateFileA with CREATE_NEW, as a stream for appending bytes: never opens
// a file that exists. Nothing when it cannot be made, with `status` set
// (kErrorFileExists when the name is taken).
std::FILE* file_create_new(std::string_view path, long& status);
// fflush, then FlushFileBuffers (fsync on the emulated machine): true when
// what was written so far is on the disk.
bool file_flush(std::FILE* file);
// DeleteFileA: kErrorSuccess, or the status (kErrorFileNotFound when none).
long file_delete(std::string_view path);

// ------------------------------------------------ system and environment

enum class Family { nt, win9x };
// GetCurrentProcessId.
unsigned long process_id();

// GetVersionExA: NT family or Windows 9x family; nothing when it fails.
std::optional<Family> windows_family();

// The process's own environment, names compared without regard to case.
// The emulated machine's is the host's, with SystemRoot (C:\Windows) and
// SystemDrive (C:) when the host has none, as Windows always sets them.
std::optional<std::string> env_lookup(std::string_view name);

// Runs a command line through the command interpreter (COMSPEC /c, or
// /bin/sh -c on the emulated machine), waits for it, and collects its
// standard output as text. Its standard error, and the interpreter's, is
// discarded.
struct CommandResult {
    bool started = false;
    std::string output;
};
CommandResult run_command(std::string_view command_line);

// Tells running programs that the environment changed (WM_WININICHANGE with
// "Environment" to all top-level windows). Never hangs the run.
void broadcast_environment_change();

}  // namespace qh::platform
