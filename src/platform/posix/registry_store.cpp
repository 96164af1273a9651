#include "platform/posix/registry_store.h"

#include <sys/stat.h>

#include <array>
#include <cassert>
#include <memory>
#include <thread>

#include "platform/lock_wait.h"
#include "platform/platform.h"
#include "platform/posix/machine.h"
#include "platform/posix/text_conversion.h"
#include "platform/posix/upcase.h"

namespace qh::platform::posix {
namespace {

// 2: names and string data in UTF-16, values in the order of creation,
// HKEY_CURRENT_USER below HKEY_USERS, HKEY_CLASSES_ROOT a view without keys
// of its own. 1: the previous version's, with everything as bytes of the
// code page of the run.
constexpr int kSchemaVersion = 2;
constexpr int kBytesSchemaVersion = 1;

using Clock = RegistryStore::Clock;

// Milliseconds left until the deadline, for SQLite's busy timeout.
int remaining_ms(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

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
    fresh,  // empty: a new machine is made in it
    ours,   // marked as this tool's, with the schema it expects
    bytes,  // the previous version's schema, marked or made before marks
    other,  // anything else: never touched
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
    const bool bytes_schema = *version == kBytesSchemaVersion && *tables == 2;
    if (*id == kApplicationId) {
        if (*version == kSchemaVersion && *tables == 2) return Owner::ours;
        return bytes_schema ? Owner::bytes : Owner::other;
    }
    if (*id != 0) return Owner::other;
    if (*objects == 0 && *version == 0) return Owner::fresh;
    return bytes_schema ? Owner::bytes : Owner::other;
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
// when several runs start on a fresh machine at once, and one it waits for
// in full, when another program reads a database in rollback mode: the
// attempts share one deadline.
bool enable_wal(sqlite3* db, Clock::time_point deadline) {
    while (true) {
        sqlite3_busy_timeout(db, remaining_ms(deadline));
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA journal_mode=WAL", -1, &statement, nullptr) != SQLITE_OK)
            return false;
        const int rc = sqlite3_step(statement);
        sqlite3_finalize(statement);
        if (rc == SQLITE_ROW || rc == SQLITE_DONE) return true;
        if ((rc & 0xff) != SQLITE_BUSY && (rc & 0xff) != SQLITE_LOCKED) return false;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(std::chrono::milliseconds(50), deadline - Clock::now()));
    }
}

constexpr const char* kSchema = R"sql(
CREATE TABLE keys (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER,
    name BLOB NOT NULL,    -- UTF-16LE
    folded BLOB NOT NULL   -- folded_name(name)
);
CREATE UNIQUE INDEX keys_by_parent ON keys (parent, folded);
CREATE TABLE key_values (
    key INTEGER NOT NULL,
    folded BLOB NOT NULL,  -- folded_name(name)
    name BLOB NOT NULL,    -- UTF-16LE
    type INTEGER NOT NULL,
    data BLOB NOT NULL,    -- the string types in UTF-16LE
    seq INTEGER NOT NULL,  -- the order of creation within the key
    PRIMARY KEY (key, folded)
) WITHOUT ROWID;
CREATE INDEX key_values_in_order ON key_values (key, seq);
)sql";

// The process's one store, once it is open.
std::unique_ptr<RegistryStore> g_store;

// Everything below one key, the key included.
#define QH_SUBTREE                                        \
    "WITH RECURSIVE subtree(id) AS (SELECT ?1 UNION ALL " \
    "SELECT keys.id FROM keys JOIN subtree ON keys.parent = subtree.id) "

}  // namespace

std::string folded_name(std::u16string_view name) {
    std::string folded;
    folded.reserve(name.size() * 2);
    for (const char16_t unit : name) {
        const char16_t upper = upcase_unit(unit);
        folded += static_cast<char>(upper >> 8);
        folded += static_cast<char>(upper & 0xFF);
    }
    return folded;
}

RegistryStore* RegistryStore::opened() { return g_store.get(); }

RegistryStore* RegistryStore::open(long& status) {
    if (g_store) {
        status = kErrorSuccess;
        return g_store.get();
    }
    const auto wait = std::chrono::milliseconds(lock_wait_ms(env_lookup(kLockWaitVariable)));
    return open(status, Clock::now() + wait);
}

