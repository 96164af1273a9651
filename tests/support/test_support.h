// What the tests need of the machine beyond the tool's own platform layer.
// Implemented once per backend (tests/support/posix, tests/support/win32).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qh_test {

// "posix" on the emulated machine, "win32" under Wine or Windows.
std::string backend_name();
inline bool on_emulated_machine() { return backend_name() == "posix"; }

// Called once by the test main before any test: natively a fresh machine
// folder in a temporary directory (QUILLHAVEN_ROOT); under Wine the private
// prefix that the test command prepared.
void prepare_machine();

// Files by Windows path ("C:\x\y"); make_directory creates missing parents.
bool make_directory(std::string_view win_path);
bool write_file(std::string_view win_path, std::string_view bytes);
std::optional<std::string> read_file(std::string_view win_path);
bool remove_file(std::string_view win_path);
bool set_read_only(std::string_view win_path, bool read_only);
// Whether anything is at the path; remove_tree deletes a folder with
// everything in it (true when nothing is left there).
bool path_exists(std::string_view win_path);
bool remove_tree(std::string_view win_path);

// A fresh, empty directory for one test, as a Windows path on drive C:.
std::string scratch_dir(std::string_view name);

// The process environment (inherited by run_tool).
void set_env(std::string_view name, std::string_view value);
void unset_env(std::string_view name);

// Changes the current directory (a Windows path).
bool change_directory(std::string_view win_path);

// Runs the built tool as its own process and collects its standard output
// and standard error exactly as written (text mode on Windows: lines end in
// CR LF).
struct ToolRun {
    int exit_code = -1;
    std::string output;
    std::string errors;
};
ToolRun run_tool(const std::vector<std::string>& args);
// Starts `count` runs at once and waits for all; their exit codes.
std::vector<int> run_tool_parallel(const std::vector<std::vector<std::string>>& runs);

// Number of environment-change broadcasts sent on this machine so far;
// nothing where they cannot be observed (under Wine).
std::optional<int> broadcast_count();

// Writes a REG_SZ value into the 32-bit registry view of
// HKEY_LOCAL_MACHINE\<subkey> (subkey below SOFTWARE), as a 32-bit installer
// would, without the tool's own code: under Wine with `reg add ... /reg:32`,
// on the emulated machine below SOFTWARE\WOW6432Node. True when written.
bool write_32bit_view(std::string_view subkey, std::string_view name, std::string_view text);

// The Windows family that runs of the tool started from now on see.
void set_windows_family_9x(bool on);

}  // namespace qh_test
