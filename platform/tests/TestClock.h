#pragma once

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

}  // namespace testing_support
