// The emulated registry: one SQLite connection for the process, with its
// schema, the seed of a fresh machine and the prepared statements the
// registry calls run. Keys are rows; a key handle is the row id.
#pragma once

#include <sqlite3.h>

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

// Letter case aside, names are equal when their ASCII-lower-cased bytes are.
std::string fold_name(std::string_view name);

// Marks registry.db as this tool's, so that another program's database found
// in its place is refused rather than changed.
inline constexpr std::int32_t kApplicationId = 0x5148564E;  // "QHVN"

class RegistryStore {
  public:
    // The process's store, opened on first use: a fresh machine is created
    // and seeded, one made before stores were marked is marked and used.
    // nullptr when it cannot be opened (another program's database, a
    // corrupt file, a folder that cannot be written); `status` then says
    // why, and a later call tries again.
    static RegistryStore* open(long& status);
    // The store when it is open already; never opens it.
    static RegistryStore* opened();

    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;
    ~RegistryStore();

    bool key_exists(KeyId key);
    std::optional<KeyId> find_child(KeyId parent, std::string_view name);
    // Adds a child that does not exist yet; nothing on failure.
    std::optional<KeyId> add_child(KeyId parent, std::string_view name);
    // The name of child number `index` in a stable order (by folded name).
    std::optional<std::string> child_name(KeyId parent, std::int64_t index);
    // The root the key lies below (itself for a root); nothing when the key
    // no longer exists.
    std::optional<KeyId> root_of(KeyId key);
    // Removes the key with every key and value below it.
    bool delete_tree(KeyId key);

    struct Value {
        std::uint32_t type = 0;
        std::string data;
    };
    enum class Lookup { found, missing, too_large };
    // Fills `out` only when the value holds at most `capacity` bytes.
    Lookup value(KeyId key, std::string_view name, std::size_t capacity, Value& out);
    // False when the key no longer exists or the write fails.
    bool set_value(KeyId key, std::string_view name, std::uint32_t type, std::string_view data);
    // False when there was no such value, or the deletion failed.
    bool delete_value(KeyId key, std::string_view name);

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
    bool prepare_all();
    // Creates a fresh machine or marks one of the previous version; 0 or the
    // status of the refusal.
    long ensure_schema();
    bool seed();
    // Steps a statement that returns no rows; false when it failed.
    bool run(sqlite3_stmt* statement);
    // Keeps `rc` for failure_status(), and notes a scope that the failure
    // took with it; true when it is `wanted`.
    bool kept(int rc, int wanted);
    // Whether a failed statement inside the scope took the whole transaction
    // with it; then every later write of the scope must fail too, since it
    // would stand on its own.
    bool scope_lost();
    sqlite3* db_ = nullptr;
    bool in_scope_ = false;
    // Why the scope was lost, once it was.
    long scope_failure_ = 0;
    bool unit_is_savepoint_ = false;
    int last_step_ = SQLITE_OK;

    sqlite3_stmt* key_exists_ = nullptr;
    sqlite3_stmt* find_child_ = nullptr;
    sqlite3_stmt* add_child_ = nullptr;
    sqlite3_stmt* child_name_ = nullptr;
    sqlite3_stmt* root_of_ = nullptr;
    sqlite3_stmt* delete_tree_values_ = nullptr;
    sqlite3_stmt* delete_tree_keys_ = nullptr;
    sqlite3_stmt* value_ = nullptr;
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
