// One argument in operation position, recognised: what to do and with which
// of the following arguments.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace qh {

enum class Action {
    syntax_error,
    // Texts that end the run.
    help,
    examples,
    version,
    // Switches: no result line.
    bare_output,
    select_locale,
    scope_system,
    scope_user,
    position_start,
    position_end,
    refresh,
    no_refresh,
    fail_exit,
    // From here on nothing changes; the changes are shown: no result line.
    dry_run,
    // Takes back the newest run by its journal: result line.
    backout,
    // Environment variables: result line.
    env_add_path,
    env_remove_path,
    env_write,
    env_delete,
    path_add,
    path_remove,
    env_tidy,
    // Ends the run when the variable is there; a failure is a result line.
    env_audit,
    // Registry: result line, except a read that succeeds.
    reg_read,
    reg_read_latest,
    reg_set_value,
    reg_set_typed_value,
    reg_query,
    reg_query_tree,
    reg_export,
    reg_delete_value,
    reg_create_key,
    reg_delete_key,
    regp_add,
    regp_remove,
    regfile_apply,
    regfile_remove,
    // Detections: end the run.
    java_detect,
    java_set_command,
    gs_detect,
    gs_add_to_path,
    winedt_detect,
    miktex_detect,
    texlive_detect,
    // Detection whose folder goes into Path: result line.
    texlive_add_to_path,
};

// The operands are the following arguments exactly as typed; which fields
// an action uses is given by its row of the option tables.
struct Command {
    Action action = Action::syntax_error;
    // How many of the following arguments the option takes.
    std::size_t operand_count = 0;
    std::string_view key;            // KEY of a registry option
    std::string_view file;           // FILE of +regf, -regf and -rege
    std::string_view type;           // TYPE of +regt
    std::string_view name;           // NAME, ENV, a locale
    platform::ValueName value_name;  // VALUE of a registry option, when given
    std::string_view text;           // DIRS, DATA, the VALUE of =env
};

// `option` is the argument in operation position, `rest` the arguments after
// it. The option is lower-cased in the current locale to be recognised.
Command recognise(std::string_view option, std::span<const std::string> rest);

}  // namespace qh
