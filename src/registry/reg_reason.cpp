#include "registry/reg_reason.h"

#include <array>

#include "registry/reg_value.h"

namespace qh {

namespace {

// The roots that hold the machine's settings: only an administrator may
// change them.
bool is_machine_wide(Key root) {
    using platform::Root;
    for (const Root machine :
         {Root::local_machine, Root::users, Root::classes_root, Root::current_config}) {
        if (platform::root_key(machine) == root) return true;
    }
    return false;
}

// The clause for a status, with the advice that helps where it applies.
std::string status_reason(Key root, long status) {
    std::string text = reg_status_clause(status);
    if (status == platform::kErrorAccessDenied && is_machine_wide(root)) {
        text += "; run from an elevated prompt";
    }
    return text;
}

bool is_not_found(long status) {
    return status == platform::kErrorFileNotFound || status == platform::kErrorPathNotFound;
}

// The value type names, indexed by type number.
constexpr std::array<std::string_view, 12> kTypeNames = {
    "REG_NONE",
    "REG_SZ",
    "REG_EXPAND_SZ",
    "REG_BINARY",
    "REG_DWORD",
    "REG_DWORD_BIG_ENDIAN",
    "REG_LINK",
    "REG_MULTI_SZ",
    "REG_RESOURCE_LIST",
    "REG_FULL_RESOURCE_DESCRIPTOR",
    "REG_RESOURCE_REQUIREMENTS_LIST",
    "REG_QWORD",
};

}  // namespace

std::string reg_status_clause(long status) {
    std::string text = platform::status_message(status);
    if (!text.empty() && text.back() == '.') text.pop_back();
    // "Access" becomes "access", but an initialism such as "I/O" stays.
    if (text.size() >= 2 && text[0] >= 'A' && text[0] <= 'Z' && text[1] >= 'a' && text[1] <= 'z') {
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    }
    return text;
}

std::string reg_key_name(Key root, std::string_view subkey) {
    std::string name;
    for (std::size_t i = 0; i < platform::kRootNames.size(); ++i) {
        if (platform::root_key(static_cast<platform::Root>(i)) == root) {
            name = platform::kRootNames[i];
        }
    }
    name += '\\';
    name += subkey;
    return name;
}

std::string reg_path_reason(std::string_view path) {
    const std::size_t slash = path.find('\\');
    if (slash == std::string_view::npos) {
        return std::string(path) +
               " is not a registry path: a root key, a backslash and a subkey make one";
    }
    return std::string(path.substr(0, slash)) +
           " is not a registry root; name one in full, such as HKEY_LOCAL_MACHINE";
}

std::string reg_key_reason(Key root, std::string_view subkey, long status) {
    std::string text = reg_key_name(root, subkey) + ": ";
    if (is_not_found(status)) return text + "the key does not exist";
    return text + status_reason(root, status);
}

std::string reg_value_reason(Key root, std::string_view subkey, ValueName name, long status) {
    std::string text = reg_key_name(root, subkey) + ": " + reg_value_label(name);
    if (is_not_found(status)) return text + " does not exist";
    if (status == platform::kErrorMoreData) {
        return text + " is larger than " + std::to_string(kMaxValueRead) + " bytes";
    }
    return text + ": " + status_reason(root, status);
}

std::string reg_reason(const RegResult& result, Key root, std::string_view subkey, ValueName name) {
    switch (result.failed) {
        case RegStep::none:
            return {};
        case RegStep::key:
            return reg_key_reason(root, subkey, result.status);
        case RegStep::value:
            return reg_value_reason(root, subkey, name, result.status);
    }
    return {};
}

int reg_fail(Failure* failure, int code, const RegResult& result, Key root, std::string_view subkey,
             ValueName name) {
    return fail(failure, code, reg_reason(result, root, subkey, name), result.status);
}

std::string reg_value_label(ValueName name) {
    if (!name || name->empty()) return "the default value";
    return "the value " + std::string(*name);
}

std::optional<std::string_view> reg_known_type_name(std::uint32_t type) {
    if (type < kTypeNames.size()) return kTypeNames[type];
    return std::nullopt;
}

std::string reg_type_name(std::uint32_t type) {
    if (const auto known = reg_known_type_name(type)) return std::string(*known);
    return "type " + std::to_string(type);
}

}  // namespace qh
