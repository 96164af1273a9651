#include "detect/java_gs.h"

#include <array>
#include <span>

#include "detect/file_search.h"
#include "envpath/env_store.h"
#include "envpath/path_text.h"
#include "platform/platform.h"
#include "registry/reg_latest.h"

namespace qh {

namespace {

constexpr std::string_view kJavaKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\Java Runtime Environment";
// Searched in this order with one latest name: on equal version names the
// later key's library wins.
constexpr std::string_view kGhostscriptKeys[] = {
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\GNU Ghostscript",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\GPL Ghostscript",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\AFPL Ghostscript",
};

// "no <what> found (looked in <places>)".
std::string not_found(std::string_view what, std::span<const std::string_view> places) {
    std::string text = "no " + std::string(what) + " found (looked in ";
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (i > 0) text += ", ";
        text += places[i];
    }
    return text + ")";
}

}  // namespace

int java_detect(std::string& result, Failure* failure) {
    result.clear();
    std::string latest_name;
    RegValue home;
    if (reg_read_latest(home, latest_name, kJavaKey, "JavaHome") != 0) {
        return fail(failure, 1, not_found("Java runtime", std::array{kJavaKey}));
    }
    result = reg_value_text(home);
    return 0;
}

int java_set_command(RunContext& run, std::string_view variable, Failure* failure) {
    std::string program;
    if (java_detect(program, failure) != 0) return 1;
    path_append(program, "bin\\javaw.exe");
    // The program path is machine-wide whatever scope the run has chosen.
    return env_write(run, program, variable, Scope::system, failure);
}

int gs_detect(std::string& result, Failure* failure) {
    result.clear();
    std::string latest_name;
    RegValue library;
    // A missing key or a missing version under it must not stop the walk;
    // only a successful read replaces the library path.
    for (const std::string_view key : kGhostscriptKeys) {
        reg_read_latest(library, latest_name, key, "GS_DLL");
    }
    result = reg_value_text(library);

    const std::size_t last_backslash = result.rfind('\\');
    if (last_backslash == std::string::npos) {
        return fail(failure, 1, not_found("Ghostscript", kGhostscriptKeys));
    }
    result.erase(last_backslash);
    return 0;
}

int gs_add_to_path(RunContext& run, Scope scope, Position position, Failure* failure) {
    if (file_on_search_path("gswin32c.exe", "Path")) return 0;
    std::string directory;
    if (gs_detect(directory, failure) != 0) return 2;
    return env_add_to_path(run, directory, scope, position, failure);
}

}  // namespace qh
