#include "tools/ConsoleTasks.h"

#include <algorithm>

#include <fmt/format.h>

namespace tools {

namespace {

constexpr int kBarWidth = 30;
constexpr size_t kLineWidth = 100;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

bool TellsOfACompanyLeftOut(const std::string& text) {
  return text.rfind("No quotes found for ", 0) == 0 || text.rfind("Could not ", 0) == 0 ||
         text.rfind("Skipping ", 0) == 0;
}

// Statuses that name the one company or list being worked on: thousands a run, worth a look
// on a terminal but not a line each in a log.
bool NamesTheItemAtHand(const std::string& text) {
  for (const char* prefix : {"Loading ", "Calculating EVA for ", "Adding List: "}) {
    if (text.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

}  // namespace

ConsoleTasks::ConsoleTasks(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

ConsoleTasks::~ConsoleTasks() {
  if (line_open_) std::fputc('\n', out_);
}

void ConsoleTasks::updStatus(const std::string& text) {
  status_ = text;
  if (!terminal_ && NamesTheItemAtHand(text)) return;
  if (!terminal_ || TellsOfACompanyLeftOut(text)) {
    ClearLine();
    fmt::print(out_, "{}\n", text);
    std::fflush(out_);
    return;
  }
  Redraw();
}

std::shared_ptr<ConsoleProgressBar> ConsoleTasks::getProgressBar() {
  if (!bar_) bar_ = std::make_shared<ConsoleProgressBar>(*this);
  bar_->SetVisible(true);
  return bar_;
}

void ConsoleTasks::Done() {
  done_ = true;
  if (terminal_) {
    ClearLine();
    if (!status_.empty()) fmt::print(out_, "{}\n", status_);
    std::fflush(out_);
  }
}

void ConsoleTasks::ClearLine() {
  if (!line_open_) return;
  fmt::print(out_, "\r{:{}}\r", "", kLineWidth);
  line_open_ = false;
}

void ConsoleTasks::Redraw(bool force) {
  if (!terminal_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - last_draw_ < kRedrawInterval) return;
  last_draw_ = now;
  std::string line;
  if (bar_ && bar_->Visible()) {
    const int filled = static_cast<int>(bar_->Fraction() * kBarWidth + 0.5);
    line = fmt::format("[{}{}] {:3.0f}%  ", std::string(filled, '#'),
                       std::string(kBarWidth - filled, ' '), bar_->Fraction() * 100);
  }
  line += status_;
  if (line.size() > kLineWidth - 1) line.resize(kLineWidth - 1);
  fmt::print(out_, "\r{:<{}}", line, kLineWidth - 1);
  std::fflush(out_);
  line_open_ = true;
}

const automation::MemberTable& ConsoleTasks::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<ConsoleTasks>()
          .Method("updStatus", &ConsoleTasks::updStatus)
          .Method("getProgressBar", &ConsoleTasks::getProgressBar)
          .Method("Done", &ConsoleTasks::Done)
          .Build();
  return table;
}

void ConsoleProgressBar::SetValue(int32_t v) {
  value_ = v;
  owner_.Redraw();
}

void ConsoleProgressBar::SetVisible(bool v) {
  visible_ = v;
  owner_.Redraw(true);
}

double ConsoleProgressBar::Fraction() const {
  if (max_ <= min_) return 0;
  return std::clamp(static_cast<double>(value_ - min_) / (max_ - min_), 0.0, 1.0);
}

const automation::MemberTable& ConsoleProgressBar::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<ConsoleProgressBar>()
          .Property("Min", &ConsoleProgressBar::Min, &ConsoleProgressBar::SetMin)
          .Property("Max", &ConsoleProgressBar::Max, &ConsoleProgressBar::SetMax)
          .Property("Value", &ConsoleProgressBar::Value, &ConsoleProgressBar::SetValue)
          .Property("Visible", &ConsoleProgressBar::Visible, &ConsoleProgressBar::SetVisible)
          .Build();
  return table;
}

}  // namespace tools