RegistryStore* RegistryStore::open(long& status, Clock::time_point deadline) {
    status = kErrorSuccess;
    if (g_store) return g_store.get();

    const std::string path = machine_root() + "/registry.db";
    int code = SQLITE_OK;
    const std::optional<Owner> owner = inspect(path, remaining_ms(deadline), code);
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
    if (!enable_wal(db, deadline) || !exec(db, "PRAGMA synchronous=FULL")) {
        status = status_of(sqlite3_errcode(db));
        return nullptr;
    }
    status = opened->ensure_schema(deadline);
    if (status != kErrorSuccess) return nullptr;
    // From now on each statement outside an operation scope waits on its own.
    sqlite3_busy_timeout(db, static_cast<int>(lock_wait_ms(env_lookup(kLockWaitVariable))));
    g_store = std::move(opened);
    return g_store.get();
}

RegistryStore::~RegistryStore() {
    for (sqlite3_stmt* statement :
         {key_exists_, find_child_, add_child_, child_name_, child_after_, delete_tree_values_,
          delete_tree_keys_, value_, value_at_, value_after_, set_value_, delete_value_, begin_,
          commit_, rollback_, savepoint_, release_, rollback_to_, hive_of_})
        sqlite3_finalize(statement);
    sqlite3_close(db_);
}

