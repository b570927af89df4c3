#include "ocx/ctlTasks.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "ocx/calccomp.h"
#include "ocx/calceva.h"
#include "ocx/calclists.h"
#include "ocx/library.h"
#include "platform/automation/Convert.h"
#include "platform/automation/Registry.h"
#include "platform/ui/UiHost.h"

namespace kestrova {

namespace {

using automation::Variant;

constexpr const char* kBackupFilter = "Kestrova Backup (*.bkp)|*.bkp";

// The task rows from top to bottom: check box, caption, "Now!" button.
struct Row {
  const char* check;
  const char* caption;
  const char* now;
};
constexpr std::array<Row, 5> kRows = {{
    {"chkCalcLists", "Calculate TC2000 Lists", "btnCalcListsNow"},
    {"chkCalcEVA", "Calculate EVA Values", "btnCalcEVANow"},
    {"chkCalcComposite", "Calculate Composites", "btnCalcCompositeNow"},
    {"chkBackup", "Backup the Kestrova Database", "btnBackupNow"},
    {"chkRestore", "Restore the Kestrova Database", "btnRestoreNow"},
}};

// What the user can start; disabled while a task runs.
constexpr std::array<const char*, 15> kInputs = {
    "chkCalcLists",       "btnCalcListsNow",      "chkCalcEVA",     "btnCalcEVANow",
    "chkCalcComposite",   "btnCalcCompositeNow",  "chkBackup",      "btnBackupNow",
    "txtBackupFileName",  "btnBrowseBackupFile",  "chkRestore",     "btnRestoreNow",
    "txtRestoreFileName", "btnBrowseRestoreFile", "btnPerformTasks"};

ctlTasks::Runs DefaultRuns() {
  return {CalcLists, CalcEVA, CalcComposites, BackupDatabaseTo, RestoreDatabaseFrom};
}

}  // namespace

// ---- the progress bar

const automation::MemberTable& TasksProgressBar::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<TasksProgressBar>()
          .Property("Min", &TasksProgressBar::Min, &TasksProgressBar::SetMin)
          .Property("Max", &TasksProgressBar::Max, &TasksProgressBar::SetMax)
          .Property("Value", &TasksProgressBar::Value, &TasksProgressBar::SetValue)
          .Property("Visible", &TasksProgressBar::Visible, &TasksProgressBar::SetVisible)
          .Build();
  return table;
}

namespace {
// A progress bar refuses a value outside its range ("Invalid property value").
constexpr int32_t kInvalidPropertyValue = 380;
[[noreturn]] void Refuse(const std::string& what) {
  throw automation::Error(kInvalidPropertyValue, "Invalid property value: " + what);
}
}  // namespace

int32_t TasksProgressBar::Min() const {
  return automation::CLng(owner_.Property("pgProgress", "min"));
}
int32_t TasksProgressBar::Max() const {
  return automation::CLng(owner_.Property("pgProgress", "max"));
}
int32_t TasksProgressBar::Value() const {
  return automation::CLng(owner_.Property("pgProgress", "value"));
}
bool TasksProgressBar::Visible() const {
  return automation::CBool(owner_.Property("pgProgress", "visible"));
}
void TasksProgressBar::SetMin(int32_t value) {
  if (value > Max()) Refuse("Min " + std::to_string(value) + " above Max");
  owner_.SetMany(
      {{"pgProgress", {{"min", Variant(value)}, {"value", Variant(std::max(Value(), value))}}}});
}
void TasksProgressBar::SetMax(int32_t value) {
  if (value < Min()) Refuse("Max " + std::to_string(value) + " below Min");
  owner_.SetMany(
      {{"pgProgress", {{"max", Variant(value)}, {"value", Variant(std::min(Value(), value))}}}});
}
void TasksProgressBar::SetValue(int32_t value) {
  owner_.ThrowIfStopping();
  if (value < Min() || value > Max())
    Refuse("Value " + std::to_string(value) + " outside the range");
  owner_.Set("pgProgress", "value", Variant(value));
}
void TasksProgressBar::SetVisible(bool value) {
  owner_.Set("pgProgress", "visible", Variant(value));
}

// ---- the control

ctlTasks::ctlTasks() : ctlTasks(DefaultRuns()) {}

