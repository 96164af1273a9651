// The command lines of docs/recipes.md, run as the page gives them, so that
// the page cannot drift from the tool. A code block's language says how a
// run of the tool is written there; each such line becomes the arguments the
// tool would receive, the files it names are made first (the page's
// registry file, the folders), and the tool runs on this machine. Every run
// must succeed, and each recipe must change the machine and then leave it
// as it found it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace {

using Argv = std::vector<std::string>;
using qh::platform::Root;

// Where the recipes install the application.
constexpr std::string_view kAppDir = "C:\\Program Files\\Tovrane";

// The installers' variables for the install folder; each stands for kAppDir.
constexpr std::array<std::string_view, 4> kAppVariables{"%APP%", "$INSTDIR", "{app}", "$App"};

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return "";
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

bool names_the_tool(std::string_view program) {
    const std::string name = lower(program);
    return name == "quillhaven" || name.ends_with("quillhaven.exe");
}

// The text up to the first of `operators` that stands outside quotes.
std::string_view before_operator(std::string_view line, std::string_view operators,
                                 std::string_view quotes) {
    char open = '\0';
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (open != '\0') {
            if (line[i] == open) open = '\0';
        } else if (quotes.find(line[i]) != std::string_view::npos) {
            open = line[i];
        } else if (operators.find(line[i]) != std::string_view::npos) {
            return line.substr(0, i);
        }
    }
    return line;
}

// A command line split as the C runtime of a Windows program splits it:
// blanks separate, double quotes group, backslashes count only in front of a
// double quote.
Argv split_command_line(std::string_view line) {
    Argv argv;
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i == line.size()) return argv;
        std::string arg;
        bool quoted = false;
        while (i < line.size()) {
            const char c = line[i];
            if (c == '\\') {
                std::size_t backslashes = 0;
                while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
                const bool before_quote = i < line.size() && line[i] == '"';
                arg.append(before_quote ? backslashes / 2 : backslashes, '\\');
                if (before_quote && backslashes % 2 == 1) arg += line[i++];
            } else if (c == '"') {
                quoted = !quoted;
                ++i;
            } else if (!quoted && (c == ' ' || c == '\t')) {
                break;
            } else {
                arg += c;
                ++i;
            }
        }
        argv.push_back(arg);
    }
}

std::optional<Argv> tool_run(Argv argv) {
    if (argv.empty() || !names_the_tool(argv[0])) return std::nullopt;
    return argv;
}

// cmd: the command ends at a pipe, a redirection or a command separator.
std::optional<Argv> from_batch(std::string_view line) {
    return tool_run(split_command_line(before_operator(line, "|&<>", "\"")));
}

// NSIS: ExecWait 'COMMAND LINE'.
std::optional<Argv> from_nsis(std::string_view line) {
    static const std::regex exec_wait(R"(^\s*ExecWait\s+'([^']*)')");
    std::match_results<std::string_view::const_iterator> match;
    if (!std::regex_search(line.begin(), line.end(), match, exec_wait)) return std::nullopt;
    return tool_run(split_command_line(match[1].str()));
}

