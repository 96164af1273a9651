// The emulated registry: one SQLite connection for the process, with its
// schema, the seed of a fresh machine, the migration of older ones and the
// prepared statements the registry calls run. Keys are rows; a key handle is
// the row id. Names and the data of the string types are kept in UTF-16, as
// Windows keeps them; converting from and to a code page is the calls' job.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace qh::platform::posix {

using KeyId = std::int64_t;

// Row ids of the seven roots, in the order of platform::Root.
inline constexpr KeyId kFirstRootId = 1;
inline constexpr int kRootCount = 7;
static_assert(kRootCount == platform::kRootNames.size());

constexpr KeyId root_id(Root root) { return kFirstRootId + static_cast<KeyId>(root); }
constexpr bool is_root_id(KeyId key) {
    return key >= kFirstRootId && key < kFirstRootId + kRootCount;
}

// The current user's security identifier. HKEY_USERS\<it> is the user's hive,
// the same row as HKEY_CURRENT_USER.
inline constexpr std::u16string_view kUserSid = u"S-1-5-21-3623811015-3361044348-30300820-1001";

// What two names are compared by: every unit upper-cased, stored big-endian
// so that SQLite orders the blobs by code unit, as Windows orders subkeys.
std::string folded_name(std::u16string_view name);

// Marks registry.db as this tool's, so that another program's database found
// in its place is refused rather than changed.
inline constexpr std::int32_t kApplicationId = 0x5148564E;  // "QHVN"

class RegistryStore {
  public:
    using Clock = std::chrono::steady_clock;

    // The process's store, opened on first use: a fresh machine is created
    // and seeded, one of an earlier version is migrated and marked. Waits for
    // other runs' locks until `deadline` at the latest. nullptr when it cannot
    // be opened (another program's database, a corrupt file, a folder that
    // cannot be written, a lock held past the deadline); `status` then says
    // why, and a later call tries again.
    static RegistryStore* open(long& status, Clock::time_point deadline);
    // The same within the lock wait from now.
    static RegistryStore* open(long& status);
    // The store when it is open already; never opens it.
    static RegistryStore* opened();

    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;
    ~RegistryStore();

    bool key_exists(KeyId key);
    std::optional<KeyId> find_child(KeyId parent, std::u16string_view name);
    // Adds a child that does not exist yet; nothing on failure.
    std::optional<KeyId> add_child(KeyId parent, std::u16string_view name);
    // The name of child number `index` of `first` and `second` taken together
    // (0 for no key), in a stable order by upper-cased name; a name both hold
    // counts once, as `first` spells it.
    std::optional<std::u16string> child_name(KeyId first, KeyId second, std::int64_t index);
    // The hive the key lies in: the first root on the way up (itself for a
    // root, HKEY_CURRENT_USER below HKEY_USERS\<kUserSid>); nothing when the
    // key no longer exists.
    std::optional<KeyId> hive_of(KeyId key);
    // Removes the key with every key and value below it.
    bool delete_tree(KeyId key);

    struct Value {
        std::uint32_t type = 0;
        std::string data;
    };
    // False when there is no such value.
    bool value(KeyId key, std::u16string_view name, Value& out);
    bool has_value(KeyId key, std::u16string_view name);
    // Value number `index` of `first` and `second` taken together (0 for no
    // key): those of `first` in the order they were created, then those of
    // `second` whose names `first` lacks. False past the last one.
    bool value_at(KeyId first, KeyId second, std::int64_t index, std::u16string& name, Value& out);
    // False when the key no longer exists or the write fails. A replaced
    // value keeps its name and its place in the order.
    bool set_value(KeyId key, std::u16string_view name, std::uint32_t type, std::string_view data);
    // False when there was no such value, or the deletion failed.
    bool delete_value(KeyId key, std::u16string_view name);

    // Why the last statement that changes the store failed, as the system
    // reports the same faults of its own registry (a full disk, a lock not
    // had, a broken database, ...); 0 when it did not fail. A store that
    // cannot be opened at all fails every call with the status of open().
    long failure_status() const;

