#pragma once

#include <memory>

#include "platform/automation/Variant.h"

namespace kestrova_system {

// The time of day as the system reads it. Tests put a fixed clock in its place.
class Clock {
 public:
  virtual ~Clock() = default;
  // Local date and time as an automation date.
  virtual automation::Date Now() const = 0;
};

// The clock in use: the system's local clock unless a test has set another.
const Clock& CurrentClock();
// Puts `clock` in use (nullptr: back to the system clock). Not for use while other threads
// read the clock.
void SetClock(std::shared_ptr<const Clock> clock);

// A clock that always reads the same date.
class FixedClock : public Clock {
 public:
  explicit FixedClock(automation::Date now) : now_(now) {}
  automation::Date Now() const override { return now_; }

 private:
  automation::Date now_;
};

}  // namespace kestrova_system
