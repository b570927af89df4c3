#include "platform/automation/DateTime.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <string>

#include <fmt/format.h>

#include "platform/automation/DateCode.h"
#include "platform/automation/Error.h"

namespace automation {

namespace {

// Days between 1970-01-01 and a proleptic Gregorian date, and back (the era-based
// civil-calendar conversion: exact for every year, no tables).

int64_t CivilToDays(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;  // days since 1970-01-01
}

void DaysToCivil(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

const int64_t kUnixDayOfDayZero = CivilToDays(1899, 12, 30);

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

bool IsDateCode(int32_t code) {
  const DateCode c(code);
  const int year = c.Year(), month = c.Month(), day = c.Day();
  return year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

int64_t DayNumberOfCode(int32_t code) {
  const DateCode c(code);
  return CivilToDays(c.Year(), c.Month(), c.Day()) - kUnixDayOfDayZero;
}

int32_t CodeOfDayNumber(int64_t day_number) {
  int year = 0, month = 0, day = 0;
  DaysToCivil(day_number + kUnixDayOfDayZero, year, month, day);
  return DateCode::Of(year, month, day).Code();
}

int WeekdayOfDayNumber(int64_t day_number) {
  // Day zero was a Saturday.
  return static_cast<int>(((day_number + 5) % 7 + 7) % 7) + 1;
}

std::optional<Date> MakeDate(int year, int month, int day, int hour, int minute, int second,
                             int millisecond) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59 || millisecond < 0 || millisecond > 999) {
    return std::nullopt;
  }
  const double days = static_cast<double>(CivilToDays(year, month, day) - kUnixDayOfDayZero);
  const double time =
      (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / 86400000.0;
  // Before day zero the time still counts forward from midnight: -1.25 is 29 Dec, 06:00.
  return Date{days < 0 ? days - time : days + time};
}

Date DateOf(int year, int month, int day, int hour, int minute, int second) {
  if (auto d = MakeDate(year, month, day, hour, minute, second)) return *d;
  throw Error::WithDetail(err::kTypeMismatch,
                          fmt::format("{}/{}/{} is not a day", year, month, day));
}

double DayNumber(Date d) { return std::trunc(d.value); }

double TimeFraction(Date d) { return std::fabs(d.value - std::trunc(d.value)); }

Date AddDays(Date d, int days) {
  const double day = DayNumber(d) + days;
  const double time = TimeFraction(d);
  return Date{day < 0 ? day - time : day + time};
}

DateParts SplitDate(Date d) {
  DateParts p;
  int64_t ms = std::llround(TimeFraction(d) * 86400000.0);
  int64_t day = static_cast<int64_t>(DayNumber(d));
  if (ms >= 86400000) {  // rounding carried into the next day
    ms -= 86400000;
    ++day;
  }
  DaysToCivil(day + kUnixDayOfDayZero, p.year, p.month, p.day);
  p.hour = static_cast<int>(ms / 3600000);
  p.minute = static_cast<int>(ms / 60000 % 60);
  p.second = static_cast<int>(ms / 1000 % 60);
  p.millisecond = static_cast<int>(ms % 1000);
  return p;
}

int IsoWeekday(Date d) {
  // Day zero, 30 December 1899, was a Saturday (6).
  const int64_t day = static_cast<int64_t>(DayNumber(d));
  return static_cast<int>(((day + 5) % 7 + 7) % 7) + 1;
}

namespace {

struct Cursor {
  std::string_view s;
  size_t i = 0;
  void SkipBlanks() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  }
  bool AtEnd() {
    SkipBlanks();
    return i >= s.size();
  }
  // A run of digits after optional blanks; the number of digits read goes to *width.
  std::optional<int> Number(int* width = nullptr) {
    SkipBlanks();
    size_t start = i;
    int value = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) && i - start < 9) {
      value = value * 10 + (s[i] - '0');
      ++i;
    }
    if (i == start) return std::nullopt;
    if (width) *width = static_cast<int>(i - start);
    return value;
  }
  bool Take(char c) {
    SkipBlanks();
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
};

// Parses "h:mm[:ss][am|pm]" from the cursor.
bool ParseTime(Cursor& c, int& hour, int& minute, int& second) {
  auto h = c.Number();
  if (!h || !c.Take(':')) return false;
  auto m = c.Number();
  if (!m) return false;
  std::optional<int> s = 0;
  if (c.Take(':')) {
    s = c.Number();
    if (!s) return false;
  }
  hour = *h;
  minute = *m;
  second = *s;
  c.SkipBlanks();
  if (c.i < c.s.size()) {
    const char a = static_cast<char>(std::tolower(static_cast<unsigned char>(c.s[c.i])));
    if ((a == 'a' || a == 'p') && c.i + 1 < c.s.size() &&
        std::tolower(static_cast<unsigned char>(c.s[c.i + 1])) == 'm') {
      if (hour < 1 || hour > 12) return false;
      if (a == 'a' && hour == 12) hour = 0;
      if (a == 'p' && hour != 12) hour += 12;
      c.i += 2;
    }
  }
  return true;
}

}  // namespace

std::optional<Date> ParseDate(std::string_view text) {
  Cursor c{text};
  int hour = 0, minute = 0, second = 0;
  {
    Cursor t = c;
    if (ParseTime(t, hour, minute, second) && t.AtEnd()) {
      if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
      return Date{(hour * 3600.0 + minute * 60.0 + second) / 86400.0};
    }
  }
  int w1 = 0;
  auto a = c.Number(&w1);
  if (!a) return std::nullopt;
  c.SkipBlanks();
  if (c.i >= c.s.size()) return std::nullopt;
  const char sep = c.s[c.i];
  if (sep != '/' && sep != '-' && sep != '.') return std::nullopt;
  ++c.i;
  auto b = c.Number();
  if (!b || !c.Take(sep)) return std::nullopt;
  int w3 = 0;
  auto e = c.Number(&w3);
  if (!e) return std::nullopt;
  int year, month, day;
  if (w1 >= 3) {  // year first
    year = *a, month = *b, day = *e;
  } else {  // month/day/year
    month = *a, day = *b, year = *e;
    if (w3 <= 2) year += year < 30 ? 2000 : 1900;
  }
  c.SkipBlanks();
  if (c.i < c.s.size() && (c.s[c.i] == 'T' || c.s[c.i] == 't')) ++c.i;
  if (!c.AtEnd()) {
    if (!ParseTime(c, hour, minute, second)) return std::nullopt;
    // Fractions of a second and a zone offset, as databases print them, are dropped.
    if (c.Take('.')) c.Number();
    if (!c.AtEnd() && (c.s[c.i] == '+' || c.s[c.i] == '-' || c.s[c.i] == 'Z')) c.i = c.s.size();
    if (!c.AtEnd()) return std::nullopt;
  }
  return MakeDate(year, month, day, hour, minute, second);
}

std::string IsoDateTimeText(Date d) {
  const DateParts p = SplitDate(d);
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", p.year, p.month, p.day, p.hour,
                     p.minute, p.second);
}

std::string DateText(Date d) {
  const DateParts p = SplitDate(d);
  std::string time;
  if (p.hour || p.minute || p.second) {
    const int h12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
    time = fmt::format("{}:{:02}:{:02} {}", h12, p.minute, p.second, p.hour < 12 ? "AM" : "PM");
  }
  if (DayNumber(d) == 0) return time.empty() ? "12:00:00 AM" : time;
  std::string date = fmt::format("{}/{}/{}", p.month, p.day, p.year);
  return time.empty() ? date : date + " " + time;
}

}  // namespace automation
