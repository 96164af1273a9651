// The emulated machine's folder on the host and the mapping of Windows paths
// onto host paths. Shared by the backend and by the test support.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qh::platform::posix {

// The machine folder as an absolute host path without a trailing slash.
// Read from the environment once; the folder and drive_c/Windows/system32
// are created on the first call.
const std::string& machine_root();

// The host folder that is drive C:.
std::string drive_c_root();

// The host path of a Windows path: drive letter, "\" or "/" separators,
// relative to the current directory, "." and ".." resolved without leaving
// the drive. A component that does not exist under its exact name takes the
// name of an existing entry that differs only in ASCII letter case. Nothing
// for a drive other than C: and Z:, or a network path.
std::optional<std::string> host_path(std::string_view win_path);

// The current directory in Windows form, or nothing when it cannot be had.
std::optional<std::string> current_windows_directory();

// The Windows form of an absolute host path: "C:\..." inside drive C:,
// "Z:\..." anywhere else.
std::string windows_path(std::string_view host);

// Names of files and environment variables compare as Windows does: ASCII
// letters without regard to case.
bool same_ignoring_ascii_case(std::string_view a, std::string_view b);

// What an ANSI call of the Windows API would see of a text: everything before
// its first zero byte. (The Windows backend refuses such a text instead: see
// win32::whole_c_text.)
inline std::string_view cut_at_zero(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

// The system's status for a failed file call's errno.
long file_status(int error);

}  // namespace qh::platform::posix
