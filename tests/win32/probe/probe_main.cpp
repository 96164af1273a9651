// A child process for the Wine tests.
//   probe args A B ...    writes each argument followed by a zero byte
//   probe family          writes "nt" or "9x" as this process sees it
//   probe scope           enters and leaves the operation scope
//   probe scope-abandon   enters the operation scope and ends inside it
//   probe hold HELD RELEASE  holds the operation scope: creates the file HELD
//                         once it holds it, lets go once RELEASE exists (or
//                         after two minutes)
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace {

void write_raw(const std::string& bytes) {
    _setmode(_fileno(stdout), _O_BINARY);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    namespace platform = qh::platform;
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "args") {
        std::string bytes;
        for (int i = 2; i < argc; ++i) bytes += std::string(argv[i]) + '\0';
        write_raw(bytes);
        return 0;
    }
    if (mode == "family") {
        const auto family = platform::windows_family();
        if (!family) return 3;
        write_raw(*family == platform::Family::nt ? "nt" : "9x");
        return 0;
    }
    if (mode == "scope") {
        platform::operation_begin();
        platform::operation_end();
        return 0;
    }
    if (mode == "hold" && argc == 4) {
        if (platform::operation_begin() != platform::kErrorSuccess) return 4;
        const HANDLE held = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (held == INVALID_HANDLE_VALUE) return 5;
        CloseHandle(held);
        for (int waited_ms = 0;
             waited_ms < 120000 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES;
             waited_ms += 10)
            Sleep(10);
        platform::operation_end();
        return 0;
    }
    if (mode == "scope-abandon") {
        platform::operation_begin();
        return 0;
    }
    return 2;
}
