#include "library/PriceArray.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <type_traits>
#include <utility>

#include <fmt/format.h>

#include "platform/automation/Convert.h"
#include "platform/automation/DateCode.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/helpers/library.h"

namespace thalmere {

using automation::Error;
using automation::Variant;
namespace err = automation::err;

namespace {

// ---- Date codes as day numbers -------------------------------------------------------------
//
// Compress looks at every date code of a series. Going through DateFromLong (a date text that
// is parsed back) for each one would cost far more than the compression itself, so codes that
// name a real day are turned into day numbers by arithmetic; every other code (0 and below,
// years outside 1000..9999, no real day) takes the general conversion, which gives day zero,
// the date, or error 13 exactly as DateFromLong does. Day numbers count from day zero,
// 30 December 1899, as automation dates do.

// A code of a real day in the years 1000 to 9999. Such codes order like the days they name,
// so whether a day lies past a period's end can be told by comparing codes.
// Checked for every entry of a series, so the common case stays inline.
inline bool IsPlainCode(int32_t code) {
  if (code < 10000101 || code > 99991231) return false;
  const automation::DateCode c(code);
  const int month = c.Month(), day = c.Day();
  if (month < 1 || month > 12 || day < 1) return false;
  return day <= 28 || day <= automation::DaysInMonth(c.Year(), month);
}

int64_t DayNumberOfCode(int32_t code) {
  if (IsPlainCode(code)) return automation::DayNumberOfCode(code);
  return static_cast<int64_t>(automation::DayNumber(helpers::DateFromLong(code)));
}

// The code of the date that DateFromLong gives for a code (18991230 for codes of 0 and below).
inline int32_t CodeOfDateOf(int32_t code) {
  return IsPlainCode(code) ? code : automation::CodeOfDayNumber(DayNumberOfCode(code));
}

// The code of a day moved by `shift` days, where the day reached lies in the same month or
// a neighbouring one: cheaper than a round trip through day numbers, once per period.
int32_t ShiftedCode(int32_t code, int32_t shift) {
  const automation::DateCode c(code);
  int32_t year = c.Year(), month = c.Month(), day = c.Day() + shift;
  if (day > automation::DaysInMonth(year, month)) {
    day -= automation::DaysInMonth(year, month);
    if (++month > 12) {
      month = 1;
      ++year;
    }
  } else if (day < 1) {
    if (--month < 1) {
      month = 12;
      --year;
    }
    day += automation::DaysInMonth(year, month);
  }
  return automation::DateCode::Of(year, month, day).Code();
}

// The last day of a period, as a day number and as a date code.
struct PeriodEnd {
  int64_t day;
  int32_t code;
};

// The end of the period that starts on the day of `code`. Weekly: the Friday of the
// Monday-based week; a Saturday or a Sunday gives the Friday before it, so a weekend day lies
// past its own period's end and always forms a period of its own. Monthly: the month's last
// calendar day.
PeriodEnd PeriodEndOf(int16_t period, int32_t code) {
  const int32_t start_code = CodeOfDateOf(code);
  const int64_t start = automation::DayNumberOfCode(start_code);
  const automation::DateCode start_day(start_code);
  const int32_t month_days = automation::DaysInMonth(start_day.Year(), start_day.Month());
  const int32_t shift =
      period == 1 ? 5 - automation::WeekdayOfDayNumber(start) : month_days - start_day.Day();
  return {start + shift, ShiftedCode(start_code, shift)};
}

// ---- Assignment ------------------------------------------------------------------------------

// Copies elements 1..U of an automation array into a new array with indices 0..U (element 0
// holds 0). Elements are converted as the run-time converts them to `T`.
template <class T>
std::vector<T> SeriesFromArray(const Variant& source, std::string_view property) {
  if (!source.IsArray()) {
    throw Error::WithDetail(err::kTypeMismatch, fmt::format("PriceArray.{} needs an array, not {}",
                                                            property, source.TypeName()));
  }
  const automation::SafeArray& array = source.Array();
  const int32_t upper = array.UpperBound();
  if (upper > PriceArray::kMaxEntries) {
    throw Error::WithDetail(err::kOverflow, fmt::format("PriceArray.{}: upper bound {} beyond {}",
                                                        property, upper, PriceArray::kMaxEntries));
  }
  if (upper < 0 || (upper >= 1 && array.LowerBound() > 1)) {
    throw Error::WithDetail(err::kSubscriptOutOfRange,
                            fmt::format("PriceArray.{}: array {}..{} lacks elements 1..{}",
                                        property, array.LowerBound(), upper, upper));
  }
  std::vector<T> series(static_cast<size_t>(upper) + 1, T{0});
  const size_t first = static_cast<size_t>(1 - array.LowerBound());  // offset of element 1
  auto copy = [&](const auto& elements, auto convert) {
    for (int32_t i = 1; i <= upper; ++i) series[i] = convert(elements[first + i - 1]);
  };
  std::visit(
      [&](const auto& elements) {
        using Element = typename std::decay_t<decltype(elements)>::value_type;
        if constexpr (std::is_same_v<Element, std::string>) {
          throw Error::WithDetail(err::kTypeMismatch,
                                  fmt::format("PriceArray.{} needs numbers, not text", property));
        } else if constexpr (std::is_same_v<Element, T>) {
          copy(elements, [](T value) { return value; });
        } else if constexpr (std::is_same_v<T, float>) {
          copy(elements, [](const Element& value) { return automation::CSng(Variant(value)); });
        } else {
          copy(elements, [](const Element& value) { return automation::CLng(Variant(value)); });
        }
      },
      array.storage());
  return series;
}

template <class T>
std::vector<T> SeriesFromSpan(std::span<const T> values, std::string_view property) {
  if (values.size() > static_cast<size_t>(PriceArray::kMaxEntries)) {
    throw Error::WithDetail(err::kOverflow,
                            fmt::format("PriceArray.{}: {} entries, at most {}", property,
                                        values.size(), PriceArray::kMaxEntries));
  }
  std::vector<T> series;
  series.reserve(values.size() + 1);
  series.push_back(T{0});
  series.insert(series.end(), values.begin(), values.end());
  return series;
}

[[noreturn]] void ThrowNeverAssigned(std::string_view array) {
  throw Error::WithDetail(err::kSubscriptOutOfRange,
                          fmt::format("PriceArray.{} was never assigned", array));
}

}  // namespace

void PriceArray::SetPrices(const Variant& values) {
  prices_ = SeriesFromArray<float>(values, "Prices");
  size_ = static_cast<int32_t>(prices_.size()) - 1;
}

void PriceArray::SetDates(const Variant& codes) {
  dates_ = SeriesFromArray<int32_t>(codes, "Dates");
  size_ = static_cast<int32_t>(dates_.size()) - 1;
}

void PriceArray::AssignPrices(std::span<const float> values) {
  prices_ = SeriesFromSpan(values, "Prices");
  size_ = static_cast<int32_t>(values.size());
}

void PriceArray::AssignDates(std::span<const int32_t> codes) {
  dates_ = SeriesFromSpan(codes, "Dates");
  size_ = static_cast<int32_t>(codes.size());
}

float PriceArray::LastValue() const {
  if (prices_.empty()) ThrowNeverAssigned("Prices");
  return prices_.back();
}

int32_t PriceArray::LastDate() const {
  if (dates_.empty()) ThrowNeverAssigned("Dates");
  return dates_.back();
}

namespace {

// Element lAt up to the array's upper bound, 0 beyond it. There is no lower guard beyond the
// array's own: element 0 is 0, a negative index is out of range.
template <class T>
T ElementOrZero(const std::vector<T>& array, int32_t lAt, std::string_view name) {
  if (array.empty()) ThrowNeverAssigned(name);
  if (lAt < 0) {
    throw Error::WithDetail(
        err::kSubscriptOutOfRange,
        fmt::format("PriceArray.{}: index {} outside 0..{}", name, lAt, array.size() - 1));
  }
  return static_cast<size_t>(lAt) < array.size() ? array[lAt] : T{0};
}

}  // namespace

float PriceArray::ValueAt(int32_t lAt) const { return ElementOrZero(prices_, lAt, "Prices"); }

int32_t PriceArray::DateAt(int32_t lAt) const { return ElementOrZero(dates_, lAt, "Dates"); }

Variant PriceArray::Ref(int32_t lRef) const {
  const int64_t k = int64_t{size_} + lRef;
  if (k < 1 || k > size_) return Variant(automation::ObjectRef{});
  // Size may come from Dates, assigned after a shorter Prices.
  if (static_cast<size_t>(k) >= prices_.size()) {
    if (prices_.empty()) ThrowNeverAssigned("Prices");
    throw Error::WithDetail(err::kSubscriptOutOfRange,
                            fmt::format("PriceArray.Ref({}): entry {} beyond Prices 0..{}", lRef, k,
                                        prices_.size() - 1));
  }
  return Variant(prices_[k]);
}

std::shared_ptr<PriceArray> PriceArray::Compress(int16_t iCompressPeriod,
                                                 int16_t iCompressType) const {
  if (iCompressPeriod != 1 && iCompressPeriod != 2) {
    throw Error::WithDetail(
        err::kInvalidArgument,
        fmt::format("compress period {} is neither 1 (weekly) nor 2 (monthly)", iCompressPeriod));
  }
  if (iCompressType < 1 || iCompressType > 5) {
    throw Error::WithDetail(err::kInvalidArgument,
                            fmt::format("compress type {} outside 1..5", iCompressType));
  }
  if (prices_.empty()) ThrowNeverAssigned("Prices");
  if (dates_.size() < 2 || dates_.size() < prices_.size()) {
    throw Error::WithDetail(
        err::kSubscriptOutOfRange,
        fmt::format("Compress needs Dates 1..{}; they are 0..{}",
                    std::max<size_t>(prices_.size() - 1, 1), dates_.size() - 1));
  }

  const size_t upper = prices_.size() - 1;
  std::vector<float> values{0};
  std::vector<int32_t> codes{0};
  const size_t expected_periods = upper / (iCompressPeriod == 1 ? 4 : 20) + 2;
  values.reserve(expected_periods);
  codes.reserve(expected_periods);

  PeriodEnd end = PeriodEndOf(iCompressPeriod, dates_[1]);
  float aggregate = 0;
  int32_t count = 0;
  // A period is emitted only when it holds a value: a series that starts on a weekend would
  // otherwise open with an empty period of value 0.
  auto close_period = [&](int32_t code) {
    if (count == 0) return;
    values.push_back(aggregate);
    codes.push_back(code);
  };

  for (size_t i = 1; i <= upper; ++i) {
    const int32_t code = dates_[i];
    const bool past_end = IsPlainCode(code) ? code > end.code : DayNumberOfCode(code) > end.day;
    if (past_end) {
      // A closed period is dated by its end (for a week, the Friday, even when that Friday
      // was a holiday), so a period is always labelled by the same day.
      close_period(end.code);
      end = PeriodEndOf(iCompressPeriod, code);
      count = 0;
      aggregate = 0;
    }
    const float value = prices_[i];
    ++count;
    switch (iCompressType) {
      case 1:
        if (count == 1) aggregate = value;
        break;
      case 2:
        if (count == 1 || value > aggregate) aggregate = value;
        break;
      case 3:
        if (count == 1 || value < aggregate) aggregate = value;
        break;
      case 4:
        aggregate = value;
        break;
      default:
        aggregate += value;
        if (std::isinf(aggregate)) {
          throw Error::WithDetail(err::kOverflow,
                                  fmt::format("the sum of the period ending {} leaves the Single "
                                              "range at entry {}",
                                              end.code, i));
        }
        break;
    }
  }
  // The running period is labelled by its last day: a partial last week by its last trading
  // day.
  close_period(CodeOfDateOf(dates_[upper]));

  auto result = std::make_shared<PriceArray>();
  result->dates_ = std::move(codes);
  result->prices_ = std::move(values);
  result->size_ = static_cast<int32_t>(result->prices_.size()) - 1;
  return result;
}

float PriceArray::Sum() const { return SumRange(1, size_); }

float PriceArray::SumRange(int32_t lStart, int32_t lFinish) const {
  const int32_t first = std::max(lStart, 1);
  const int32_t last = std::min(lFinish, size_);
  float sum = 0;
  for (int32_t k = first; k <= last; ++k) {
    sum += ValueAt(k);
    if (std::isinf(sum)) {
      throw Error::WithDetail(
          err::kOverflow,
          fmt::format("the sum of entries {}..{} leaves the Single range at {}", first, last, k));
    }
  }
  return sum;
}

const automation::MemberTable& PriceArray::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<PriceArray>()
          .Let("Prices", &PriceArray::SetPrices)
          .Let("Dates", &PriceArray::SetDates)
          .Method("LastValue", &PriceArray::LastValue)
          .Method("LastDate", &PriceArray::LastDate)
          .Method("ValueAt", &PriceArray::ValueAt)
          .Method("DateAt", &PriceArray::DateAt)
          .Method("Ref", &PriceArray::Ref)
          .Method("Compress", &PriceArray::Compress)
          .Get("Size", &PriceArray::Size)
          .Method("Sum", &PriceArray::Sum)
          .Method("SumRange", &PriceArray::SumRange)
          .Method("Class_Initialize", &PriceArray::Class_Initialize)
          .Build();
  return table;
}

}  // namespace thalmere
