#include "platform/chart/DateAxis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "platform/automation/DateCode.h"
#include "platform/automation/DateTime.h"

namespace chart {
namespace {

struct YearMonthDay {
  int year, month, day;
};

YearMonthDay SplitDay(int64_t day_number) {
  const automation::DateCode code = automation::DateCode::OfDayNumber(day_number);
  return {code.Year(), code.Month(), code.Day()};
}

int64_t DayOf(int year, int month, int day) {
  return automation::DateCode::Of(year, month, day).DayNumber();
}

double ApproximateDays(DateTickStep step) {
  switch (step.unit) {
    case DateTickUnit::kDay:
      return step.count;
    case DateTickUnit::kWeek:
      return 7.0 * step.count;
    case DateTickUnit::kMonth:
      return 30.44 * step.count;
    case DateTickUnit::kYear:
      return 365.25 * step.count;
  }
  return 1.0;
}

// Far more ticks than any axis can label: a guard against a caller's absurd range.
constexpr size_t kMaxTicks = 2000;

}  // namespace

DateTickStep ChooseDateTickStep(double first, double last, int max_ticks) {
  static constexpr std::array<DateTickStep, 15> kSteps = {{
      {DateTickUnit::kDay, 1},
      {DateTickUnit::kDay, 2},
      {DateTickUnit::kWeek, 1},
      {DateTickUnit::kWeek, 2},
      {DateTickUnit::kMonth, 1},
      {DateTickUnit::kMonth, 2},
      {DateTickUnit::kMonth, 3},
      {DateTickUnit::kMonth, 6},
      {DateTickUnit::kYear, 1},
      {DateTickUnit::kYear, 2},
      {DateTickUnit::kYear, 5},
      {DateTickUnit::kYear, 10},
      {DateTickUnit::kYear, 20},
      {DateTickUnit::kYear, 50},
      {DateTickUnit::kYear, 100},
  }};
  const double span = std::max(0.0, last - first);
  size_t start = 0;
  if (span >= 731) {
    start = 8;
  } else if (span >= 92) {
    start = 4;
  }
  const double room = std::max(1, max_ticks);
  for (size_t i = start; i < kSteps.size(); ++i) {
    if (span / ApproximateDays(kSteps[i]) <= room) return kSteps[i];
  }
  return kSteps.back();
}

std::vector<double> DateTicks(double first, double last, DateTickStep step) {
  std::vector<double> ticks;
  if (!(last >= first) || step.count < 1) return ticks;
  const int64_t lo = static_cast<int64_t>(std::ceil(first));
  const int64_t hi = static_cast<int64_t>(std::floor(last));
  auto push = [&](int64_t day) {
    if (day >= lo && day <= hi) ticks.push_back(static_cast<double>(day));
  };
  switch (step.unit) {
    case DateTickUnit::kDay:
      for (int64_t d = lo; d <= hi && ticks.size() < kMaxTicks; d += step.count) push(d);
      break;
    case DateTickUnit::kWeek: {
      int64_t d = lo;
      while (automation::WeekdayOfDayNumber(d) != 1) ++d;
      for (; d <= hi && ticks.size() < kMaxTicks; d += 7 * step.count) push(d);
      break;
    }
    case DateTickUnit::kMonth: {
      YearMonthDay ymd = SplitDay(lo);
      int month_index = ymd.year * 12 + (ymd.month - 1);
      while (month_index % step.count != 0) ++month_index;
      for (; ticks.size() < kMaxTicks; month_index += step.count) {
        const int64_t d = DayOf(month_index / 12, month_index % 12 + 1, 1);
        if (d > hi) break;
        push(d);
      }
      break;
    }
    case DateTickUnit::kYear: {
      int year = SplitDay(lo).year;
      while (year % step.count != 0) ++year;
      for (; year <= 9999 && ticks.size() < kMaxTicks; year += step.count) {
        const int64_t d = DayOf(year, 1, 1);
        if (d > hi) break;
        push(d);
      }
      break;
    }
  }
  return ticks;
}

std::string FormatDate(double date, std::string_view format) {
  static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const YearMonthDay ymd = SplitDay(static_cast<int64_t>(std::floor(date)));
  auto two = [](int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v % 100);
    return std::string(buf);
  };
  std::string out;
  size_t i = 0;
  auto starts = [&](std::string_view token) { return format.substr(i, token.size()) == token; };
  while (i < format.size()) {
    if (starts("YYYY")) {
      out += std::to_string(ymd.year);
      i += 4;
    } else if (starts("YY")) {
      out += two(ymd.year);
      i += 2;
    } else if (starts("MMM")) {
      out += kMonths[ymd.month - 1];
      i += 3;
    } else if (starts("MM")) {
      out += two(ymd.month);
      i += 2;
    } else if (starts("M")) {
      out += std::to_string(ymd.month);
      i += 1;
    } else if (starts("DD")) {
      out += two(ymd.day);
      i += 2;
    } else if (starts("D")) {
      out += std::to_string(ymd.day);
      i += 1;
    } else {
      out += format[i];
      ++i;
    }
  }
  return out;
}

std::string_view DefaultDateFormat(DateTickStep step) {
  switch (step.unit) {
    case DateTickUnit::kDay:
    case DateTickUnit::kWeek:
      return "MMM D";
    case DateTickUnit::kMonth:
      return "MMM YY";
    case DateTickUnit::kYear:
      return "YYYY";
  }
  return "MM/DD/YY";
}

}  // namespace chart
