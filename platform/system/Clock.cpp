#include "platform/system/Clock.h"

#include <ctime>

#include "platform/automation/DateTime.h"

namespace kestrova_system {

namespace {

class SystemClock : public Clock {
 public:
  automation::Date Now() const override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return *automation::MakeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                 local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec,
                                 static_cast<int>(now.tv_nsec / 1000000));
  }
};

std::shared_ptr<const Clock>& Slot() {
  static std::shared_ptr<const Clock> clock = std::make_shared<SystemClock>();
  return clock;
}

}  // namespace

const Clock& CurrentClock() { return *Slot(); }

void SetClock(std::shared_ptr<const Clock> clock) {
  Slot() = clock ? std::move(clock) : std::make_shared<SystemClock>();
}

}  // namespace kestrova_system
