// Starting Windows programs from the tests, with their output captured.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"

namespace qh_test::win32 {

// One argument quoted so that the C runtime of the child reads it back
// exactly (blanks, quotes and backslashes before a quote or at the end).
std::string quote_argument(std::string_view arg);

// A host path ("/x/y") as the Windows path Wine gives it ("Z:\x\y"); a path
// that already is a Windows path comes back unchanged.
std::string windows_path_of_host(std::string_view path);

// Runs a program with these arguments and its standard output captured as
// raw bytes. A run still going after `timeout_ms` is ended and reports -1.
ToolRun run_program(std::string_view exe, const std::vector<std::string>& args,
                    unsigned timeout_ms = 120000);

// A started program whose output goes to the null device.
struct Started {
    void* process = nullptr;  // HANDLE; null when the start failed
};
Started start_program(std::string_view exe, const std::vector<std::string>& args);
// Whether it is still running after waiting up to `wait_ms` for it to end.
bool still_running_after(const Started& started, unsigned wait_ms);
// Waits for it (bounded) and closes it; its exit code, -1 after a failure.
int finish_program(Started started, unsigned timeout_ms = 120000);

}  // namespace qh_test::win32