    // A unit of several statements: its own transaction outside an
    // operation scope, a savepoint inside one.
    bool unit_begin();
    bool unit_commit();
    void unit_rollback();

    // The operation scope (an immediate transaction); not nested. Begins
    // waiting at most `wait_ms` for another run's transaction to end;
    // kErrorSuccess, or the status of the failure.
    long scope_begin(std::uint32_t wait_ms);
    // Commits; kErrorSuccess, or the status of the failure after which
    // nothing done inside the scope stays.
    long scope_end();

  private:
    explicit RegistryStore(sqlite3* db) : db_(db) {}
    // The tables of a new machine, and the statements over them.
    bool create_schema();
    bool prepare_all();
    // Creates a fresh machine or migrates and marks an older one, waiting for
    // the lock until `deadline`; 0 or the status of the refusal.
    long ensure_schema(Clock::time_point deadline);
    // The rows of the roots, the user's hive below HKEY_USERS among them.
    bool add_roots();
    // The keys every Windows machine has; those missing are added.
    bool add_standard_keys();
    // The key at `path` below `key`, made with its parents when missing.
    std::optional<KeyId> make_path(KeyId key, std::u16string_view path);
    bool seed();
    // Takes over a machine of the previous version, whose names and string
    // data are bytes of code page 936 (store_migration.cpp).
    bool migrate_from_bytes();
    // Steps a statement that returns no rows; false when it failed.
    bool run(sqlite3_stmt* statement);
    // Keeps `rc` for failure_status(), and notes a scope that the failure
    // took with it; true when it is `wanted`.
    bool kept(int rc, int wanted);
    // Whether a failed statement inside the scope took the whole transaction
    // with it; then every later write of the scope must fail too, since it
    // would stand on its own.
    bool scope_lost();
    // Where the last enumeration of one key stopped, so that asking for the
    // next index continues there (an indexed step) rather than counting all
    // the rows before it again: callers walk a key from 0 upwards, and a
    // large key would cost time quadratic in its size.
    struct Cursor {
        KeyId key = 0;
        std::int64_t index = -1;
        std::string folded;    // children: the folded name returned last
        std::int64_t seq = 0;  // values: the seq returned last
    };
    // A change may move what an index names: the next enumeration counts
    // again.
    void forget_cursors();
    // The position to continue after for `index` of `key`, when it follows
    // the one returned last; the start for index 0.
    bool continues(const Cursor& cursor, KeyId key, std::int64_t index) const {
        return index == 0 || (cursor.key == key && cursor.index + 1 == index);
    }

    sqlite3* db_ = nullptr;
    Cursor child_cursor_;
    Cursor value_cursor_;
    bool in_scope_ = false;
    // Why the scope was lost, once it was.
    long scope_failure_ = 0;
    bool unit_is_savepoint_ = false;
    int last_step_ = SQLITE_OK;

    sqlite3_stmt* key_exists_ = nullptr;
    sqlite3_stmt* find_child_ = nullptr;
    sqlite3_stmt* add_child_ = nullptr;
    sqlite3_stmt* child_name_ = nullptr;
    sqlite3_stmt* child_after_ = nullptr;
    sqlite3_stmt* hive_of_ = nullptr;
    sqlite3_stmt* delete_tree_values_ = nullptr;
    sqlite3_stmt* delete_tree_keys_ = nullptr;
    sqlite3_stmt* value_ = nullptr;
    sqlite3_stmt* value_at_ = nullptr;
    sqlite3_stmt* value_after_ = nullptr;
    sqlite3_stmt* set_value_ = nullptr;
    sqlite3_stmt* delete_value_ = nullptr;
    sqlite3_stmt* begin_ = nullptr;
    sqlite3_stmt* commit_ = nullptr;
    sqlite3_stmt* rollback_ = nullptr;
    sqlite3_stmt* savepoint_ = nullptr;
    sqlite3_stmt* release_ = nullptr;
    sqlite3_stmt* rollback_to_ = nullptr;
};

}  // namespace qh::platform::posix
