#include "web/Session.h"

#include <optional>
#include <thread>
#include <utility>

#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/automation/Text.h"

namespace web {

// Passes a control's reports to the page's stream, tagged with the control's id. It holds
// the page weakly: a control let go of after its page ends reports to nobody.
class Session::Sink : public ui::ControlSink {
 public:
  Sink(std::weak_ptr<Session> session, int64_t control)
      : session_(std::move(session)), control_(control) {}

  void StateChanged(const ui::ControlState& patch) override {
    if (auto s = session_.lock())
      s->Push("state", {{"control", control_}, {"patch", StateJson(patch)}});
  }
  void EventRaised(std::string_view name, const std::vector<automation::Variant>& args) override {
    if (auto s = session_.lock()) {
      Json list = Json::array();
      const ObjectTable objects = s->Objects();
      for (const automation::Variant& a : args) list.push_back(ToJson(a, objects));
      s->Push("event", {{"control", control_}, {"name", std::string(name)}, {"args", list}});
    }
  }
  void HandlerFailed(const automation::Error& error) override {
    if (auto s = session_.lock()) {
      s->Push("error", {{"control", control_},
                        {"error", {{"number", error.Number()}, {"text", error.Description()}}}});
    }
  }

 private:
  std::weak_ptr<Session> session_;
  int64_t control_;
};

Session::Session(std::string id)
    : id_(std::move(id)), last_seen_(std::chrono::steady_clock::now()) {
  ui_host_ = std::make_shared<WebUiHost>([this](const Json& request) { Push("ui", request); });
}

Session::~Session() { Close(); }

ObjectTable Session::Objects() {
  return {[this](const automation::ObjectRef& o) { return AddObject(o); },
          [this](int64_t id) { return FindObject(id); }};
}

int64_t Session::AddObject(const automation::ObjectRef& object) {
  std::lock_guard lock(mutex_);
  auto it = ids_.find(object.get());
  if (it != ids_.end()) return it->second;
  const int64_t id = next_id_++;
  objects_[id] = object;
  ids_[object.get()] = id;
  return id;
}

automation::ObjectRef Session::FindObject(int64_t id) {
  std::lock_guard lock(mutex_);
  auto it = objects_.find(id);
  return it == objects_.end() ? nullptr : it->second;
}

bool Session::ReleaseObject(int64_t id) {
  automation::ObjectRef released;
  ui::Control* control = nullptr;
  {
    std::lock_guard lock(mutex_);
    auto it = objects_.find(id);
    if (it == objects_.end()) return false;
    released = std::move(it->second);
    objects_.erase(it);
    ids_.erase(released.get());
    if (auto c = controls_.find(id); c != controls_.end()) {
      control = c->second;
      controls_.erase(c);
    }
  }
  if (control) control->Close();
  return true;
}

int64_t Session::AddControl(const automation::ObjectRef& object, ui::Control& control,
                            const std::string& prog_id) {
  const int64_t id = AddObject(object);
  {
    std::lock_guard lock(mutex_);
    controls_[id] = &control;
    control_prog_ids_[id] = automation::FoldCase(prog_id);
  }
  control.Connect(std::make_shared<Sink>(weak_from_this(), id), ui_host_);
  return id;
}

int64_t Session::FindControlOf(const std::string& prog_id) {
  std::lock_guard lock(mutex_);
  const std::string folded = automation::FoldCase(prog_id);
  for (const auto& [id, name] : control_prog_ids_) {
    if (name == folded && controls_.count(id)) return id;
  }
  return 0;
}

void Session::Prepare(const std::string& prog_id) {
  auto made = std::make_shared<std::promise<void>>();
  {
    std::lock_guard lock(mutex_);
    prepared_[automation::FoldCase(prog_id)] = made->get_future().share();
  }
  // The thread holds the page weakly: a page that ended meanwhile gets no control, and the
  // one made is closed again.
  std::thread([page = weak_from_this(), prog_id, made] {
    try {
      const automation::ObjectRef object = automation::CreateObject(prog_id);
      if (auto* control = dynamic_cast<ui::Control*>(object.get())) {
        const std::shared_ptr<Session> session = page.lock();
        if (session && !session->closed()) {
          session->AddControl(object, *control, prog_id);
        } else {
          control->Close();
        }
      }
    } catch (const std::exception&) {
      // The page's own request makes it again, and says why it cannot be made.
    }
    made->set_value();
  }).detach();
}

void Session::WaitPrepared(const std::string& prog_id) {
  std::shared_future<void> made;
  {
    std::lock_guard lock(mutex_);
    auto it = prepared_.find(automation::FoldCase(prog_id));
    if (it == prepared_.end()) return;
    made = it->second;
  }
  made.wait();
}

void Session::WaitAllPrepared() {
  std::vector<std::shared_future<void>> all;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [prog_id, made] : prepared_) all.push_back(made);
  }
  for (const std::shared_future<void>& made : all) made.wait();
}

