#include "library/Backup.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "library/StockNote.h"
#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Convert.h"
#include "platform/automation/Text.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/TestEnvironment.h"
#include "platform/ui/UiHost.h"

namespace thalmere {
namespace {

namespace fs = std::filesystem;
using automation::Variant;
using testing_support::FileBytes;
using testing_support::ScopedCurrentDirectory;
using testing_support::TestEngine;

// Files larger than `bytes` cannot be written by this process or the programs it starts, for
// the object's life: a write past the limit fails (SIGXFSZ is ignored meanwhile).
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_limit_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_limit_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~ScopedFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_limit_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_limit_{};
  void (*old_handler_)(int) = nullptr;
};

// Backup and restore wait this long for a lock held elsewhere, for the object's life.
class ScopedLockWait {
 public:
  explicit ScopedLockWait(std::chrono::milliseconds wait) : old_(Backup::LockWait()) {
    Backup::SetLockWait(wait);
  }
  ~ScopedLockWait() { Backup::SetLockWait(old_); }

 private:
  std::chrono::milliseconds old_;
};

// The system database holds notes; the tests back it up and restore it and look at which
// notes are there.
class BackupTest : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    if (!UseDataSources({"Ledra", "LedraMaster"})) GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    auto ledra = sources_->Open("Ledra");
    StockNote().CreateTable(ledra);
    AddNote(*ledra, "kept");
    AddNote(*ledra, "it's changed later");
    dir_ = home_.root() / "backups";
    fs::create_directories(dir_);
  }

  static void AddNote(ado::Connection& ledra, const std::string& text) {
    ledra.Execute("insert into stocknotes (company_id, symbol, notetext) values ('1', 'ACME', ?)",
                  {Variant(text)});
  }

  // The note texts, sorted, read through a new connection.
  std::vector<std::string> Notes() const {
    auto ledra = sources_->Open("Ledra");
    auto rows = ado::Recordset::Create();
    rows->Open("select notetext from stocknotes order by notetext", ledra);
    std::vector<std::string> texts;
    for (; !rows->EOF_(); rows->MoveNext()) texts.push_back(automation::CStr(rows->Field(0)));
    return texts;
  }

  void Run(const std::string& path, bool restore) {
    Backup backup;
    backup.SetBackupPath(path);
    ui::ScopedUiHost scope(host_);
    if (restore) {
      backup.RestoreDatabase();
    } else {
      backup.BackupDatabase();
    }
  }

  std::vector<std::string> TakePrompts() {
    std::vector<std::string> prompts = host_->Prompts();
    host_ = std::make_shared<ui::ScriptedUiHost>();
    return prompts;
  }

  static std::string BackupFailed(const std::string& reason) {
    return std::string(Backup::kBackupFailed) + reason;
  }
  static std::string RestoreFailed(const std::string& reason) {
    return std::string(Backup::kRestoreFailed) + reason;
  }
  static std::string Because(const std::string& reason, std::string_view cause) {
    return reason + " " + std::string(cause);
  }

  bool OnlyTheBackupIn(const fs::path& dir, const fs::path& file) const {
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.path() != file) return false;
    }
    return true;
  }

  std::shared_ptr<ui::ScriptedUiHost> host_ = std::make_shared<ui::ScriptedUiHost>();
  fs::path dir_;
};

TEST_P(BackupTest, ARestoreUndoesTheChangesMadeAfterTheBackup) {
  const fs::path file = dir_ / "it's Kestrova.bkp";
  Run(file.string(), false);
  EXPECT_EQ(TakePrompts(), std::vector<std::string>{});
  ASSERT_TRUE(fs::is_regular_file(file));
  EXPECT_TRUE(OnlyTheBackupIn(dir_, file));

  auto ledra = sources_->Open("Ledra");
  ledra->Execute("delete from stocknotes where notetext = ?", {Variant("it's changed later")});
  AddNote(*ledra, "made after the backup");
  ledra->Close();
  EXPECT_EQ(Notes(), (std::vector<std::string>{"kept", "made after the backup"}));

  Run(file.string(), true);
  EXPECT_EQ(TakePrompts(), std::vector<std::string>{});
  EXPECT_EQ(Notes(), (std::vector<std::string>{"it's changed later", "kept"}));
  // The live database goes on working, and a backup can be restored again.
  AddNote(*sources_->Open("Ledra"), "after the restore");
  Run(file.string(), true);
  EXPECT_EQ(TakePrompts(), std::vector<std::string>{});
  EXPECT_EQ(Notes(), (std::vector<std::string>{"it's changed later", "kept"}));
}

