#include "detect/places.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "envpath/path_text.h"
#include "platform/platform.h"
#include "registry/reg_reason.h"
#include "registry/reg_session.h"

namespace qh {

namespace {

constexpr std::array<View, 2> kBothViews = {View::native, View::wow32};

bool starts_with_ascii_nocase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto a = static_cast<unsigned char>(text[i]);
        const auto b = static_cast<unsigned char>(prefix[i]);
        if (std::tolower(a) != std::tolower(b)) return false;
    }
    return true;
}

// From the first digit on: where the version starts in "jdk-17.0.9".
std::string_view version_part(std::string_view name) {
    const std::size_t first_digit = name.find_first_of("0123456789");
    return first_digit == std::string_view::npos ? std::string_view() : name.substr(first_digit);
}

bool newer_name(std::string_view a, std::string_view b) {
    const std::string_view a_version = version_part(a);
    const std::string_view b_version = version_part(b);
    if (a_version != b_version)
        return latest_name_greater(a_version, b_version, NameOrder::version);
    return latest_name_greater(a, b, NameOrder::version);
}

}  // namespace

void PlacesTried::add(std::string place) {
    if (std::find(places_.begin(), places_.end(), place) == places_.end()) {
        places_.push_back(std::move(place));
    }
}

void PlacesTried::note_status(long status) {
    if (registry_status_ == 0 && reg_status_is_store_failure(status)) registry_status_ = status;
}

std::string PlacesTried::not_found(std::string_view what) const {
    std::string text =
        registry_status_ == 0
            ? "no " + std::string(what) + " found (looked in "
            : "the registry could not be read: " + reg_status_clause(registry_status_) +
                  " (looked for " + std::string(what) + " in ";
    for (std::size_t i = 0; i < places_.size(); ++i) {
        if (i > 0) text += ", ";
        text += places_[i];
    }
    return text + ")";
}

std::string RegistryPlace::path() const {
    return std::string(platform::kRootNames[static_cast<std::size_t>(root)]) + "\\" + subkey;
}

std::string RegistryPlace::text() const {
    return view == View::wow32 ? path() + " (32-bit view)" : path();
}

std::span<const View> views_of(platform::Root root, std::string_view subkey) {
    constexpr std::string_view kSoftware = "SOFTWARE";
    const bool redirected = root == platform::Root::local_machine &&
                            starts_with_ascii_nocase(subkey, kSoftware) &&
                            (subkey.size() == kSoftware.size() || subkey[kSoftware.size()] == '\\');
    return std::span<const View>(kBothViews).first(redirected ? 2 : 1);
}

std::optional<std::string> read_text_at(PlacesTried& tried, const RegistryPlace& place,
                                        std::string_view name) {
    // Once the registry itself failed, every further read would wait for it
    // in vain.
    if (tried.registry_status() != 0) return std::nullopt;
    RegValue value;
    RegResult result;
    // The changes a preview keeps are of the native view.
    if (tried.session() && tried.session()->preview() && place.view == View::native) {
        result = reg_read_value_at(value, platform::root_key(place.root), place.subkey, name,
                                   tried.session());
    } else {
        const OwnedKey key =
            reg_open_for_reading(platform::root_key(place.root), place.subkey, place.view);
        result = key.result();
        if (key) result = reg_read_value(value, key.get(), name);
    }
    if (!result.ok()) {
        tried.note_status(result.status);
        return std::nullopt;
    }
    return reg_value_text(value);
}

std::optional<std::string> read_text_of_newest(PlacesTried& tried, const RegistryPlace& place,
                                               std::string_view name, std::string_view below,
                                               bool (*accepts)(std::string_view)) {
    if (tried.registry_status() != 0) return std::nullopt;
    RegValue value;
    std::string latest_name;
    const LatestLookup lookup{NameOrder::version, place.view, below, accepts};
    Failure failure;
    if (reg_read_latest(value, latest_name, place.path(), name, &failure, lookup,
                        tried.session()) != 0) {
        tried.note_status(failure.status);
        return std::nullopt;
    }
    return reg_value_text(value);
}

std::vector<std::string> subkey_names_at(PlacesTried& tried, const RegistryPlace& place,
                                         bool (*accepts)(std::string_view name)) {
    if (tried.registry_status() != 0) return {};
    if (tried.session() && tried.session()->preview() && place.view == View::native)
        return reg_subkey_names_previewed(*tried.session()->preview(),
                                          platform::root_key(place.root), place.subkey, accepts)
            .value_or(std::vector<std::string>());
    const OwnedKey key =
        reg_open_for_reading(platform::root_key(place.root), place.subkey, place.view);
    if (!key) {
        tried.note_status(key.result().status);
        return {};
    }
    return reg_subkey_names(key.get(), accepts);
}

bool file_exists(std::string_view path) {
    return platform::find_first_attributes(path).has_value();
}

std::vector<std::string> names_newest_first(std::string_view folder, std::string_view pattern) {
    std::vector<std::string> names = platform::find_names(path_join(folder, pattern));
    std::sort(names.begin(), names.end(), newer_name);
    return names;
}

}  // namespace qh