void Session::Resume() {
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
    last_seen_ = std::chrono::steady_clock::now();
    // The old page's stream may not have noticed yet that it is gone: from now on it takes
    // nothing, and what comes waits for the new page's stream.
    ++newest_stream_;
  }
  queued_.notify_all();
  ui_host_->CancelPending();
}

ui::Control* Session::FindControl(int64_t id) {
  std::lock_guard lock(mutex_);
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

Json Session::CallMember(int64_t id, const std::string& member, const std::string& kind,
                         const Json& args) {
  const automation::ObjectRef object = FindObject(id);
  if (!object) {
    throw automation::Error::WithDetail(automation::err::kObjectNotSet,
                                        "no object " + std::to_string(id) + " on this page");
  }
  const ObjectTable objects = Objects();
  std::vector<automation::Variant> values;
  if (args.is_array()) {
    for (const Json& a : args) values.push_back(FromJson(a, objects));
  } else if (!args.is_null()) {
    throw automation::Error::WithDetail(automation::err::kInvalidArgument, "args must be a list");
  }
  auto call = [&]() -> automation::Variant {
    if (kind == "let") {
      if (values.empty()) {
        throw automation::Error::WithDetail(automation::err::kWrongArguments,
                                            "a let needs the value to assign");
      }
      automation::Variant& value = values.back();
      object->Let(member, value, automation::Args(values.data(), values.size() - 1));
      return automation::Variant();
    }
    if (kind == "get" || kind == "call") return object->Get(member, automation::Args(values));
    throw automation::Error::WithDetail(automation::err::kInvalidArgument,
                                        "kind must be get, let or call, not " + kind);
  };

  automation::Variant result;
  if (ui::Control* control = FindControl(id)) {
    result = control->Invoke(call);
  } else {
    std::lock_guard lock(call_mutex_);
    ui::ScopedUiHost scope(ui_host_);
    result = call();
  }
  Json byref = Json::array();
  for (const automation::Variant& v : values) byref.push_back(ToJson(v, objects));
  return {{"result", ToJson(result, objects)}, {"byref", byref}};
}

void Session::Push(std::string event, Json data) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    if (event == "state" && !queue_.empty() && queue_.back().event == "state" &&
        queue_.back().data["control"] == data["control"]) {
      Json& patch = queue_.back().data["patch"];
      for (auto& [child, properties] : data["patch"].items()) {
        for (auto& [name, value] : properties.items()) patch[child][name] = value;
      }
    } else {
      queue_.push_back({std::move(event), std::move(data)});
    }
  }
  queued_.notify_all();
}

void Session::DropQueuedState(int64_t control) {
  std::lock_guard lock(mutex_);
  std::erase_if(queue_, [control](const StreamMessage& m) {
    return m.event == "state" && m.data["control"] == control;
  });
}

std::optional<std::vector<StreamMessage>> Session::Take(std::chrono::milliseconds wait,
                                                        int64_t stream) {
  std::unique_lock lock(mutex_);
  auto superseded = [&] { return stream != 0 && stream != newest_stream_; };
  queued_.wait_for(lock, wait, [&] { return closed_ || superseded() || !queue_.empty(); });
  if (superseded()) return std::nullopt;
  std::vector<StreamMessage> out(std::make_move_iterator(queue_.begin()),
                                 std::make_move_iterator(queue_.end()));
  queue_.clear();
  return out;
}

int64_t Session::StreamOpened() {
  int64_t stream;
  {
    std::lock_guard lock(mutex_);
    ++streams_;
    stream = ++newest_stream_;
  }
  queued_.notify_all();  // an older stream of the page ends
  return stream;
}

void Session::StreamClosed() {
  std::lock_guard lock(mutex_);
  --streams_;
  last_seen_ = std::chrono::steady_clock::now();
}

void Session::Touch() {
  std::lock_guard lock(mutex_);
  last_seen_ = std::chrono::steady_clock::now();
}

bool Session::Abandoned(std::chrono::steady_clock::duration grace) const {
  std::lock_guard lock(mutex_);
  return streams_ == 0 && std::chrono::steady_clock::now() - last_seen_ > grace;
}

void Session::Close() {
  std::map<int64_t, ui::Control*> controls;
  std::map<int64_t, automation::ObjectRef> objects;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    closed_ = true;
    controls.swap(controls_);
    objects.swap(objects_);
    ids_.clear();
  }
  queued_.notify_all();
  // Dialogs first, so a handler waiting on one can see the control closing.
  ui_host_->Close();
  for (auto& [id, control] : controls) control->Close();
  objects.clear();
}

bool Session::closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

}  // namespace web
