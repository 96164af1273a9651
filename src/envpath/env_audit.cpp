#include "envpath/env_audit.h"

#include <cassert>
#include <cctype>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "common/switches.h"
#include "envpath/env_store.h"
#include "envpath/path_list.h"
#include "platform/platform.h"
#include "registry/reg_reason.h"
#include "registry/reg_value.h"

namespace qh {

namespace {

// One value whose entries are audited.
struct Source {
    AuditScope scope;
    std::string text;
    bool expands;  // REG_EXPAND_SZ: Windows expands its references at logon
};

// The entries of a list; an empty value has none, ";" has two empty ones.
std::vector<std::string_view> entries_of(std::string_view list) {
    std::vector<std::string_view> entries;
    if (list.empty()) return entries;
    std::size_t start = 0;
    for (std::size_t cut = list.find(';'); cut != std::string_view::npos;
         cut = list.find(';', start)) {
        entries.push_back(list.substr(start, cut - start));
        start = cut + 1;
    }
    entries.push_back(list.substr(start));
    return entries;
}

std::string without_quotes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        if (c != '"') out += c;
    return out;
}

bool is_separator(char c) { return c == '\\' || c == '/'; }

// The same directory whatever the current directory: C:\x, or \\server\share.
bool is_absolute(std::string_view dir) {
    if (dir.size() >= 3 && std::isalpha(static_cast<unsigned char>(dir[0])) && dir[1] == ':' &&
        is_separator(dir[2]))
        return true;
    return dir.size() >= 2 && is_separator(dir[0]) && is_separator(dir[1]);
}

// The findings of one entry that need no other entry. Its existence is
// asked of the system once, and only for an absolute entry: a relative one
// names another directory in every program's current directory.
void find_alone(AuditEntry& entry, bool expands, EnvVariables& variables) {
    if (entry.stored.empty()) {
        entry.findings = kFindingEmpty;
        return;
    }
    bool unknown = false;
    entry.expanded = expands ? variables.expand(entry.stored, &unknown) : entry.stored;
    if (expands ? unknown : holds_reference(entry.stored)) entry.findings |= kFindingNotExpanded;
    if (entry.expanded.find('"') != std::string::npos) entry.findings |= kFindingQuoted;
}

// Audits the entries of each source in turn; an entry repeats the first one
// of any source that names the same directory.
class Auditor {
  public:
    Auditor(EnvAudit& audit, EnvVariables& variables) : audit_(audit), variables_(variables) {}

    void add(const Source& source) {
        std::size_t position = 0;
        for (const std::string_view stored : entries_of(source.text)) {
            AuditEntry entry;
            entry.scope = source.scope;
            entry.position = ++position;
            entry.stored = stored;
            find_alone(entry, source.expands, variables_);
            if (!entry.stored.empty()) find_in_list(entry);
            if (!audit_.entries.empty()) ++audit_.joined_length;
            audit_.joined_length += entry.expanded.size();
            audit_.entries.push_back(std::move(entry));
        }
    }

  private:
    // The directory the entry means, quotes aside: whether it exists, and
    // whether an earlier entry means it too.
    void find_in_list(AuditEntry& entry) {
        const std::string dir = without_quotes(entry.expanded);
        if (dir.empty()) {
            entry.findings |= kFindingEmpty;
            return;
        }
        if (!is_absolute(dir)) {
            entry.findings |= kFindingRelative;
        } else if (const auto attributes = platform::file_attributes(dir); !attributes) {
            entry.findings |= kFindingMissing;
        } else if (!(*attributes & platform::kAttrDirectory)) {
            entry.findings |= kFindingFile;
        }
        const auto [first, is_new] =
            first_.try_emplace(pathlist_entry_key(dir), entry.scope, entry.position);
        if (!is_new) {
            entry.findings |= kFindingDuplicate;
            entry.duplicate_scope = first->second.first;
            entry.duplicate_position = first->second.second;
        }
    }

