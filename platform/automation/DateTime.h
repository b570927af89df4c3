#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/Variant.h"

namespace automation {

// Calendar parts of an automation date.
struct DateParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  int millisecond = 0;
};

// The date of a calendar day (and time); a day that does not exist gives nullopt.
std::optional<Date> MakeDate(int year, int month, int day, int hour = 0, int minute = 0,
                             int second = 0, int millisecond = 0);
// As MakeDate, but a day that does not exist is error 13 naming it.
Date DateOf(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// Splits a date into calendar parts. Dates before day zero keep the time of day as a
// positive fraction, as the run-time does (-1.25 is 29 December 1899, 06:00).
DateParts SplitDate(Date d);

// Whole days of a date (its calendar day as a day number) and its time as a fraction.
double DayNumber(Date d);
double TimeFraction(Date d);
// The date moved by whole days, the time of day kept.
Date AddDays(Date d, int days);

// Weekday counted Monday = 1 to Sunday = 7.
int IsoWeekday(Date d);
int DaysInMonth(int year, int month);

// Date codes (year × 10000 + month × 100 + day) and whole day numbers counted from day zero,
// as automation dates count days, by integer arithmetic: for code that walks many days.
// True when the code names a real day of the years 100 to 9999.
bool IsDateCode(int32_t code);
// The day number of a code that IsDateCode accepts (others give an unspecified number).
int64_t DayNumberOfCode(int32_t code);
int32_t CodeOfDayNumber(int64_t day_number);
// Monday = 1 to Sunday = 7.
int WeekdayOfDayNumber(int64_t day_number);

// Parses the date texts the system meets: "2003/6/5", "2003-06-05", "6/5/2003" (month
// first), each optionally followed by a time "14:30", "14:30:15", "4:01pm", "4:01 PM"; or a
// time alone. Blanks around the parts are ignored. Anything else gives nullopt.
std::optional<Date> ParseDate(std::string_view text);

// "2003-06-05 14:30:00": the text form in which dates are stored in and bound to
// databases that have no date type of their own.
std::string IsoDateTimeText(Date d);

// The run-time's text of a date: "6/5/2003", "6/5/2003 2:30:00 PM", or the time alone for
// a date on day zero ("12:00:00 AM" for day zero itself).
std::string DateText(Date d);

}  // namespace automation
