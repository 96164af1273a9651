// The test machine under Wine (or Windows): files by Windows path, scratch
// directories on C:, the process environment and the Windows family.
#include <stdlib.h>
#include <windows.h>

#include <string>

#include "support/test_support.h"

namespace qh_test {
namespace {

constexpr const char* kScratchRoot = "C:\\quillhaven-tests";
constexpr const char* kWineKey = "Software\\Wine";

bool is_separator(char c) { return c == '\\' || c == '/'; }

DWORD attributes_of(const std::string& path) { return GetFileAttributesA(path.c_str()); }

bool is_directory(const std::string& path) {
    const DWORD attributes = attributes_of(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Deletes a directory with everything in it, read-only files included.
void remove_directory(const std::string& directory) {
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = directory + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_directory(path);
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(directory.c_str());
}

}  // namespace

std::string backend_name() { return "win32"; }

void prepare_machine() {
    // Runs of the tool start on the NT family unless a test says otherwise.
    // (This process keeps the family it was started with.)
    set_windows_family_9x(false);
    remove_directory(kScratchRoot);
    change_directory(scratch_dir("current"));
}

bool make_directory(std::string_view win_path) {
    const std::string path(win_path);
    // Every prefix that ends before a separator, drive roots aside.
    for (std::size_t i = 1; i < path.size(); ++i) {
        if (is_separator(path[i]) && !is_separator(path[i - 1]) && path[i - 1] != ':') {
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
        }
    }
    CreateDirectoryA(path.c_str(), nullptr);
    return is_directory(path);
}

bool write_file(std::string_view win_path, std::string_view bytes) {
    const std::string path(win_path);
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    CloseHandle(file);
    return ok;
}

std::optional<std::string> read_file(std::string_view win_path) {
    const std::string path(win_path);
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, chunk, sizeof(chunk), &got, nullptr)) && got > 0) {
        bytes.append(chunk, got);
    }
    CloseHandle(file);
    if (!ok) return std::nullopt;
    return bytes;
}

bool remove_file(std::string_view win_path) {
    const std::string path(win_path);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(path.c_str()) != 0;
}

bool set_read_only(std::string_view win_path, bool read_only) {
    const std::string path(win_path);
    DWORD attributes = attributes_of(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (read_only) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    } else {
        attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    }
    return SetFileAttributesA(path.c_str(), attributes) != 0;
}

bool path_exists(std::string_view win_path) {
    return attributes_of(std::string(win_path)) != INVALID_FILE_ATTRIBUTES;
}

bool remove_tree(std::string_view win_path) {
    remove_directory(std::string(win_path));
    return !path_exists(win_path);
}

std::string scratch_dir(std::string_view name) {
    std::string path = std::string(kScratchRoot) + "\\";
    for (const char c : name) path += c == '/' ? '\\' : c;
    remove_directory(path);
    make_directory(path);
    return path;
}

// Both the system's environment (what the tool's lookups and its children
// see) and the C runtime's copy (getenv) are kept in step.
void set_env(std::string_view name, std::string_view value) {
    const std::string text_name(name);
    const std::string text_value(value);
    // _putenv with an empty value removes the variable, so it goes first.
    _putenv((text_name + "=" + text_value).c_str());
    SetEnvironmentVariableA(text_name.c_str(), text_value.c_str());
}

void unset_env(std::string_view name) {
    const std::string text_name(name);
    _putenv((text_name + "=").c_str());
    SetEnvironmentVariableA(text_name.c_str(), nullptr);
}

bool change_directory(std::string_view win_path) {
    const std::string path(win_path);
    return SetCurrentDirectoryA(path.c_str()) != 0;
}

void set_windows_family_9x(bool on) {
    // Wine reads this value when a process starts.
    if (!on) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kWineKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, "Version");
            RegCloseKey(key);
        }
        return;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kWineKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    static const char kWin98[] = "win98";
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(kWin98),
                   sizeof(kWin98));
    RegCloseKey(key);
}

}  // namespace qh_test
