// A variable as a newly started program gets it, entry by entry, with what
// is wrong in each entry; and the mending of a path list, which removes
// what the audit finds within one scope and nothing else.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.h"
#include "envpath/env_expand.h"

namespace qh {

// What is wrong with one entry: bits, in the order they are shown.
enum Finding : unsigned {
    kFindingMissing = 1u << 0,      // names no existing directory
    kFindingFile = 1u << 1,         // names a file, not a directory
    kFindingDuplicate = 1u << 2,    // the same directory as an earlier entry
    kFindingEmpty = 1u << 3,        // ";;", or a ';' at an end
    kFindingQuoted = 1u << 4,       // holds a double quote, which Windows keeps
    kFindingNotExpanded = 1u << 5,  // a %NAME% Windows leaves as it is
    kFindingRelative = 1u << 6,     // no drive root and no \\server
};

// Where an audited value comes from: one of the two environment keys, or,
// on the 9x family, the process environment.
enum class AuditScope { system, user, process };

struct AuditEntry {
    AuditScope scope = AuditScope::system;
    std::size_t position = 0;  // in its scope's list, from 1
    std::string stored;
    std::string expanded;
    unsigned findings = 0;  // Finding bits
    // The earlier entry it repeats, when kFindingDuplicate is set.
    AuditScope duplicate_scope = AuditScope::system;
    std::size_t duplicate_position = 0;
};

// A system value that a user value of the same name replaces.
struct HiddenValue {
    std::string stored;
    std::string expanded;
};

struct EnvAudit {
    // Path: the system's entries, then the user's; another name: the entries
    // of the one value a program gets.
    std::vector<AuditEntry> entries;
    std::optional<HiddenValue> hidden;
    // Of the value a program gets, its entries expanded and joined by ';'.
    std::size_t joined_length = 0;
};

// The lengths the joined value is measured against.
inline constexpr std::size_t kLengthSomeProgramsKeep = 2047;
inline constexpr std::size_t kLargestEnvironmentValue = 32767;

// How many entries have any finding.
std::size_t audit_entries_with_findings(const EnvAudit& audit);

// Codes of env_audit.
inline constexpr int kAuditNoFamily = 1;  // the Windows family cannot be asked
inline constexpr int kAuditNotSet = 2;    // the name is set in neither scope
inline constexpr int kAuditNotRead = 3;   // a value there cannot be read as text

// Fills `audit` for the variable `name`: on the NT family from the two
// environment keys (Path, letter case aside, joins both), on the 9x family
// from the process environment. 0, or a code above with its reason in
// `failure`, when given. Under a preview of `session`, the keys as its
// changes would leave them.
int env_audit(EnvAudit& audit, std::string_view name, Failure* failure = nullptr,
              ChangeSession* session = nullptr);

// Mends a path list in place: removes double quotes from every entry (no
// directory name holds one), drops empty entries and every entry that names
// the same directory as an earlier one after expansion by `variables`.
// Keeps the order and everything else, so the list never grows.
void pathlist_tidy(std::string& list, EnvVariables& variables);

}  // namespace qh