// Inno Setup: Name: "value"; ... with "" for a quote inside a value; the
// program is Filename, its command line Parameters.
std::optional<Argv> from_inno(std::string_view line) {
    std::string filename;
    std::string parameters;
    for (std::size_t start = 0; start < line.size();) {
        const std::string_view rest = line.substr(start);
        const std::string_view entry = before_operator(rest, ";", "\"");
        start += entry.size() + 1;
        const auto colon = entry.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string name = trimmed(entry.substr(0, colon));
        std::string value = trimmed(entry.substr(colon + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
            for (auto at = value.find("\"\""); at != std::string::npos;
                 at = value.find("\"\"", at + 1)) {
                value.erase(at, 1);
            }
        }
        if (name == "Filename") filename = value;
        if (name == "Parameters") parameters = value;
    }
    if (filename.empty()) return std::nullopt;
    Argv argv{filename};
    for (std::string& arg : split_command_line(parameters)) argv.push_back(std::move(arg));
    return tool_run(argv);
}

// PowerShell: the call operator & and the program, then arguments up to a
// pipe, a statement separator or the end of a script block. Quotes of
// either kind group; a doubled quote inside stands for itself.
std::optional<Argv> from_powershell(std::string_view line) {
    const std::string_view before = before_operator(line, "&", "'\"");
    if (before.size() == line.size()) return std::nullopt;
    const std::string_view call = line.substr(before.size() + 1);
    const std::string_view words = before_operator(call, "|;}", "'\"");
    Argv argv;
    std::size_t i = 0;
    for (;;) {
        while (i < words.size() && (words[i] == ' ' || words[i] == '\t')) ++i;
        if (i == words.size()) return tool_run(argv);
        std::string word;
        while (i < words.size() && words[i] != ' ' && words[i] != '\t') {
            const char c = words[i++];
            if (c != '\'' && c != '"') {
                word += c;
                continue;
            }
            while (i < words.size()) {
                if (words[i] != c) {
                    word += words[i++];
                } else if (i + 1 < words.size() && words[i + 1] == c) {
                    word += c;
                    i += 2;
                } else {
                    ++i;
                    break;
                }
            }
        }
        argv.push_back(word);
    }
}

// Ansible: win_command: COMMAND LINE, as a plain or single-quoted YAML
// scalar (in double quotes YAML would read the backslashes as escapes).
std::optional<Argv> from_ansible(std::string_view line) {
    static const std::regex win_command(R"(win_command:\s*(.+)$)");
    std::match_results<std::string_view::const_iterator> match;
    if (!std::regex_search(line.begin(), line.end(), match, win_command)) return std::nullopt;
    std::string scalar = trimmed(match[1].str());
    if (scalar.size() >= 2 && scalar.front() == '\'' && scalar.back() == '\'') {
        scalar = scalar.substr(1, scalar.size() - 2);
        for (auto at = scalar.find("''"); at != std::string::npos; at = scalar.find("''", at + 1)) {
            scalar.erase(at, 1);
        }
    }
    return tool_run(split_command_line(scalar));
}

using Extractor = std::optional<Argv> (*)(std::string_view line);

// The code block languages that run the tool, and how each writes a run.
constexpr std::array<std::pair<std::string_view, Extractor>, 5> kLanguages{{
    {"bat", from_batch},
    {"nsis", from_nsis},
    {"iss", from_inno},
    {"powershell", from_powershell},
    {"yaml", from_ansible},
}};

// A line that hands options to the tool, in any language: a recipe line
// that looks like this but yields no run means the extraction fell behind.
bool looks_like_a_run(const std::string& line) {
    static const std::regex run(R"(quillhaven(\.exe)?['"]?\s+[-+=])", std::regex::icase);
    return std::regex_search(line, run);
}

struct DocumentedRun {
    std::string recipe;  // the heading above it
    int line_number;     // in the page
    std::string line;    // as written
    Argv argv;           // the program, then the arguments the tool receives
};

struct Page {
    std::vector<DocumentedRun> runs;
    std::vector<std::string> missed;  // lines that look like runs but yielded none
    std::string registry_file;        // the page's one reg code block
    int registry_blocks = 0;
};

std::string with_app_dir(std::string line) {
    for (std::string_view variable : kAppVariables) {
        for (auto at = line.find(variable); at != std::string::npos;
             at = line.find(variable, at + kAppDir.size())) {
            line.replace(at, variable.size(), kAppDir);
        }
    }
    return line;
}

Page read_page(const std::string& markdown) {
    Page page;
    std::string recipe;
    std::optional<std::string> language;  // inside a code block
    int number = 0;
    std::size_t start = 0;
    while (start < markdown.size()) {
        const std::size_t end = std::min(markdown.find('\n', start), markdown.size());
        const std::string line = markdown.substr(start, end - start);
        start = end + 1;
        ++number;
        if (line.starts_with("```")) {
            language = language ? std::nullopt : std::optional(line.substr(3));
            if (language == "reg") ++page.registry_blocks;
            continue;
        }
        if (!language) {
            if (line.starts_with("#")) recipe = line;
            continue;
        }
        if (*language == "reg") {
            page.registry_file += line + "\n";
            continue;
        }
        std::optional<Argv> argv;
        for (const auto& [name, extract] : kLanguages) {
            if (name == *language) argv = extract(with_app_dir(line));
        }
        if (argv) {
            page.runs.push_back({recipe, number, line, *argv});
        } else if (looks_like_a_run(line)) {
            page.missed.push_back(std::to_string(number) + ": " + line);
        }
    }
    return page;
}

