// The run: start-up, the walk over the arguments, and the end of the run.
#include "cli/run.h"

#include <optional>
#include <span>

#include "cli/command.h"
#include "cli/help.h"
#include "cli/report.h"
#include "common/env_changes.h"
#include "common/failure.h"
#include "common/switches.h"
#include "detect/java_gs.h"
#include "detect/tex_tools.h"
#include "detect/texlive.h"
#include "envpath/env_audit.h"
#include "envpath/env_store.h"
#include "envpath/regp.h"
#include "regfile/regfile.h"
#include "regfile/regfile_backout.h"
#include "regfile/regfile_export.h"
#include "registry/reg_commands.h"
#include "registry/reg_latest.h"
#include "registry/reg_query.h"
#include "registry/reg_reason.h"
#include "registry/reg_session.h"

namespace qh {

namespace {

// Each switch holds from the argument that sets it on.
struct Switches {
    Scope scope = Scope::system;
    Position position = Position::start;
    bool bare_output = false;
    bool force_refresh = false;
    bool no_refresh = false;
    bool fail_exit = false;
};

struct Run {
    const Output& out;
    const Output& err;
    Switches switches;
    EnvChanges changes;
    // Every change of the run is recorded in its journal through this.
    ChangeSession session;
    // Kept for the whole run, as -regl continues from the name found before.
    std::string latest_name;
    // Why the operation being performed failed.
    Failure failure;
    // A failure counted by -fail-exit.
    bool failed = false;
};

constexpr int kSyntaxErrorExit = 1;
// A failure from -fail-exit on.
constexpr int kFailExit = 2;

// The exit code of a run that ends normally, or early by an option.
int normal_exit(const Run& run) { return run.failed ? kFailExit : 0; }

// The argument in operation position and its operands, as typed.
using Typed = std::span<const std::string>;

// One line on standard error after a failure, naming the option as typed
// and the reason the failing step gave; its control characters escaped, as
// operands and registry names may hold any.
void report_failure(Run& run, Typed typed, int result) {
    std::string line = "quillhaven:";
    for (const std::string& argument : typed) line.append(" ").append(argument);
    line.append(": ");
    if (run.failure.reason.empty()) {
        line.append("the operation failed with code ").append(std::to_string(result));
    } else {
        line.append(run.failure.reason);
    }
    run.err(escape_controls(line) + "\n");
    if (run.switches.fail_exit) run.failed = true;
}

// Stands for an operation's result when its scope failed: any non-zero
// result prints the failure line.
constexpr int kScopeFailed = 100;

// Why a scope failed, for the reason on standard error.
int scope_failed(Run& run, long status, bool at_end) {
    std::string reason;
    if (at_end) {
        reason = "nothing of it was kept: " + reg_status_clause(status);
    } else if (status == platform::kErrorTimeout) {
        reason = "another run of the tool held the registry for longer than the lock wait";
    } else {
        reason = "the registry cannot be used: " + reg_status_clause(status);
    }
    return fail(&run.failure, kScopeFailed, reason, status);
}

// Performs one operation in its scope, with a fresh failure record, and
// returns its result code. An operation whose scope cannot be begun
// (another run held it past the lock wait) is not performed; one whose
// scope cannot be ended keeps nothing. Either fails, with the scope's
// status as its reason.
template <typename Operation>
int in_scope(Run& run, Operation operation) {
    run.failure = {};
    platform::OperationScope scope;
    if (const long status = scope.begun(); status != platform::kErrorSuccess)
        return scope_failed(run, status, false);
    const bool env_changed = run.changes.env_changed;
    int result = operation();
    // A change the journal could not record was not made: its reason is the
    // journal's.
    if (result != 0 && !run.session.failure().empty()) run.failure.reason = run.session.failure();
    // The journal is on the disk before the registry keeps what it records.
    run.session.operation_done();
    if (const long status = scope.end(); status != platform::kErrorSuccess) {
        // What the operation did is gone, so it changed no variable either.
        run.changes.env_changed = env_changed;
        return scope_failed(run, status, true);
    }
    return result;
}

// A detection only reads: it reads in its scope when the scope can be had,
// and without it otherwise, as a report of nothing found would be false.
template <typename Detection>
auto detecting(Run& run, Detection detection) {
    run.failure = {};
    platform::OperationScope scope;
    return detection();
}

// An operation followed by a result line; the run goes on.
template <typename Operation>
std::optional<int> with_result_line(Run& run, Typed typed, Operation operation) {
    const int result = in_scope(run, operation);
    print_result_line(run.out, result);
    if (result != 0) report_failure(run, typed, result);
    return std::nullopt;
}

// A read ends the run when it succeeds; a failure is an ordinary result line.
std::optional<int> read_value(Run& run, Typed typed, const Command& command) {
    RegValue value;
    const int result = in_scope(run, [&] {
        return reg_read_path_value(value, command.key, command.value_name, &run.failure,
                                   &run.session);
    });
    if (result != 0) {
        print_result_line(run.out, result);
        report_failure(run, typed, result);
        return std::nullopt;
    }
    print_read(run.out, run.switches.bare_output, command.key, command.value_name.value_or(""),
               reg_value_display(value));
    return normal_exit(run);
}

// -regq and =regq end the run with the listing, as a read does.
std::optional<int> query_key(Run& run, Typed typed, const Command& command) {
    std::string listing;
    const int result = in_scope(run, [&] {
        return reg_query_path(listing, command.key, command.action == Action::reg_query_tree,
                              &run.failure, &run.session);
    });
    if (result != 0) {
        print_result_line(run.out, result);
        report_failure(run, typed, result);
        return std::nullopt;
    }
    run.out(listing);
    return normal_exit(run);
}

// A value written under an environment key is an environment change.
int set_typed_value(EnvChanges& changes, ChangeSession& session, const Command& c, Failure* why) {
    const int result = reg_set_typed_path_value(c.key, c.value_name, c.type, c.text, why, &session);
    if (result == 0)
        if (const std::optional<KeyPath> path = reg_parse_path(c.key);
            path && env_is_store_key(path->root, path->subkey))
            changes.env_changed = true;
    return result;
}

std::optional<int> read_latest(Run& run, Typed typed, const Command& command) {
    RegValue value;
    const int result = in_scope(run, [&] {
        return reg_read_latest(value, run.latest_name, command.key, command.value_name,
                               &run.failure, {}, &run.session);
    });
    if (result != 0) {
        print_result_line(run.out, result);
        report_failure(run, typed, result);
        return std::nullopt;
    }
    print_latest(run.out, run.switches.bare_output, command.key, run.latest_name,
                 command.value_name.value_or(""), reg_value_display(value));
    return normal_exit(run);
}

// Like a read, an audit ends the run when it has something to show;
// -fail-exit makes an entry with a finding count as a failure.
std::optional<int> audit_variable(Run& run, Typed typed, const Command& command) {
    EnvAudit audit;
    const int result =
        in_scope(run, [&] { return env_audit(audit, command.name, &run.failure, &run.session); });
    if (result != 0) {
        print_result_line(run.out, result);
        report_failure(run, typed, result);
        return std::nullopt;
    }
    print_audit(run.out, audit);
    if (run.switches.fail_exit && audit_entries_with_findings(audit) > 0) return kFailExit;
    return normal_exit(run);
}

// -javaw, -gswin32c, -WinEdt: print what was found (nothing when nothing
// was), and end the run whatever the outcome.
std::optional<int> print_found(Run& run, Typed typed,
                               int (*detect)(std::string&, Failure*, ChangeSession*)) {
    std::string found;
    const int result = detecting(run, [&] { return detect(found, &run.failure, &run.session); });
    run.out(found);
    if (result != 0) report_failure(run, typed, result);
    return normal_exit(run);
}

std::optional<int> report_miktex(Run& run, Typed typed) {
    const MiktexRegistry registry =
        detecting(run, [&] { return read_miktex_registry(&run.session); });
    // findtexmf may take its time: other runs must not wait for it.
    std::string texmf;
    std::string local_texmf;
    const MiktexOutcome outcome = detect_miktex(registry, texmf, local_texmf, &run.failure);
    print_miktex_report(run.out, outcome, texmf, local_texmf);
    if (outcome == MiktexOutcome::none) report_failure(run, typed, 1);
    return normal_exit(run);
}

// +javaw and +gswin32c print nothing, whatever the outcome.
template <typename Operation>
std::optional<int> silently(Run& run, Typed typed, Operation operation) {
    const int result = in_scope(run, operation);
    if (result != 0) report_failure(run, typed, result);
    return normal_exit(run);
}

// -backout; putting back a value of an environment key is an environment
// change.
int backout(Run& run) {
    std::vector<std::string> keys;
    const int result = regfile_backout(run.session, keys, &run.failure);
    for (const std::string& key : keys)
        if (const std::optional<KeyPath> path = reg_parse_path(key);
            path && env_is_store_key(path->root, path->subkey))
            run.changes.env_changed = true;
    return result;
}

// Performs one recognised option. Returns the exit code when it ends the run.
std::optional<int> perform(Run& run, const Command& c, Typed typed) {
    Switches& s = run.switches;
    EnvChanges& changes = run.changes;
    Failure* const why = &run.failure;
    ChangeSession* const session = &run.session;
    switch (c.action) {
        case Action::syntax_error:
            return report_syntax_error(run.out);
        case Action::help:
            show_help(run.out, 0);
            return normal_exit(run);
        case Action::examples:
            show_examples(run.out);
            return normal_exit(run);
        case Action::version:
            show_version(run.out);
            return normal_exit(run);

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
        case Action::fail_exit:
            s.fail_exit = true;
            return std::nullopt;
        case Action::dry_run:
            if (!run.session.preview()) run.session.begin_preview(run.out);
            return std::nullopt;

        case Action::env_add_path:
            return with_result_line(run, typed, [&] {
                return env_add_path(changes, c.text, c.name, s.scope, s.position, why, session);
            });
        case Action::env_remove_path:
            return with_result_line(run, typed, [&] {
                return env_remove_path(changes, c.text, c.name, s.scope, why, session);
            });
        case Action::env_write:
            return with_result_line(run, typed, [&] {
                return env_write(changes, c.text, c.name, s.scope, why, session);
            });
        case Action::env_delete:
            return with_result_line(
                run, typed, [&] { return env_delete(changes, c.name, s.scope, why, session); });
        case Action::path_add:
            return with_result_line(run, typed, [&] {
                return env_add_to_path(changes, c.text, s.scope, s.position, why, session);
            });
        case Action::path_remove:
            return with_result_line(run, typed, [&] {
                return env_remove_from_path(changes, c.text, s.scope, why, session);
            });

        case Action::backout:
            return with_result_line(run, typed, [&] { return backout(run); });

        case Action::env_tidy:
            return with_result_line(
                run, typed, [&] { return env_tidy(changes, c.name, s.scope, why, session); });
        case Action::env_audit:
            return audit_variable(run, typed, c);

        case Action::reg_read:
            return read_value(run, typed, c);
        case Action::reg_read_latest:
            return read_latest(run, typed, c);
        case Action::reg_set_value:
            return with_result_line(run, typed, [&] {
                return reg_set_path_value(c.text, c.key, c.value_name, why, session);
            });
        case Action::reg_set_typed_value:
            return with_result_line(run, typed,
                                    [&] { return set_typed_value(changes, run.session, c, why); });
        case Action::reg_query:
        case Action::reg_query_tree:
            return query_key(run, typed, c);
        case Action::reg_export:
            return with_result_line(run, typed,
                                    [&] { return regfile_export(c.key, c.file, why, session); });
        case Action::reg_delete_value:
            return with_result_line(run, typed, [&] {
                return reg_delete_path_value(c.key, c.value_name, why, session);
            });
        case Action::reg_create_key:
            return with_result_line(run, typed,
                                    [&] { return reg_create_key_path(c.key, why, session); });
        case Action::reg_delete_key:
            return with_result_line(run, typed,
                                    [&] { return reg_delete_key_path(c.key, why, session); });
        case Action::regp_add:
            return with_result_line(run, typed, [&] {
                return regp_add(c.text, c.key, c.value_name, s.position, why, session);
            });
        case Action::regp_remove:
            return with_result_line(
                run, typed, [&] { return regp_remove(c.text, c.key, c.value_name, why, session); });
        case Action::regfile_apply:
            return with_result_line(run, typed,
                                    [&] { return regfile_apply(c.file, why, session); });
        case Action::regfile_remove:
            return with_result_line(run, typed,
                                    [&] { return regfile_remove(c.file, why, session); });

        case Action::java_detect:
            return print_found(run, typed, java_detect);
        case Action::gs_detect:
            return print_found(run, typed, gs_detect);
        case Action::winedt_detect:
            return print_found(run, typed, detect_winedt);
        case Action::miktex_detect:
            return report_miktex(run, typed);
        case Action::texlive_detect:
            return print_found(run, typed, texlive_detect);
        case Action::texlive_add_to_path:
            return with_result_line(run, typed, [&] {
                return texlive_add_to_path(changes, s.scope, s.position, why, session);
            });
        case Action::java_set_command:
            return silently(run, typed,
                            [&] { return java_set_command(changes, c.name, why, session); });
        case Action::gs_add_to_path:
            return silently(run, typed, [&] { return gs_add_to_path(changes, why, session); });
    }
    return report_syntax_error(run.out);
}

bool is_sign(char c) { return c == '+' || c == '-' || c == '='; }

}  // namespace

int cli_run(const std::vector<std::string>& args, const Output& out, const Output& err) {
    if (args.empty()) return show_help(out, 0);
    if (args.front().empty() || !is_sign(args.front().front())) return report_syntax_error(out);
    platform::locale_select("chinese-simplified");

    // Whether output of the operation being performed could not be written.
    bool output_lost = false;
    const Output checked = [&out, &output_lost](std::string_view bytes) {
        if (out(bytes)) return true;
        output_lost = true;
        return false;
    };
    Run run{checked, err, {}, {}, ChangeSession(journal_folder_from_environment()), {}, {}, false};
    const std::span<const std::string> all(args);
    for (std::size_t index = 0; index < all.size();) {
        const Command command = recognise(all[index], all.subspan(index + 1));
        const Typed typed = all.subspan(index, 1 + command.operand_count);
        index += typed.size();
        output_lost = false;
        const std::optional<int> exit_code = perform(run, command, typed);
        // A script that cannot see the result line must not take the run
        // for a success.
        if (output_lost && run.switches.fail_exit && exit_code != kSyntaxErrorExit) {
            run.err("quillhaven: standard output cannot be written\n");
            return kFailExit;
        }
        if (exit_code) return *exit_code;
    }

    run.session.sync();
    if (run.switches.force_refresh) run.changes.env_changed = true;
    if (!run.switches.no_refresh) {
        if (ChangePreview* const preview = run.session.preview()) {
            if (run.changes.env_changed) preview->line("would broadcast the environment change");
        } else {
            env_broadcast_change(run.changes);
        }
    }
    return normal_exit(run);
}

}  // namespace qh
