// The calls a run's journal needs of Windows: the user's local application
// data, folders, files made only when new, and flushing.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/text_args.h"

namespace qh::platform {

using win32::whole_c_text;

std::optional<std::string> local_app_data() {
    std::optional<std::string> folder = env_lookup("LOCALAPPDATA");
    if (folder && folder->empty()) return std::nullopt;
    return folder;
}

long folder_create(std::string_view path) {
    const auto text = whole_c_text(path);
    if (!text || text->empty()) return kErrorInvalidName;
    const auto is_folder = [](const std::string& at) {
        const DWORD attributes = GetFileAttributesA(at.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    };
    if (is_folder(*text)) return kErrorSuccess;
    // Each missing parent from the top down; a drive root ("C:\") is there.
    for (std::size_t cut = text->find_first_of("\\/", 3);;
         cut = text->find_first_of("\\/", cut + 1)) {
        const std::string part = text->substr(0, cut);
        if (!part.empty() && part.back() != ':' && !is_folder(part) &&
            !CreateDirectoryA(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return static_cast<long>(GetLastError());
        if (cut == std::string::npos) break;
    }
    return is_folder(*text) ? kErrorSuccess : kErrorAccessDenied;
}

std::FILE* file_create_new(std::string_view path, long& status) {
    const auto text = whole_c_text(path);
    if (!text) {
        status = kErrorInvalidName;
        return nullptr;
    }
    const HANDLE handle = CreateFileA(text->c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        status = static_cast<long>(GetLastError());
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_APPEND | _O_BINARY);
    std::FILE* file = fd < 0 ? nullptr : _fdopen(fd, "ab");
    if (!file) {
        if (fd < 0)
            CloseHandle(handle);
        else
            _close(fd);
        DeleteFileA(text->c_str());
        status = kErrorWriteFault;
        return nullptr;
    }
    status = kErrorSuccess;
    return file;
}

bool file_flush(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != 0;
}

long file_delete(std::string_view path) {
    const auto text = whole_c_text(path);
    if (!text) return kErrorInvalidName;
    return DeleteFileA(text->c_str()) ? kErrorSuccess : static_cast<long>(GetLastError());
}

unsigned long process_id() { return GetCurrentProcessId(); }

}  // namespace qh::platform
