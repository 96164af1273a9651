// The run: start-up, the walk over the arguments, and the end of the run.
#include "cli/run.h"

#include <optional>
#include <span>

#include "cli/command.h"
#include "cli/help.h"
#include "cli/report.h"
#include "common/run_context.h"
#include "detect/java_gs.h"
#include "detect/tex_tools.h"
#include "envpath/env_store.h"
#include "envpath/regp.h"
#include "regfile/regfile.h"
#include "registry/reg_commands.h"
#include "registry/reg_latest.h"

namespace qh {

namespace {

// Each switch holds from the argument that sets it on.
struct Switches {
    Scope scope = Scope::system;
    Position position = Position::start;
    bool bare_output = false;
    bool force_refresh = false;
    bool no_refresh = false;
};

struct Run {
    const Output& out;
    Switches switches;
    RunContext context;
    // Kept for the whole run, as -regl continues from the name found before.
    std::string latest_name;
};

// An operation followed by a result line; the run goes on.
template <typename Operation>
std::optional<int> with_result_line(Run& run, Operation operation) {
    int result;
    {
        platform::OperationScope scope;
        result = operation();
    }
    print_result_line(run.out, result);
    return std::nullopt;
}

// A read ends the run when it succeeds; a failure is an ordinary result line.
std::optional<int> read_value(Run& run, const Command& command) {
    RegValue value;
    int result;
    {
        platform::OperationScope scope;
        result = reg_read_path_value(value, command.key, command.value_name);
    }
    if (result != 0) {
        print_result_line(run.out, result);
        return std::nullopt;
    }
    print_read(run.out, run.switches.bare_output, command.key, command.value_name.value_or(""),
               reg_value_display(value));
    return 0;
}

std::optional<int> read_latest(Run& run, const Command& command) {
    RegValue value;
    int result;
    {
        platform::OperationScope scope;
        result = reg_read_latest(value, run.latest_name, command.key, command.value_name);
    }
    if (result != 0) {
        print_result_line(run.out, result);
        return std::nullopt;
    }
    print_latest(run.out, run.switches.bare_output, command.key, run.latest_name,
                 command.value_name.value_or(""), reg_value_display(value));
    return 0;
}

// -javaw, -gswin32c, -WinEdt: print what was found (nothing when nothing
// was), and end the run whatever the outcome.
std::optional<int> print_found(Run& run, int (*detect)(std::string&)) {
    std::string found;
    {
        platform::OperationScope scope;
        detect(found);
    }
    run.out(found);
    return 0;
}

std::optional<int> report_miktex(Run& run) {
    std::string texmf;
    std::string local_texmf;
    MiktexOutcome outcome;
    {
        platform::OperationScope scope;
        outcome = detect_miktex(texmf, local_texmf);
    }
    print_miktex_report(run.out, outcome, texmf, local_texmf);
    return 0;
}

// Performs one recognised option. Returns the exit code when it ends the run.
std::optional<int> perform(Run& run, const Command& c) {
    Switches& s = run.switches;
    RunContext& context = run.context;
    switch (c.action) {
        case Action::syntax_error:
            return report_syntax_error(run.out);
        case Action::help:
            return show_help(run.out, 0);
        case Action::examples:
            return show_examples(run.out);
        case Action::version:
            return show_version(run.out);

        case Action::bare_output:
            s.bare_output = true;
            return std::nullopt;
        // A name the platform refuses leaves the locale as it was.
        case Action::select_locale:
            platform::locale_select(c.name);
            return std::nullopt;
        case Action::scope_system:
        case Action::scope_user:
            s.scope = c.action == Action::scope_user ? Scope::user : Scope::system;
            return std::nullopt;
        case Action::position_start:
        case Action::position_end:
            s.position = c.action == Action::position_end ? Position::end : Position::start;
            return std::nullopt;
        // Each of the two cancels the other.
        case Action::refresh:
        case Action::no_refresh:
            s.force_refresh = c.action == Action::refresh;
            s.no_refresh = !s.force_refresh;
            return std::nullopt;

        case Action::env_add_path:
            return with_result_line(
                run, [&] { return env_add_path(context, c.text, c.name, s.scope, s.position); });
        case Action::env_remove_path:
            return with_result_line(
                run, [&] { return env_remove_path(context, c.text, c.name, s.scope); });
        case Action::env_write:
            return with_result_line(run,
                                    [&] { return env_write(context, c.text, c.name, s.scope); });
        case Action::env_delete:
            return with_result_line(run, [&] { return env_delete(context, c.name, s.scope); });
        case Action::path_add:
            return with_result_line(
                run, [&] { return env_add_to_path(context, c.text, s.scope, s.position); });
        case Action::path_remove:
            return with_result_line(run,
                                    [&] { return env_remove_from_path(context, c.text, s.scope); });

        case Action::reg_read:
            return read_value(run, c);
        case Action::reg_read_latest:
            return read_latest(run, c);
        case Action::reg_set_value:
            return with_result_line(
                run, [&] { return reg_set_path_value(c.text, c.key, c.value_name); });
        case Action::reg_delete_value:
            return with_result_line(run,
                                    [&] { return reg_delete_path_value(c.key, c.value_name); });
        case Action::reg_create_key:
            return with_result_line(run, [&] { return reg_create_key_path(c.key); });
        case Action::reg_delete_key:
            return with_result_line(run, [&] { return reg_delete_key_path(c.key); });
        case Action::regp_add:
            return with_result_line(
                run, [&] { return regp_add(c.text, c.key, c.value_name, s.position); });
        case Action::regp_remove:
            return with_result_line(run, [&] { return regp_remove(c.text, c.key, c.value_name); });
        case Action::regfile_apply:
            return with_result_line(run, [&] { return regfile_apply(c.key, RegfileMode::apply); });
        case Action::regfile_remove:
            return with_result_line(run, [&] { return regfile_apply(c.key, RegfileMode::remove); });

        case Action::java_detect:
            return print_found(run, java_detect);
        case Action::gs_detect:
            return print_found(run, gs_detect);
        case Action::winedt_detect:
            return print_found(run, detect_winedt);
        case Action::miktex_detect:
            return report_miktex(run);
        // These two always work on the system scope; they print nothing.
        case Action::java_set_command: {
            platform::OperationScope scope;
            java_set_command(context, c.name);
            return 0;
        }
        case Action::gs_add_to_path: {
            platform::OperationScope scope;
            gs_add_to_path(context, Scope::system, Position::start);
            return 0;
        }
    }
    return report_syntax_error(run.out);
}

bool is_sign(char c) { return c == '+' || c == '-' || c == '='; }

}  // namespace

int cli_run(const std::vector<std::string>& args, const Output& out) {
    if (args.empty()) return show_help(out, 0);
    if (args.front().empty() || !is_sign(args.front().front())) return report_syntax_error(out);
    platform::locale_select("chinese-simplified");

    Run run{out, {}, {}, {}};
    const std::span<const std::string> all(args);
    for (std::size_t index = 0; index < all.size();) {
        const Command command = recognise(all[index], all.subspan(index + 1));
        index += 1 + command.operand_count;
        if (const auto exit_code = perform(run, command)) return *exit_code;
    }

    if (run.switches.force_refresh) run.context.env_changed = true;
    if (!run.switches.no_refresh) env_broadcast_change(run.context);
    return 0;
}

}  // namespace qh
