#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/automation/Dispatch.h"

namespace tools {

class ConsoleProgressBar;

// The tasks object of a batch run started from the shell: it offers what the runs report
// to (updStatus, getProgressBar, Done). On a terminal it keeps one line up to date with a
// bar and the latest status; otherwise each status becomes a line of its own, so a
// scheduler's log keeps them, except those that only name the company or list at hand
// ("Loading X"). Statuses that tell of a company left out ("No quotes found for …", "Could
// not …", "Skipping …") always get a line of their own.
class ConsoleTasks : public automation::Dispatch {
 public:
  // Writes to `out`; `terminal` chooses the one-line display.
  ConsoleTasks(std::FILE* out, bool terminal);
  ~ConsoleTasks() override;

  std::string_view ClassName() const override { return "ConsoleTasks"; }
  const automation::MemberTable& Members() const override;

  void updStatus(const std::string& text);
  std::shared_ptr<ConsoleProgressBar> getProgressBar();
  void Done();

  const std::string& last_status() const { return status_; }
  bool done() const { return done_; }

  // Redraws the line (called by the bar when its value moves); at most a few times a second.
  void Redraw(bool force = false);

 private:
  void ClearLine();

  std::FILE* out_;
  bool terminal_;
  std::string status_;
  bool done_ = false;
  bool line_open_ = false;
  std::shared_ptr<ConsoleProgressBar> bar_;
  std::chrono::steady_clock::time_point last_draw_{};
};

class ConsoleProgressBar : public automation::Dispatch {
 public:
  explicit ConsoleProgressBar(ConsoleTasks& owner) : owner_(owner) {}

  std::string_view ClassName() const override { return "ProgressBar"; }
  const automation::MemberTable& Members() const override;

  int32_t Min() const { return min_; }
  int32_t Max() const { return max_; }
  int32_t Value() const { return value_; }
  bool Visible() const { return visible_; }
  void SetMin(int32_t v) { min_ = v; }
  void SetMax(int32_t v) { max_ = v; }
  void SetValue(int32_t v);
  void SetVisible(bool v);

  // The bar's fill between 0 and 1.
  double Fraction() const;

 private:
  ConsoleTasks& owner_;
  int32_t min_ = 0, max_ = 100, value_ = 0;
  bool visible_ = false;
};

}  // namespace tools
