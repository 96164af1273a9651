#include "platform/posix/registry_store.h"

#include <sys/stat.h>

#include <array>
#include <cassert>
#include <memory>

#include "platform/lock_wait.h"
#include "platform/platform.h"
#include "platform/posix/machine.h"

namespace qh::platform::posix {
namespace {

constexpr int kSchemaVersion = 1;

// A failed SQLite call as the system reports the same fault of its own
// registry (a full disk, a lock not had, a broken database, ...).
long status_of(int sqlite_code) {
    switch (sqlite_code & 0xff) {
        case SQLITE_FULL:
            return kErrorDiskFull;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return kErrorLockViolation;
        case SQLITE_READONLY:
            return kErrorCantWrite;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return kErrorBadDb;
        case SQLITE_NOMEM:
            return kErrorOutOfMemory;
        default:
            return kErrorRegistryIoFailed;
    }
}

// Binds the parameters of one execution and resets the statement afterwards,
// so a cached statement is always ready for its next use.
class Use {
  public:
    explicit Use(sqlite3_stmt* statement) : statement_(statement) {}
    ~Use() { sqlite3_reset(statement_); }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

    Use& bind(int index, std::int64_t number) {
        sqlite3_bind_int64(statement_, index, number);
        return *this;
    }
    Use& bind(int index, std::string_view bytes) {
        // A null pointer would bind NULL rather than an empty blob.
        if (bytes.empty())
            sqlite3_bind_zeroblob(statement_, index, 0);
        else
            sqlite3_bind_blob64(statement_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
        return *this;
    }
    int step() { return sqlite3_step(statement_); }
    std::int64_t number(int column) { return sqlite3_column_int64(statement_, column); }
    std::string_view bytes(int column) {
        const void* data = sqlite3_column_blob(statement_, column);
        const int size = sqlite3_column_bytes(statement_, column);
        if (!data || size <= 0) return {};
        return {static_cast<const char*>(data), static_cast<std::size_t>(size)};
    }

  private:
    sqlite3_stmt* statement_;
};

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The number a one-row pragma or query gives; nothing when it fails.
std::optional<std::int64_t> query_number(sqlite3* db, const char* sql, int& code) {
    sqlite3_stmt* statement = nullptr;
    code = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    std::optional<std::int64_t> number;
    if (code == SQLITE_OK) {
        code = sqlite3_step(statement);
        if (code == SQLITE_ROW) number = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
    return number;
}

// Whose a database is, as far as opening it goes.
enum class Owner {
    fresh,     // empty: a new machine is made in it
    ours,      // marked as this tool's, with the schema it expects
    previous,  // this tool's schema but not yet marked: made before marks
    other,     // anything else: never touched
};

// Looks at the database without writing to it. Nothing when it cannot be
// read; `code` then holds the SQLite error.
std::optional<Owner> owner_of(sqlite3* db, int& code) {
    const auto id = query_number(db, "PRAGMA application_id", code);
    if (!id) return std::nullopt;
    const auto version = query_number(db, "PRAGMA user_version", code);
    if (!version) return std::nullopt;
    const auto objects = query_number(db, "SELECT count(*) FROM sqlite_master", code);
    if (!objects) return std::nullopt;
    const auto tables = query_number(db,
                                     "SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                                     "AND name IN ('keys', 'key_values')",
                                     code);
    if (!tables) return std::nullopt;
    code = SQLITE_OK;
    const bool our_schema = *version == kSchemaVersion && *tables == 2;
    if (*id == kApplicationId) return our_schema ? Owner::ours : Owner::other;
    if (*id != 0) return Owner::other;
    if (*objects == 0 && *version == 0) return Owner::fresh;
    return our_schema ? Owner::previous : Owner::other;
}

// Looks at an existing file through a read-only connection, which cannot
// change a database that turns out not to be ours. A missing or empty file
// is a fresh machine.
std::optional<Owner> inspect(const std::string& path, int wait_ms, int& code) {
    struct stat info;
    code = SQLITE_OK;
    if (stat(path.c_str(), &info) != 0 || info.st_size == 0) return Owner::fresh;
    sqlite3* db = nullptr;
    code = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    std::optional<Owner> owner;
    if (code == SQLITE_OK) {
        sqlite3_busy_timeout(db, wait_ms);
        owner = owner_of(db, code);
    }
    sqlite3_close(db);
    return owner;
}

// Switching to WAL can meet a lock that the busy handler does not wait for,
// when several runs start on a fresh machine at once.
bool enable_wal(sqlite3* db) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA journal_mode=WAL", -1, &statement, nullptr) != SQLITE_OK)
            return false;
        const int rc = sqlite3_step(statement);
        sqlite3_finalize(statement);
        if (rc == SQLITE_ROW || rc == SQLITE_DONE) return true;
        if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED) return false;
        sqlite3_sleep(50);
    }
    return false;
}

constexpr const char* kSchema = R"sql(
CREATE TABLE keys (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER,
    name BLOB NOT NULL,
    folded BLOB NOT NULL
);
CREATE UNIQUE INDEX keys_by_parent ON keys (parent, folded);
CREATE TABLE key_values (
    key INTEGER NOT NULL,
    folded BLOB NOT NULL,
    name BLOB NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY (key, folded)
) WITHOUT ROWID;
)sql";

