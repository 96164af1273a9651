// Registry services over advapi32 and shlwapi.
#include <windows.h>
// needs the types of windows.h first
#include <shlwapi.h>

#include <algorithm>
#include <iterator>
#include <limits>
#include <optional>

#include "platform/platform.h"
#include "platform/win32/text_args.h"

namespace qh::platform {
namespace {

using win32::whole_c_text;

HKEY to_hkey(Key key) { return reinterpret_cast<HKEY>(key.handle); }
Key to_key(HKEY hkey) { return Key{reinterpret_cast<std::uintptr_t>(hkey)}; }

// Each root with its handle, paired by name: the handles are no constants
// whose order a static_assert could check.
struct RootHandle {
    Root root;
    HKEY hkey;
};
const RootHandle kRootHandles[] = {
    {Root::classes_root, HKEY_CLASSES_ROOT},
    {Root::current_user, HKEY_CURRENT_USER},
    {Root::local_machine, HKEY_LOCAL_MACHINE},
    {Root::users, HKEY_USERS},
    {Root::performance_data, HKEY_PERFORMANCE_DATA},
    {Root::current_config, HKEY_CURRENT_CONFIG},
    {Root::dyn_data, HKEY_DYN_DATA},
};
static_assert(std::size(kRootHandles) == kRootNames.size());

bool is_root(Key key) {
    return std::any_of(std::begin(kRootHandles), std::end(kRootHandles),
                       [key](const RootHandle& known) { return known.hkey == to_hkey(key); });
}

// The default value is asked for by a null name; an empty name means the same.
struct NameArg {
    bool valid = true;
    std::string text;
    bool is_default = true;
    const char* get() const { return is_default ? nullptr : text.c_str(); }
};

NameArg name_arg(ValueName name) {
    NameArg arg;
    if (!name || name->empty()) return arg;
    auto text = whole_c_text(*name);
    if (!text) return NameArg{false, {}, true};
    arg.text = std::move(*text);
    arg.is_default = false;
    return arg;
}

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the W calls take UTF-16");

// A zero-terminated copy for a W call, or nothing when the text holds a zero
// unit: the call would act on a shorter name than was asked.
std::optional<std::wstring> whole_wide_text(std::u16string_view text) {
    if (text.find(u'\0') != std::u16string_view::npos) return std::nullopt;
    return std::wstring(text.begin(), text.end());
}

struct WideNameArg {
    bool valid = true;
    std::wstring text;
    bool is_default = true;
    const wchar_t* get() const { return is_default ? nullptr : text.c_str(); }
};

WideNameArg wide_name_arg(WideName name) {
    WideNameArg arg;
    if (!name || name->empty()) return arg;
    auto text = whole_wide_text(*name);
    if (!text) return WideNameArg{false, {}, true};
    arg.text = std::move(*text);
    arg.is_default = false;
    return arg;
}

template <typename Open>
long open_wide_with(Key parent, std::u16string_view subkey, Key& out, Open open) {
    out = Key{};
    const auto sub = whole_wide_text(subkey);
    if (!sub) return kErrorInvalidParameter;
    HKEY opened = nullptr;
    const long status = open(to_hkey(parent), sub->c_str(), &opened);
    if (status == ERROR_SUCCESS) out = to_key(opened);
    return status;
}

template <typename Open>
long open_with(Key parent, std::string_view subkey, Key& out, Open open) {
    out = Key{};
    const auto sub = whole_c_text(subkey);
    if (!sub) return kErrorInvalidParameter;
    HKEY opened = nullptr;
    const long status = open(to_hkey(parent), sub->c_str(), &opened);
    if (status == ERROR_SUCCESS) out = to_key(opened);
    return status;
}

}  // namespace

Key root_key(Root root) {
    for (const RootHandle& known : kRootHandles) {
        if (known.root == root) return to_key(known.hkey);
    }
    return Key{};
}

long reg_open_key(Key parent, std::string_view subkey, Key& out, View view) {
    const REGSAM access = view == View::wow32 ? KEY_READ | KEY_WOW64_32KEY : KEY_READ;
    return open_with(parent, subkey, out, [access](HKEY p, const char* s, HKEY* h) {
        return RegOpenKeyExA(p, s, 0, access, h);
    });
}

long reg_create_key_ex(Key parent, std::string_view subkey, Key& out) {
    return open_with(parent, subkey, out, [](HKEY p, const char* s, HKEY* h) {
        return RegCreateKeyExA(p, s, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                               h, nullptr);
    });
}

long reg_create_key(Key parent, std::string_view subkey, Key& out) {
    return open_with(parent, subkey, out,
                     [](HKEY p, const char* s, HKEY* h) { return RegCreateKeyA(p, s, h); });
}

long reg_query_value(Key key, ValueName name, std::uint32_t& type, std::string& data,
                     std::size_t capacity) {
    const NameArg value_name = name_arg(name);
    if (!value_name.valid) return kErrorInvalidParameter;
    const std::size_t limit = std::min<std::size_t>(capacity, std::numeric_limits<DWORD>::max());
    // The size asked first may overstate what an ANSI read needs, so the
    // buffer never goes beyond the capacity and the read itself decides.
    // A value growing between the two calls is asked again, a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD needed = 0;
        long status =
            RegQueryValueExA(to_hkey(key), value_name.get(), nullptr, nullptr, nullptr, &needed);
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return status;
        const std::size_t room = std::min<std::size_t>(needed, limit);
        std::string buffer(room, '\0');
        DWORD size = static_cast<DWORD>(room);
        DWORD value_type = REG_NONE;
        status = RegQueryValueExA(to_hkey(key), value_name.get(), nullptr, &value_type,
                                  reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (status == ERROR_MORE_DATA) {
            if (room >= limit) return kErrorMoreData;
            continue;
        }
        if (status != ERROR_SUCCESS) return status;
        buffer.resize(std::min<std::size_t>(size, room));
        data = std::move(buffer);
        type = value_type;
        return kErrorSuccess;
    }
    return kErrorMoreData;
}

long reg_set_value(Key key, ValueName name, std::uint32_t type, std::string_view data) {
    const NameArg value_name = name_arg(name);
    if (!value_name.valid) return kErrorInvalidParameter;
    if (data.size() > std::numeric_limits<DWORD>::max()) return kErrorInvalidParameter;
    static const BYTE kNoBytes[1] = {0};
    const BYTE* bytes = data.empty() ? kNoBytes : reinterpret_cast<const BYTE*>(data.data());
    return RegSetValueExA(to_hkey(key), value_name.get(), 0, type, bytes,
                          static_cast<DWORD>(data.size()));
}

long reg_delete_value(Key key, ValueName name) {
    const NameArg value_name = name_arg(name);
    if (!value_name.valid) return kErrorInvalidParameter;
    return RegDeleteValueA(to_hkey(key), value_name.get());
}

long reg_enum_key(Key key, std::uint32_t index, std::string& name, std::size_t capacity) {
    // A key name is at most 255 characters, a few bytes each in a
    // multibyte code page; more room than that is never needed.
    constexpr std::size_t kLongestName = 1024;
    const std::size_t room = std::min(capacity, kLongestName) + 1;
    std::string buffer(room, '\0');
    DWORD length = static_cast<DWORD>(room);
    const long status = RegEnumKeyExA(to_hkey(key), index, buffer.data(), &length, nullptr, nullptr,
                                      nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status;
    buffer.resize(length);
    name = std::move(buffer);
    return kErrorSuccess;
}

void reg_close_key(Key key) {
    if (!key || is_root(key)) return;
    RegCloseKey(to_hkey(key));
}

long reg_delete_tree(Key parent, std::string_view subkey) {
    // An empty subkey would ask to empty the parent itself, a whole hive
    // when the parent is a root: never wanted here.
    if (subkey.empty()) return kErrorInvalidParameter;
    const auto sub = whole_c_text(subkey);
    if (!sub) return kErrorInvalidParameter;
    return static_cast<long>(SHDeleteKeyA(to_hkey(parent), sub->c_str()));
}

long reg_open_key_wide(Key parent, std::u16string_view subkey, Key& out, View view) {
    const REGSAM access = view == View::wow32 ? KEY_READ | KEY_WOW64_32KEY : KEY_READ;
    return open_wide_with(parent, subkey, out, [access](HKEY p, const wchar_t* s, HKEY* h) {
        return RegOpenKeyExW(p, s, 0, access, h);
    });
}

long reg_create_key_wide(Key parent, std::u16string_view subkey, Key& out) {
    return open_wide_with(parent, subkey, out, [](HKEY p, const wchar_t* s, HKEY* h) {
        return RegCreateKeyExW(p, s, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                               h, nullptr);
    });
}

long reg_query_value_wide(Key key, WideName name, std::uint32_t& type, std::string& data,
                          std::size_t capacity) {
    const WideNameArg value_name = wide_name_arg(name);
    if (!value_name.valid) return kErrorInvalidParameter;
    const std::size_t limit = std::min<std::size_t>(capacity, std::numeric_limits<DWORD>::max());
    // A value growing between the two calls is asked again, a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD needed = 0;
        long status =
            RegQueryValueExW(to_hkey(key), value_name.get(), nullptr, nullptr, nullptr, &needed);
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return status;
        if (needed > limit) return kErrorMoreData;
        std::string buffer(needed, '\0');
        DWORD size = needed;
        DWORD value_type = REG_NONE;
        status = RegQueryValueExW(to_hkey(key), value_name.get(), nullptr, &value_type,
                                  reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return status;
        buffer.resize(std::min<std::size_t>(size, buffer.size()));
        data = std::move(buffer);
        type = value_type;
        return kErrorSuccess;
    }
    return kErrorMoreData;
}

long reg_set_value_wide(Key key, WideName name, std::uint32_t type, std::string_view data) {
    const WideNameArg value_name = wide_name_arg(name);
    if (!value_name.valid) return kErrorInvalidParameter;
    if (data.size() > std::numeric_limits<DWORD>::max()) return kErrorInvalidParameter;
    static const BYTE kNoBytes[1] = {0};
    const BYTE* bytes = data.empty() ? kNoBytes : reinterpret_cast<const BYTE*>(data.data());
    return RegSetValueExW(to_hkey(key), value_name.get(), 0, type, bytes,
                          static_cast<DWORD>(data.size()));
}

long reg_delete_value_wide(Key key, WideName name) {
    const WideNameArg value_name = wide_name_arg(name);
    if (!value_name.valid) return kErrorInvalidParameter;
    return RegDeleteValueW(to_hkey(key), value_name.get());
}

long reg_enum_key_wide(Key key, std::uint32_t index, std::u16string& name) {
    // A key name is at most 255 characters.
    wchar_t buffer[256];
    DWORD length = 256;
    const long status =
        RegEnumKeyExW(to_hkey(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status;
    name.assign(buffer, buffer + length);
    return kErrorSuccess;
}

long reg_enum_value_wide(Key key, std::uint32_t index, std::u16string& name, std::uint32_t& type,
                         std::string& data) {
    // A value name is at most 16383 characters; the data's size is asked
    // first, and again should the value grow meanwhile.
    std::wstring name_buffer(16384, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD name_length = static_cast<DWORD>(name_buffer.size());
        DWORD size = 0;
        long status = RegEnumValueW(to_hkey(key), index, name_buffer.data(), &name_length, nullptr,
                                    nullptr, nullptr, &size);
        if (status != ERROR_SUCCESS) return status;
        std::string buffer(size, '\0');
        name_length = static_cast<DWORD>(name_buffer.size());
        DWORD value_type = REG_NONE;
        status = RegEnumValueW(to_hkey(key), index, name_buffer.data(), &name_length, nullptr,
                               &value_type, reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return status;
        buffer.resize(std::min<std::size_t>(size, buffer.size()));
        name.assign(name_buffer.begin(), name_buffer.begin() + name_length);
        type = value_type;
        data = std::move(buffer);
        return kErrorSuccess;
    }
    return kErrorMoreData;
}

}  // namespace qh::platform
