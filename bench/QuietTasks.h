#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/automation/Dispatch.h"

namespace bench {

// A tasks object for the batch runs that takes every status and progress call and shows
// nothing, for benchmarks where nobody watches.
class QuietTasks : public automation::Dispatch {
 public:
  class Bar : public automation::Dispatch {
   public:
    std::string_view ClassName() const override { return "ProgressBar"; }
    const automation::MemberTable& Members() const override {
      static const automation::MemberTable table = automation::MemberTableBuilder<Bar>()
                                                       .Property("Min", &Bar::Get, &Bar::Set)
                                                       .Property("Max", &Bar::Get, &Bar::Set)
                                                       .Property("Value", &Bar::Get, &Bar::Set)
                                                       .Property("Visible", &Bar::Shown, &Bar::Show)
                                                       .Build();
      return table;
    }
    int32_t Get() const { return 0; }
    void Set(int32_t) {}
    bool Shown() const { return true; }
    void Show(bool) {}
  };

  std::string_view ClassName() const override { return "QuietTasks"; }
  const automation::MemberTable& Members() const override {
    static const automation::MemberTable table =
        automation::MemberTableBuilder<QuietTasks>()
            .Method("updStatus", &QuietTasks::updStatus)
            .Method("getProgressBar", &QuietTasks::getProgressBar)
            .Method("Done", &QuietTasks::Done)
            .Build();
    return table;
  }
  void updStatus(const std::string&) {}
  std::shared_ptr<Bar> getProgressBar() { return bar_; }
  void Done() {}

 private:
  std::shared_ptr<Bar> bar_ = std::make_shared<Bar>();
};

}  // namespace bench
