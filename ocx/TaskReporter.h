#pragma once

#include <cstdint>
#include <string>

#include "platform/automation/Dispatch.h"

// How a batch run reports its progress, and how it ends when its inputs are missing.
namespace kestrova {

// The object a batch run reports to, reached late-bound, so any object with these members
// serves (the maintenance tasks control, the console of `kestrova calc`, a test):
//   updStatus(text), getProgressBar() → an object with Min, Max, Value and Visible, Done().
// Errors raised by the object reach the run's caller.
class TaskReporter {
 public:
  // Asks the object for its progress bar (which also shows it).
  explicit TaskReporter(automation::ObjectRef tasks);

  void Status(const std::string& text);
  void SetVisible(bool visible);
  // Sets Min and Max in the order that keeps Min <= Max after each (a progress bar refuses
  // a Max below its Min).
  void SetRange(int32_t min, int32_t max);
  void SetValue(int32_t value);
  // Value = Value + 1.
  void Step();
  void Done();

 private:
  automation::ObjectRef tasks_;
  automation::ObjectRef bar_;
};

// Ends a run whose inputs are missing as a whole (no companies, no industries, a reference
// series the price source does not have) before it touches its table: error 5 with `why`,
// which names what is missing and the table that is kept.
[[noreturn]] void RefuseRun(const std::string& why);

}  // namespace kestrova
