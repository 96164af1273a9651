// Taking over a machine of the previous version. It kept names and string
// data as the bytes the A calls were given, in the code page of the run:
// 936 unless a run chose another. They become UTF-16 here, in the caller's
// one transaction. A text that is not valid in 936 is read as 1252 instead,
// where every byte stands for a character of its own: no byte is lost, and
// the texts of runs under "english" read as they were written.
//
// HKEY_CLASSES_ROOT kept keys of its own then; they move into
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes, which the view shows them from now on.
// Keys whose names now compare equal (Äpfel and äpfel, or a class in both
// places) become one; of two values that then share a name, the one taken
// over last stays, and HKEY_CLASSES_ROOT is taken over last, so every key
// shows the values it showed before.
#include <memory>
#include <vector>

#include "platform/posix/registry_store.h"
#include "platform/posix/text_conversion.h"

namespace qh::platform::posix {
namespace {

constexpr int kPreviousCodePage = 936;
constexpr int kFallbackCodePage = 1252;

std::u16string text_of(std::string_view bytes) {
    std::u16string units;
    if (to_utf16(kPreviousCodePage, bytes, Unmappable::fail, units)) return units;
    units.clear();
    to_utf16(kFallbackCodePage, bytes, Unmappable::default_char, units);
    return units;
}

bool is_string_type(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

struct Finalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    return Statement(statement);
}

std::string_view blob(sqlite3_stmt* statement, int column) {
    const void* data = sqlite3_column_blob(statement, column);
    const int size = sqlite3_column_bytes(statement, column);
    if (!data || size <= 0) return {};
    return {static_cast<const char*>(data), static_cast<std::size_t>(size)};
}

}  // namespace

bool RegistryStore::migrate_from_bytes() {
    constexpr const char* kSetAside = R"sql(
DROP INDEX keys_by_parent;
ALTER TABLE keys RENAME TO keys_v1;
ALTER TABLE key_values RENAME TO key_values_v1;
CREATE INDEX keys_v1_in_order ON keys_v1 (parent, id);
)sql";
    if (sqlite3_exec(db_, kSetAside, nullptr, nullptr, nullptr) != SQLITE_OK || !create_schema() ||
        !add_roots())
        return false;
    const Statement children =
        prepare(db_, "SELECT id, name FROM keys_v1 WHERE parent = ?1 ORDER BY id");
    const Statement values =
        prepare(db_, "SELECT name, type, data FROM key_values_v1 WHERE key = ?1 ORDER BY folded");
    if (!children || !values) return false;

    struct Move {
        KeyId from;  // the key of the previous version
        KeyId to;    // where its values and subkeys go
    };
    auto move_tree = [&](Move top) {
        std::vector<Move> pending{top};
        while (!pending.empty()) {
            const Move move = pending.back();
            pending.pop_back();
            sqlite3_bind_int64(values.get(), 1, move.from);
            bool ok = true;
            int rc = SQLITE_DONE;
            while (ok && (rc = sqlite3_step(values.get())) == SQLITE_ROW) {
                const auto type = static_cast<std::uint32_t>(sqlite3_column_int64(values.get(), 1));
                const std::string_view data = blob(values.get(), 2);
                ok = set_value(
                    move.to, text_of(blob(values.get(), 0)), type,
                    is_string_type(type) ? utf16le_bytes(text_of(data)) : std::string(data));
            }
            sqlite3_reset(values.get());
            if (!ok || rc != SQLITE_DONE) return false;

            std::vector<Move> below;
            sqlite3_bind_int64(children.get(), 1, move.from);
            while (ok && (rc = sqlite3_step(children.get())) == SQLITE_ROW) {
                const std::u16string name = text_of(blob(children.get(), 1));
                auto key = find_child(move.to, name);
                if (!key) key = add_child(move.to, name);
                ok = key.has_value();
                if (ok) below.push_back({sqlite3_column_int64(children.get(), 0), *key});
            }
            sqlite3_reset(children.get());
            if (!ok || rc != SQLITE_DONE) return false;
            // The oldest first, so that of two keys that became one the
            // younger's values stay.
            pending.insert(pending.end(), below.rbegin(), below.rend());
        }
        return true;
    };

    for (const Root root : {Root::current_user, Root::local_machine, Root::users,
                            Root::performance_data, Root::current_config, Root::dyn_data})
        if (!move_tree({root_id(root), root_id(root)})) return false;
    const auto classes = make_path(root_id(Root::local_machine), u"SOFTWARE\\Classes");
    if (!classes || !move_tree({root_id(Root::classes_root), *classes})) return false;
    return add_standard_keys() && sqlite3_exec(db_, "DROP TABLE key_values_v1; DROP TABLE keys_v1;",
                                               nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace qh::platform::posix
