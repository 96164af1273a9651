// What the latest-subkey and detection tests share: registry keys that are
// removed again, process variables and the current directory put back as
// they were, and the stand-in findtexmf on the search path.
// Under Wine the registry is the prefix's own, so nothing may be left behind.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "registry/reg_value.h"
#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace detect_test {

using qh::platform::Root;

// A key tree that a test builds: deleted at the end. A key the machine had
// before is never touched; the test that needs it skips instead.
class ScratchKey {
  public:
    ScratchKey(Root root, std::string subkey)
        : root_(root), subkey_(std::move(subkey)), existed_(qh_test::key_exists(root_, subkey_)) {}
    ~ScratchKey() {
        if (!existed_) qh::platform::reg_delete_tree(qh::platform::root_key(root_), subkey_);
    }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    bool existed_before() const { return existed_; }
    // A REG_SZ value under `relative` below this key; the key path is created.
    void set(std::string_view relative, qh::ValueName name, std::string_view text) const {
        ASSERT_TRUE(
            qh::reg_write_sz_at(text, qh::platform::root_key(root_), path(relative), name).ok());
    }
    void create(std::string_view relative) const {
        ASSERT_TRUE(qh::reg_create_key_at(qh::platform::root_key(root_), path(relative)).ok());
    }
    std::string path(std::string_view relative) const {
        return relative.empty() ? subkey_ : subkey_ + "\\" + std::string(relative);
    }

  private:
    Root root_;
    std::string subkey_;
    bool existed_;
};

// Sets or unsets a process variable for the span of a test.
class EnvRestorer {
  public:
    explicit EnvRestorer(std::string name)
        : name_(std::move(name)), saved_(qh::platform::env_lookup(name_)) {}
    ~EnvRestorer() {
        if (saved_) {
            qh_test::set_env(name_, *saved_);
        } else {
            qh_test::unset_env(name_);
        }
    }
    EnvRestorer(const EnvRestorer&) = delete;
    EnvRestorer& operator=(const EnvRestorer&) = delete;

    const std::optional<std::string>& saved() const { return saved_; }
    void set(std::string_view value) const { qh_test::set_env(name_, value); }
    void unset() const { qh_test::unset_env(name_); }

  private:
    std::string name_;
    std::optional<std::string> saved_;
};

// Returns to the current directory of the test's start.
class DirectoryRestorer {
  public:
    DirectoryRestorer() : saved_(qh::platform::current_directory()) {}
    ~DirectoryRestorer() {
        if (saved_) qh_test::change_directory(*saved_);
    }
    DirectoryRestorer(const DirectoryRestorer&) = delete;
    DirectoryRestorer& operator=(const DirectoryRestorer&) = delete;

  private:
    std::optional<std::string> saved_;
};

// The stand-in findtexmf of the test build, first on the search path; each
// answer is what it prints for one file name, none prints nothing.
class FindtexmfStandIn {
  public:
    FindtexmfStandIn()
        : path_("PATH"), tex_("QH_FINDTEXMF_TEX_EXE"), psfonts_("QH_FINDTEXMF_PSFONTS_T1_MAP") {
        const std::string host_dir = QH_FINDTEXMF_DIR;
        std::string dir = host_dir;
        char separator = ':';
        if (!qh_test::on_emulated_machine()) {
            // Under Wine the host's / is drive Z:.
            std::replace(dir.begin(), dir.end(), '/', '\\');
            dir = "Z:" + dir;
            separator = ';';
        }
        path_.set(path_.saved() ? dir + separator + *path_.saved() : dir);
        tex_.unset();
        psfonts_.unset();
    }
    void answer_tex(std::string_view line) const { answer(tex_, line); }
    void answer_psfonts(std::string_view line) const { answer(psfonts_, line); }

  private:
    static void answer(const EnvRestorer& variable, std::string_view line) {
        if (line.empty()) {
            variable.unset();
        } else {
            variable.set(line);
        }
    }
    EnvRestorer path_;
    EnvRestorer tex_;
    EnvRestorer psfonts_;
};

// Replaces every "{T}" of a case's text by a test's directory.
inline std::string expand(std::string_view text, std::string_view tree) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.substr(i, 3) == "{T}") {
            result += tree;
            i += 2;
        } else {
            result += text[i];
        }
    }
    return result;
}

}  // namespace detect_test
