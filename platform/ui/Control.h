#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/automation/Variant.h"

// A page control: a C++ object that holds the state of its child controls (check boxes, text
// boxes, labels, buttons, progress bars, trees, charts) and runs their handlers. Whatever shows
// it (a web page, a test) draws that state, forwards the user's events by child name and is
// told of every change. Nothing of the control's logic lives in the host.
namespace ui {

class UiHost;

// The properties of one child as a host draws it. The names a host knows: "caption", "text",
// "value", "enabled", "visible", "items", "backcolor", "min", "max", "label", "error",
// "mousepointer", "image"; a control may add its own, which a host passes on as they are.
using ChildState = std::map<std::string, automation::Variant>;
// Child name -> its properties. A patch holds only what changed.
using ControlState = std::map<std::string, ChildState>;

// Where a control reports to. Called on whichever thread changed the state (the control's own
// thread, or a member call's); implementations must be quick and thread-safe.
class ControlSink {
 public:
  virtual ~ControlSink() = default;
  virtual void StateChanged(const ControlState& patch) = 0;
  // An event of the control itself (OnChange, OnStatus, ...) with its arguments.
  virtual void EventRaised(std::string_view name, const std::vector<automation::Variant>& args) = 0;
  // A handler of a user event ended with an error that the control did not handle.
  virtual void HandlerFailed(const automation::Error& error) = 0;
};

// The base of every page control. Handlers of the user's events run one at a time, in the
// order they came, on a thread of the control's own, so a long run there (a batch
// calculation, a backup) leaves its host free; message boxes and dialogs that a handler shows
// go to the UiHost the host connected. Member calls a host makes through Invoke run on that
// same thread, so a control's logic never runs twice at once.
//
// Whoever owns a control calls Close() before letting it go; a derived class calls Close()
// first thing in its destructor, so no handler runs on a half-destroyed object.
class Control {
 public:
  Control();
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // The whole state, as a host draws it when it first shows the control.
  ControlState State() const;

  // Connects the control to its host. Either may be null (nothing reported; the process's
  // UiHost shows the messages).
  void Connect(std::shared_ptr<ControlSink> sink, std::shared_ptr<UiHost> host);

  // Queues the user's event `event` ("click", "change", "keypress", "dropdown", ...) on child
  // `child`. When `property` is "text" or "value" (what a user can change), the child's
  // property takes `value` first (the page already shows it, so it is not reported back); the
  // handler then runs on the control's thread. Returns at once. Events on a child that is
  // disabled or hidden, and events after Close(), are dropped.
  void PostEvent(std::string child, std::string event, automation::Variant value = {},
                 std::string property = {});

  // Runs `work` on the control's thread, after the events queued before it, and returns its
  // result or rethrows its error. Once the control is closing, error 91.
  automation::Variant Invoke(std::function<automation::Variant()> work);

  // Ends the control's thread: queued events are dropped, the running handler is asked to
  // stop (see ThrowIfStopping) and waited for. Safe to call more than once.
  void Close();
  bool stopping() const;

  // True while a handler or an Invoke runs or waits to run.
  bool busy() const;
  // Waits until nothing runs or waits to run (for tests and hosts that need a settled state).
  void WaitIdle() const;

 protected:
  // Runs the handler of a user event. Errors that leave it reach the sink's HandlerFailed.
  virtual void HandleEvent(const std::string& child, const std::string& event,
                           automation::Variant& value) = 0;

  // Sets one property of a child and reports the change (nothing when the value is the same).
  void Set(const std::string& child, const std::string& property, automation::Variant value);
  // Sets several properties of several children and reports them as one patch.
  void SetMany(const ControlState& patch);
  // A property of a child; Empty when never set.
  automation::Variant Property(const std::string& child, const std::string& property) const;
  // The "text" property as text (Empty gives "").
  std::string Text(const std::string& child) const;

  // Raises an event of the control to its sink.
  void RaiseControlEvent(std::string_view name, std::vector<automation::Variant> args = {});

  // Long runs call this where they can stop: once the control is closing it throws an
  // automation::Error, so the run ends as a failure and undoes what it had begun.
  void ThrowIfStopping() const;

  // The UiHost the host connected (null when none).
  std::shared_ptr<UiHost> ui_host() const;

 private:
  struct Job {
    std::function<void()> run;
  };
  void Loop();
  void Enqueue(std::function<void()> run);
  std::shared_ptr<ControlSink> sink() const;

  mutable std::mutex state_mutex_;
  ControlState state_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<Job> jobs_;
  bool running_job_ = false;
  bool stopping_ = false;
  std::shared_ptr<ControlSink> sink_;
  std::shared_ptr<UiHost> host_;
  std::thread thread_;
};

// The mouse pointer values a control sets on its "UserControl" child.
inline constexpr int32_t kPointerDefault = 0;
inline constexpr int32_t kPointerHourglass = 11;

}  // namespace ui
