#include "cli/report.h"

#include <string>

namespace qh {

void print_result_line(const Output& out, int result) {
    out(result == 0 ? "Succeeded in doing speicified operation(s)!\n"
                    : "Error: Failed to do speicified operation(s)!\n");
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