TEST_P(BackupTest, RelativePathsStartAtTheCurrentFolder) {
  ScopedCurrentDirectory cwd(home_.root());
  Run("backups/./sub/../relative.bkp", false);
  EXPECT_EQ(TakePrompts(), std::vector<std::string>{});
  EXPECT_TRUE(fs::is_regular_file(dir_ / "relative.bkp"));

  // A folder that does not exist fails at the backup itself, naming the absolute paths.
  Run("missing/relative.bkp", false);
  EXPECT_EQ(TakePrompts(), std::vector<std::string>{BackupFailed(Because(
                               Backup::BackupErrorReason(home_.root() / "missing/relative.bkp"),
                               Backup::MissingFolderCause(home_.root() / "missing")))});
  EXPECT_FALSE(fs::exists(home_.root() / "missing"));

  AddNote(*sources_->Open("Ledra"), "after");
  Run("backups/relative.bkp", true);
  EXPECT_EQ(TakePrompts(), std::vector<std::string>{});
  EXPECT_EQ(Notes(), (std::vector<std::string>{"it's changed later", "kept"}));
}

TEST_P(BackupTest, ABackupThatFailsHalfWayKeepsTheOldFile) {
  const fs::path file = dir_ / "Kestrova.bkp";
  Run(file.string(), false);
  ASSERT_EQ(TakePrompts(), std::vector<std::string>{});
  const std::string old_bytes = FileBytes(file);

  // Enough notes of random text that neither the database nor a compressed dump fits under
  // the file size limit below, while the old backup does.
  auto ledra = sources_->Open("Ledra");
  ledra->BeginTrans();
  std::mt19937 random(7);
  for (int i = 0; i < 3000; ++i) {
    std::string text;
    for (int k = 0; k < 200; ++k) text += static_cast<char>('!' + random() % 90);
    AddNote(*ledra, text);
  }
  ledra->CommitTrans();
  ledra->Close();
  ASSERT_LT(old_bytes.size(), 64u * 1024);
  {
    ScopedFileSizeLimit limit(64 * 1024);
    Run(file.string(), false);
  }
  EXPECT_EQ(TakePrompts(), std::vector<std::string>{BackupFailed(Backup::BackupErrorReason(file))});
  EXPECT_EQ(FileBytes(file), old_bytes);
  EXPECT_TRUE(OnlyTheBackupIn(dir_, file));  // nothing of the failed backup is left behind

  Run(file.string(), true);
  EXPECT_EQ(TakePrompts(), std::vector<std::string>{});
  EXPECT_EQ(Notes(), (std::vector<std::string>{"it's changed later", "kept"}));
}

TEST_P(BackupTest, ARestoreRefusesWhatIsNoBackupSaysWhyAndLeavesTheDatabase) {
  const bool pg = GetParam() == TestEngine::kPostgres;
  const fs::path good = dir_ / "good.bkp";
  Run(good.string(), false);
  ASSERT_EQ(TakePrompts(), std::vector<std::string>{});
  const std::string good_bytes = FileBytes(good);
  AddNote(*sources_->Open("Ledra"), "after the backup");
  const std::vector<std::string> before = Notes();

  auto write = [&](const char* name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return dir_ / name;
  };
  // A SQLite database with the given mark: 0 for another program's, ours for a backup made
  // where the system database is on SQLite.
  auto sqlite_file = [&](const char* name, int32_t application_id) {
    auto other = ado::Connection::Create();
    other->OpenSource({"other", ado::Engine::kSqlite, (dir_ / name).string(), ""}, true);
    StockNote().CreateTable(other);
    other->Execute("pragma application_id=" + std::to_string(application_id));
    other->Close();
    return dir_ / name;
  };
  struct Case {
    fs::path file;
    std::string_view cause;
  };
  std::vector<Case> cases = {
      {write("notes.txt", "kept\nit's changed later\n"), Backup::kNotABackup},
      {write("empty.bkp", ""), Backup::kNotABackup},
      {write("cut.bkp", good_bytes.substr(0, good_bytes.size() / 2)), Backup::kDamaged},
      {sqlite_file("other.db", 0), Backup::kNotABackup},
      {write("dump.bkp", "PGDMP, and then nothing of an archive"),
       pg ? Backup::kDamaged : Backup::kPostgresBackup},
  };
  if (pg) {
    cases.push_back({sqlite_file("sqlite.bkp", Backup::kApplicationId), Backup::kSqliteBackup});
  } else {
    cases.push_back({ado::ResolveDataSource("Ledra").path, Backup::kIsTheDatabase});
  }
  for (const Case& c : cases) {
    Run(c.file.string(), true);
    EXPECT_EQ(TakePrompts(), std::vector<std::string>{RestoreFailed(
                                 Because(Backup::RestoreErrorReason(c.file), c.cause))})
        << c.file;
  }
  const fs::path missing = dir_ / "missing.bkp";
  Run(missing.string(), true);
  EXPECT_EQ(TakePrompts(),
            std::vector<std::string>{RestoreFailed(Backup::MissingFileReason(missing))});
  EXPECT_EQ(Notes(), before);

  // Nor does a backup go over the live database.
  if (!pg) {
    const fs::path live = ado::ResolveDataSource("Ledra").path;
    Run(live, false);
    EXPECT_EQ(TakePrompts(), std::vector<std::string>{BackupFailed(Because(
                                 Backup::BackupErrorReason(live), Backup::kIsTheDatabase))});
    EXPECT_EQ(Notes(), before);
  }
}

