#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <stdexcept>

#include "platform/ado/DataSources.h"

// Backup and restore of a whole database, done by the engine behind its data source:
// SQLite copies the live file online, page by page; PostgreSQL runs pg_dump and, for a
// restore, pg_restore and psql in one transaction.
namespace ado {

// The SQLite application id that marks a file as a backup of this system's database
// ("KSBK"). Only backup files carry it; a restore leaves the live database without it.
inline constexpr int32_t kBackupApplicationId = 0x4B53424B;

// Why a backup or restore was refused or gave up, when the engine knows.
enum class BackupCause {
  kIsTheDatabase,   // the file is the live database itself
  kNotABackup,      // the file is no backup of this system
  kDamaged,         // the backup is cut short or unreadable
  kInUse,           // another session held a lock beyond the lock wait
  kSqliteBackup,    // a SQLite backup offered to a PostgreSQL database
  kPostgresBackup,  // a PostgreSQL backup offered to a SQLite database
};

class BackupRefused : public std::runtime_error {
 public:
  explicit BackupRefused(BackupCause cause)
      : std::runtime_error("backup or restore refused"), cause_(cause) {}
  BackupCause cause() const { return cause_; }

 private:
  BackupCause cause_;
};

// Writes a backup of the database of `source` to `target`, replacing an existing file only
// by a complete new one. Waits at most `lock_wait` for a lock another session holds.
// Throws BackupRefused for a known cause, another std::exception for any other failure.
void BackupDatabase(const DataSource& source, const std::filesystem::path& target,
                    std::chrono::milliseconds lock_wait);

// Replaces the contents of the database of `source` by those of the backup `file`, at once
// or not at all. Throws as BackupDatabase does.
void RestoreDatabase(const DataSource& source, const std::filesystem::path& file,
                     std::chrono::milliseconds lock_wait);

}  // namespace ado
