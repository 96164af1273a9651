#include "cli/report.h"

#include <string>

namespace qh {

void print_result_line(const Output& out, int result) {
    out(result == 0 ? "Succeeded in doing speicified operation(s)!\n"
                    : "Error: Failed to do speicified operation(s)!\n");
}

std::string escape_controls(std::string_view text) {
    constexpr char kDigits[] = "0123456789abcdef";
    constexpr unsigned char kDelete = 0x7f;
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != kDelete) {
            escaped.push_back(c);
        } else if (c == '\n') {
            escaped.append("\\n");
        } else if (c == '\r') {
            escaped.append("\\r");
        } else if (c == '\t') {
            escaped.append("\\t");
        } else {
            escaped.append("\\x").push_back(kDigits[byte >> 4]);
            escaped.push_back(kDigits[byte & 0xf]);
        }
    }
    return escaped;
}

void print_read(const Output& out, bool bare, std::string_view key, std::string_view value_name,
                std::string_view value_text) {
    if (bare) {
        out(value_text);
        return;
    }
    std::string text = "\n[";
    text.append(key).append("]\n").append(value_name).append("=").append(value_text);
    text.push_back('\n');
    out(text);
}

void print_latest(const Output& out, bool bare, std::string_view key, std::string_view latest_name,
                  std::string_view value_name, std::string_view value_text) {
    std::string text;
    if (bare) {
        text.append(latest_name).append("\n").append(value_text);
    } else {
        text = "\n[";
        text.append(key).append("\\").append(latest_name).append("]\n");
        text.append(value_name).append("=").append(value_text).append("\n");
    }
    out(text);
}

namespace {

std::string_view scope_word(AuditScope scope) {
    switch (scope) {
        case AuditScope::system:
            return "system";
        case AuditScope::user:
            return "user";
        case AuditScope::process:
            return "process";
    }
    return "";
}

// The words of each finding, in the order they are shown.
struct FindingWords {
    Finding finding;
    std::string_view words;
};
constexpr FindingWords kFindingWords[] = {
    {kFindingMissing, "missing"},     {kFindingFile, "file"},
    {kFindingDuplicate, "duplicate"}, {kFindingEmpty, "empty"},
    {kFindingQuoted, "quoted"},       {kFindingNotExpanded, "not expanded"},
    {kFindingRelative, "relative"},
};

std::string findings_text(const AuditEntry& entry) {
    std::string text;
    for (const FindingWords& f : kFindingWords) {
        if (!(entry.findings & f.finding)) continue;
        if (!text.empty()) text += ", ";
        text += f.words;
        if (f.finding == kFindingDuplicate) {
            text.append(" of ").append(scope_word(entry.duplicate_scope)).append(" ");
            text += std::to_string(entry.duplicate_position);
        }
    }
    return text;
}

}  // namespace

void print_audit(const Output& out, const EnvAudit& audit) {
    std::string text;
    for (const AuditEntry& entry : audit.entries) {
        text.append(scope_word(entry.scope)).append("\t");
        text.append(std::to_string(entry.position)).append("\t");
        text.append(entry.stored).append("\t").append(entry.expanded).append("\t");
        text.append(findings_text(entry)).append("\n");
    }
    if (audit.hidden) {
        text.append("system\t-\t").append(audit.hidden->stored).append("\t");
        text.append(audit.hidden->expanded).append("\thidden by the user value\n");
    }
    const std::size_t count = audit.entries.size();
    text.append(std::to_string(count)).append(count == 1 ? " entry, " : " entries, ");
    text.append(std::to_string(audit_entries_with_findings(audit))).append(" with findings, ");
    text.append("length ").append(std::to_string(audit.joined_length));
    text.append(" of ").append(std::to_string(kLargestEnvironmentValue));
    text.append(" (some programs cut beyond ")
        .append(std::to_string(kLengthSomeProgramsKeep))
        .append(")\n");
    out(text);
}

void print_miktex_report(const Output& out, MiktexOutcome outcome, std::string_view texmf,
                         std::string_view local_texmf) {
    if (outcome == MiktexOutcome::none) {
        out("No MiKTeX installation is detected!\n");
        return;
    }
    std::string text =
        outcome == MiktexOutcome::normal ? "Normal MiKTeX installation:\n" : "MiKTeX DirectCD:\n";
    text.append("TeXMF=").append(texmf).append("\nLocalTeXMF=").append(local_texmf).append("\n");
    out(text);
}

}  // namespace qh
