#include "platform/ui/Control.h"

#include <exception>
#include <future>
#include <optional>
#include <utility>

#include "platform/automation/Convert.h"
#include "platform/ui/UiHost.h"

namespace ui {

Control::Control() : thread_([this] { Loop(); }) {}

Control::~Control() { Close(); }

ControlState Control::State() const {
  std::lock_guard lock(state_mutex_);
  return state_;
}

void Control::Connect(std::shared_ptr<ControlSink> sink, std::shared_ptr<UiHost> host) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
  host_ = std::move(host);
}

std::shared_ptr<ControlSink> Control::sink() const {
  std::lock_guard lock(mutex_);
  return sink_;
}

std::shared_ptr<UiHost> Control::ui_host() const {
  std::lock_guard lock(mutex_);
  return host_;
}

void Control::Enqueue(std::function<void()> run) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    jobs_.push_back(Job{std::move(run)});
  }
  changed_.notify_all();
}

void Control::PostEvent(std::string child, std::string event, automation::Variant value,
                        std::string property) {
  Enqueue([this, child = std::move(child), event = std::move(event), value = std::move(value),
           property = std::move(property)]() mutable {
    {
      std::lock_guard lock(state_mutex_);
      ChildState& state = state_[child];
      // A disabled or hidden child raises no events, whatever a page sends.
      for (const char* shown : {"enabled", "visible"}) {
        auto it = state.find(shown);
        if (it != state.end() && it->second == automation::Variant(false)) return;
      }
      // What the user can change of a child is its text or its value; nothing else.
      if (property == "text" || property == "value") state[property] = value;
    }
    try {
      HandleEvent(child, event, value);
    } catch (const automation::Error& error) {
      if (auto s = sink()) s->HandlerFailed(error);
    } catch (const std::exception& error) {
      if (auto s = sink())
        s->HandlerFailed(automation::Error(automation::err::kInvalidArgument, error.what()));
    }
  });
}

automation::Variant Control::Invoke(std::function<automation::Variant()> work) {
  bool in_place = false;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) {
      throw automation::Error::WithDetail(automation::err::kObjectNotSet, "the control is closed");
    }
    // A handler calling one of the control's own members runs it in place.
    in_place = std::this_thread::get_id() == thread_.get_id();
  }
  if (in_place) return work();
  auto task = std::make_shared<std::packaged_task<automation::Variant()>>(std::move(work));
  std::future<automation::Variant> result = task->get_future();
  Enqueue([task] { (*task)(); });
  try {
    return result.get();
  } catch (const std::future_error&) {
    // Dropped unrun because the control closed meanwhile.
    throw automation::Error::WithDetail(automation::err::kObjectNotSet, "the control is closed");
  }
}

void Control::Loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (stopping_) {
      jobs_.clear();
      break;
    }
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    running_job_ = true;
    std::shared_ptr<UiHost> host = host_;
    lock.unlock();
    {
      std::optional<ScopedUiHost> scope;
      if (host) scope.emplace(host);
      job.run();
    }
    lock.lock();
    running_job_ = false;
    changed_.notify_all();
  }
  running_job_ = false;
  changed_.notify_all();
}

void Control::Close() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable() && std::this_thread::get_id() != thread_.get_id()) thread_.join();
}

bool Control::stopping() const {
  std::lock_guard lock(mutex_);
  return stopping_;
}

bool Control::busy() const {
  std::lock_guard lock(mutex_);
  return running_job_ || !jobs_.empty();
}

void Control::WaitIdle() const {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return stopping_ || (!running_job_ && jobs_.empty()); });
}

void Control::Set(const std::string& child, const std::string& property,
                  automation::Variant value) {
  SetMany(ControlState{{child, ChildState{{property, std::move(value)}}}});
}

void Control::SetMany(const ControlState& patch) {
  ControlState changed;
  {
    std::lock_guard lock(state_mutex_);
    for (const auto& [child, properties] : patch) {
      ChildState& current = state_[child];
      for (const auto& [name, value] : properties) {
        auto it = current.find(name);
        if (it != current.end() && it->second == value) continue;
        current[name] = value;
        changed[child][name] = value;
      }
    }
  }
  if (changed.empty()) return;
  if (auto s = sink()) s->StateChanged(changed);
}

automation::Variant Control::Property(const std::string& child, const std::string& property) const {
  std::lock_guard lock(state_mutex_);
  auto c = state_.find(child);
  if (c == state_.end()) return {};
  auto p = c->second.find(property);
  return p == c->second.end() ? automation::Variant() : p->second;
}

std::string Control::Text(const std::string& child) const {
  const automation::Variant text = Property(child, "text");
  return text.IsEmpty() || text.IsNull() ? std::string() : automation::CStr(text);
}

void Control::RaiseControlEvent(std::string_view name, std::vector<automation::Variant> args) {
  if (auto s = sink()) s->EventRaised(name, args);
}

void Control::ThrowIfStopping() const {
  if (stopping()) {
    throw automation::Error(automation::err::kInvalidArgument,
                            "Stopped: the server is shutting down");
  }
}

}  // namespace ui
