// Running the built tool (and the test helpers) as processes of their own.
#include "support/win32/processes.h"

#include <windows.h>

#include <memory>
#include <thread>

namespace qh_test {
namespace win32 {
namespace {

struct HandleCloser {
    void operator()(void* handle) const {
        if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;

std::string command_line(std::string_view exe, const std::vector<std::string>& args) {
    std::string line = "\"" + windows_path_of_host(exe) + "\"";
    for (const std::string& arg : args) line += " " + quote_argument(arg);
    return line;
}

// Starts the program with the given standard output and standard error; the
// handles of the process come back, or nothing.
Handle spawn(std::string_view exe, const std::vector<std::string>& args, HANDLE output,
             HANDLE error) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = error;
    std::string line = command_line(exe, args);
    const std::string application = windows_path_of_host(exe);
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(application.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &info)) {
        return nullptr;
    }
    CloseHandle(info.hThread);
    return Handle(info.hProcess);
}

int wait_exit_code(HANDLE process, unsigned timeout_ms) {
    if (WaitForSingleObject(process, timeout_ms) != WAIT_OBJECT_0) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, INFINITE);
        return -1;
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code)) return -1;
    return static_cast<int>(code);
}

}  // namespace

std::string quote_argument(std::string_view arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string_view::npos) {
        return std::string(arg);
    }
    // Backslashes count only in front of a quote: there they are doubled,
    // and the quote itself gets one more.
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

std::string windows_path_of_host(std::string_view path) {
    if (path.empty() || path.front() != '/') return std::string(path);
    std::string windows = "Z:";
    for (const char c : path) windows += c == '/' ? '\\' : c;
    return windows;
}

namespace {

// A pipe whose write end the child inherits.
struct Pipe {
    Handle read_end;
    Handle write_end;
};

bool make_pipe(Pipe& pipe) {
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) return false;
    pipe.read_end.reset(read_end);
    pipe.write_end.reset(write_end);
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    return true;
}

// Reads on the side, so that a child that never ends is still stopped by the
// timeout (ending it closes the pipe and ends the read).
std::thread read_into(HANDLE read_end, std::string& text) {
    return std::thread([read_end, &text] {
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(read_end, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
            text.append(chunk, got);
        }
    });
}

}  // namespace

ToolRun run_program(std::string_view exe, const std::vector<std::string>& args,
                    unsigned timeout_ms) {
    ToolRun run;
    Pipe output;
    Pipe errors;
    if (!make_pipe(output) || !make_pipe(errors)) return run;
    const Handle process = spawn(exe, args, output.write_end.get(), errors.write_end.get());
    // Our copies of the write ends must go, or the reads never see the end.
    output.write_end.reset();
    errors.write_end.reset();
    if (!process) return run;
    std::thread output_reader = read_into(output.read_end.get(), run.output);
    std::thread errors_reader = read_into(errors.read_end.get(), run.errors);
    run.exit_code = wait_exit_code(process.get(), timeout_ms);
    output_reader.join();
    errors_reader.join();
    return run;
}

Started start_program(std::string_view exe, const std::vector<std::string>& args) {
    // Output to the null device: no pipe whose write end other children
    // could inherit and keep open.
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    const Handle null_device(CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         &inheritable, OPEN_EXISTING, 0, nullptr));
    if (null_device.get() == INVALID_HANDLE_VALUE) return {};
    return Started{spawn(exe, args, null_device.get(), GetStdHandle(STD_ERROR_HANDLE)).release()};
}

bool still_running_after(const Started& started, unsigned wait_ms) {
    return started.process && WaitForSingleObject(started.process, wait_ms) == WAIT_TIMEOUT;
}

int finish_program(Started started, unsigned timeout_ms) {
    if (!started.process) return -1;
    const Handle process(started.process);
    return wait_exit_code(process.get(), timeout_ms);
}

}  // namespace win32

ToolRun run_tool(const std::vector<std::string>& args) {
    return win32::run_program(QH_TOOL_EXE, args);
}

std::vector<int> run_tool_parallel(const std::vector<std::vector<std::string>>& runs) {
    std::vector<win32::Started> started;
    started.reserve(runs.size());
    for (const auto& args : runs) started.push_back(win32::start_program(QH_TOOL_EXE, args));
    std::vector<int> codes;
    codes.reserve(runs.size());
    for (const win32::Started& run : started) codes.push_back(win32::finish_program(run));
    return codes;
}

// Under Wine the broadcast reaches no window this test can watch.
std::optional<int> broadcast_count() { return std::nullopt; }

}  // namespace qh_test
