#pragma once

#include <cstdint>
#include <deque>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Message boxes and the file and colour dialogs, reached through one small interface so that
// each place the system runs in can show them its own way: the console prints them, the web
// server shows them in the page, a test answers them from a script.
namespace ui {

// The `buttons` argument of MsgBox and its results, numbered as the run-time numbers them.
// `buttons` is the sum of one button set, at most one icon and at most one default button.
namespace msgbox {
inline constexpr int32_t kOkOnly = 0;
inline constexpr int32_t kOkCancel = 1;
inline constexpr int32_t kAbortRetryIgnore = 2;
inline constexpr int32_t kYesNoCancel = 3;
inline constexpr int32_t kYesNo = 4;
inline constexpr int32_t kRetryCancel = 5;
inline constexpr int32_t kCritical = 16;
inline constexpr int32_t kQuestion = 32;
inline constexpr int32_t kExclamation = 48;
inline constexpr int32_t kInformation = 64;
inline constexpr int32_t kDefaultButton2 = 256;
inline constexpr int32_t kDefaultButton3 = 512;

inline constexpr int32_t kOk = 1;
inline constexpr int32_t kCancel = 2;
inline constexpr int32_t kAbort = 3;
inline constexpr int32_t kRetry = 4;
inline constexpr int32_t kIgnore = 5;
inline constexpr int32_t kYes = 6;
inline constexpr int32_t kNo = 7;

// The results of the buttons of `buttons`, in the order they are shown. An unknown button set
// counts as kOkOnly.
std::vector<int32_t> ButtonsOf(int32_t buttons);
// The result of the default button (the first unless kDefaultButton2 or 3 picks another that
// exists).
int32_t DefaultButton(int32_t buttons);
// "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No".
std::string_view ButtonName(int32_t result);
}  // namespace msgbox

// What a file dialog proposes. `filter` is the common-dialog form, pairs of description and
// patterns separated by "|": "Backup files (*.bkp)|*.bkp|All files (*.*)|*.*".
struct FileDialog {
  std::string title;
  std::string filter;
  int32_t filter_index = 1;  // 1-based pair of `filter` shown first
  std::string initial_dir;
  std::string file_name;    // the name proposed
  std::string default_ext;  // added to a name typed without one, without the dot ("bkp")
};

// Where message boxes and dialogs go. Each call blocks until it has its answer. A host may
// be called from any thread; hosts that keep state guard it.
class UiHost {
 public:
  virtual ~UiHost() = default;

  // Shows `prompt` with the buttons, icon and default button that `buttons` asks for (see
  // msgbox); an empty title leaves the caption to the host. Returns the button chosen.
  virtual int32_t MsgBox(std::string_view prompt, int32_t buttons = msgbox::kOkOnly,
                         std::string_view title = {}) = 0;
  // The file chosen in a Save or Open dialog; nullopt when the user cancels.
  virtual std::optional<std::string> SaveFileName(const FileDialog& dialog) = 0;
  virtual std::optional<std::string> OpenFileName(const FileDialog& dialog) = 0;
  // A colour (red + 256 × green + 65536 × blue) picked starting from `initial`; nullopt on
  // Cancel.
  virtual std::optional<int32_t> ChooseColor(int32_t initial) = 0;
};

// The host that code on this thread shows its messages through: the one a ScopedUiHost put
// in place on this thread, else the process's (SetProcessUiHost), else a console host on
// stdout that answers with defaults. Never null. The caller shares ownership for the call, so
// a host replaced meanwhile stays alive until the caller is done with it.
std::shared_ptr<UiHost> CurrentUiHost();

// Sets the process's host (nullptr: back to the console default). Threads that have a
// ScopedUiHost of their own keep it.
void SetProcessUiHost(std::shared_ptr<UiHost> host);

// Puts a host in place for the calling thread for the object's life; the host in place
// before comes back after. A control carries its own host and puts it in place around the
// work it runs, on whichever thread that runs, so the objects it calls (created by ProgID in
// another library) show their messages in that control's page.
class ScopedUiHost {
 public:
  explicit ScopedUiHost(std::shared_ptr<UiHost> host);
  ~ScopedUiHost();
  ScopedUiHost(const ScopedUiHost&) = delete;
  ScopedUiHost& operator=(const ScopedUiHost&) = delete;

 private:
  std::shared_ptr<UiHost> previous_;
};

// The console: a message box prints its title (when given) and prompt on `out`. With `in`,
// a box of more than one button asks for a choice (a button's name or first letter; an empty
// line takes the default) and the dialogs ask for a file name or a colour ("R G B" or one
// number); an empty answer takes the proposed name or the initial colour, and the end of the
// input cancels. Without `in` nobody can answer: a box gives its default button and every
// dialog is cancelled, as a dialog that nobody answers is.
class ConsoleUiHost : public UiHost {
 public:
  explicit ConsoleUiHost(std::ostream& out, std::istream* in = nullptr) : out_(out), in_(in) {}

  int32_t MsgBox(std::string_view prompt, int32_t buttons = msgbox::kOkOnly,
                 std::string_view title = {}) override;
  std::optional<std::string> SaveFileName(const FileDialog& dialog) override;
  std::optional<std::string> OpenFileName(const FileDialog& dialog) override;
  std::optional<int32_t> ChooseColor(int32_t initial) override;

 private:
  std::optional<std::string> ReadLine();
  std::optional<std::string> AskFileName(std::string_view kind, const FileDialog& dialog);

  std::mutex mutex_;  // one conversation at a time
  std::ostream& out_;
  std::istream* in_;
};

// For tests: records every message box and dialog, and answers from queues filled
// beforehand, one queue per kind of answer. With its queue empty, a message box gives its
// default button and a dialog is cancelled.
class ScriptedUiHost : public UiHost {
 public:
  struct Message {
    std::string prompt;
    int32_t buttons = 0;
    std::string title;
  };
  enum class DialogKind { kSave, kOpen, kColor };
  struct Dialog {
    DialogKind kind;
    FileDialog file;            // kSave, kOpen
    int32_t initial_color = 0;  // kColor
  };

  void AnswerButton(int32_t result);
  void AnswerFileName(std::optional<std::string> name);
  void AnswerColor(std::optional<int32_t> color);

  std::vector<Message> Messages() const;
  std::vector<std::string> Prompts() const;
  std::vector<Dialog> Dialogs() const;

  int32_t MsgBox(std::string_view prompt, int32_t buttons = msgbox::kOkOnly,
                 std::string_view title = {}) override;
  std::optional<std::string> SaveFileName(const FileDialog& dialog) override;
  std::optional<std::string> OpenFileName(const FileDialog& dialog) override;
  std::optional<int32_t> ChooseColor(int32_t initial) override;

 private:
  std::optional<std::string> FileAnswer(DialogKind kind, const FileDialog& dialog);

  mutable std::mutex mutex_;
  std::deque<int32_t> buttons_;
  std::deque<std::optional<std::string>> file_names_;
  std::deque<std::optional<int32_t>> colors_;
  std::vector<Message> messages_;
  std::vector<Dialog> dialogs_;
};

}  // namespace ui
