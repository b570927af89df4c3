#include "ocx/library.h"

#include "platform/automation/Dispatch.h"
#include "platform/automation/Registry.h"
#include "platform/ui/UiHost.h"

namespace kestrova {

namespace {

void RunBackupObject(const std::string& file, std::string_view empty_name_message,
                     const char* method) {
  if (file.empty()) {
    ui::CurrentUiHost()->MsgBox(empty_name_message, ui::msgbox::kOkOnly);
    return;
  }
  const automation::ObjectRef backup = automation::CreateObject("Thalmere.Backup");
  backup->Let("BackupPath", automation::Variant(file));
  backup->Call(method);
}

}  // namespace

void BackupDatabaseTo(const std::string& strFile) {
  RunBackupObject(strFile, kNoBackupFileName, "BackupDatabase");
}

void RestoreDatabaseFrom(const std::string& strFile) {
  RunBackupObject(strFile, kNoRestoreFileName, "RestoreDatabase");
}

}  // namespace kestrova
