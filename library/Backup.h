#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/ado/DatabaseBackup.h"
#include "platform/automation/Dispatch.h"

namespace thalmere {

// Thalmere.Backup: copies the system database (data source Ledra) to a backup file and puts
// such a file back. BackupPath names the file, relative names taken from the process's current
// folder; any name is accepted (".bkp" is only the convention).
//
// What happens depends on the engine behind Ledra:
// - SQLite: an online copy of the live database (readers and writers may go on meanwhile)
//   into a new file beside the target, marked as a backup of this system (the file's SQLite
//   application id is kApplicationId), flushed to disk and then renamed over the target. A
//   restore checks that the file carries that mark and is sound, then copies it into the live
//   database in one write transaction, without the mark: the live database is never taken
//   for a backup, nor is a plain copy of it.
// - PostgreSQL: pg_dump in its custom format into a new file beside the target, renamed over
//   the target when complete; a restore checks that the file is such an archive, empties the
//   database (every schema of its own; public is kept, without its contents) and restores
//   the archive into it, all in one transaction, so the database is afterwards exactly what
//   was backed up (tables made since are gone), and a restore that fails part of the way
//   leaves the database as it was. The connection parameters reach the tools through their
//   environment, not their command line, so no password shows in the process list.
// Either way, an existing backup file is replaced only by a complete new one: a backup that
// fails leaves the old file as it was. A file that is no backup of this system is refused and
// the live database is not touched; a file that is the live database itself is refused too.
//
// Neither method raises. Every failure is shown through the current UiHost as a message box
// with an OK button and no title of its own: "Your Backup failed for the following reason:  "
// or "Your Restore failed for the following reason:  ", then the reason of the step that failed:
//   kNoServer      data source LedraMaster (or Ledra) does not open
//   kNoFileSystem  BackupPath cannot be made absolute
//   "The Backup File [<absolute path>] does not exist."             restore of a missing file
//   "An error occurred while writing the backup to [<path>]."      the backup itself failed
//   "An error occurred while restoring the backup from [<path>]."  the restore, or a file
//                                                                   that is no backup, refused
// and, when the cause is known, one sentence more that says it: the name is blank (empty or
// only blanks; nothing is written then), a folder, or the live database itself; the folder of
// the backup does not exist; the file is no backup of this system, or a backup made on the
// other database engine, or damaged (truncated); another session holds a lock that the
// backup or restore waited for in vain (LockWait).
class Backup : public automation::Dispatch {
 public:
  static constexpr std::string_view kBackupFailed =
      "Your Backup failed for the following reason:  ";
  static constexpr std::string_view kRestoreFailed =
      "Your Restore failed for the following reason:  ";
  static constexpr std::string_view kNoServer = "Unable to connect to SQLServer";
  static constexpr std::string_view kNoFileSystem = "Unable to create FileSystemObject";
  static std::string MissingFileReason(const std::filesystem::path& p);
  static std::string BackupErrorReason(const std::filesystem::path& p);
  static std::string RestoreErrorReason(const std::filesystem::path& p);

  // The causes, each a sentence of its own after the reason.
  static constexpr std::string_view kBlankName = "The file name is blank.";
  static constexpr std::string_view kIsAFolder = "The name is a folder, not a file.";
  static constexpr std::string_view kIsTheDatabase = "The file is the system database itself.";
  static constexpr std::string_view kNotABackup = "The file is not a Kestrova backup.";
  static constexpr std::string_view kDamaged = "The backup file is damaged.";
  static constexpr std::string_view kInUse = "The database is in use.";
  static constexpr std::string_view kSqliteBackup =
      "The file is a SQLite backup; the system database is on PostgreSQL.";
  static constexpr std::string_view kPostgresBackup =
      "The file is a PostgreSQL backup; the system database is on SQLite.";
  static std::string MissingFolderCause(const std::filesystem::path& folder);

  // How long a backup or restore waits for a lock that another session holds before it gives
  // up with kInUse: 30 seconds, long enough for an ordinary write to finish and short enough
  // not to hang a page. For every Backup of the process; tests shorten it.
  static void SetLockWait(std::chrono::milliseconds wait);
  static std::chrono::milliseconds LockWait();

  // The SQLite application id that marks a file as a backup of this system's database
  // ("KSBK"). Only backup files carry it; a restore leaves the live database without it.
  static constexpr int32_t kApplicationId = ado::kBackupApplicationId;

  std::string_view ClassName() const override { return "Backup"; }
  const automation::MemberTable& Members() const override;

  void BackupDatabase();
  void RestoreDatabase();
  const std::string& BackupPath() const { return backup_path_; }
  void SetBackupPath(const std::string& path) { backup_path_ = path; }

  // The absolute form of a file name: relative to the current folder, with "." and ".."
  // resolved, without a trailing separator. An empty name gives the current folder.
  static std::filesystem::path AbsolutePath(const std::string& name);

 private:
  std::string backup_path_;
};

}  // namespace thalmere
