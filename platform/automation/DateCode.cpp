#include "platform/automation/DateCode.h"

#include <fmt/format.h>

#include "platform/automation/DateTime.h"

namespace automation {

DateCode DateCode::OfDayNumber(int64_t day_number) { return DateCode(CodeOfDayNumber(day_number)); }

DateCode DateCode::OfDate(Date d) {
  const DateParts p = SplitDate(d);
  return Of(p.year, p.month, p.day);
}

bool DateCode::IsValid() const { return IsDateCode(code_); }

int64_t DateCode::DayNumber() const { return DayNumberOfCode(code_); }

int DateCode::Weekday() const { return WeekdayOfDayNumber(DayNumber()); }

DateCode DateCode::AddDays(int64_t days) const { return OfDayNumber(DayNumber() + days); }

DateCode DateCode::MonthEnd() const { return Of(Year(), Month(), DaysInMonth(Year(), Month())); }

std::optional<Date> DateCode::ToDate() const { return MakeDate(Year(), Month(), Day()); }

std::string DateCode::IsoText() const {
  return fmt::format("{:04}-{:02}-{:02}", Year(), Month(), Day());
}

}  // namespace automation
