#include "ocx/BatchRun.h"

#include <cmath>
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

void ExecuteIgnoringErrors(ado::Connection& connection, const std::string& sql) {
  connection.BeginTrans();
  try {
    connection.Execute(sql);
    connection.CommitTrans();
  } catch (const automation::Error&) {
    connection.RollbackTrans();
  }
}

Figure FigureOf(const Variant& value) {
  if (value.IsNull() || value.IsEmpty()) return std::nullopt;
  return automation::CDbl(value);
}

bool RowFigures::missing() const { return rows_->EOF_(); }

Figure RowFigures::operator[](const char* field) const {
  if (missing()) return std::nullopt;
  return FigureOf(rows_->Field(field));
}

Figure WeightedFloor(std::initializer_list<std::pair<double, Figure>> terms, double divisor) {
  double sum = 0;
  for (const auto& [weight, value] : terms) {
    if (!value) return std::nullopt;
    sum += weight * *value;
  }
  return std::floor(sum / divisor);
}

std::string TrimmedText(const Variant& value) {
  if (value.IsNull() || value.IsEmpty()) return std::string();
  std::string text = automation::CStr(value);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool IsDatabaseError(int32_t number) {
  namespace err = automation::err;
  return number == err::kDatabase || number == err::kDatabaseConnection ||
         number == err::kRowNotLocated;
}

}  // namespace kestrova
