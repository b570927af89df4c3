#include "ocx/library.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Convert.h"
#include "platform/tests/TestEnvironment.h"
#include "platform/ui/UiHost.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

const std::string kBackupFailed = "Your Backup failed for the following reason:  ";
const std::string kRestoreFailed = "Your Restore failed for the following reason:  ";

class BackupProceduresTest : public ::testing::Test {
 protected:
  testing_support::ScopedTempHome home_;
  std::shared_ptr<ui::ScriptedUiHost> host_ = std::make_shared<ui::ScriptedUiHost>();
  ui::ScopedUiHost scope_{host_};
};

TEST_F(BackupProceduresTest, AnEmptyNameIsRefusedBeforeAnyBackupObject) {
  // The system database cannot be reached here (its file would lie below a plain file): a
  // Backup object would report that it cannot connect.
  const fs::path plain_file = home_.root() / "plain";
  std::ofstream(plain_file) << "not a folder";
  fs::create_directories(home_.config() / "Kestrova");
  std::ofstream(home_.config() / "Kestrova" / "datasources.ini")
      << "[Ledra]\ndriver = sqlite\npath = " << (plain_file / "Ledra.db").string()
      << "\n[LedraMaster]\ndriver = sqlite\npath = " << (plain_file / "Ledra.db").string() << "\n";
  BackupDatabaseTo("");
  RestoreDatabaseFrom("");
  EXPECT_EQ(host_->Prompts(), (std::vector<std::string>{std::string(kNoBackupFileName),
                                                        std::string(kNoRestoreFileName)}));
  EXPECT_EQ(host_->Messages()[0].buttons, ui::msgbox::kOkOnly);
  EXPECT_EQ(host_->Messages()[0].title, "");

  // Blanks are a name: it goes to the Backup object, which finds no database.
  BackupDatabaseTo("  ");
  RestoreDatabaseFrom(" ");
  EXPECT_EQ(host_->Prompts().size(), 4u);
  EXPECT_EQ(host_->Prompts()[2], kBackupFailed + "Unable to connect to SQLServer");
  EXPECT_EQ(host_->Prompts()[3], kRestoreFailed + "Unable to connect to SQLServer");
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
