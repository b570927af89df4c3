// Dates read from text: the run-time's ParseDate (user input, CSV cells, query answers) and
// the reader of dates the database engines store as text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/ado/Dialect.h"
#include "platform/automation/DateTime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const auto date : {automation::ParseDate(text), ado::ParseStoredDate(text)}) {
    if (!date) continue;
    // Whatever was read must split into a real calendar day and print both ways.
    const automation::DateParts parts = automation::SplitDate(*date);
    if (parts.month < 1 || parts.month > 12 || parts.day < 1 ||
        parts.day > automation::DaysInMonth(parts.year, parts.month)) {
      __builtin_trap();
    }
    (void)automation::DateText(*date);
    // A date stored as text must read back as the same second.
    const auto stored = ado::ParseStoredDate(automation::IsoDateTimeText(*date));
    if (!stored) __builtin_trap();
    const automation::DateParts back = automation::SplitDate(*stored);
    if (back.year != parts.year || back.month != parts.month || back.day != parts.day ||
        back.hour != parts.hour || back.minute != parts.minute || back.second != parts.second) {
      __builtin_trap();
    }
  }
  return 0;
}
