#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/ui/UiHost.h"
#include "web/VariantJson.h"

namespace web {

// The UiHost of one page: each message box or dialog becomes a "ui" request on the page's
// event stream, and the calling thread waits until the page answers it (Answer) or goes
// away (Close). A request closed without an answer counts as Cancel: a message box gives
// its Cancel button when it has one (else its default), a dialog gives nullopt.
//
// Requests: {"request": n, "kind": "msgbox", "prompt", "title", "buttons": [{"result",
// "name"}], "default", "icon": "critical"|"question"|"exclamation"|"information"|""};
// {"kind": "save"|"open", "title", "filters": [{"description", "patterns"}], "filterIndex",
// "fileName", "initialDir", "defaultExt"}; {"kind": "color", "initial"}. Answers: a button's
// result, a file path, a colour number, or null for Cancel.
class WebUiHost : public ui::UiHost {
 public:
  // `push` hands a request to the page's stream.
  explicit WebUiHost(std::function<void(const Json&)> push) : push_(std::move(push)) {}

  int32_t MsgBox(std::string_view prompt, int32_t buttons = ui::msgbox::kOkOnly,
                 std::string_view title = {}) override;
  std::optional<std::string> SaveFileName(const ui::FileDialog& dialog) override;
  std::optional<std::string> OpenFileName(const ui::FileDialog& dialog) override;
  std::optional<int32_t> ChooseColor(int32_t initial) override;

  // Hands the page's answer to the waiting caller; false when no such request waits.
  bool Answer(int64_t request, const Json& answer);
  // Cancels every waiting request and every later one.
  void Close();
  // Cancels the requests waiting now; later ones are asked as usual.
  void CancelPending();

 private:
  // Sends the request and waits for its answer; null when cancelled.
  Json Ask(Json request);
  std::optional<std::string> AskFile(const char* kind, const ui::FileDialog& dialog);

  std::function<void(const Json&)> push_;
  std::mutex mutex_;
  std::condition_variable answered_;
  std::map<int64_t, std::optional<Json>> pending_;  // nullopt until answered
  int64_t next_request_ = 1;
  bool closed_ = false;
};

// The filter of a file dialog as pairs: "Backups (*.bkp)|*.bkp" -> [{description, patterns}].
Json FilterPairs(const std::string& filter);

}  // namespace web