long RegistryStore::ensure_schema(Clock::time_point deadline) {
    int code = SQLITE_OK;
    std::optional<Owner> owner = owner_of(db_, code);
    if (!owner) return status_of(code);
    if (*owner == Owner::ours)
        return prepare_all() ? kErrorSuccess : status_of(sqlite3_errcode(db_));
    if (*owner == Owner::other) return kErrorBadDb;

    // Immediate, so that of several runs starting on a fresh machine only one
    // creates and seeds it; the others find it made when they get the lock.
    sqlite3_busy_timeout(db_, remaining_ms(deadline));
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
        bool ok = true;
        if (*owner == Owner::fresh)
            ok = create_schema() && seed();
        else if (*owner == Owner::bytes)
            ok = migrate_from_bytes();
        else
            ok = prepare_all();
        if (ok && *owner != Owner::ours)
            ok = exec(db_, ("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str()) &&
                 exec(db_, ("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
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

bool RegistryStore::create_schema() { return exec(db_, kSchema) && prepare_all(); }

bool RegistryStore::prepare_all() {
    const std::pair<sqlite3_stmt**, const char*> statements[] = {
        {&key_exists_, "SELECT 1 FROM keys WHERE id = ?1"},
        {&find_child_, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2"},
        {&add_child_, "INSERT INTO keys (parent, name, folded) VALUES (?1, ?2, ?3)"},
        {&child_name_,
         "SELECT name, folded FROM keys WHERE parent = ?1 OR (parent = ?2 AND folded NOT IN "
         "(SELECT folded FROM keys WHERE parent = ?1)) ORDER BY folded LIMIT 1 OFFSET ?3"},
        {&child_after_,
         "SELECT name, folded FROM keys WHERE parent = ?1 AND folded > ?2 "
         "ORDER BY folded LIMIT 1"},
        // Climbs only while below a root: HKEY_CURRENT_USER's row lies below
        // HKEY_USERS, but is a hive of its own.
        {&hive_of_,
         "WITH RECURSIVE up(id, parent) AS (SELECT id, parent FROM keys WHERE id = ?1 "
         "UNION ALL SELECT keys.id, keys.parent FROM keys JOIN up ON keys.id = up.parent "
         "WHERE up.id NOT BETWEEN ?2 AND ?3) "
         "SELECT id FROM up WHERE id BETWEEN ?2 AND ?3"},
        {&delete_tree_values_, QH_SUBTREE "DELETE FROM key_values WHERE key IN subtree"},
        {&delete_tree_keys_, QH_SUBTREE "DELETE FROM keys WHERE id IN subtree"},
        {&value_, "SELECT type, data FROM key_values WHERE key = ?1 AND folded = ?2"},
        {&value_at_,
         "SELECT name, type, data, seq FROM key_values WHERE key = ?1 OR (key = ?2 AND folded "
         "NOT IN (SELECT folded FROM key_values WHERE key = ?1)) "
         "ORDER BY key <> ?1, seq LIMIT 1 OFFSET ?3"},
        {&value_after_,
         "SELECT name, type, data, seq FROM key_values WHERE key = ?1 AND seq > ?2 "
         "ORDER BY seq LIMIT 1"},
        // The WHERE keeps values off keys that were deleted meanwhile; a
        // replaced value keeps the name and the place it was created with.
        {&set_value_,
         "INSERT INTO key_values (key, folded, name, type, data, seq) "
         "SELECT ?1, ?2, ?3, ?4, ?5, "
         "(SELECT coalesce(max(seq), 0) + 1 FROM key_values WHERE key = ?1) "
         "WHERE EXISTS (SELECT 1 FROM keys WHERE id = ?1) "
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

bool RegistryStore::add_roots() {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_,
                           "INSERT INTO keys (id, parent, name, folded) VALUES (?1, ?2, ?3, ?4)",
                           -1, &statement, nullptr) != SQLITE_OK)
        return false;
    bool ok = true;
    for (int i = 0; ok && i < kRootCount; ++i) {
        const KeyId id = kFirstRootId + i;
        std::u16string name;
        for (const char c : kRootNames[i]) name += static_cast<char16_t>(c);
        Use use(statement);
        use.bind(1, id);
        // The user's hive is HKEY_USERS\<SID>; HKEY_CURRENT_USER is its other name.
        if (id == root_id(Root::current_user)) {
            use.bind(2, root_id(Root::users));
            name = kUserSid;
        } else {
            sqlite3_bind_null(statement, 2);
        }
        use.bind(3, utf16le_bytes(name)).bind(4, folded_name(name));
        ok = use.step() == SQLITE_DONE;
    }
    sqlite3_finalize(statement);
    return ok;
}

std::optional<KeyId> RegistryStore::make_path(KeyId key, std::u16string_view path) {
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos) end = path.size();
        const std::u16string_view name = path.substr(start, end - start);
        auto child = find_child(key, name);
        if (!child) child = add_child(key, name);
        if (!child) return std::nullopt;
        key = *child;
        start = end + 1;
    }
    return key;
}

bool RegistryStore::add_standard_keys() {
    // Keys directly below HKEY_LOCAL_MACHINE and HKEY_USERS cannot be created
    // by the calls, so every one a machine needs is made here.
    constexpr std::pair<Root, std::u16string_view> kStandardKeys[] = {
        {Root::local_machine, u"HARDWARE"}, {Root::local_machine, u"SAM"},
        {Root::local_machine, u"SECURITY"}, {Root::local_machine, u"SOFTWARE\\Classes"},
        {Root::local_machine, u"SYSTEM"},   {Root::current_user, u"Software\\Classes"},
        {Root::users, u".DEFAULT"},
    };
    for (const auto& [root, path] : kStandardKeys)
        if (!make_path(root_id(root), path)) return false;
    return true;
}

bool RegistryStore::seed() {
    if (!add_roots() || !add_standard_keys()) return false;
    const auto system_env =
        make_path(root_id(Root::local_machine),
                  u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment");
    const auto user_env = make_path(root_id(Root::current_user), u"Environment");
    // Each text value is stored with its terminator, as the system does.
    auto text = [](std::u16string_view s) { return utf16le_bytes(std::u16string(s) + u'\0'); };
    return system_env && user_env &&
           set_value(*system_env, u"Path", kRegExpandSz,
                     text(u"%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\System32\\Wbem")) &&
           set_value(*system_env, u"ComSpec", kRegExpandSz,
                     text(u"%SystemRoot%\\system32\\cmd.exe")) &&
           set_value(*system_env, u"windir", kRegExpandSz, text(u"%SystemRoot%")) &&
           set_value(*user_env, u"Path", kRegExpandSz, text(u"")) &&
           set_value(*user_env, u"TEMP", kRegExpandSz,
                     text(u"%USERPROFILE%\\AppData\\Local\\Temp")) &&
           set_value(*user_env, u"TMP", kRegExpandSz, text(u"%USERPROFILE%\\AppData\\Local\\Temp"));
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

void RegistryStore::forget_cursors() {
    child_cursor_ = {};
    value_cursor_ = {};
}

bool RegistryStore::key_exists(KeyId key) {
    Use use(key_exists_);
    return use.bind(1, key).step() == SQLITE_ROW;
}

std::optional<KeyId> RegistryStore::find_child(KeyId parent, std::u16string_view name) {
    Use use(find_child_);
    if (use.bind(1, parent).bind(2, folded_name(name)).step() != SQLITE_ROW) return std::nullopt;
    return use.number(0);
}

std::optional<KeyId> RegistryStore::add_child(KeyId parent, std::u16string_view name) {
    forget_cursors();
    if (scope_lost()) return std::nullopt;
    Use use(add_child_);
    use.bind(1, parent).bind(2, utf16le_bytes(name)).bind(3, folded_name(name));
    if (!kept(use.step(), SQLITE_DONE)) return std::nullopt;
    return sqlite3_last_insert_rowid(db_);
}

std::optional<std::u16string> RegistryStore::child_name(KeyId first, KeyId second,
                                                        std::int64_t index) {
    // One key (not a pair of class registries) continues where it stopped.
    const KeyId single = second == 0 ? first : first == 0 ? second : 0;
    const bool step_on = single != 0 && continues(child_cursor_, single, index);
    Use use(step_on ? child_after_ : child_name_);
    if (step_on) {
        use.bind(1, single).bind(2, index == 0 ? std::string_view() : child_cursor_.folded);
    } else {
        use.bind(1, first).bind(2, second).bind(3, index);
    }
    if (use.step() != SQLITE_ROW) return std::nullopt;
    child_cursor_ = {single, index, std::string(use.bytes(1)), 0};
    return units_of_utf16le(use.bytes(0));
}

std::optional<KeyId> RegistryStore::hive_of(KeyId key) {
    Use use(hive_of_);
    use.bind(1, key).bind(2, kFirstRootId).bind(3, kFirstRootId + kRootCount - 1);
    if (use.step() != SQLITE_ROW) return std::nullopt;
    return use.number(0);
}

bool RegistryStore::delete_tree(KeyId key) {
    forget_cursors();
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

bool RegistryStore::value(KeyId key, std::u16string_view name, Value& out) {
    Use use(value_);
    if (use.bind(1, key).bind(2, folded_name(name)).step() != SQLITE_ROW) return false;
    out.type = static_cast<std::uint32_t>(use.number(0));
    out.data.assign(use.bytes(1));
    return true;
}

bool RegistryStore::has_value(KeyId key, std::u16string_view name) {
    Use use(value_);
    return use.bind(1, key).bind(2, folded_name(name)).step() == SQLITE_ROW;
}

bool RegistryStore::value_at(KeyId first, KeyId second, std::int64_t index, std::u16string& name,
                             Value& out) {
    const KeyId single = second == 0 ? first : first == 0 ? second : 0;
    const bool step_on = single != 0 && continues(value_cursor_, single, index);
    Use use(step_on ? value_after_ : value_at_);
    if (step_on) {
        use.bind(1, single).bind(2, index == 0 ? std::int64_t{0} : value_cursor_.seq);
    } else {
        use.bind(1, first).bind(2, second).bind(3, index);
    }
    if (use.step() != SQLITE_ROW) return false;
    value_cursor_ = {single, index, {}, use.number(3)};
    name = units_of_utf16le(use.bytes(0));
    out.type = static_cast<std::uint32_t>(use.number(1));
    out.data.assign(use.bytes(2));
    return true;
}

bool RegistryStore::set_value(KeyId key, std::u16string_view name, std::uint32_t type,
                              std::string_view data) {
    forget_cursors();
    if (scope_lost()) return false;
    Use use(set_value_);
    use.bind(1, key)
        .bind(2, folded_name(name))
        .bind(3, utf16le_bytes(name))
        .bind(4, std::int64_t{type})
        .bind(5, data);
    return kept(use.step(), SQLITE_DONE) && sqlite3_changes(db_) > 0;
}

bool RegistryStore::delete_value(KeyId key, std::u16string_view name) {
    forget_cursors();
    if (scope_lost()) return false;
    Use use(delete_value_);
    return kept(use.bind(1, key).bind(2, folded_name(name)).step(), SQLITE_DONE) &&
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