ctlTasks::ctlTasks(Runs runs) : runs_(std::move(runs)) {
  bar_ = std::make_shared<TasksProgressBar>(*this);
  ui::ControlState form;
  form["UserControl"] = {{"mousepointer", Variant(ui::kPointerDefault)}, {"busy", Variant(false)}};
  form["frmStatus"] = {{"caption", Variant("Status")}, {"visible", Variant(false)}};
  form["pgProgress"] = {{"visible", Variant(false)},
                        {"min", Variant(int32_t{0})},
                        {"max", Variant(int32_t{100})},
                        {"value", Variant(int32_t{0})}};
  form["lblStatus"] = {{"caption", Variant("")}, {"error", Variant(false)}};
  form["frmToDo"] = {{"caption", Variant("To Do")}};
  form["lblPerform"] = {{"caption", Variant("Perform")}};
  form["lblTasks"] = {{"caption", Variant("Tasks")}};
  for (const Row& row : kRows) {
    form[row.check] = {{"caption", Variant(row.caption)}, {"value", Variant(int32_t{0})}};
    form[row.now] = {{"caption", Variant("Now!")}};
  }
  form["btnBrowseBackupFile"] = {{"caption", Variant("...")}};
  form["btnBrowseRestoreFile"] = {{"caption", Variant("...")}};
  form["btnPerformTasks"] = {{"caption", Variant("Perform Selected Tasks")}};
  for (const char* input : kInputs) form[input]["enabled"] = Variant(true);
  const automation::ObjectRef settings = automation::CreateObject("Thalmere.Settings");
  form["txtBackupFileName"]["text"] =
      Variant(automation::CStr(settings->Get("DefaultDatabaseBackupFile")));
  form["txtRestoreFileName"]["text"] = Variant("");
  SetMany(form);
}

ctlTasks::~ctlTasks() { Close(); }

const automation::MemberTable& ctlTasks::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<ctlTasks>()
          .Method("updStatus", &ctlTasks::updStatus)
          .Method("getProgressBar", &ctlTasks::getProgressBar)
          .Method("Done", &ctlTasks::Done)
          .Method("ShowStatus", &ctlTasks::ShowStatus)
          .Build();
  return table;
}

void ctlTasks::updStatus(std::string& strStatus) {
  ThrowIfStopping();
  SetMany({{"lblStatus", {{"caption", Variant(strStatus)}, {"error", Variant(false)}}}});
}

automation::ObjectRef ctlTasks::getProgressBar() {
  Set("pgProgress", "visible", Variant(true));
  return bar_;
}

void ctlTasks::Done() {
  SetShowStatus(false);
  Set("pgProgress", "visible", Variant(false));
}

void ctlTasks::ShowStatus(Variant& bShow) { SetShowStatus(automation::CBool(bShow)); }

void ctlTasks::SetShowStatus(bool show) { Set("frmStatus", "visible", Variant(show)); }

automation::ObjectRef ctlTasks::Self() { return shared_from_this(); }

bool ctlTasks::Checked(const char* box) const {
  const Variant value = Property(box, "value");
  return !value.IsEmpty() && automation::CLng(value) == 1;
}

std::string ctlTasks::AskBackupFile(const std::string& current) {
  ui::FileDialog dialog;
  dialog.filter = kBackupFilter;
  dialog.file_name = current;
  dialog.default_ext = "bkp";
  return ui::CurrentUiHost()->SaveFileName(dialog).value_or(current);
}

std::string ctlTasks::AskRestoreFile(const std::string& current) {
  ui::FileDialog dialog;
  dialog.filter = kBackupFilter;
  dialog.file_name = current;
  return ui::CurrentUiHost()->OpenFileName(dialog).value_or(current);
}

void ctlTasks::SetBusy(bool busy) {
  ui::ControlState patch;
  patch["UserControl"] = {
      {"mousepointer", Variant(busy ? ui::kPointerHourglass : ui::kPointerDefault)},
      {"busy", Variant(busy)}};
  for (const char* input : kInputs) patch[input]["enabled"] = Variant(!busy);
  SetMany(patch);
}

void ctlTasks::ShowFailure(const std::string& what, const automation::Error& error) {
  // The run ends here: the page becomes usable again and says what went wrong, instead of
  // keeping the hourglass and the last status of the run.
  SetBusy(false);
  SetMany({{"frmStatus", {{"visible", Variant(true)}}},
           {"pgProgress", {{"visible", Variant(false)}}},
           {"lblStatus",
            {{"caption", Variant(what + " failed: " + error.Description())},
             {"error", Variant(true)}}}});
}

