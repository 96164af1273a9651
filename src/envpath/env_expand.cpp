#include "envpath/env_expand.h"

#include "common/switches.h"
#include "envpath/env_store.h"
#include "platform/platform.h"
#include "registry/reg_value.h"

namespace qh {

bool holds_reference(std::string_view text) {
    std::size_t open = text.find('%');
    while (open != std::string_view::npos) {
        const std::size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos) return false;
        if (close > open + 1) return true;
        open = text.find('%', close + 1);
    }
    return false;
}

namespace {

// The variable as stored in a scope: nothing when absent or not text.
std::optional<RegValue> stored_variable(Scope scope, std::string_view name,
                                        ChangeSession* session) {
    const EnvKey key = env_key(scope);
    RegValue value;
    if (!reg_read_value_at(value, key.root, key.subkey, name, session).ok() ||
        !reg_value_is_text(value))
        return std::nullopt;
    return value;
}

}  // namespace

std::string EnvVariables::expand(std::string_view text, bool* unknown) {
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t open = text.find('%', at);
        if (open == std::string_view::npos) break;
        const std::size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos) break;
        out.append(text.substr(at, open - at));
        const std::string_view name = text.substr(open + 1, close - open - 1);
        const std::optional<std::string>* value = name.empty() ? nullptr : &value_of(name);
        if (value && *value) {
            out += **value;
        } else {
            // Windows copies the reference and goes on after its second sign.
            out.append(text.substr(open, close - open + 1));
            if (value && unknown) *unknown = true;
        }
        at = close + 1;
    }
    out.append(text.substr(at));
    return out;
}

const std::optional<std::string>& EnvVariables::value_of(std::string_view name) {
    std::string key = platform::locale_lower(name);
    if (const auto found = known_.find(key); found != known_.end()) return found->second;
    // A reference back to this variable while its value expands finds the
    // text as stored, so a loop ends there.
    std::optional<std::string>& value = known_[std::move(key)];

    std::optional<RegValue> stored;
    if (registry_) {
        stored = stored_variable(Scope::system, name, session_);
        if (!stored) stored = stored_variable(Scope::user, name, session_);
    }
    if (!stored) {
        value = platform::env_lookup(name);
        return value;
    }
    value = reg_value_text(*stored);
    if (stored->type == platform::kRegExpandSz) {
        std::string expanded = expand(*value);
        value = std::move(expanded);
    }
    return value;
}

}  // namespace qh
