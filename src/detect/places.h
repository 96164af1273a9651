// Where a detection looks, so that a report of "nothing found" can say where
// it looked.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "registry/reg_latest.h"

namespace qh {

// The places a detection tried, in the order it first tried them, each once:
// registry keys as "HKEY_LOCAL_MACHINE\SOFTWARE\JavaSoft\JRE", followed by
// " (32-bit view)" when read in that view, and the command lines of the
// programs it asked ("findtexmf.exe tex.exe").
class PlacesTried {
  public:
    // Under a preview of `session`, the reads see the changes it keeps.
    explicit PlacesTried(ChangeSession* session = nullptr) : session_(session) {}
    ChangeSession* session() const { return session_; }
    // Appends the place unless it is listed already.
    void add(std::string place);
    // Notes the status of a registry call that failed. Only a failure of the
    // registry itself (a broken or locked store) counts, and the first one is
    // kept: a key that is not there is simply not found.
    void note_status(long status);
    // The first status noted that way; 0 while the registry answered.
    long registry_status() const { return registry_status_; }
    // "no <what> found (looked in <place>, <place>, ...)"; after a failure of
    // the registry itself "the registry could not be read: <why> (looked for
    // <what> in <place>, ...)", as nothing found there proves nothing.
    std::string not_found(std::string_view what) const;

  private:
    std::vector<std::string> places_;
    long registry_status_ = 0;
    ChangeSession* session_;
};

// A key that a detection reads: a subkey of a root, in one view.
struct RegistryPlace {
    platform::Root root;
    std::string subkey;
    View view = View::native;

    // "ROOT\subkey", as the latest-subkey lookup takes it.
    std::string path() const;
    // The path, with " (32-bit view)" in that view.
    std::string text() const;
};

// The views a key is looked for in, native first. Only keys below
// HKEY_LOCAL_MACHINE\SOFTWARE differ between the views; every other key is
// read once.
std::span<const View> views_of(platform::Root root, std::string_view subkey);

// The reads below note the status of a failed registry call in `tried`, and
// read nothing once the registry itself failed.

// The text of a string value at the place; nothing when it cannot be read.
std::optional<std::string> read_text_at(PlacesTried& tried, const RegistryPlace& place,
                                        std::string_view name);

// The text of a string value of the newest version subkey of the place, in
// version order (see reg_read_latest for `below` and `accepts`); nothing when
// it cannot be read.
std::optional<std::string> read_text_of_newest(PlacesTried& tried, const RegistryPlace& place,
                                               std::string_view name, std::string_view below = {},
                                               bool (*accepts)(std::string_view) = nullptr);

// The names of the subkeys at the place that `accepts` takes; none when the
// key cannot be opened.
std::vector<std::string> subkey_names_at(PlacesTried& tried, const RegistryPlace& place,
                                         bool (*accepts)(std::string_view name));

// Whether anything is at the path.
bool file_exists(std::string_view path);

// The names in `folder` that match `pattern` ("jdk*"), newest first: by the
// version order of the name from its first digit on ("jre-8" before
// "jdk-17"), then of the whole name.
std::vector<std::string> names_newest_first(std::string_view folder, std::string_view pattern);

}  // namespace qh
