#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Convert.h"
#include "platform/automation/Error.h"
#include "platform/ui/Control.h"

namespace testing_support {

// A control's host as a test sees it: every state patch, event and failed handler the control
// reports, kept in order. The control reports from its handler thread; the readers copy under
// the lock.
class RecordingSink : public ui::ControlSink {
 public:
  void StateChanged(const ui::ControlState& patch) override {
    std::lock_guard lock(mutex_);
    patches_.push_back(patch);
  }
  void EventRaised(std::string_view name, const std::vector<automation::Variant>& args) override {
    std::lock_guard lock(mutex_);
    events_.push_back({std::string(name), args});
  }
  void HandlerFailed(const automation::Error& error) override {
    std::lock_guard lock(mutex_);
    error_numbers_.push_back(error.Number());
    error_texts_.push_back(error.Description());
  }

  std::vector<ui::ControlState> Patches() const {
    std::lock_guard lock(mutex_);
    return patches_;
  }
  // The names of the events raised, in order.
  std::vector<std::string> EventNames() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const Event& event : events_) names.push_back(event.name);
    return names;
  }
  int Count(std::string_view name) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(events_.begin(), events_.end(),
                                          [&](const Event& event) { return event.name == name; }));
  }
  // The first argument of each event of that name, as text.
  std::vector<std::string> FirstArguments(std::string_view name) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    for (const Event& event : events_) {
      if (event.name == name) texts.push_back(automation::CStr(event.args.at(0)));
    }
    return texts;
  }
  // The numbers and the descriptions of the errors that handlers ended with.
  std::vector<int32_t> ErrorNumbers() const {
    std::lock_guard lock(mutex_);
    return error_numbers_;
  }
  std::vector<std::string> ErrorTexts() const {
    std::lock_guard lock(mutex_);
    return error_texts_;
  }

 private:
  struct Event {
    std::string name;
    std::vector<automation::Variant> args;
  };

  mutable std::mutex mutex_;
  std::vector<ui::ControlState> patches_;
  std::vector<Event> events_;
  std::vector<int32_t> error_numbers_;
  std::vector<std::string> error_texts_;
};

}  // namespace testing_support
