// Option recognition: a few characters of the lower-cased option pick the
// row, the number of arguments left decides the operands.
#include "cli/command.h"

namespace qh {

namespace {

using Rest = std::span<const std::string>;

Command make(Action action, std::size_t operand_count = 0) {
    Command command;
    command.action = action;
    command.operand_count = operand_count;
    return command;
}

const Command kSyntaxError{};

// The character at `index`, or a zero past the end, as the option texts are
// read byte by byte.
char at(std::string_view text, std::size_t index) {
    return index < text.size() ? text[index] : '\0';
}

// +env NAME DIRS, -env NAME DIRS, =env NAME VALUE, -env NAME.
Command environment_option(char sign, Rest rest) {
    if (rest.size() >= 2) {
        Command command = make(Action::syntax_error, 2);
        command.name = rest[0];
        command.text = rest[1];
        switch (sign) {
            case '+':
                command.action = Action::env_add_path;
                break;
            case '-':
                command.action = Action::env_remove_path;
                break;
            case '=':
                command.action = Action::env_write;
                break;
            default:
                return kSyntaxError;
        }
        return command;
    }
    if (rest.size() == 1 && sign == '-') {
        Command command = make(Action::env_delete, 1);
        command.name = rest[0];
        return command;
    }
    return kSyntaxError;
}

// +path DIRS, -path DIRS.
Command path_option(char sign, Rest rest) {
    if (rest.empty() || (sign != '+' && sign != '-')) return kSyntaxError;
    Command command = make(sign == '+' ? Action::path_add : Action::path_remove, 1);
    command.text = rest[0];
    return command;
}

// NAME alone, required.
Command name_option(Action action, Rest rest) {
    if (rest.empty()) return kSyntaxError;
    Command command = make(action, 1);
    command.name = rest[0];
    return command;
}

// KEY VALUE, both required.
Command read_option(Action action, Rest rest) {
    if (rest.size() < 2) return kSyntaxError;
    Command command = make(action, 2);
    command.key = rest[0];
    command.value_name = rest[1];
    return command;
}

// KEY [VALUE] TEXT: the value name is there when three arguments are left.
Command key_value_text_option(Action action, Rest rest) {
    if (rest.size() < 2) return kSyntaxError;
    Command command = make(action, rest.size() >= 3 ? 3 : 2);
    command.key = rest[0];
    if (command.operand_count == 3) command.value_name = rest[1];
    command.text = rest[command.operand_count - 1];
    return command;
}

// KEY [VALUE] TYPE DATA: the value name is there when four arguments are
// left.
Command typed_value_option(Rest rest) {
    if (rest.size() < 3) return kSyntaxError;
    Command command = make(Action::reg_set_typed_value, rest.size() >= 4 ? 4 : 3);
    command.key = rest[0];
    if (command.operand_count == 4) command.value_name = rest[1];
    command.type = rest[command.operand_count - 2];
    command.text = rest[command.operand_count - 1];
    return command;
}

// KEY alone.
Command key_option(Action action, Rest rest) {
    Command command = make(action, 1);
    command.key = rest[0];
    return command;
}

// The five-letter registry options: the fifth character picks the row, the
// third and fourth are not looked at.
Command registry_option(char sign, std::string_view lower, Rest rest) {
    if (lower.size() != 5 || rest.empty()) return kSyntaxError;
    switch (lower[4]) {
        case 'f': {
            if (sign != '+' && sign != '-') return kSyntaxError;
            Command command = make(sign == '+' ? Action::regfile_apply : Action::regfile_remove, 1);
            command.file = rest[0];
            return command;
        }
        case 'k':
            if (sign != '+' && sign != '-') return kSyntaxError;
            return key_option(sign == '+' ? Action::reg_create_key : Action::reg_delete_key, rest);
        case 'e': {
            if (sign != '-' || rest.size() < 2) return kSyntaxError;
            Command command = key_option(Action::reg_export, rest);
            command.operand_count = 2;
            command.file = rest[1];
            return command;
        }
        case 'l':
            return read_option(Action::reg_read_latest, rest);
        case 'q':
            if (sign == '-') return key_option(Action::reg_query, rest);
            if (sign == '=') return key_option(Action::reg_query_tree, rest);
            return kSyntaxError;
        case 't':
            if (sign != '+' && sign != '=') return kSyntaxError;
            return typed_value_option(rest);
        // -regr is how the help and the examples spell the read; like
        // -read-reg it takes the '-' sign only.
        case 'r':
            if (sign != '-') return kSyntaxError;
            return read_option(Action::reg_read, rest);
        case 'p':
            if (sign != '+' && sign != '-') return kSyntaxError;
            return key_value_text_option(sign == '+' ? Action::regp_add : Action::regp_remove,
                                         rest);
        case 'v':
            if (sign == '+' || sign == '=') {
                return key_value_text_option(Action::reg_set_value, rest);
            }
            if (sign == '-') {
                Command command = key_option(Action::reg_delete_value, rest);
                if (rest.size() >= 2) {
                    command.operand_count = 2;
                    command.value_name = rest[1];
                }
                return command;
            }
            return kSyntaxError;
        default:
            return kSyntaxError;
    }
}

}  // namespace

Command recognise(std::string_view option, Rest rest) {
    const std::string lower = platform::locale_lower(option);
    const char sign = at(option, 0);
    const char second = at(lower, 1);

    if (second == 'h') return make(Action::help);
    if (second == 'x') return make(Action::bare_output);
    if (second == 'c' || second == 'l') {
        if (rest.empty()) return kSyntaxError;
        Command command = make(Action::select_locale, 1);
        command.name = rest[0];
        return command;
    }
    if (lower.size() < 4) return kSyntaxError;

    switch (second) {
        case 'a':
            return name_option(Action::env_audit, rest);
        case 'b':
            return make(Action::backout);
        case 'd':
            return make(Action::dry_run);
        case 'e':
            if (at(lower, 2) == 'x') return make(Action::examples);
            if (at(lower, 3) == 'd') return make(Action::position_end);
            return environment_option(sign, rest);
        case 'f':
            return make(Action::fail_exit);
        case 'g':
            return make(sign == '+' ? Action::gs_add_to_path : Action::gs_detect);
        case 'j':
            if (sign == '+') {
                Command command = make(Action::java_set_command, rest.empty() ? 0 : 1);
                command.name = rest.empty() ? std::string_view("javacommand") : rest[0];
                return command;
            }
            return make(Action::java_detect);
        case 'm':
            return make(Action::miktex_detect);
        case 'n':
            return make(Action::no_refresh);
        case 'p':
            return path_option(sign, rest);
        case 'r':
            if (lower == "-refresh") return make(Action::refresh);
            if (lower == "-read-reg") return read_option(Action::reg_read, rest);
            return registry_option(sign, lower, rest);
        case 's':
            if (at(lower, 2) == 'y') return make(Action::scope_system);
            if (at(lower, 2) == 't') return make(Action::position_start);
            return kSyntaxError;
        case 't':
            if (at(lower, 2) == 'i') return name_option(Action::env_tidy, rest);
            if (at(lower, 2) == 'e')
                return make(sign == '+' ? Action::texlive_add_to_path : Action::texlive_detect);
            return kSyntaxError;
        case 'u':
            return make(Action::scope_user);
        case 'v':
            return make(Action::version);
        case 'w':
            return make(Action::winedt_detect);
        default:
            return kSyntaxError;
    }
}

}  // namespace qh