    EnvAudit& audit_;
    EnvVariables& variables_;
    // The first entry that names each directory, by pathlist_entry_key.
    std::unordered_map<std::string, std::pair<AuditScope, std::size_t>> first_;
};

bool absent(const RegResult& result) {
    return result.status == platform::kErrorFileNotFound ||
           result.status == platform::kErrorPathNotFound;
}

// The variable in one scope: 0 with `out` set, or left empty when the scope
// has no such variable; kAuditNotRead when it cannot be read as text.
int read_scope(std::optional<Source>& out, std::string_view name, Scope scope, Failure* failure,
               ChangeSession* session) {
    const EnvKey key = env_key(scope);
    RegValue value;
    const RegResult read = reg_read_value_at(value, key.root, key.subkey, name, session);
    if (!read.ok()) {
        if (absent(read)) return 0;
        return reg_fail(failure, kAuditNotRead, read, key.root, key.subkey, name);
    }
    if (!reg_value_is_text(value)) {
        return fail(failure, kAuditNotRead,
                    reg_key_name(key.root, key.subkey) + ": " + reg_value_label(name) + " is " +
                        reg_type_name(value.type) + ", not a text");
    }
    out = Source{scope == Scope::system ? AuditScope::system : AuditScope::user,
                 reg_value_text(value), value.type == platform::kRegExpandSz};
    return 0;
}

int audit_registry(EnvAudit& audit, std::string_view name, Failure* failure,
                   ChangeSession* session) {
    std::optional<Source> system;
    std::optional<Source> user;
    if (const int code = read_scope(system, name, Scope::system, failure, session)) return code;
    if (const int code = read_scope(user, name, Scope::user, failure, session)) return code;
    if (!system && !user) {
        return fail(
            failure, kAuditNotSet,
            std::string(name) + " is set in neither the system's nor the user's environment");
    }

    EnvVariables variables(true, session);
    Auditor auditor(audit, variables);
    // Windows joins the two Path lists at logon; of any other name the
    // user's value replaces the system's.
    if (platform::locale_compare_nocase(name, "Path") == 0) {
        if (system) auditor.add(*system);
        if (user) auditor.add(*user);
    } else if (user) {
        auditor.add(*user);
        if (system) {
            audit.hidden = HiddenValue{
                system->text, system->expands ? variables.expand(system->text) : system->text};
        }
    } else {
        auditor.add(*system);
    }
    return 0;
}

}  // namespace

std::size_t audit_entries_with_findings(const EnvAudit& audit) {
    std::size_t count = 0;
    for (const AuditEntry& entry : audit.entries)
        if (entry.findings != 0) ++count;
    return count;
}

int env_audit(EnvAudit& audit, std::string_view name, Failure* failure, ChangeSession* session) {
    audit = {};
    // An empty name would address the key's default value.
    if (name.empty()) return fail(failure, kAuditNotSet, "no variable name is given");
    const std::optional<platform::Family> family = platform::windows_family();
    if (!family) return fail(failure, kAuditNoFamily, "the Windows version cannot be determined");
    if (*family == platform::Family::nt) return audit_registry(audit, name, failure, session);

    // C:\AUTOEXEC.BAT sets the variables of the 9x family, and this process
    // got them as every program does.
    std::optional<std::string> value = platform::env_lookup(name);
    if (!value) {
        return fail(failure, kAuditNotSet,
                    std::string(name) + " is not set in the process environment");
    }
    EnvVariables variables(false);
    Auditor(audit, variables).add(Source{AuditScope::process, std::move(*value), false});
    return 0;
}

void pathlist_tidy(std::string& list, EnvVariables& variables) {
    std::string tidy;
    std::unordered_set<std::string> seen;
    for (const std::string_view entry : entries_of(list)) {
        std::string dir = without_quotes(entry);
        if (dir.empty()) continue;
        if (!seen.insert(pathlist_entry_key(without_quotes(variables.expand(dir)))).second)
            continue;
        if (!tidy.empty()) tidy += ';';
        tidy += dir;
    }
    assert(tidy.size() <= list.size());
    list = std::move(tidy);
}

}  // namespace qh
