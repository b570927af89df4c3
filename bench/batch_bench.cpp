// The batch calculations over a demo world of 10,000 companies with 10 years of prices: the
// whole composite run, the whole EVA run and the chart-list import, in seconds, with the time
// each phase took (a phase runs from one status text to the next of another kind). The world
// is made once in $KESTROVA_BENCH_DATA/batch (default /tmp/kestrova-bench/batch) and reused.
//
//   batch_bench [composites|eva|lists ...]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <stdlib.h>
#include <string>
#include <vector>

#include "bench/BenchWorld.h"
#include "demo/DemoFundamentals.h"
#include "demo/DemoWorld.h"
#include "ocx/calccomp.h"
#include "ocx/calceva.h"
#include "ocx/calclists.h"
#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/tc2000/PriceStore.h"

namespace {

using Clock = std::chrono::steady_clock;

// A tasks object that notes when each kind of status began. Statuses that name one company or
// list ("Loading ABC") count as their kind ("Loading").
class TimingTasks : public automation::Dispatch {
 public:
  class Bar : public automation::Dispatch {
   public:
    std::string_view ClassName() const override { return "ProgressBar"; }
    const automation::MemberTable& Members() const override {
      static const automation::MemberTable table =
          automation::MemberTableBuilder<Bar>()
              .Property("Min", &Bar::Get, &Bar::Set)
              .Property("Max", &Bar::Get, &Bar::Set)
              .Property("Value", &Bar::GetValue, &Bar::SetValue)
              .Property("Visible", &Bar::GetVisible, &Bar::SetVisible)
              .Build();
      return table;
    }
    int32_t Get() const { return 0; }
    void Set(int32_t) {}
    int32_t GetValue() const { return value_; }
    void SetValue(int32_t v) { value_ = v; }
    bool GetVisible() const { return true; }
    void SetVisible(bool) {}

   private:
    int32_t value_ = 0;
  };

  std::string_view ClassName() const override { return "TimingTasks"; }
  const automation::MemberTable& Members() const override {
    static const automation::MemberTable table =
        automation::MemberTableBuilder<TimingTasks>()
            .Method("updStatus", &TimingTasks::updStatus)
            .Method("getProgressBar", &TimingTasks::getProgressBar)
            .Method("Done", &TimingTasks::Done)
            .Build();
    return table;
  }

  void updStatus(const std::string& text) {
    // Notes about one company belong to the phase they come up in.
    for (const char* note : {"No quotes found for ", "Could not "}) {
      if (text.rfind(note, 0) == 0) {
        ++notes_[note];
        return;
      }
    }
    std::string kind = text;
    for (const char* prefix : {"Loading ", "Calculating EVA for ", "Adding List: "}) {
      if (text.rfind(prefix, 0) == 0) kind = std::string(prefix) + "…";
    }
    if (kind == current_) return;
    Close();
    current_ = kind;
    began_ = Clock::now();
  }
  std::shared_ptr<Bar> getProgressBar() { return bar_; }
  void Done() { Close(); }

  void Print() const {
    for (const auto& [kind, seconds] : phases_) {
      std::printf("    %-40s %7.3f s\n", kind.c_str(), seconds);
    }
    for (const auto& [note, count] : notes_)
      std::printf("    (%d × \"%s…\")\n", count, note.c_str());
  }

 private:
  void Close() {
    if (!current_.empty()) {
      phases_.emplace_back(current_, std::chrono::duration<double>(Clock::now() - began_).count());
    }
    current_.clear();
  }

  std::shared_ptr<Bar> bar_ = std::make_shared<Bar>();
  std::string current_;
  Clock::time_point began_;
  std::vector<std::pair<std::string, double>> phases_;
  std::map<std::string, int> notes_;
};

void PrepareWorld() { bench::PrepareDemoHome("batch", 10000, 10); }

}  // namespace

int main(int argc, char** argv) {
  const std::map<std::string, std::function<void(const automation::ObjectRef&)>> runs = {
      {"composites", kestrova::CalcComposites},
      {"eva", kestrova::CalcEVA},
      {"lists", kestrova::CalcLists},
  };
  std::vector<std::string> wanted(argv + 1, argv + argc);
  if (wanted.empty()) {
    for (const auto& [name, run] : runs) wanted.push_back(name);
  }
  PrepareWorld();
  for (const std::string& name : wanted) {
    auto run = runs.find(name);
    if (run == runs.end()) {
      std::fprintf(stderr, "batch_bench: no run named %s\n", name.c_str());
      return 2;
    }
    auto tasks = std::make_shared<TimingTasks>();
    const auto started = Clock::now();
    run->second(tasks);
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::printf("%s: %.2f s\n", name.c_str(), seconds);
    tasks->Print();
  }
  return 0;
}