// The process's one store, once it is open.
std::unique_ptr<RegistryStore> g_store;

// Everything below one key, the key included.
#define QH_SUBTREE                                        \
    "WITH RECURSIVE subtree(id) AS (SELECT ?1 UNION ALL " \
    "SELECT keys.id FROM keys JOIN subtree ON keys.parent = subtree.id) "

}  // namespace

std::string fold_name(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

RegistryStore* RegistryStore::opened() { return g_store.get(); }

RegistryStore* RegistryStore::open(long& status) {
    status = kErrorSuccess;
    if (g_store) return g_store.get();

    const std::string path = machine_root() + "/registry.db";
    const int wait_ms = static_cast<int>(lock_wait_ms(env_lookup(kLockWaitVariable)));
    int code = SQLITE_OK;
    const std::optional<Owner> owner = inspect(path, wait_ms, code);
    if (!owner || *owner == Owner::other) {
        status = owner ? kErrorBadDb : status_of(code);
        return nullptr;
    }
    sqlite3* db = nullptr;
    code = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (code != SQLITE_OK) {
        sqlite3_close(db);
        status = status_of(code);
        return nullptr;
    }
    std::unique_ptr<RegistryStore> opened(new RegistryStore(db));
    sqlite3_busy_timeout(db, wait_ms);
    if (!enable_wal(db) || !exec(db, "PRAGMA synchronous=FULL")) {
        status = status_of(sqlite3_errcode(db));
        return nullptr;
    }
    status = opened->ensure_schema();
    if (status != kErrorSuccess) return nullptr;
    g_store = std::move(opened);
    return g_store.get();
}

RegistryStore::~RegistryStore() {
    for (sqlite3_stmt* statement :
         {key_exists_, find_child_, add_child_, child_name_, delete_tree_values_, delete_tree_keys_,
          value_, set_value_, delete_value_, begin_, commit_, rollback_, savepoint_, release_,
          rollback_to_, root_of_})
        sqlite3_finalize(statement);
    sqlite3_close(db_);
}

long RegistryStore::ensure_schema() {
    int code = SQLITE_OK;
    std::optional<Owner> owner = owner_of(db_, code);
    if (!owner) return status_of(code);
    if (*owner == Owner::ours)
        return prepare_all() ? kErrorSuccess : status_of(sqlite3_errcode(db_));
    if (*owner == Owner::other) return kErrorBadDb;

    // Immediate, so that of several runs starting on a fresh machine only one
    // creates and seeds it; the others find it made when they get the lock.
    code = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if ((code & 0xff) == SQLITE_BUSY) return kErrorTimeout;
    if (code != SQLITE_OK) return status_of(code);
    owner = owner_of(db_, code);
    long status = kErrorSuccess;
    if (!owner) {
        status = status_of(code);
    } else if (*owner == Owner::other) {
        status = kErrorBadDb;
    } else {
        bool ok = *owner != Owner::fresh || exec(db_, kSchema);
        ok = ok && prepare_all();
        if (ok && *owner == Owner::fresh)
            ok = seed() &&
                 exec(db_, ("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
        // A machine of the previous version is adopted: its registry is the
        // user's, and only the mark is missing.
        if (ok && *owner != Owner::ours)
            ok = exec(db_, ("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
        if (!ok) status = status_of(sqlite3_errcode(db_));
    }
    if (status != kErrorSuccess) {
        exec(db_, "ROLLBACK");
        return status;
    }
    code = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) return kErrorSuccess;
    exec(db_, "ROLLBACK");
    return status_of(code);
}

bool RegistryStore::prepare_all() {
    const std::pair<sqlite3_stmt**, const char*> statements[] = {
        {&key_exists_, "SELECT 1 FROM keys WHERE id = ?1"},
        {&find_child_, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2"},
        {&add_child_, "INSERT INTO keys (parent, name, folded) VALUES (?1, ?2, ?3)"},
        {&child_name_, "SELECT name FROM keys WHERE parent = ?1 ORDER BY folded LIMIT 1 OFFSET ?2"},
        {&root_of_,
         "WITH RECURSIVE up(id, parent) AS (SELECT id, parent FROM keys WHERE id = ?1 "
         "UNION ALL SELECT keys.id, keys.parent FROM keys JOIN up ON keys.id = up.parent) "
         "SELECT id FROM up WHERE parent IS NULL"},
        {&delete_tree_values_, QH_SUBTREE "DELETE FROM key_values WHERE key IN subtree"},
        {&delete_tree_keys_, QH_SUBTREE "DELETE FROM keys WHERE id IN subtree"},
        {&value_, "SELECT type, data FROM key_values WHERE key = ?1 AND folded = ?2"},
        // The WHERE keeps values off keys that were deleted meanwhile; a
        // replaced value keeps the name it was created with.
        {&set_value_,
         "INSERT INTO key_values (key, folded, name, type, data) "
         "SELECT ?1, ?2, ?3, ?4, ?5 WHERE EXISTS (SELECT 1 FROM keys WHERE id = ?1) "
         "ON CONFLICT (key, folded) DO UPDATE SET type = excluded.type, data = excluded.data"},
        {&delete_value_, "DELETE FROM key_values WHERE key = ?1 AND folded = ?2"},
        {&begin_, "BEGIN IMMEDIATE"},
        {&commit_, "COMMIT"},
        {&rollback_, "ROLLBACK"},
        {&savepoint_, "SAVEPOINT unit"},
        {&release_, "RELEASE unit"},
        {&rollback_to_, "ROLLBACK TO unit"},
    };
    for (const auto& [slot, sql] : statements)
        if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, slot, nullptr) != SQLITE_OK)
            return false;
    return true;
}

bool RegistryStore::seed() {
    for (int i = 0; i < kRootCount; ++i) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(
                db_, "INSERT INTO keys (id, parent, name, folded) VALUES (?1, NULL, ?2, ?3)", -1,
                &statement, nullptr) != SQLITE_OK)
            return false;
        const std::string name(kRootNames[i]);
        sqlite3_bind_int64(statement, 1, kFirstRootId + i);
        sqlite3_bind_blob(statement, 2, name.data(), static_cast<int>(name.size()),
                          SQLITE_TRANSIENT);
        const std::string folded = fold_name(name);
        sqlite3_bind_blob(statement, 3, folded.data(), static_cast<int>(folded.size()),
                          SQLITE_TRANSIENT);
        const int rc = sqlite3_step(statement);
        sqlite3_finalize(statement);
        if (rc != SQLITE_DONE) return false;
    }

    auto key_at = [this](KeyId root, std::initializer_list<std::string_view> path) {
        std::optional<KeyId> key = root;
        for (std::string_view name : path)
            if (key) key = add_child(*key, name);
        return key;
    };
    // Each text value is stored with its terminator, as the system does.
    auto text = [](std::string_view s) { return std::string(s) + '\0'; };
    const KeyId machine = kFirstRootId + static_cast<KeyId>(Root::local_machine);
    const KeyId user = kFirstRootId + static_cast<KeyId>(Root::current_user);

    const auto system_env = key_at(
        machine, {"SYSTEM", "CurrentControlSet", "Control", "Session Manager", "Environment"});
    const auto user_env = key_at(user, {"Environment"});
    return system_env && user_env && key_at(machine, {"SOFTWARE"}) && key_at(user, {"Software"}) &&
           set_value(*system_env, "Path", kRegExpandSz,
                     text("%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\System32\\Wbem")) &&
           set_value(*system_env, "ComSpec", kRegExpandSz,
                     text("%SystemRoot%\\system32\\cmd.exe")) &&
           set_value(*system_env, "windir", kRegExpandSz, text("%SystemRoot%")) &&
           set_value(*user_env, "Path", kRegExpandSz, text("")) &&
           set_value(*user_env, "TEMP", kRegExpandSz,
                     text("%USERPROFILE%\\AppData\\Local\\Temp")) &&
           set_value(*user_env, "TMP", kRegExpandSz, text("%USERPROFILE%\\AppData\\Local\\Temp"));
}

bool RegistryStore::run(sqlite3_stmt* statement) {
    Use use(statement);
    return kept(use.step(), SQLITE_DONE);
}

bool RegistryStore::kept(int rc, int wanted) {
    last_step_ = rc;
    if (rc == wanted) return true;
    if (scope_lost() && scope_failure_ == kErrorSuccess) scope_failure_ = status_of(rc);
    return false;
}

long RegistryStore::failure_status() const {
    switch (last_step_ & 0xff) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return kErrorSuccess;
        default:
            return status_of(last_step_);
    }
}

