// What %NAME% references in a stored environment value stand for when
// Windows builds a new program's environment at logon.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "registry/reg_session.h"

namespace qh {

// Whether the text holds a %NAME% reference: a name between two per cent
// signs, paired from the left as expansion pairs them ("%%" is none).
bool holds_reference(std::string_view text);

// The variables a reference may name, looked up on first use and kept for
// the life of the object: the system's persistent variables, then the
// user's, then the process environment, which holds those Windows sets
// itself (SystemRoot, USERPROFILE). A REG_EXPAND_SZ variable is itself
// expanded; a loop of references stops at the variable it came back to.
class EnvVariables {
  public:
    // `registry` false: the process environment alone, as on the 9x family.
    // Under a preview of `session`, the variables as its changes leave them.
    explicit EnvVariables(bool registry = true, ChangeSession* session = nullptr)
        : registry_(registry), session_(session) {}

    // `text` with every reference to an existing variable replaced by its
    // value; a reference to none stays as it is ("%NOPE%") and sets
    // *unknown, when given.
    std::string expand(std::string_view text, bool* unknown = nullptr);

  private:
    // The value of the variable, expanded; nothing when it exists nowhere.
    const std::optional<std::string>& value_of(std::string_view name);

    bool registry_;
    ChangeSession* session_;
    // Values by lower-cased name, as variable names ignore letter case.
    std::map<std::string, std::optional<std::string>, std::less<>> known_;
};

}  // namespace qh
