#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ocx/library.h"
#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Convert.h"
#include "platform/tests/TestEnvironment.h"
#include "platform/ui/UiHost.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using testing_support::ScopedCurrentDirectory;

const std::string kBackupFailed = "Your Backup failed for the following reason:  ";
const std::string kRestoreFailed = "Your Restore failed for the following reason:  ";

class BackupProceduresTest : public ::testing::Test {
 protected:
  testing_support::ScopedTempHome home_;
  std::shared_ptr<ui::ScriptedUiHost> host_ = std::make_shared<ui::ScriptedUiHost>();
  ui::ScopedUiHost scope_{host_};
};

TEST_F(BackupProceduresTest, AnEmptyNameIsRefusedBeforeAnyBackupObject) {
  const fs::path folder = home_.root() / "work";
  fs::create_directories(folder);
  ScopedCurrentDirectory cwd(folder);
  BackupDatabaseTo("");
  RestoreDatabaseFrom("");
  EXPECT_EQ(host_->Prompts(), (std::vector<std::string>{std::string(kNoBackupFileName),
                                                        std::string(kNoRestoreFileName)}));
  EXPECT_EQ(host_->Messages()[0].buttons, ui::msgbox::kOkOnly);
  EXPECT_EQ(host_->Messages()[0].title, "");

  // Blanks are a name here: it goes to the Backup object, which refuses it with a message of
  // its own and writes nothing into the current folder.
  BackupDatabaseTo("  ");
  RestoreDatabaseFrom(" ");
  EXPECT_EQ(host_->Prompts().size(), 4u);
  EXPECT_EQ(host_->Prompts()[2], kBackupFailed + "An error occurred while writing the backup to [" +
                                     (folder / "  ").string() + "]. The file name is blank.");
  EXPECT_EQ(host_->Prompts()[3], kRestoreFailed +
                                     "An error occurred while restoring the backup from [" +
                                     (folder / " ").string() + "]. The file name is blank.");
  EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(BackupProceduresTest, EachCallRunsItsOwnBackupObject) {
  auto ledra = ado::Connection::Create();
  ledra->OpenSource(ado::ResolveDataSource("Ledra"), true);
  ledra->Execute("create table t (x int)");
  ledra->Execute("insert into t values (1)");

  const fs::path file = home_.root() / "Kestrova.bkp";
  BackupDatabaseTo(file.string());
  ledra->Execute("insert into t values (2)");
  // A second call knows nothing of the first one's path.
  const fs::path missing = home_.root() / "missing.bkp";
  RestoreDatabaseFrom(missing.string());
  EXPECT_EQ(host_->Prompts(), std::vector<std::string>{kRestoreFailed + "The Backup File [" +
                                                       missing.string() + "] does not exist."});
  RestoreDatabaseFrom(file.string());
  EXPECT_EQ(host_->Prompts().size(), 1u);

  auto rows = ado::Recordset::Create();
  rows->Open("select count(*) from t", ledra);
  EXPECT_EQ(automation::CLng(rows->Field(0)), 1);
}

}  // namespace
}  // namespace kestrova
