#pragma once

#include <string>
#include <string_view>

// The control library's module `library`. Its data helpers (OpenRecordset, SafeRatio,
// NullToSingle, DateFromLong, DateTextFromLong) are the shared procedures of
// platform/helpers/library.h, linked into this library; this module adds the two procedures
// that run a backup or restore of the system database for the maintenance tasks.
namespace kestrova {

inline constexpr std::string_view kNoBackupFileName =
    "You must provide a valid filename in order to backup the Kestrova Database";
inline constexpr std::string_view kNoRestoreFileName =
    "You must provide a valid filename in order to restore the Kestrova Database";

// With an empty file name (exactly empty: blanks are a name), shows kNoBackupFileName in a
// message box with an OK button through the current UiHost and returns. Otherwise creates a
// Thalmere.Backup by ProgID, sets its BackupPath to the name and runs BackupDatabase; the
// object reports its own failures. Errors of creating or calling the object reach the caller;
// the object is released either way.
void BackupDatabaseTo(const std::string& strFile);

// The same for a restore, with kNoRestoreFileName and RestoreDatabase.
void RestoreDatabaseFrom(const std::string& strFile);

}  // namespace kestrova
