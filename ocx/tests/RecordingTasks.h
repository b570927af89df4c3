#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "platform/automation/Dispatch.h"
#include "platform/automation/Error.h"

namespace testing_support {

// A progress bar as the batch runs drive it: Min, Max, Value, Visible. Like the progress bar
// of the maintenance page it refuses (error 380) a Value outside Min..Max and a Min or Max
// that would put Max below Min; a new Min or Max pulls a Value left outside back in.
// `on_value`, when set, is called after each Value set (a test acts in the middle of a run).
class RecordingProgressBar : public automation::Dispatch {
 public:
  std::string_view ClassName() const override { return "ProgressBar"; }
  const automation::MemberTable& Members() const override {
    static const automation::MemberTable table =
        automation::MemberTableBuilder<RecordingProgressBar>()
            .Property("Min", &RecordingProgressBar::min, &RecordingProgressBar::SetMin)
            .Property("Max", &RecordingProgressBar::max, &RecordingProgressBar::SetMax)
            .Property("Value", &RecordingProgressBar::value, &RecordingProgressBar::SetValue)
            .Property("Visible", &RecordingProgressBar::visible, &RecordingProgressBar::SetVisible)
            .Build();
    return table;
  }
  int32_t min() const { return min_; }
  int32_t max() const { return max_; }
  int32_t value() const { return value_; }
  bool visible() const { return visible_; }
  void SetMin(int32_t v) {
    if (v > max_) Refuse(fmt::format("Min {} above Max {}", v, max_));
    min_ = v;
    value_ = std::max(value_, min_);
  }
  void SetMax(int32_t v) {
    if (v < min_) Refuse(fmt::format("Max {} below Min {}", v, min_));
    max_ = v;
    value_ = std::min(value_, max_);
  }
  void SetValue(int32_t v) {
    if (v < min_ || v > max_) Refuse(fmt::format("Value {} outside {}..{}", v, min_, max_));
    value_ = v;
    highest_ = std::max(highest_, v);
    if (on_value) on_value(v);
  }
  void SetVisible(bool v) { visible_ = v; }
  int32_t highest() const { return highest_; }

  std::function<void(int32_t)> on_value;

 private:
  [[noreturn]] static void Refuse(const std::string& what) {
    throw automation::Error(380, "Invalid property value: " + what);
  }

  int32_t min_ = 0, max_ = 100, value_ = 0, highest_ = 0;
  bool visible_ = false;
};

// The tasks object of a batch run in a test: keeps every status text and whether Done came.
class RecordingTasks : public automation::Dispatch {
 public:
  std::string_view ClassName() const override { return "RecordingTasks"; }
  const automation::MemberTable& Members() const override {
    static const automation::MemberTable table =
        automation::MemberTableBuilder<RecordingTasks>()
            .Method("updStatus", &RecordingTasks::updStatus)
            .Method("getProgressBar", &RecordingTasks::getProgressBar)
            .Method("Done", &RecordingTasks::Done)
            .Build();
    return table;
  }
  void updStatus(const std::string& text) { statuses.push_back(text); }
  std::shared_ptr<RecordingProgressBar> getProgressBar() {
    bar->SetVisible(true);
    return bar;
  }
  void Done() { ++done; }

  // True when some status text equals `text`.
  bool Said(const std::string& text) const {
    for (const std::string& s : statuses) {
      if (s == text) return true;
    }
    return false;
  }

  std::vector<std::string> statuses;
  std::shared_ptr<RecordingProgressBar> bar = std::make_shared<RecordingProgressBar>();
  int done = 0;
};

}  // namespace testing_support
