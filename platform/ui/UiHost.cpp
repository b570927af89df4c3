#include "platform/ui/UiHost.h"

#include <charconv>
#include <filesystem>
#include <iostream>
#include <istream>
#include <ostream>
#include <utility>

#include "platform/automation/Text.h"

namespace ui {

namespace msgbox {

std::vector<int32_t> ButtonsOf(int32_t buttons) {
  switch (buttons & 0xF) {
    case kOkCancel:
      return {kOk, kCancel};
    case kAbortRetryIgnore:
      return {kAbort, kRetry, kIgnore};
    case kYesNoCancel:
      return {kYes, kNo, kCancel};
    case kYesNo:
      return {kYes, kNo};
    case kRetryCancel:
      return {kRetry, kCancel};
    default:
      return {kOk};
  }
}

int32_t DefaultButton(int32_t buttons) {
  const std::vector<int32_t> shown = ButtonsOf(buttons);
  size_t index = 0;
  if ((buttons & 0xF00) == kDefaultButton2) index = 1;
  if ((buttons & 0xF00) == kDefaultButton3) index = 2;
  return index < shown.size() ? shown[index] : shown.front();
}

std::string_view ButtonName(int32_t result) {
  switch (result) {
    case kOk:
      return "OK";
    case kCancel:
      return "Cancel";
    case kAbort:
      return "Abort";
    case kRetry:
      return "Retry";
    case kIgnore:
      return "Ignore";
    case kYes:
      return "Yes";
    case kNo:
      return "No";
    default:
      return "?";
  }
}

}  // namespace msgbox

namespace {

std::mutex process_host_mutex;
std::shared_ptr<UiHost> process_host;  // guarded by process_host_mutex
thread_local std::shared_ptr<UiHost> thread_host;

std::shared_ptr<UiHost> DefaultHost() {
  static const std::shared_ptr<UiHost> console = std::make_shared<ConsoleUiHost>(std::cout);
  return console;
}

// "r g b" (each 0..255) or one number 0..0xFFFFFF.
std::optional<int32_t> ParseColor(std::string_view text) {
  std::vector<int32_t> parts;
  for (const std::string& part : automation::SplitAt(automation::TrimBlanks(text), ' ')) {
    if (part.empty()) continue;
    int32_t value = 0;
    auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (ec != std::errc() || end != part.data() + part.size() || value < 0) return std::nullopt;
    parts.push_back(value);
  }
  if (parts.size() == 1 && parts[0] <= 0xFFFFFF) return parts[0];
  if (parts.size() == 3 && parts[0] <= 255 && parts[1] <= 255 && parts[2] <= 255) {
    return parts[0] + 256 * parts[1] + 65536 * parts[2];
  }
  return std::nullopt;
}

}  // namespace

std::shared_ptr<UiHost> CurrentUiHost() {
  if (thread_host) return thread_host;
  std::lock_guard lock(process_host_mutex);
  return process_host ? process_host : DefaultHost();
}

void SetProcessUiHost(std::shared_ptr<UiHost> host) {
  std::lock_guard lock(process_host_mutex);
  process_host = std::move(host);
}

ScopedUiHost::ScopedUiHost(std::shared_ptr<UiHost> host) : previous_(std::move(thread_host)) {
  thread_host = std::move(host);
}

ScopedUiHost::~ScopedUiHost() { thread_host = std::move(previous_); }

// The console host.

std::optional<std::string> ConsoleUiHost::ReadLine() {
  if (!in_) return std::nullopt;
  std::string line;
  if (!std::getline(*in_, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

int32_t ConsoleUiHost::MsgBox(std::string_view prompt, int32_t buttons, std::string_view title) {
  std::lock_guard lock(mutex_);
  if (!title.empty()) out_ << title << "\n";
  out_ << prompt << "\n";
  const std::vector<int32_t> shown = msgbox::ButtonsOf(buttons);
  const int32_t fallback = msgbox::DefaultButton(buttons);
  if (shown.size() == 1 || !in_) {
    out_.flush();
    return fallback;
  }
  while (true) {
    out_ << "[";
    for (size_t i = 0; i < shown.size(); ++i) {
      out_ << (i ? "/" : "") << msgbox::ButtonName(shown[i]);
    }
    out_ << "] (" << msgbox::ButtonName(fallback) << ") ";
    out_.flush();
    const std::optional<std::string> line = ReadLine();
    // The end of the input closes the box, which is Cancel where the box has one.
    if (!line) {
      for (int32_t b : shown) {
        if (b == msgbox::kCancel) return b;
      }
      return fallback;
    }
    const std::string answer = automation::FoldCase(automation::TrimBlanks(*line));
    if (answer.empty()) return fallback;
    for (int32_t b : shown) {
      const std::string name = automation::FoldCase(msgbox::ButtonName(b));
      if (answer == name || answer == name.substr(0, 1)) return b;
    }
  }
}

std::optional<std::string> ConsoleUiHost::AskFileName(std::string_view kind,
                                                      const FileDialog& dialog) {
  std::lock_guard lock(mutex_);
  if (!in_) return std::nullopt;
  out_ << (dialog.title.empty() ? kind : std::string_view(dialog.title));
  if (!dialog.filter.empty()) out_ << " (" << dialog.filter << ")";
  if (!dialog.file_name.empty()) out_ << " [" << dialog.file_name << "]";
  out_ << ": ";
  out_.flush();
  const std::optional<std::string> line = ReadLine();
  if (!line) return std::nullopt;
  std::string name(automation::TrimBlanks(*line));
  if (name.empty()) {
    if (dialog.file_name.empty()) return std::nullopt;
    name = dialog.file_name;
  }
  std::filesystem::path path(name);
  if (!dialog.default_ext.empty() && !path.has_extension()) name += "." + dialog.default_ext;
  if (path.is_relative() && !dialog.initial_dir.empty()) {
    name = (std::filesystem::path(dialog.initial_dir) / name).string();
  }
  return name;
}

std::optional<std::string> ConsoleUiHost::SaveFileName(const FileDialog& dialog) {
  return AskFileName("Save as", dialog);
}

std::optional<std::string> ConsoleUiHost::OpenFileName(const FileDialog& dialog) {
  return AskFileName("Open", dialog);
}

std::optional<int32_t> ConsoleUiHost::ChooseColor(int32_t initial) {
  std::lock_guard lock(mutex_);
  if (!in_) return std::nullopt;
  while (true) {
    out_ << "Colour (R G B, or one number) [" << (initial & 0xFF) << " " << ((initial >> 8) & 0xFF)
         << " " << ((initial >> 16) & 0xFF) << "]: ";
    out_.flush();
    const std::optional<std::string> line = ReadLine();
    if (!line) return std::nullopt;
    if (automation::TrimBlanks(*line).empty()) return initial;
    if (std::optional<int32_t> color = ParseColor(*line)) return color;
  }
}

// The scripted host.

void ScriptedUiHost::AnswerButton(int32_t result) {
  std::lock_guard lock(mutex_);
  buttons_.push_back(result);
}

void ScriptedUiHost::AnswerFileName(std::optional<std::string> name) {
  std::lock_guard lock(mutex_);
  file_names_.push_back(std::move(name));
}

void ScriptedUiHost::AnswerColor(std::optional<int32_t> color) {
  std::lock_guard lock(mutex_);
  colors_.push_back(color);
}

std::vector<ScriptedUiHost::Message> ScriptedUiHost::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<std::string> ScriptedUiHost::Prompts() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> prompts;
  for (const Message& m : messages_) prompts.push_back(m.prompt);
  return prompts;
}

std::vector<ScriptedUiHost::Dialog> ScriptedUiHost::Dialogs() const {
  std::lock_guard lock(mutex_);
  return dialogs_;
}

int32_t ScriptedUiHost::MsgBox(std::string_view prompt, int32_t buttons, std::string_view title) {
  std::lock_guard lock(mutex_);
  messages_.push_back({std::string(prompt), buttons, std::string(title)});
  if (buttons_.empty()) return msgbox::DefaultButton(buttons);
  const int32_t answer = buttons_.front();
  buttons_.pop_front();
  return answer;
}

std::optional<std::string> ScriptedUiHost::FileAnswer(DialogKind kind, const FileDialog& dialog) {
  std::lock_guard lock(mutex_);
  dialogs_.push_back({kind, dialog, 0});
  if (file_names_.empty()) return std::nullopt;
  std::optional<std::string> answer = std::move(file_names_.front());
  file_names_.pop_front();
  return answer;
}

std::optional<std::string> ScriptedUiHost::SaveFileName(const FileDialog& dialog) {
  return FileAnswer(DialogKind::kSave, dialog);
}

std::optional<std::string> ScriptedUiHost::OpenFileName(const FileDialog& dialog) {
  return FileAnswer(DialogKind::kOpen, dialog);
}

std::optional<int32_t> ScriptedUiHost::ChooseColor(int32_t initial) {
  std::lock_guard lock(mutex_);
  dialogs_.push_back({DialogKind::kColor, FileDialog{}, initial});
  if (colors_.empty()) return std::nullopt;
  const std::optional<int32_t> answer = colors_.front();
  colors_.pop_front();
  return answer;
}

}  // namespace ui
