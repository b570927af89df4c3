#include <chrono>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include <sqlite3.h>

#include "platform/ado/BackupFiles.h"
#include "platform/ado/DatabaseBackup.h"
#include "platform/ado/SqliteHandles.h"

// The SQLite half of backup and restore: SQLite's online backup, page by page.
namespace ado::backup_files {

namespace {

namespace fs = std::filesystem;
using Failure = std::runtime_error;

SqliteDatabase OpenSqliteFile(const fs::path& path, int flags,
                              std::chrono::milliseconds lock_wait) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  SqliteDatabase db(raw);
  if (rc != SQLITE_OK) {
    throw Failure("cannot open " + path.string() + ": " +
                  (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
  }
  sqlite3_busy_timeout(db.get(), static_cast<int>(lock_wait.count()));
  return db;
}

// The first column of the first row of a statement without parameters, as text.
std::string QueryText(sqlite3* db, const char* sql) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
    throw Failure(std::string(sql) + ": " + sqlite3_errmsg(db));
  }
  SqliteStatement stmt(raw);
  const int rc = sqlite3_step(stmt.get());
  if (rc == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
    return text ? reinterpret_cast<const char*>(text) : "";
  }
  if (rc != SQLITE_DONE) throw Failure(std::string(sql) + ": " + sqlite3_errmsg(db));
  return "";
}

// Copies every page of `from` into `to` in one write transaction of `to`. Both connections
// wait for a lock that another session holds, within the lock wait; after it, the database
// is in use.
void CopyPages(sqlite3* from, sqlite3* to, std::chrono::milliseconds lock_wait) {
  SqliteBackupCopy copy(sqlite3_backup_init(to, "main", from, "main"));
  if (!copy) throw Failure(std::string("cannot start the copy: ") + sqlite3_errmsg(to));
  const auto deadline = std::chrono::steady_clock::now() + lock_wait;
  int rc = SQLITE_OK;
  while (true) {
    rc = sqlite3_backup_step(copy.get(), -1);
    if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    break;
  }
  const int finish = sqlite3_backup_finish(copy.release());
  if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) throw BackupRefused(BackupCause::kInUse);
  if (rc != SQLITE_DONE) throw Failure(std::string("the copy failed: ") + sqlite3_errstr(rc));
  if (finish != SQLITE_OK) throw Failure(std::string("the copy failed: ") + sqlite3_errmsg(to));
}

// A backup whose header counts more pages than the file holds was cut short. The count is
// only kept up to date by writers that know it (the two words at 24 and 92 agree then).
bool IsCutShort(const fs::path& file, std::string_view head) {
  if (BigEndian(head, 24, 4) != BigEndian(head, 92, 4)) return false;
  uint64_t page_size = BigEndian(head, 16, 2);
  if (page_size == 1) page_size = 65536;
  std::error_code ec;
  const uintmax_t size = fs::file_size(file, ec);
  return !ec && size < page_size * BigEndian(head, 28, 4);
}

}  // namespace

void BackupSqlite(const fs::path& live, const fs::path& target,
                  std::chrono::milliseconds lock_wait) {
  if (SameFile(live, target)) throw BackupRefused(BackupCause::kIsTheDatabase);
  StagedFile staged(target);
  {
    SqliteDatabase source = OpenSqliteFile(live, SQLITE_OPEN_READWRITE, lock_wait);
    SqliteDatabase copy = OpenSqliteFile(staged.path(), SQLITE_OPEN_READWRITE, lock_wait);
    CopyPages(source.get(), copy.get(), lock_wait);
    // The copy takes over the live file's write-ahead-log mode; a backup is one file on its
    // own, so it goes back to a rollback journal, which also folds the log into the file.
    if (QueryText(copy.get(), "PRAGMA journal_mode=DELETE") != "delete") {
      throw Failure("the copy keeps its write-ahead log");
    }
    QueryText(copy.get(),
              ("PRAGMA application_id=" + std::to_string(kBackupApplicationId)).c_str());
    if (sqlite3_close(copy.release()) != SQLITE_OK) throw Failure("the copy does not close");
  }
  staged.Commit(target);
}

void RestoreSqlite(const fs::path& live, const fs::path& file,
                   std::chrono::milliseconds lock_wait) {
  if (SameFile(live, file)) throw BackupRefused(BackupCause::kIsTheDatabase);
  const std::string head = FileHead(file, 100);
  if (IsPostgresArchive(head)) throw BackupRefused(BackupCause::kPostgresBackup);
  if (!IsOurSqliteBackup(head)) throw BackupRefused(BackupCause::kNotABackup);
  if (IsCutShort(file, head)) throw BackupRefused(BackupCause::kDamaged);
  SqliteDatabase source = OpenSqliteFile(file, SQLITE_OPEN_READONLY, lock_wait);
  bool sound = false;
  try {
    sound = QueryText(source.get(), "PRAGMA quick_check") == "ok";
  } catch (const Failure&) {  // a page it cannot read at all
  }
  if (!sound) throw BackupRefused(BackupCause::kDamaged);
  // The backup's pages carry its mark, which the live database must not take over (a copy of
  // it would pass for a backup then). The mark is cleared in a copy held in memory, so that
  // the live database changes once, in one write transaction, to the unmarked contents.
  SqliteDatabase staged = OpenSqliteFile(":memory:", SQLITE_OPEN_READWRITE, lock_wait);
  // An in-memory copy takes the pages only at the size they have in the file.
  QueryText(staged.get(),
            ("PRAGMA page_size=" + QueryText(source.get(), "PRAGMA page_size")).c_str());
  CopyPages(source.get(), staged.get(), lock_wait);
  source.reset();
  QueryText(staged.get(), "PRAGMA application_id=0");
  SqliteDatabase target = OpenSqliteFile(live, SQLITE_OPEN_READWRITE, lock_wait);
  CopyPages(staged.get(), target.get(), lock_wait);
}

}  // namespace ado::backup_files
