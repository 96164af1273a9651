// System services: the Windows family, the process environment, command
// runs through the command interpreter, the environment-change broadcast and
// the system's messages for its statuses.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "platform/win32/text_args.h"

namespace qh::platform {

std::optional<Family> windows_family() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info)) return std::nullopt;
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT ? Family::nt : Family::win9x;
}

std::optional<std::string> env_lookup(std::string_view name) {
    const auto text = win32::whole_c_text(name);
    if (!text || text->empty() || text->find('=') != std::string::npos) return std::nullopt;
    // The system matches names without regard to case.
    SetLastError(ERROR_SUCCESS);
    DWORD room = GetEnvironmentVariableA(text->c_str(), nullptr, 0);
    if (room == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
    }
    for (int attempt = 0; attempt < 4 && room != 0; ++attempt) {
        std::string value(room, '\0');
        const DWORD length = GetEnvironmentVariableA(text->c_str(), value.data(), room);
        if (length < room) {
            value.resize(length);
            return value;
        }
        room = length;  // grew in between
    }
    return std::nullopt;
}

CommandResult run_command(std::string_view command_line) {
    CommandResult result;
    const auto text = win32::whole_c_text(command_line);
    if (!text) return result;
    // Only the tool speaks on its standard error: the interpreter's message
    // about a missing program is left out.
    const std::string discarding = *text + " 2>nul";
    std::FILE* pipe = _popen(discarding.c_str(), "rt");
    if (!pipe) return result;
    result.started = true;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof(chunk), pipe)) > 0) result.output.append(chunk, got);
    _pclose(pipe);
    return result;
}

void broadcast_environment_change() {
    // A plain send waits for ever on one hung window; these few seconds bound
    // the wait, and hung windows are passed over at once.
    constexpr UINT kTimeoutMs = 5000;
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, reinterpret_cast<LPARAM>("Environment"),
                        SMTO_ABORTIFHUNG, kTimeoutMs, &answer);
}

std::string status_message(long status) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(status), 0, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr) return "error " + std::to_string(status);
    // The system ends its messages with a line end, and breaks some long
    // ones over lines: one line is wanted.
    std::string text;
    for (const char c : std::string_view(buffer, length)) {
        if (c == '\r') continue;
        if (c != '\n') {
            text.push_back(c);
        } else if (!text.empty() && text.back() != ' ') {
            text.push_back(' ');
        }
    }
    LocalFree(buffer);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace qh::platform
