#include "ocx/TaskReporter.h"

#include <string>
#include <utility>

#include "platform/automation/Convert.h"
#include "platform/automation/Error.h"

namespace kestrova {

using automation::Variant;

TaskReporter::TaskReporter(automation::ObjectRef tasks) : tasks_(std::move(tasks)) {
  bar_ = tasks_->Call("getProgressBar").Object();
}

void TaskReporter::Status(const std::string& text) { tasks_->CallWith("updStatus", text); }

void TaskReporter::SetVisible(bool visible) { bar_->Let("Visible", Variant(visible)); }

void TaskReporter::SetRange(int32_t min, int32_t max) {
  if (min > automation::CLng(bar_->Get("Max"))) {
    bar_->Let("Max", Variant(max));
    bar_->Let("Min", Variant(min));
  } else {
    bar_->Let("Min", Variant(min));
    bar_->Let("Max", Variant(max));
  }
}

void TaskReporter::SetValue(int32_t value) { bar_->Let("Value", Variant(value)); }

void TaskReporter::Step() { SetValue(automation::CLng(bar_->Get("Value")) + 1); }

void TaskReporter::Done() { tasks_->Call("Done"); }

void RefuseRun(const std::string& why) {
  throw automation::Error(automation::err::kInvalidArgument, why);
}

}  // namespace kestrova
