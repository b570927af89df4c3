#include "demo/ExchangeCalendar.h"

#include <algorithm>

#include <fmt/format.h>

#include "platform/automation/DateCode.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"

namespace demo {

namespace {

using automation::DateCode;

enum { kMonday = 1, kThursday = 4, kSaturday = 6, kSunday = 7 };

DateCode Checked(int32_t code) {
  const DateCode day(code);
  if (!day.IsValid()) {
    throw automation::Error::WithDetail(automation::err::kInvalidArgument,
                                        fmt::format("date code {} is no real day", code));
  }
  return day;
}

// The n-th given weekday of a month (n from 1).
DateCode NthWeekday(int year, int month, int weekday, int n) {
  const int first = DateCode::Of(year, month, 1).Weekday();
  return DateCode::Of(year, month, 1 + (weekday - first + 7) % 7 + 7 * (n - 1));
}

DateCode LastWeekday(int year, int month, int weekday) {
  const DateCode last_day = DateCode::Of(year, month, 1).MonthEnd();
  return last_day.AddDays(-((last_day.Weekday() - weekday + 7) % 7));
}

// A fixed-date holiday moved off the weekend.
DateCode Observed(int year, int month, int day) {
  const DateCode holiday = DateCode::Of(year, month, day);
  const int weekday = holiday.Weekday();
  if (weekday == kSaturday) return holiday.PreviousDay();
  if (weekday == kSunday) return holiday.NextDay();
  return holiday;
}

bool IsTradingDayNumber(int64_t day_number, const std::vector<int32_t>& holidays_of_year) {
  if (automation::WeekdayOfDayNumber(day_number) >= kSaturday) return false;
  const int32_t code = automation::CodeOfDayNumber(day_number);
  return std::find(holidays_of_year.begin(), holidays_of_year.end(), code) ==
         holidays_of_year.end();
}

}  // namespace

int32_t EasterSunday(int year) {
  // The anonymous Gregorian computus: the paschal full moon from the Metonic cycle with the
  // solar and lunar corrections, then the Sunday after it.
  const int a = year % 19, b = year / 100, c = year % 100, d = b / 4, e = b % 4;
  const int f = (b + 8) / 25, g = (b - f + 1) / 3;
  const int h = (19 * a + b - d - g + 15) % 30;
  const int i = c / 4, k = c % 4;
  const int l = (32 + 2 * e + 2 * i - h - k) % 7;
  const int m = (a + 11 * h + 22 * l) / 451;
  return DateCode::Of(year, (h + l - 7 * m + 114) / 31, (h + l - 7 * m + 114) % 31 + 1).Code();
}

std::vector<int32_t> MarketHolidays(int year) {
  std::vector<DateCode> days;
  if (DateCode::Of(year, 1, 1).Weekday() != kSaturday) days.push_back(Observed(year, 1, 1));
  if (year >= 1998) days.push_back(NthWeekday(year, 1, kMonday, 3));
  days.push_back(NthWeekday(year, 2, kMonday, 3));
  days.push_back(DateCode(EasterSunday(year)).AddDays(-2));
  days.push_back(LastWeekday(year, 5, kMonday));
  if (year >= 2022) days.push_back(Observed(year, 6, 19));
  days.push_back(Observed(year, 7, 4));
  days.push_back(NthWeekday(year, 9, kMonday, 1));
  days.push_back(NthWeekday(year, 11, kThursday, 4));
  days.push_back(Observed(year, 12, 25));
  std::vector<int32_t> codes;
  codes.reserve(days.size());
  for (DateCode day : days) codes.push_back(day.Code());
  return codes;
}

bool IsMarketHoliday(int32_t date_code) {
  const std::vector<int32_t> holidays = MarketHolidays(Checked(date_code).Year());
  return std::find(holidays.begin(), holidays.end(), date_code) != holidays.end();
}

bool IsTradingDay(int32_t date_code) {
  const DateCode day = Checked(date_code);
  return IsTradingDayNumber(day.DayNumber(), MarketHolidays(day.Year()));
}

int32_t LatestTradingDay(int32_t date_code) {
  DateCode day = Checked(date_code);
  while (!IsTradingDay(day.Code())) day = day.PreviousDay();
  return day.Code();
}

std::vector<int32_t> TradingDays(int32_t first, int32_t last) {
  std::vector<int32_t> days;
  const int64_t end = Checked(last).DayNumber();
  int year = 0;
  std::vector<int32_t> holidays;
  for (int64_t n = Checked(first).DayNumber(); n <= end; ++n) {
    const DateCode day = DateCode::OfDayNumber(n);
    if (day.Year() != year) {
      year = day.Year();
      holidays = MarketHolidays(year);
    }
    if (IsTradingDayNumber(n, holidays)) days.push_back(day.Code());
  }
  return days;
}

int32_t AddCalendarDays(int32_t date_code, int32_t days) {
  return Checked(date_code).AddDays(days).Code();
}

}  // namespace demo
