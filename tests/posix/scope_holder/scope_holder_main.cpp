// Holds the write lock of an emulated machine's registry database, as a run
// of the tool in the middle of an operation does, until told to let go; with
// "read", a read lock instead, as another program reading it does.
//   qh_scope_holder DATABASE HELD_FILE RELEASE_FILE [read]
// Creates HELD_FILE once it holds the lock; lets go once RELEASE_FILE exists
// (or after two minutes, so that a failed test cannot leave it behind).
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <string_view>

int main(int argc, char** argv) {
    if (argc != 4 && (argc != 5 || std::string_view(argv[4]) != "read")) return 2;
    const bool read = argc == 5;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return 3;
    sqlite3_busy_timeout(db, 10000);
    const char* lock = read ? "BEGIN; SELECT count(*) FROM sqlite_master" : "BEGIN IMMEDIATE";
    if (sqlite3_exec(db, lock, nullptr, nullptr, nullptr) != SQLITE_OK) return 4;
    const int held = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (held < 0) return 5;
    close(held);
    for (int waited_ms = 0; waited_ms < 120000 && access(argv[3], F_OK) != 0; waited_ms += 10)
        usleep(10000);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return 0;
}
