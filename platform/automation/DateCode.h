#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/automation/Variant.h"

namespace automation {

// A calendar day as the series, the price store and the fundamentals tables carry it: the
// code year × 10000 + month × 100 + day (20030605 for 5 June 2003). A DateCode holds any
// code; IsValid tells whether it names a real day of the years 100 to 9999, and only such a
// code may be moved by days or turned into a date. Codes order like the days they name.
class DateCode {
 public:
  constexpr DateCode() = default;
  constexpr explicit DateCode(int32_t code) : code_(code) {}
  // The code of a day given by its parts; the parts are not checked.
  static constexpr DateCode Of(int year, int month, int day) {
    return DateCode(year * 10000 + month * 100 + day);
  }
  // The day of a day number counted from day zero (30 December 1899), as automation dates
  // count days.
  static DateCode OfDayNumber(int64_t day_number);
  // The calendar day of an automation date; the time of day is ignored.
  static DateCode OfDate(Date d);

  constexpr int32_t Code() const { return code_; }
  constexpr int Year() const { return code_ / 10000; }
  constexpr int Month() const { return code_ / 100 % 100; }
  constexpr int Day() const { return code_ % 100; }

  bool IsValid() const;
  // The day number of a valid code (others give an unspecified number).
  int64_t DayNumber() const;
  // Monday = 1 to Sunday = 7, of a valid code.
  int Weekday() const;
  // The day `days` calendar days later (earlier when negative), of a valid code.
  DateCode AddDays(int64_t days) const;
  DateCode NextDay() const { return AddDays(1); }
  DateCode PreviousDay() const { return AddDays(-1); }
  // The last calendar day of the code's month, of a valid code.
  DateCode MonthEnd() const;
  // The automation date at midnight; nullopt when the code names no real day.
  std::optional<Date> ToDate() const;
  // "2003-06-05", the parts as they stand (zero-padded), valid or not.
  std::string IsoText() const;

  friend constexpr auto operator<=>(DateCode, DateCode) = default;

 private:
  int32_t code_ = 0;
};

}  // namespace automation
