#include "web/WebUiHost.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform/automation/Text.h"

namespace web {

namespace {

const char* IconOf(int32_t buttons) {
  switch (buttons & 0x70) {
    case ui::msgbox::kCritical:
      return "critical";
    case ui::msgbox::kQuestion:
      return "question";
    case ui::msgbox::kExclamation:
      return "exclamation";
    case ui::msgbox::kInformation:
      return "information";
    default:
      return "";
  }
}

}  // namespace

Json FilterPairs(const std::string& filter) {
  Json pairs = Json::array();
  if (filter.empty()) return pairs;
  const std::vector<std::string> parts = automation::SplitAt(filter, '|');
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    pairs.push_back({{"description", parts[i]}, {"patterns", parts[i + 1]}});
  }
  return pairs;
}

Json WebUiHost::Ask(Json request) {
  std::unique_lock lock(mutex_);
  if (closed_) return nullptr;
  const int64_t id = next_request_++;
  pending_[id] = std::nullopt;
  request["request"] = id;
  lock.unlock();
  push_(request);
  lock.lock();
  answered_.wait(lock, [&] { return closed_ || pending_[id].has_value(); });
  Json answer = pending_[id].value_or(Json(nullptr));
  pending_.erase(id);
  return answer;
}

bool WebUiHost::Answer(int64_t request, const Json& answer) {
  {
    std::lock_guard lock(mutex_);
    auto it = pending_.find(request);
    if (it == pending_.end() || it->second.has_value()) return false;
    it->second = answer;
  }
  answered_.notify_all();
  return true;
}

void WebUiHost::CancelPending() {
  {
    std::lock_guard lock(mutex_);
    for (auto& [id, answer] : pending_) {
      if (!answer) answer = Json(nullptr);
    }
  }
  answered_.notify_all();
}

void WebUiHost::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  answered_.notify_all();
}

int32_t WebUiHost::MsgBox(std::string_view prompt, int32_t buttons, std::string_view title) {
  const std::vector<int32_t> results = ui::msgbox::ButtonsOf(buttons);
  Json list = Json::array();
  for (int32_t r : results) {
    list.push_back({{"result", r}, {"name", std::string(ui::msgbox::ButtonName(r))}});
  }
  const int32_t default_button = ui::msgbox::DefaultButton(buttons);
  const Json answer = Ask({{"kind", "msgbox"},
                           {"prompt", std::string(prompt)},
                           {"title", title.empty() ? std::string("Kestrova") : std::string(title)},
                           {"buttons", list},
                           {"default", default_button},
                           {"icon", IconOf(buttons)}});
  if (answer.is_number_integer()) {
    const int32_t chosen = answer.get<int32_t>();
    if (std::find(results.begin(), results.end(), chosen) != results.end()) return chosen;
  }
  // Closed without a button: Cancel where there is one.
  if (std::find(results.begin(), results.end(), ui::msgbox::kCancel) != results.end()) {
    return ui::msgbox::kCancel;
  }
  return default_button;
}

std::optional<std::string> WebUiHost::AskFile(const char* kind, const ui::FileDialog& dialog) {
  namespace fs = std::filesystem;
  std::string initial_dir = dialog.initial_dir;
  if (initial_dir.empty() && !dialog.file_name.empty()) {
    const fs::path parent = fs::path(dialog.file_name).parent_path();
    if (parent.is_absolute()) initial_dir = parent.string();
  }
  if (initial_dir.empty()) initial_dir = fs::current_path().string();
  // The dialog opens on the nearest folder that exists (a default backup folder may not yet).
  std::error_code ec;
  fs::path existing = initial_dir;
  while (!fs::is_directory(existing, ec) && existing.has_parent_path() &&
         existing.parent_path() != existing) {
    existing = existing.parent_path();
  }
  const std::string base_dir = initial_dir;
  initial_dir = existing.string();
  const Json answer = Ask({{"kind", kind},
                           {"title", dialog.title},
                           {"filters", FilterPairs(dialog.filter)},
                           {"filterIndex", dialog.filter_index},
                           {"fileName", dialog.file_name},
                           {"initialDir", initial_dir},
                           {"defaultExt", dialog.default_ext}});
  if (!answer.is_string() || answer.get<std::string>().empty()) return std::nullopt;
  fs::path chosen = answer.get<std::string>();
  if (chosen.is_relative()) chosen = fs::path(base_dir) / chosen;
  if (!dialog.default_ext.empty() && !chosen.has_extension()) {
    chosen += "." + dialog.default_ext;
  }
  return chosen.string();
}

std::optional<std::string> WebUiHost::SaveFileName(const ui::FileDialog& dialog) {
  return AskFile("save", dialog);
}

std::optional<std::string> WebUiHost::OpenFileName(const ui::FileDialog& dialog) {
  return AskFile("open", dialog);
}

std::optional<int32_t> WebUiHost::ChooseColor(int32_t initial) {
  const Json answer = Ask({{"kind", "color"}, {"initial", initial}});
  if (!answer.is_number_integer()) return std::nullopt;
  const int64_t color = answer.get<int64_t>();
  if (color < 0 || color > 0xFFFFFF) return std::nullopt;
  return static_cast<int32_t>(color);
}

}  // namespace web
