// A run's record of what it changes. Every change the tool makes to the
// registry is announced here first; the session keeps the run's journal, a
// registry file that, imported, puts back what the run changed, however far
// it got.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "registry/reg_journal.h"
#include "registry/reg_path.h"
#include "registry/reg_preview.h"
#include "registry/reg_result.h"
#include "registry/reg_stored.h"

namespace qh {

class ChangeSession {
  public:
    // Journals go into `folder` (a Windows path; empty: none can be had, and
    // every change is refused), or nowhere when it is nothing.
    explicit ChangeSession(std::optional<std::string> folder);

    // The first line of a journal begun from now on, after the header
    // (";..." comment text without the ';').
    void set_heading(std::u16string heading) { heading_ = std::move(heading); }

    // Before a value of the open key `key` (at `root`\`subkey`) is set or
    // deleted. Done when the change may be made; failed (the key step,
    // with the status) when the journal cannot record it.
    RegResult before_value(Key key, Key root, std::u16string_view subkey, std::u16string_view name);
    // After the change: what the run left (`left`, when the caller knows
    // the bytes it stored), else read from `key`.
    void after_value(Key key, Key root, std::u16string_view subkey, std::u16string_view name,
                     const std::optional<StoredView>& left, bool known);
    // Before a key is created, with its missing parents; done or failed as
    // before_value. `creates` tells whether anything is missing, so that
    // after_key follows.
    RegResult before_key_created(Key root, std::u16string_view subkey, bool& creates);
    // Before a key is deleted with everything below it.
    RegResult before_key_deleted(Key root, std::u16string_view subkey);
    // After a key was created or deleted: whether it is there now (`there`,
    // when the caller knows; else looked up).
    void after_key(Key root, std::u16string_view subkey, std::optional<bool> there = std::nullopt);

    // Before a file (C:\AUTOEXEC.BAT) is written: its former content is
    // kept beside the journal, the first time. Done or failed as
    // before_value.
    RegResult before_file(std::string_view path);
    // After the file was written: what the run left of it.
    void after_file(std::string_view path);

    // Before the registry keeps an operation's changes: where it keeps them
    // only then (the emulated machine), the journal is put on the disk.
    void operation_done();
    // Puts what the journal holds so far on the disk: at the end of the run.
    void sync();

    // From now on nothing is changed: the changes are shown on `out` and
    // kept in memory (reg_preview.h), and the journal records nothing.
    void begin_preview(std::function<void(std::string_view)> out) {
        preview_.emplace(std::move(out));
    }
    // The preview, once begun; none while changes are made.
    ChangePreview* preview() { return preview_ ? &*preview_ : nullptr; }

    // The folder, or nothing when journals are off.
    const std::optional<std::string>& folder() const { return folder_; }
    // The journal's file name; empty while nothing was changed.
    const std::string& journal_name() const { return journal_.name(); }
    // Why changes are refused, once the journal failed; empty before.
    const std::string& failure() const { return failure_; }

  private:
    RegResult start();
    RegResult refuse(long status, std::string_view what);
    // Writes a record of what is about to change; false when it failed.
    bool record(std::u16string_view comment, const std::u16string& key_id,
                std::u16string_view body);
    // The recorded key whose whole content the journal puts back, at or
    // above the key; nothing when there is none.
    std::optional<std::u16string> covering(std::u16string_view key_id) const;
    // Writes what the run left below each recorded key it changed since.
    void write_trees();

    struct Tree;
    // The key of the last value change, worked out once for its many values.
    struct KeyNames {
        bool valid = false;
        Key root;
        std::u16string subkey;
        std::u16string name;    // change_key_name
        std::u16string id;      // change_key_id
        std::u16string quoted;  // the name between quotes
        std::optional<std::u16string> covering;
        std::uint64_t id_digest = 0;  // of `id`, as change_value_digest begins
        Tree* tree = nullptr;         // of `covering`, once looked up
    };
    const KeyNames& key_names(Key root, std::u16string_view subkey);

    std::optional<std::string> folder_;
    std::optional<ChangePreview> preview_;
    // Where the registry keeps changes at once, each record reaches the
    // system before its change; else before the operation's changes are kept.
    bool records_at_once_;
    KeyNames last_key_;
    std::u16string line_;  // reused for each value's line
    std::u16string heading_;
    JournalFile journal_;
    std::string failure_;
    long failed_status_ = 0;
    // Values (key id, a zero unit, folded name) and keys already recorded.
    std::unordered_set<std::u16string> touched_;
    // Keys whose whole content the journal puts back (created or deleted).
    std::unordered_set<std::u16string> covered_;
    // Below each key whose content the journal puts back, the values the run
    // left (value id: digest), written as one line per key when an
    // operation ends rather than a line per value.
    struct Tree {
        std::u16string name;
        Key root;
        std::u16string subkey;
        // What the run set or deleted below it, in order: digests of the
        // value's id and of the value.
        struct Entry {
            std::uint64_t id;
            std::uint64_t digest;
            bool present;
        };
        std::vector<Entry> entries;
        bool recount = false;  // a key below was deleted: counted in the registry
        bool unknown = false;  // a value could not be read back
        bool changed = false;
    };
    Tree& tree_for(const std::u16string& key_id, Key root, std::u16string_view subkey,
                   std::u16string name);
    std::unordered_map<std::u16string, Tree> trees_;
    // Each record's key id and body, for the deletion of a key above it.
    struct Record {
        std::u16string key_id;
        std::u16string body;
    };
    std::vector<Record> records_;
};

// The full name of a key as the journal writes it: the root's full name and
// the subkey's names, empty components left out.
std::u16string change_key_name(Key root, std::u16string_view subkey);
// The same with ASCII letters lower-cased: equal for the same key.
std::u16string change_key_id(Key root, std::u16string_view subkey);
// The whole content of a file, or nothing when it cannot be read (or is
// not there, `exists` then false).
std::optional<std::string> change_file_content(std::string_view path, bool& exists);
// What a file is, as change_state gives it for its content: "absent" when it
// is not there, "unknown" when it cannot be read.
std::u16string change_file_state(std::string_view path);

// The digest of a value below a recorded key, `value_id` being its key's
// change_key_id, a zero unit and its name lower-cased as there.
std::uint64_t change_value_digest(std::u16string_view value_id, std::uint32_t type,
                                  std::string_view data);
// What a recorded key holds, for comparing it later: the number of values
// below it and the sum of their digests.
std::u16string change_tree_state(std::size_t count, std::uint64_t sum);
// The same for the key as the registry has it now (none: no values);
// nothing when it cannot be read.
std::optional<std::u16string> change_tree_state_of(Key root, std::u16string_view subkey);

// What a value is, for comparing it later: "absent", or its type and a
// digest of its bytes.
std::u16string change_state(const std::optional<StoredView>& value);

}  // namespace qh
