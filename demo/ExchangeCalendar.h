#pragma once

#include <cstdint>
#include <vector>

// The US stock-market trading calendar, on date codes (year × 10000 + month × 100 + day).
namespace demo {

// True on the days the US stock exchanges close for a holiday: New Year's Day, Martin Luther
// King Day (from 1998), Presidents' Day, Good Friday, Memorial Day, Juneteenth (from 2022),
// Independence Day, Labor Day, Thanksgiving and Christmas. A fixed-date holiday on a Saturday
// is observed on the Friday before and on a Sunday on the Monday after; only New Year's Day
// on a Saturday is not made up, since the Friday before ends the previous year. The rules
// are those in force since 1971; closings for single events (storms, days of mourning) are
// not holidays. A code that is no real day is error 5.
bool IsMarketHoliday(int32_t date_code);
// The market holidays of a year as they are observed, in calendar order.
std::vector<int32_t> MarketHolidays(int year);
// Easter Sunday of a year of the Gregorian calendar.
int32_t EasterSunday(int year);
// A weekday that is no market holiday.
bool IsTradingDay(int32_t date_code);
// The latest trading day on or before the day.
int32_t LatestTradingDay(int32_t date_code);
// The trading days from `first` to `last`, both included, ascending; none when last < first.
std::vector<int32_t> TradingDays(int32_t first, int32_t last);
// The date code `days` calendar days after (before, when negative) the day.
int32_t AddCalendarDays(int32_t date_code, int32_t days);

}  // namespace demo
