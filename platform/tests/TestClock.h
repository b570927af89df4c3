#pragma once

#include <memory>
#include <utility>

#include "platform/automation/DateTime.h"
#include "platform/system/Clock.h"

namespace testing_support {

// A clock one second further on at every reading, from Monday 2 June 2025, 9:00, so that
// what is stamped one after another comes back in the order it was made.
class TickingClock : public kestrova_system::Clock {
 public:
  automation::Date Now() const override { return At(ticks_++); }
  // What the clock reads the `tick`-th time, counting from 0.
  static automation::Date At(int tick) { return automation::DateOf(2025, 6, 2, 9, 0, tick); }

 private:
  mutable int ticks_ = 0;
};

// Puts `clock` in use for the object's life, and the system's clock back after.
class ScopedClock {
 public:
  explicit ScopedClock(std::shared_ptr<const kestrova_system::Clock> clock) {
    kestrova_system::SetClock(std::move(clock));
  }
  // A clock that always reads `now`.
  explicit ScopedClock(automation::Date now)
      : ScopedClock(std::make_shared<kestrova_system::FixedClock>(now)) {}
  ~ScopedClock() { kestrova_system::SetClock(nullptr); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;
};

}  // namespace testing_support
