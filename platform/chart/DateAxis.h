#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace chart {

// The spacing of the ticks on a date axis: every `count` days, weeks, months or years.
enum class DateTickUnit { kDay, kWeek, kMonth, kYear };

struct DateTickStep {
  DateTickUnit unit = DateTickUnit::kDay;
  int count = 1;
  bool operator==(const DateTickStep&) const = default;
};

// The step for an axis that runs from `first` to `last` (automation dates) and has room for
// `max_ticks` labels. Spans under three months tick by days or weeks, spans under two years
// by months, longer spans by years; within that, the finest step that gives no more than
// `max_ticks` ticks (a coarser unit when none does).
DateTickStep ChooseDateTickStep(double first, double last, int max_ticks);

// The tick dates (whole days) from `first` to `last`, both included, on the step's natural
// boundaries: Mondays for weeks, the 1st of the month for months (January, then every
// `count`-th month), 1 January of years divisible by `count` for years.
std::vector<double> DateTicks(double first, double last, DateTickStep step);

// The date's text in `format`, where YYYY, YY, MMM (Jan..Dec), MM, M, DD and D stand for
// the date's parts and every other character stands for itself: "MM/DD/YY" gives
// "03/14/05".
std::string FormatDate(double date, std::string_view format);

// The label format used when the caller gives none, fitting the step: "MMM D" for days and
// weeks, "MMM YY" for months, "YYYY" for years.
std::string_view DefaultDateFormat(DateTickStep step);

}  // namespace chart