TEST_P(BackupTest, ABlankNameOrAFolderIsRefusedAndNothingIsWritten) {
  ScopedCurrentDirectory cwd(dir_);
  for (const std::string name : {"", "  ", " \t "}) {
    Run(name, false);
    Run(name, true);
    const fs::path p = Backup::AbsolutePath(name);
    EXPECT_EQ(TakePrompts(),
              (std::vector<std::string>{
                  BackupFailed(Because(Backup::BackupErrorReason(p), Backup::kBlankName)),
                  RestoreFailed(Because(Backup::RestoreErrorReason(p), Backup::kBlankName))}))
        << "[" << name << "]";
  }
  Run(".", false);
  Run(".", true);
  EXPECT_EQ(TakePrompts(),
            (std::vector<std::string>{
                BackupFailed(Because(Backup::BackupErrorReason(dir_), Backup::kIsAFolder)),
                RestoreFailed(Because(Backup::MissingFileReason(dir_), Backup::kIsAFolder))}));
  EXPECT_TRUE(fs::is_empty(dir_));
  EXPECT_EQ(Notes(), (std::vector<std::string>{"it's changed later", "kept"}));
}

TEST_P(BackupTest, ALockHeldElsewhereMeansTheDatabaseIsInUse) {
  const bool pg = GetParam() == TestEngine::kPostgres;
  const fs::path file = dir_ / "Kestrova.bkp";
  Run(file.string(), false);
  ASSERT_EQ(TakePrompts(), std::vector<std::string>{});
  const std::string old_bytes = FileBytes(file);

  ScopedLockWait wait(std::chrono::milliseconds(200));
  auto other = sources_->Open("Ledra");
  other->BeginTrans();
  AddNote(*other, "not yet committed");
  // A SQLite backup reads beside a writer; pg_dump waits only for a table locked whole.
  if (pg) other->Execute("lock table stocknotes in access exclusive mode");
  Run(file.string(), true);
  EXPECT_EQ(TakePrompts(), std::vector<std::string>{RestoreFailed(
                               Because(Backup::RestoreErrorReason(file), Backup::kInUse))});
  if (pg) {
    Run(file.string(), false);
    EXPECT_EQ(TakePrompts(), std::vector<std::string>{BackupFailed(
                                 Because(Backup::BackupErrorReason(file), Backup::kInUse))});
    EXPECT_EQ(FileBytes(file), old_bytes);
  }
  other->CommitTrans();
  other->Close();
  EXPECT_EQ(Notes(), (std::vector<std::string>{"it's changed later", "kept", "not yet committed"}));

  Run(file.string(), true);
  EXPECT_EQ(TakePrompts(), std::vector<std::string>{});
  EXPECT_EQ(Notes(), (std::vector<std::string>{"it's changed later", "kept"}));
}

