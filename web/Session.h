#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/Dispatch.h"
#include "platform/ui/Control.h"
#include "web/VariantJson.h"
#include "web/WebUiHost.h"

namespace web {

// One message on a page's event stream: its SSE event name and JSON data.
struct StreamMessage {
  std::string event;  // "state", "event", "error", "ui"
  Json data;
};

// One page: the objects and controls it created, its UiHost and the queue of messages for
// its event stream. Objects are numbered from 1 within the page; a page reaches only its
// own. Close() ends the controls (their running work fails), cancels open dialogs and
// releases every object. Thread-safe.
class Session : public std::enable_shared_from_this<Session> {
 public:
  explicit Session(std::string id);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const std::string& id() const { return id_; }

  // The table through which values of this page name its objects.
  ObjectTable Objects();
  int64_t AddObject(const automation::ObjectRef& object);
  automation::ObjectRef FindObject(int64_t id);
  // False when the page holds no such object.
  bool ReleaseObject(int64_t id);

  // Adds a control (also an object of the page), connects it to the page's stream and
  // UiHost, and returns its id. `prog_id` is remembered for FindControlOf.
  int64_t AddControl(const automation::ObjectRef& object, ui::Control& control,
                     const std::string& prog_id = {});
  ui::Control* FindControl(int64_t id);
  // The first control the page made by `prog_id` (matched without regard to case): its id,
  // or 0 when there is none.
  int64_t FindControlOf(const std::string& prog_id);

  // Starts making a control of `prog_id` for the page on a thread of its own, while the page
  // loads its files; the page then takes it as a reloaded page takes its control. A control
  // that cannot be made is left for the page's own request to make and report.
  void Prepare(const std::string& prog_id);
  // Waits until the control Prepare started for `prog_id` (matched without regard to case)
  // is made or has failed; returns at once when none was started.
  void WaitPrepared(const std::string& prog_id);
  // Waits for every control Prepare started (before the server stops: none is made while
  // the program ends).
  void WaitAllPrepared();

  // A reloaded page takes over its session: what was queued for the old page is dropped (the
  // new one starts from the controls' whole state) and its open dialogs count as cancelled.
  void Resume();

  // Calls a member of one of the page's objects by name: kind "get", "call" or "let" (the
  // value is the last argument). Calls on a control run on the control's thread; calls on
  // other objects of the page run one at a time. Message boxes go to the page. Returns
  // {"result", "byref"} where byref holds every argument as the member left it.
  Json CallMember(int64_t id, const std::string& member, const std::string& kind, const Json& args);

  WebUiHost& ui_host() { return *ui_host_; }

  // Queues a message for the stream. A state patch that follows one of the same control
  // is merged into it, so a stream that falls behind sends the latest state, not every step.
  void Push(std::string event, Json data);
  // Drops the state patches of control `control` that wait for the stream (the page has
  // the control's whole state from elsewhere); its events and everything else stay.
  void DropQueuedState(int64_t control);
  // Waits up to `wait` for messages and takes them all for the stream `stream`; empty after
  // the wait or once closed, nullopt once a newer stream (a reloaded page) has taken over.
  std::optional<std::vector<StreamMessage>> Take(std::chrono::milliseconds wait,
                                                 int64_t stream = 0);

  // Stream attachment and requests, for the server's clean-up of pages that went away.
  // Returns the stream's number; the newest stream alone receives messages.
  int64_t StreamOpened();
  void StreamClosed();
  void Touch();
  // True when no stream has been open and no request came for `grace`.
  bool Abandoned(std::chrono::steady_clock::duration grace) const;

  void Close();
  bool closed() const;

 private:
  class Sink;

  const std::string id_;
  std::shared_ptr<WebUiHost> ui_host_;

  mutable std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<StreamMessage> queue_;
  std::map<int64_t, automation::ObjectRef> objects_;
  std::map<const automation::Dispatch*, int64_t> ids_;
  std::map<int64_t, ui::Control*> controls_;
  std::map<int64_t, std::string> control_prog_ids_;           // folded
  std::map<std::string, std::shared_future<void>> prepared_;  // by folded ProgID
  int64_t next_id_ = 1;
  int streams_ = 0;
  int64_t newest_stream_ = 0;
  std::chrono::steady_clock::time_point last_seen_;
  bool closed_ = false;

  std::mutex call_mutex_;  // one call at a time on the page's plain objects
};

}  // namespace web
