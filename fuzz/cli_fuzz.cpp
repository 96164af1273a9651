// Feeds whole argument vectors to the front end, each on a machine as fresh
// as the first: the input's bytes split at zero bytes are the arguments.
// Checked for every run, besides sanitizer findings:
// - the exit code is 0, 1 or 2, and 2 only after -fail-exit;
// - every failure line is followed by its reason on standard error;
// - the output is exactly one result line per operation up to the point
//   where the run ends, then what ended it (a syntax error, help, a read,
//   an audit, a detection report), as the recognised options say;
// - the operation scope can be begun again afterwards.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command.h"
#include "cli/run.h"
#include "fuzz_machine.h"
#include "platform/platform.h"

namespace {

namespace platform = qh::platform;
using qh::Action;

constexpr std::size_t kMaxArguments = 32;
constexpr std::string_view kSucceeded = "Succeeded in doing speicified operation(s)!\n";
constexpr std::string_view kFailed = "Error: Failed to do speicified operation(s)!\n";
constexpr std::string_view kSyntaxError = "Syntax error occurs!\n";

std::string g_machine;

void check(bool condition) {
    if (!condition) std::abort();
}

// Runs SQL on the machine's registry through a connection of its own.
void sql(const std::string& text) {
    sqlite3* db = nullptr;
    const std::string path = g_machine + "/registry.db";
    check(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK);
    sqlite3_busy_timeout(db, 10000);
    char* error = nullptr;
    if (sqlite3_exec(db, text.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "restoring the machine failed: %s\n", error ? error : "?");
        std::abort();
    }
    sqlite3_close(db);
}

// The machine back as it was made: its registry from the copy taken then,
// and no broadcast or start-up file left by the input before.
void restore_machine() {
    sql(("ATTACH DATABASE '" + g_machine +
         "/pristine.db' AS pristine;"
         "BEGIN IMMEDIATE;"
         "DELETE FROM main.key_values; DELETE FROM main.keys; DELETE FROM main.sqlite_sequence;"
         "INSERT INTO main.keys SELECT * FROM pristine.keys;"
         "INSERT INTO main.key_values SELECT * FROM pristine.key_values;"
         "INSERT INTO main.sqlite_sequence SELECT * FROM pristine.sqlite_sequence;"
         "COMMIT; DETACH DATABASE pristine;"));
    std::FILE* log = std::fopen((g_machine + "/broadcast.log").c_str(), "w");
    check(log != nullptr);
    std::fclose(log);
    std::remove((g_machine + "/drive_c/AUTOEXEC.BAT").c_str());
}

bool starts_with_at(std::string_view text, std::size_t pos, std::string_view prefix) {
    return text.substr(pos).starts_with(prefix);
}

// What the run printed, in order: each piece on standard output or error.
struct Printed {
    bool on_error;
    std::string text;
};

// Every failure line on standard output is followed by its reason on
// standard error. (A reason holds the operands as typed, so an operand with
// a line break in it makes it more than one line.)
void check_reasons(const std::vector<Printed>& printed) {
    for (std::size_t i = 0; i < printed.size(); ++i) {
        const Printed& piece = printed[i];
        if (piece.on_error) {
            check(piece.text.starts_with("quillhaven: ") && piece.text.ends_with('\n'));
            // One line, whatever the names in it hold.
            for (std::size_t c = 0; c + 1 < piece.text.size(); ++c) {
                const auto byte = static_cast<unsigned char>(piece.text[c]);
                check(byte >= 0x20 && byte != 0x7f);
            }
        } else if (piece.text == kFailed) {
            check(i + 1 < printed.size() && printed[i + 1].on_error);
        }
    }
}

// Walks the arguments as the front end does, by the same recognition, and
// checks the output against what each recognised option must print.
void check_run(const std::vector<std::string>& args, int exit_code, std::string_view out) {
    check(exit_code == 0 || exit_code == 1 || exit_code == 2);
    // Exit code 2 only after -fail-exit.
    bool fail_exit = false;
    const auto normal_end = [&] { return exit_code == 0 || (fail_exit && exit_code == 2); };
    if (args.empty()) {
        check(exit_code == 0 && !out.empty());
        return;
    }
    const char sign = args.front().empty() ? '\0' : args.front().front();
    if (sign != '+' && sign != '-' && sign != '=') {
        check(exit_code == 1 && out.starts_with(kSyntaxError));
        return;
    }
    platform::locale_select("chinese-simplified");
    const std::span<const std::string> all(args);
    std::size_t pos = 0;
    for (std::size_t index = 0; index < all.size();) {
        const qh::Command command = qh::recognise(all[index], all.subspan(index + 1));
        index += 1 + command.operand_count;
        switch (command.action) {
            case Action::syntax_error:
                check(exit_code == 1 && starts_with_at(out, pos, kSyntaxError));
                return;
            case Action::help:
            case Action::examples:
                check(normal_end() && pos < out.size());
                return;
            case Action::version:
                check(normal_end() && starts_with_at(out, pos, "Quillhaven "));
                return;
            case Action::fail_exit:
                fail_exit = true;
                break;
            case Action::select_locale:
                platform::locale_select(command.name);
                break;
            case Action::bare_output:
            case Action::scope_system:
            case Action::scope_user:
            case Action::position_start:
            case Action::position_end:
            case Action::refresh:
            case Action::no_refresh:
                break;
            case Action::env_add_path:
            case Action::env_remove_path:
            case Action::env_write:
            case Action::env_delete:
            case Action::path_add:
            case Action::path_remove:
            case Action::reg_set_value:
            case Action::reg_delete_value:
            case Action::reg_create_key:
            case Action::reg_delete_key:
            case Action::regp_add:
            case Action::regp_remove:
            case Action::regfile_apply:
            case Action::regfile_remove:
            case Action::env_tidy:
                if (starts_with_at(out, pos, kSucceeded)) {
                    pos += kSucceeded.size();
                } else {
                    check(starts_with_at(out, pos, kFailed));
                    pos += kFailed.size();
                }
                break;
            // A failed read is a result line; a successful one ends the run.
            case Action::reg_read:
            case Action::reg_read_latest:
            case Action::env_audit:
                if (starts_with_at(out, pos, kFailed)) {
                    pos += kFailed.size();
                    break;
                }
                check(normal_end());
                return;
            case Action::java_detect:
            case Action::gs_detect:
            case Action::winedt_detect:
                check(normal_end());
                return;
            case Action::miktex_detect:
                check(normal_end() &&
                      (starts_with_at(out, pos, "No MiKTeX installation is detected!\n") ||
                       starts_with_at(out, pos, "Normal MiKTeX installation:\n") ||
                       starts_with_at(out, pos, "MiKTeX DirectCD:\n")));
                return;
            case Action::java_set_command:
            case Action::gs_add_to_path:
                check(normal_end() && pos == out.size());
                return;
        }
    }
    check(normal_end() && pos == out.size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_machine = qh_fuzz::make_machine();
    // Nothing of the host's is found or run: findtexmf and the like are not
    // on an empty search path.
    const std::string empty_path = g_machine + "/empty-path";
    check(mkdir(empty_path.c_str(), 0755) == 0);
    setenv("PATH", empty_path.c_str(), 1);
    setenv("Path", empty_path.c_str(), 1);
    unsetenv("QUILLHAVEN_WINDOWS_FAMILY");
    unsetenv("QUILLHAVEN_USER");
    // A first scope makes the machine; the copy of its registry is what
    // every input starts from.
    check(platform::operation_begin() == platform::kErrorSuccess);
    check(platform::operation_end() == platform::kErrorSuccess);
    sql("VACUUM INTO '" + g_machine + "/pristine.db'");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; start < bytes.size() && args.size() < kMaxArguments;) {
        std::size_t end = bytes.find('\0', start);
        if (end == std::string_view::npos) end = bytes.size();
        args.emplace_back(bytes.substr(start, end - start));
        start = end + 1;
    }

    restore_machine();
    std::string out;
    std::vector<Printed> printed;
    const int exit_code = qh::cli_run(
        args,
        [&](std::string_view text) {
            out += text;
            printed.push_back({false, std::string(text)});
            return true;
        },
        [&](std::string_view text) {
            printed.push_back({true, std::string(text)});
            return true;
        });
    check_run(args, exit_code, out);
    check_reasons(printed);
    check(platform::operation_begin() == platform::kErrorSuccess);
    check(platform::operation_end() == platform::kErrorSuccess);
    platform::locale_select("chinese-simplified");
    return 0;
}
