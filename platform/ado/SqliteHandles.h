#pragma once

#include <memory>

#include <sqlite3.h>

// One owner for each SQLite handle, shared by everything that talks to SQLite directly.
namespace ado {

struct SqliteDatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using SqliteDatabase = std::unique_ptr<sqlite3, SqliteDatabaseCloser>;

struct SqliteStatementFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteStatementFinalizer>;

// An online copy between two databases. Finishing it is how its result is read: a caller
// that wants that result takes it with sqlite3_backup_finish(backup.release()).
struct SqliteBackupFinisher {
  void operator()(sqlite3_backup* b) const { sqlite3_backup_finish(b); }
};
using SqliteBackupCopy = std::unique_ptr<sqlite3_backup, SqliteBackupFinisher>;

}  // namespace ado
