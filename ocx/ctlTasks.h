#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/automation/Dispatch.h"
#include "platform/ui/Control.h"

namespace kestrova {

class ctlTasks;

// The progress bar of the maintenance tasks (pgProgress) as the batch runs reach it: Min,
// Max, Value and Visible, each change shown by the control's host.
class TasksProgressBar : public automation::Dispatch {
 public:
  explicit TasksProgressBar(ctlTasks& owner) : owner_(owner) {}

  std::string_view ClassName() const override { return "ProgressBar"; }
  const automation::MemberTable& Members() const override;

  int32_t Min() const;
  int32_t Max() const;
  int32_t Value() const;
  bool Visible() const;
  void SetMin(int32_t value);
  void SetMax(int32_t value);
  // Once the control is closing, any move of the bar ends the run as a failure.
  void SetValue(int32_t value);
  void SetVisible(bool value);

 private:
  ctlTasks& owner_;
};

// ctlTasks: the maintenance page's control. Five task rows (chart lists, EVA, composites,
// backup, restore), each with a "Now!" button and a check box for "Perform Selected Tasks",
// and a status frame with a progress bar and a status line that the batch runs drive
// through updStatus, getProgressBar and Done. Runs happen on the control's own thread, one
// at a time; while one runs, the rows are disabled and the pointer is the hourglass.
//
// A run that fails ends the busy state and shows its error in the status frame; in a batch
// the tasks that completed are unticked and the failed one and those after it stay ticked.
class ctlTasks : public automation::Dispatch, public ui::Control {
 public:
  static constexpr std::string_view kProgId = "Kestrova.ctlTasks";

  // The batch runs, each given the control; tests put others in their place.
  struct Runs {
    std::function<void(const automation::ObjectRef&)> lists, eva, composites;
    std::function<void(const std::string&)> backup, restore;
  };

  // Fills txtBackupFileName with DefaultDatabaseBackupFile of a new Thalmere.Settings.
  ctlTasks();
  explicit ctlTasks(Runs runs);
  ~ctlTasks() override;

  std::string_view ClassName() const override { return "ctlTasks"; }
  const automation::MemberTable& Members() const override;

  // Sets the status line (lblStatus). Once the control is closing, ends the run as a failure.
  void updStatus(std::string& strStatus);
  // Shows pgProgress and returns it.
  automation::ObjectRef getProgressBar();
  // Hides the status frame and the progress bar.
  void Done();
  void ShowStatus(automation::Variant& bShow);

 protected:
  void HandleEvent(const std::string& child, const std::string& event,
                   automation::Variant& value) override;

 private:
  friend class TasksProgressBar;

  std::string AskBackupFile(const std::string& current);
  std::string AskRestoreFile(const std::string& current);
  void SetShowStatus(bool show);
  void SetBusy(bool busy);
  void RunNow(const std::string& what, const std::function<void()>& run);
  void BackupNow();
  void RestoreNow();
  void PerformSelectedTasks();
  void ShowFailure(const std::string& what, const automation::Error& error);
  bool Checked(const char* box) const;
  automation::ObjectRef Self();

  Runs runs_;
  std::shared_ptr<TasksProgressBar> bar_;
};

}  // namespace kestrova