bool RegistryStore::scope_lost() { return in_scope_ && sqlite3_get_autocommit(db_); }

bool RegistryStore::key_exists(KeyId key) {
    Use use(key_exists_);
    return use.bind(1, key).step() == SQLITE_ROW;
}

std::optional<KeyId> RegistryStore::find_child(KeyId parent, std::string_view name) {
    Use use(find_child_);
    if (use.bind(1, parent).bind(2, fold_name(name)).step() != SQLITE_ROW) return std::nullopt;
    return use.number(0);
}

std::optional<KeyId> RegistryStore::add_child(KeyId parent, std::string_view name) {
    if (scope_lost()) return std::nullopt;
    Use use(add_child_);
    if (!kept(use.bind(1, parent).bind(2, name).bind(3, fold_name(name)).step(), SQLITE_DONE))
        return std::nullopt;
    return sqlite3_last_insert_rowid(db_);
}

std::optional<std::string> RegistryStore::child_name(KeyId parent, std::int64_t index) {
    Use use(child_name_);
    if (use.bind(1, parent).bind(2, index).step() != SQLITE_ROW) return std::nullopt;
    return std::string(use.bytes(0));
}

std::optional<KeyId> RegistryStore::root_of(KeyId key) {
    Use use(root_of_);
    if (use.bind(1, key).step() != SQLITE_ROW) return std::nullopt;
    return use.number(0);
}