// Paths of the page are host paths; the tests reach files by Windows path.
std::string recipes_path() {
    std::string path = "Z:" QH_SOURCE_DIR "/docs/recipes.md";
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// The keys the registry file marks for removal.
std::vector<std::string> marked_keys(const std::string& registry_file) {
    static const std::regex marked(R"(^\[([^\]]+)\]--uninstall)");
    std::vector<std::string> keys;
    std::size_t start = 0;
    while (start < registry_file.size()) {
        const std::size_t end = registry_file.find('\n', start);
        const std::string line = registry_file.substr(start, end - start);
        start = end + 1;
        std::smatch match;
        if (std::regex_search(line, match, marked)) keys.push_back(match[1]);
    }
    return keys;
}

// What the recipes change: both Path values and the marked keys.
struct MachineState {
    std::optional<std::string> system_path;
    std::optional<std::string> user_path;
    std::vector<bool> keys;

    bool same_paths(const MachineState& other) const {
        return system_path == other.system_path && user_path == other.user_path;
    }
};

MachineState machine_state(const std::vector<std::string>& keys) {
    MachineState state;
    state.system_path =
        qh_test::read_text(Root::local_machine, qh_test::kSystemEnvironment, "Path");
    state.user_path = qh_test::read_text(Root::current_user, qh_test::kUserEnvironment, "Path");
    for (const std::string& key : keys) state.keys.push_back(qh_test::key_exists(key));
    return state;
}

// Options whose operand names something on disk, and which operand it is.
struct FileOperand {
    std::string_view option;
    std::size_t operand;  // 1 for the first argument after the option
    bool registry_file;   // else a list of folders
};
constexpr std::array<FileOperand, 4> kFileOperands{{
    {"+path", 1, false},
    {"-path", 1, false},
    {"+regf", 1, true},
    {"-regf", 1, true},
}};

void make_named_files(const Page& page) {
    for (const DocumentedRun& run : page.runs) {
        for (std::size_t i = 1; i < run.argv.size(); ++i) {
            for (const FileOperand& file : kFileOperands) {
                if (lower(run.argv[i]) != file.option || i + file.operand >= run.argv.size()) {
                    continue;
                }
                const std::string& operand = run.argv[i + file.operand];
                if (file.registry_file) {
                    ASSERT_TRUE(qh_test::write_file(operand, page.registry_file)) << operand;
                    continue;
                }
                for (std::size_t start = 0; start <= operand.size();) {
                    const std::size_t end = std::min(operand.find(';', start), operand.size());
                    if (end > start) {
                        ASSERT_TRUE(qh_test::make_directory(operand.substr(start, end - start)));
                    }
                    start = end + 1;
                }
            }
        }
    }
}

// A preview's lines of what it would change, which come before its result
// lines.
std::string without_preview_lines(const std::string& output) {
    std::string kept;
    for (std::size_t start = 0; start < output.size();) {
        const std::size_t end = std::min(output.find('\n', start), output.size());
        const std::string line = output.substr(start, end + 1 - start);
        if (!line.starts_with("would ")) kept += line;
        start = end + 1;
    }
    return kept;
}

// Each line of output is a success line; there is at least one.
bool all_succeeded(std::string output) {
    output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
    const std::string ok(qh_test::kSucceeded);
    if (output.empty() || output.size() % ok.size() != 0) return false;
    for (std::size_t at = 0; at < output.size(); at += ok.size()) {
        if (output.compare(at, ok.size(), ok) != 0) return false;
    }
    return true;
}

TEST(Recipes, EveryDocumentedRunSucceedsAndEachRecipeUndoesItself) {
    const std::optional<std::string> markdown = qh_test::read_file(recipes_path());
    ASSERT_TRUE(markdown) << recipes_path();
    const Page page = read_page(*markdown);
    EXPECT_TRUE(page.missed.empty()) << "lines that run the tool in a form not understood here:\n"
                                     << testing::PrintToString(page.missed);
    ASSERT_EQ(page.registry_blocks, 1);
    const std::vector<std::string> keys = marked_keys(page.registry_file);
    ASSERT_FALSE(keys.empty()) << "the registry file marks nothing for removal";
    ASSERT_FALSE(page.runs.empty());
    make_named_files(page);

    for (auto first = page.runs.begin(); first != page.runs.end();) {
        const auto last = std::find_if(first, page.runs.end(), [&](const DocumentedRun& run) {
            return run.recipe != first->recipe;
        });
        SCOPED_TRACE(first->recipe);
        const MachineState before = machine_state(keys);
        bool paths_changed = false;
        bool keys_changed = false;
        for (auto run = first; run != last; ++run) {
            SCOPED_TRACE("line " + std::to_string(run->line_number) + ": " + run->line);
            const Argv args(run->argv.begin() + 1, run->argv.end());
            const MachineState before_run = machine_state(keys);
            const qh_test::ToolRun got = qh_test::run_tool(args);
            EXPECT_EQ(got.exit_code, 0);
            const bool preview = std::find(args.begin(), args.end(), "-dry-run") != args.end();
            EXPECT_TRUE(all_succeeded(preview ? without_preview_lines(got.output) : got.output))
                << got.output;
            const MachineState now = machine_state(keys);
            if (preview) {
                EXPECT_NE(got.output.find("would "), std::string::npos) << got.output;
                EXPECT_TRUE(now.same_paths(before_run) && now.keys == before_run.keys)
                    << "a preview changed the machine";
            }
            paths_changed = paths_changed || !now.same_paths(before);
            keys_changed = keys_changed || now.keys != before.keys;
        }
        EXPECT_TRUE(paths_changed) << "no run of the recipe changed Path";
        EXPECT_TRUE(keys_changed) << "no run of the recipe changed the marked keys";
        const MachineState after = machine_state(keys);
        EXPECT_TRUE(after.same_paths(before))
            << "system Path was " << before.system_path.value_or("<none>") << "\nnow "
            << after.system_path.value_or("<none>");
        EXPECT_EQ(after.keys, before.keys);
        first = last;
    }
}

}  // namespace
