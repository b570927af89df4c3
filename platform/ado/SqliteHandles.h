#pragma once

#include <sqlite3.h>

#include <memory>

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

}  // namespace ado
