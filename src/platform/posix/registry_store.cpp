#include "platform/posix/registry_store.h"

#include <array>
#include <memory>

#include "platform/platform.h"
#include "platform/posix/machine.h"

namespace qh::platform::posix {
namespace {

// Long enough that a run waiting for another run's operation does not give up.
constexpr int kBusyTimeoutMs = 30000;
constexpr int kSchemaVersion = 1;

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

RegistryStore* RegistryStore::instance() {
    static std::unique_ptr<RegistryStore> store = [] {
        const std::string path = machine_root() + "/registry.db";
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            sqlite3_close(db);
            return std::unique_ptr<RegistryStore>();
        }
        std::unique_ptr<RegistryStore> opened(new RegistryStore(db));
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        if (!enable_wal(db) || !exec(db, "PRAGMA synchronous=FULL") || !opened->ensure_schema())
            return std::unique_ptr<RegistryStore>();
        return opened;
    }();
    return store.get();
}

RegistryStore::~RegistryStore() {
    for (sqlite3_stmt* statement :
         {key_exists_, find_child_, add_child_, child_name_, delete_tree_values_, delete_tree_keys_,
          value_, set_value_, delete_value_, begin_, commit_, rollback_, savepoint_, release_,
          rollback_to_, root_of_})
        sqlite3_finalize(statement);
    sqlite3_close(db_);
}

bool RegistryStore::ensure_schema() {
    // Immediate, so that of several runs starting on a fresh machine only one
    // creates and seeds it.
    if (!exec(db_, "BEGIN IMMEDIATE")) return false;
    int version = 0;
    {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            version = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
    }
    bool ok = true;
    if (version == 0) ok = exec(db_, kSchema);
    ok = ok && prepare_all();
    if (ok && version == 0)
        ok = seed() && exec(db_, ("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
    if (!ok) {
        exec(db_, "ROLLBACK");
        return false;
    }
    return exec(db_, "COMMIT");
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
    return rc == wanted;
}

long RegistryStore::failure_status() const {
    switch (last_step_ & 0xff) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return kErrorSuccess;
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
    Use use(set_value_);
    use.bind(1, key)
        .bind(2, fold_name(name))
        .bind(3, name)
        .bind(4, std::int64_t{type})
        .bind(5, data);
    return kept(use.step(), SQLITE_DONE) && sqlite3_changes(db_) > 0;
}

bool RegistryStore::delete_value(KeyId key, std::string_view name) {
    Use use(delete_value_);
    return kept(use.bind(1, key).bind(2, fold_name(name)).step(), SQLITE_DONE) &&
           sqlite3_changes(db_) > 0;
}

bool RegistryStore::unit_begin() {
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

void RegistryStore::scope_begin() {
    if (in_scope_) return;
    // When the lock cannot be had, each call still stands on its own.
    in_scope_ = run(begin_);
}

void RegistryStore::scope_end() {
    if (!in_scope_) return;
    in_scope_ = false;
    if (!run(commit_)) run(rollback_);
}

}  // namespace qh::platform::posix
