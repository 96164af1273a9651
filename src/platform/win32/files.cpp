// File-system services: the current directory, find-first and files.
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/platform.h"
#include "platform/win32/text_args.h"

namespace qh::platform {
namespace {

using win32::whole_c_text;

bool ends_in_separator(std::string_view path) {
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

}  // namespace

std::optional<std::string> current_directory() {
    // Asked with the length the system reports, so deep directories come whole.
    DWORD room = GetCurrentDirectoryA(0, nullptr);
    for (int attempt = 0; attempt < 4 && room != 0; ++attempt) {
        std::string buffer(room, '\0');
        const DWORD length = GetCurrentDirectoryA(room, buffer.data());
        if (length == 0) return std::nullopt;
        if (length < room) {
            buffer.resize(length);
            return buffer;
        }
        room = length;  // changed in between: ask again with the new size
    }
    return std::nullopt;
}

std::optional<std::uint32_t> find_first_attributes(std::string_view path) {
    if (path.empty() || ends_in_separator(path)) return std::nullopt;
    const auto text = whole_c_text(path);
    if (!text) return std::nullopt;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(text->c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    FindClose(search);
    return static_cast<std::uint32_t>(found.dwFileAttributes);
}

std::optional<std::uint32_t> file_attributes(std::string_view path) {
    // No name holds a wildcard: a pattern names nothing.
    if (path.empty() || path.find_first_of("*?") != std::string_view::npos) return std::nullopt;
    const auto text = whole_c_text(path);
    if (!text) return std::nullopt;
    const DWORD attributes = GetFileAttributesA(text->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return static_cast<std::uint32_t>(attributes);
}

std::vector<std::string> find_names(std::string_view path) {
    std::vector<std::string> names;
    if (path.empty() || ends_in_separator(path)) return names;
    const auto text = whole_c_text(path);
    if (!text) return names;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(text->c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string_view name = found.cFileName;
        if (name != "." && name != "..") names.emplace_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

long file_replace(std::string_view path, std::string_view bytes, bool text_mode) {
    const auto text = whole_c_text(path);
    if (!text) return kErrorInvalidName;
    std::string content;
    if (text_mode) {
        for (const char c : bytes) {
            if (c == '\n') content += '\r';
            content += c;
        }
        bytes = content;
    }
    // Windows does not move a file over a read-only one, nor over a folder.
    const DWORD attributes = GetFileAttributesA(text->c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0)
        return kErrorAccessDenied;
    // Beside the file, so that the move stays on its volume.
    const std::string temp = *text + ".qh" + std::to_string(GetCurrentProcessId()) + ".tmp";
    const HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return static_cast<long>(GetLastError());
    long status = kErrorSuccess;
    for (std::string_view rest = bytes; !rest.empty() && status == kErrorSuccess;) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, rest.data(), chunk, &written, nullptr) || written == 0)
            status = static_cast<long>(GetLastError());
        rest.remove_prefix(written);
    }
    if (status == kErrorSuccess && !FlushFileBuffers(file))
        status = static_cast<long>(GetLastError());
    CloseHandle(file);
    if (status == kErrorSuccess && attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(temp.c_str(), attributes);
    if (status == kErrorSuccess && !MoveFileExA(temp.c_str(), text->c_str(),
                                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        status = static_cast<long>(GetLastError());
    if (status != kErrorSuccess) DeleteFileA(temp.c_str());
    return status;
}

std::FILE* file_open(std::string_view path, const char* mode) {
    const auto text = whole_c_text(path);
    if (!text || !mode) return nullptr;
    std::FILE* file = std::fopen(text->c_str(), mode);
    // A device (CON, NUL, a port) or a pipe could block the run or never end.
    if (file && mode[0] == 'r' &&
        GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

}  // namespace qh::platform