TEST_P(BackupTest, ARestoreLeavesExactlyWhatWasBackedUp) {
  const bool pg = GetParam() == TestEngine::kPostgres;
  auto ledra = sources_->Open("Ledra");
  ledra->Execute("create table si_eva (company_id char(10), leva numeric(12,2))");
  ledra->Execute("insert into si_eva values ('1', 1.5)");
  ledra->Execute("create view older_notes as select notetext from stocknotes");
  ledra->Close();
  const fs::path file = dir_ / "Kestrova.bkp";
  Run(file.string(), false);
  ASSERT_EQ(TakePrompts(), std::vector<std::string>{});

  // Afterwards: a table and a view go, new ones come, some in a schema of their own.
  ledra = sources_->Open("Ledra");
  ledra->Execute("drop view older_notes");
  ledra->Execute("drop table si_eva");
  ledra->Execute("create table si_eva (company_id char(10), ueva numeric(12,2))");
  ledra->Execute("insert into si_eva values ('2', 2.5)");
  ledra->Execute("create table si_composite (company_id char(10))");
  ledra->Execute("create index si_compositeMain on si_composite (company_id)");
  if (pg) {
    ledra->Execute("create sequence newer_ids");
    ledra->Execute("create schema newer");
    ledra->Execute("create table newer.lists (listidx int)");
    ledra->Execute("create type newer_mood as enum ('up', 'down')");
  }
  ledra->Close();

  Run(file.string(), true);
  EXPECT_EQ(TakePrompts(), std::vector<std::string>{});
  ledra = sources_->Open("Ledra");
  auto objects = ado::Recordset::Create();
  objects->Open(pg ? "select n.nspname || '.' || c.relname from pg_class c join pg_namespace n "
                     "on n.oid = c.relnamespace where n.nspname not like 'pg\\_%' and "
                     "n.nspname <> 'information_schema' and c.relkind in ('r', 'v', 'S', 'i') "
                     "union all select 'type ' || typname from pg_type where typname = "
                     "'newer_mood' union all select 'schema ' || nspname from pg_namespace "
                     "where nspname = 'newer' order by 1"
                   : "select 'public.' || lower(name) from sqlite_master order by 1",
                ledra);
  std::vector<std::string> names;
  for (; !objects->EOF_(); objects->MoveNext())
    names.push_back(automation::CStr(objects->Field(0)));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::string>{"public.notesmain", "public.notessymbol",
                                      "public.older_notes", "public.si_eva", "public.stocknotes"}));
  auto eva = ado::Recordset::Create();
  eva->Open("select * from si_eva", ledra);
  ASSERT_EQ(eva->RecordCount(), 1);
  EXPECT_EQ(automation::TrimBlanks(automation::CStr(eva->Field("company_id"))), "1");
  EXPECT_EQ(automation::CDbl(eva->Field("leva")), 1.5);
  EXPECT_EQ(Notes(), (std::vector<std::string>{"it's changed later", "kept"}));
}

TEST_P(BackupTest, APostgresRestoreThatFailsPartWayLeavesTheDatabaseAsItWas) {
  if (GetParam() == TestEngine::kSqlite) GTEST_SKIP() << "a SQLite restore is one page copy";
  // The emptying leaves a collation where it is, so restoring one fails when the archive
  // creates it again: after the emptying and part of the archive have run.
  auto ledra = sources_->Open("Ledra");
  ledra->Execute("create collation kestrova_c (locale = 'C')");
  const fs::path file = dir_ / "Kestrova.bkp";
  Run(file.string(), false);
  ASSERT_EQ(TakePrompts(), std::vector<std::string>{});
  AddNote(*ledra, "after the backup");
  ledra->Execute("create table si_eva (company_id char(10))");
  ledra->Close();

  Run(file.string(), true);
  EXPECT_EQ(TakePrompts(),
            std::vector<std::string>{RestoreFailed(Backup::RestoreErrorReason(file))});
  EXPECT_EQ(Notes(), (std::vector<std::string>{"after the backup", "it's changed later", "kept"}));
  auto eva = ado::Recordset::Create();
  eva->Open("select count(*) from si_eva", sources_->Open("Ledra"));
  EXPECT_EQ(automation::CLng(eva->Field(0)), 0);
}

TEST_P(BackupTest, ARestoredDatabaseIsNoBackup) {
  if (GetParam() == TestEngine::kPostgres) GTEST_SKIP() << "only a SQLite file carries the mark";
  const fs::path file = dir_ / "Kestrova.bkp";
  Run(file.string(), false);
  Run(file.string(), true);
  ASSERT_EQ(TakePrompts(), std::vector<std::string>{});

  // The live database has no mark, so a plain copy of it is refused like any other file.
  const fs::path live = ado::ResolveDataSource("Ledra").path;
  auto ledra = sources_->Open("Ledra");
  auto id = ado::Recordset::Create();
  id->Open("pragma application_id", ledra);
  EXPECT_EQ(automation::CLng(id->Field(0)), 0);
  id->Close();
  ledra->Close();
  const fs::path copy = dir_ / "copy.bkp";
  fs::copy_file(live, copy);
  AddNote(*sources_->Open("Ledra"), "after the copy");
  Run(copy.string(), true);
  EXPECT_EQ(TakePrompts(), std::vector<std::string>{RestoreFailed(
                               Because(Backup::RestoreErrorReason(copy), Backup::kNotABackup))});
  EXPECT_EQ(Notes(), (std::vector<std::string>{"after the copy", "it's changed later", "kept"}));

  // The backup itself keeps its mark and is restored again.
  Run(file.string(), true);
  EXPECT_EQ(TakePrompts(), std::vector<std::string>{});
  EXPECT_EQ(Notes(), (std::vector<std::string>{"it's changed later", "kept"}));
}

INSTANTIATE_TEST_SUITE_P(Engines, BackupTest, testing_support::BothEngines(),
                         testing_support::EngineParamName());

}  // namespace
}  // namespace thalmere
