#include "library/Backup.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/ado/DatabaseBackup.h"
#include "platform/ui/UiHost.h"

namespace thalmere {

namespace {

namespace fs = std::filesystem;
using Failure = std::runtime_error;

// A failure whose cause is known: its text is the sentence that follows the step's reason.
class KnownCause : public std::runtime_error {
 public:
  explicit KnownCause(std::string_view sentence) : std::runtime_error(std::string(sentence)) {}
};

std::atomic<int64_t> lock_wait_ms{30'000};

std::chrono::milliseconds LockWaitNow() { return std::chrono::milliseconds(lock_wait_ms.load()); }

// The sentence that says a cause the engine knows.
std::string_view CauseSentence(ado::BackupCause cause) {
  switch (cause) {
    case ado::BackupCause::kIsTheDatabase:
      return Backup::kIsTheDatabase;
    case ado::BackupCause::kNotABackup:
      return Backup::kNotABackup;
    case ado::BackupCause::kDamaged:
      return Backup::kDamaged;
    case ado::BackupCause::kInUse:
      return Backup::kInUse;
    case ado::BackupCause::kSqliteBackup:
      return Backup::kSqliteBackup;
    case ado::BackupCause::kPostgresBackup:
      return Backup::kPostgresBackup;
  }
  return {};
}

void ShowFailure(std::string_view prefix, const std::string& reason) {
  try {
    ui::CurrentUiHost()->MsgBox(std::string(prefix) + reason, ui::msgbox::kOkOnly);
  } catch (...) {  // the message is the only report there is; the caller gets none
  }
}

// The server's connection, opened to show that the server is there, and where the system
// database lives.
struct Server {
  std::shared_ptr<ado::Connection> master;
  ado::DataSource ledra;
};

Server OpenServer() {
  Server server;
  server.master = ado::Connection::OpenDataSource("LedraMaster");
  server.ledra = ado::ResolveDataSource("Ledra");
  return server;
}

}  // namespace

std::string Backup::MissingFileReason(const fs::path& p) {
  return "The Backup File [" + p.string() + "] does not exist.";
}

std::string Backup::BackupErrorReason(const fs::path& p) {
  return "An error occurred while writing the backup to [" + p.string() + "].";
}

std::string Backup::RestoreErrorReason(const fs::path& p) {
  return "An error occurred while restoring the backup from [" + p.string() + "].";
}

std::string Backup::MissingFolderCause(const fs::path& folder) {
  return "The folder [" + folder.string() + "] does not exist.";
}

void Backup::SetLockWait(std::chrono::milliseconds wait) { lock_wait_ms = wait.count(); }

std::chrono::milliseconds Backup::LockWait() { return LockWaitNow(); }

fs::path Backup::AbsolutePath(const std::string& name) {
  fs::path p = name.empty() ? fs::current_path() : fs::absolute(name).lexically_normal();
  if (!p.has_filename() && p != p.root_path()) p = p.parent_path();
  return p;
}

namespace {

// A name of blanks alone would be taken for a file of that name in the current folder.
bool IsBlank(const std::string& name) {
  return name.find_first_not_of(" \t\r\n\v\f") == std::string::npos;
}

// Runs one backup or restore; `step` names in `reason` what it is about to do, so that a
// failure anywhere is shown as "<failure><reason> <cause>".
template <class Step>
void Attempt(std::string_view failure, Step step) {
  std::string reason;
  try {
    step(reason);
  } catch (const ado::BackupRefused& refused) {
    ShowFailure(failure, reason + " " + std::string(CauseSentence(refused.cause())));
  } catch (const KnownCause& cause) {
    ShowFailure(failure, reason + " " + cause.what());
  } catch (...) {
    ShowFailure(failure, reason);
  }
}

}  // namespace

void Backup::BackupDatabase() {
  Attempt(kBackupFailed, [this](std::string& reason) {
    reason = kNoServer;
    const Server server = OpenServer();
    reason = kNoFileSystem;
    const fs::path p = AbsolutePath(backup_path_);
    reason = BackupErrorReason(p);
    if (IsBlank(backup_path_)) throw KnownCause(kBlankName);
    if (fs::is_directory(p)) throw KnownCause(kIsAFolder);
    if (!fs::is_directory(p.parent_path())) throw KnownCause(MissingFolderCause(p.parent_path()));
    ado::BackupDatabase(server.ledra, p, LockWaitNow());
    server.master->Close();
  });
}

void Backup::RestoreDatabase() {
  Attempt(kRestoreFailed, [this](std::string& reason) {
    reason = kNoServer;
    const Server server = OpenServer();
    reason = kNoFileSystem;
    const fs::path p = AbsolutePath(backup_path_);
    if (IsBlank(backup_path_)) {
      reason = RestoreErrorReason(p);
      throw KnownCause(kBlankName);
    }
    reason = MissingFileReason(p);
    if (fs::is_directory(p)) throw KnownCause(kIsAFolder);
    if (!fs::is_regular_file(p)) throw Failure("no such file");
    reason = RestoreErrorReason(p);
    ado::RestoreDatabase(server.ledra, p, LockWaitNow());
    server.master->Close();
  });
}

const automation::MemberTable& Backup::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<Backup>()
          .Method("BackupDatabase", &Backup::BackupDatabase)
          .Method("RestoreDatabase", &Backup::RestoreDatabase)
          .Property("BackupPath", &Backup::BackupPath, &Backup::SetBackupPath)
          .Build();
  return table;
}

}  // namespace thalmere