void ctlTasks::RunNow(const std::string& what, const std::function<void()>& run) {
  SetShowStatus(true);
  Set("lblStatus", "error", Variant(false));
  try {
    run();
  } catch (const automation::Error& error) {
    ShowFailure(what, error);
    return;
  }
  SetBusy(false);
  SetShowStatus(false);
}

void ctlTasks::BackupNow() {
  RunNow("The backup", [&] {
    std::string file = Text("txtBackupFileName");
    if (file.empty()) {
      file = AskBackupFile(file);
      Set("txtBackupFileName", "text", Variant(file));
    }
    SetBusy(true);
    std::string status = "Backing up Kestrova Database to " + file;
    updStatus(status);
    runs_.backup(file);
  });
}

void ctlTasks::RestoreNow() {
  RunNow("The restore", [&] {
    std::string file = Text("txtRestoreFileName");
    if (file.empty()) {
      file = AskRestoreFile(file);
      Set("txtRestoreFileName", "text", Variant(file));
    }
    SetBusy(true);
    std::string status = "Restoring Kestrova Database from " + file;
    updStatus(status);
    runs_.restore(file);
  });
}

void ctlTasks::PerformSelectedTasks() {
  struct Step {
    const char* check;
    const char* what;
    std::function<void()> run;
  };
  const automation::ObjectRef self = Self();
  const std::vector<Step> steps = {
      {"chkCalcLists", "Calculate TC2000 Lists", [&] { runs_.lists(self); }},
      {"chkCalcEVA", "Calculate EVA Values", [&] { runs_.eva(self); }},
      {"chkCalcComposite", "Calculate Composites", [&] { runs_.composites(self); }},
      {"chkBackup", "The backup", [&] { runs_.backup(Text("txtBackupFileName")); }},
      {"chkRestore", "The restore", [&] { runs_.restore(Text("txtRestoreFileName")); }},
  };
  SetBusy(true);
  Set("lblStatus", "error", Variant(false));
  for (const Step& step : steps) {
    if (!Checked(step.check)) continue;
    // The calculations show the status frame while they run; backup and restore report
    // through their own message boxes.
    const bool calculation =
        step.check != std::string_view("chkBackup") && step.check != std::string_view("chkRestore");
    SetShowStatus(calculation);
    try {
      step.run();
    } catch (const automation::Error& error) {
      ShowFailure(step.what, error);
      return;
    }
    SetShowStatus(false);
    // Done: a retry after a later failure does not run it again.
    Set(step.check, "value", Variant(int32_t{0}));
  }
  SetBusy(false);
  ui::ControlState clear;
  for (const Row& row : kRows) clear[row.check]["value"] = Variant(int32_t{0});
  SetMany(clear);
}

void ctlTasks::HandleEvent(const std::string& child, const std::string& event, Variant&) {
  if (event != "click") return;
  if (child == "btnBackupNow") {
    BackupNow();
  } else if (child == "btnRestoreNow") {
    RestoreNow();
  } else if (child == "btnBrowseBackupFile") {
    Set("txtBackupFileName", "text", Variant(AskBackupFile(Text("txtBackupFileName"))));
  } else if (child == "btnBrowseRestoreFile") {
    Set("txtRestoreFileName", "text", Variant(AskRestoreFile(Text("txtRestoreFileName"))));
  } else if (child == "chkBackup") {
    if (Checked("chkBackup") && Text("txtBackupFileName").empty()) {
      Set("txtBackupFileName", "text", Variant(AskBackupFile("")));
    }
  } else if (child == "chkRestore") {
    if (Checked("chkRestore") && Text("txtRestoreFileName").empty()) {
      Set("txtRestoreFileName", "text", Variant(AskRestoreFile("")));
    }
  } else if (child == "btnCalcCompositeNow") {
    const automation::ObjectRef self = Self();
    RunNow("Calculate Composites", [&] {
      SetBusy(true);
      runs_.composites(self);
    });
  } else if (child == "btnCalcEVANow") {
    const automation::ObjectRef self = Self();
    RunNow("Calculate EVA Values", [&] {
      SetBusy(true);
      runs_.eva(self);
    });
  } else if (child == "btnCalcListsNow") {
    const automation::ObjectRef self = Self();
    RunNow("Calculate TC2000 Lists", [&] {
      SetBusy(true);
      runs_.lists(self);
    });
  } else if (child == "btnPerformTasks") {
    PerformSelectedTasks();
  }
}

}  // namespace kestrova