bool RegistryStore::delete_tree(KeyId key) {
    if (!unit_begin()) return false;
    bool ok;
    {
        Use values(delete_tree_values_);
        ok = kept(values.bind(1, key).step(), SQLITE_DONE);
    }
    if (ok) {
        Use keys(delete_tree_keys_);
        ok = kept(keys.bind(1, key).step(), SQLITE_DONE);
    }
    if (!ok) {
        unit_rollback();
        return false;
    }
    return unit_commit();
}

RegistryStore::Lookup RegistryStore::value(KeyId key, std::string_view name, std::size_t capacity,
                                           Value& out) {
    Use use(value_);
    if (use.bind(1, key).bind(2, fold_name(name)).step() != SQLITE_ROW) return Lookup::missing;
    const std::string_view data = use.bytes(1);
    if (data.size() > capacity) return Lookup::too_large;
    out.type = static_cast<std::uint32_t>(use.number(0));
    out.data.assign(data);
    return Lookup::found;
}

bool RegistryStore::set_value(KeyId key, std::string_view name, std::uint32_t type,
                              std::string_view data) {
    if (scope_lost()) return false;
    Use use(set_value_);
    use.bind(1, key)
        .bind(2, fold_name(name))
        .bind(3, name)
        .bind(4, std::int64_t{type})
        .bind(5, data);
    return kept(use.step(), SQLITE_DONE) && sqlite3_changes(db_) > 0;
}

bool RegistryStore::delete_value(KeyId key, std::string_view name) {
    if (scope_lost()) return false;
    Use use(delete_value_);
    return kept(use.bind(1, key).bind(2, fold_name(name)).step(), SQLITE_DONE) &&
           sqlite3_changes(db_) > 0;
}

bool RegistryStore::unit_begin() {
    // Outside the lost scope's transaction the unit would be committed on
    // its own.
    if (scope_lost()) return false;
    unit_is_savepoint_ = !sqlite3_get_autocommit(db_);
    return run(unit_is_savepoint_ ? savepoint_ : begin_);
}

bool RegistryStore::unit_commit() {
    if (run(unit_is_savepoint_ ? release_ : commit_)) return true;
    const int failed = last_step_;
    unit_rollback();
    last_step_ = failed;
    return false;
}

void RegistryStore::unit_rollback() {
    if (unit_is_savepoint_) {
        run(rollback_to_);
        run(release_);
    } else if (!sqlite3_get_autocommit(db_)) {
        run(rollback_);
    }
}

long RegistryStore::scope_begin(std::uint32_t wait_ms) {
    assert(!in_scope_);
    if (in_scope_) return kErrorSuccess;
    // The lock is waited for here and only here: inside the scope it is held.
    sqlite3_busy_timeout(db_, static_cast<int>(wait_ms));
    Use use(begin_);
    const int code = use.step();
    sqlite3_busy_timeout(db_, static_cast<int>(lock_wait_ms(env_lookup(kLockWaitVariable))));
    if ((code & 0xff) == SQLITE_BUSY) return kErrorTimeout;
    if (code != SQLITE_DONE) return status_of(code);
    in_scope_ = true;
    scope_failure_ = kErrorSuccess;
    return kErrorSuccess;
}

long RegistryStore::scope_end() {
    if (!in_scope_) return kErrorSuccess;
    const bool lost = scope_lost();
    in_scope_ = false;
    if (lost) return scope_failure_ != kErrorSuccess ? scope_failure_ : kErrorRegistryIoFailed;
    Use use(commit_);
    const int code = use.step();
    if (code == SQLITE_DONE) return kErrorSuccess;
    // Some failures leave the transaction open: nothing of it may stay.
    if (!sqlite3_get_autocommit(db_)) run(rollback_);
    return status_of(code);
}

}  // namespace qh::platform::posix
