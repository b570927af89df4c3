#include "library/Indicators.h"

#include <cmath>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "platform/automation/Error.h"

namespace thalmere {

using automation::Error;
using automation::Variant;
namespace err = automation::err;

namespace {

// Every value below is a float variable on purpose: each named intermediate and running sum
// is rounded to a Single when it is stored, as the figures these lines are compared with
// always were.

[[noreturn, gnu::cold]] void ThrowOverflow(std::string_view what) {
  throw Error::WithDetail(err::kOverflow, fmt::format("{} leaves the Single range", what));
}

// A stored result that left the Single range is error 6. Inputs are finite, so a NaN can only
// come from an infinity on the way.
inline float Finite(float value, std::string_view what) {
  if (!std::isfinite(value)) [[unlikely]]
    ThrowOverflow(what);
  return value;
}

// A Single quotient; a zero divisor is error 11 whatever the dividend, so that no infinity or
// NaN ever reaches a series.
float Quotient(float numerator, float denominator, std::string_view what) {
  if (denominator == 0) {
    throw Error::WithDetail(err::kDivisionByZero, fmt::format("{}: {} / 0", what, numerator));
  }
  const float quotient = numerator / denominator;
  if (!std::isfinite(quotient)) {
    throw Error::WithDetail(err::kOverflow, fmt::format("{}: {} / {} leaves the Single range", what,
                                                        numerator, denominator));
  }
  return quotient;
}

// Entries 1..Size of a series as ValueAt and DateAt read them (element k at index k - 1):
// straight from the array when it reaches Size; otherwise read one by one into `copy`, which
// gives 0 beyond a shorter array and error 9 for an array never assigned.
template <class T>
std::span<const T> EntriesOf(const PriceArray& series, const std::vector<T>& array,
                             T (PriceArray::*read)(int32_t) const, std::vector<T>& copy) {
  const auto n = static_cast<size_t>(series.Size());
  if (array.size() > n) return std::span<const T>(array).subspan(1, n);
  copy.clear();
  for (int32_t k = 1; k <= series.Size(); ++k) copy.push_back((series.*read)(k));
  return copy;
}

std::span<const float> ValuesOf(const PriceArray& series, std::vector<float>& copy) {
  return EntriesOf(series, series.prices(), &PriceArray::ValueAt, copy);
}

std::span<const int32_t> CodesOf(const PriceArray& series, std::vector<int32_t>& copy) {
  return EntriesOf(series, series.dates(), &PriceArray::DateAt, copy);
}

std::shared_ptr<PriceArray> SeriesOf(std::span<const int32_t> codes,
                                     std::span<const float> values) {
  auto series = std::make_shared<PriceArray>();
  series->AssignDates(codes);
  series->AssignPrices(values);
  return series;
}

// The daily log return of a percentage change; a fall of 100 % or more counts as 0.
float LogReturn(float delta_percent) {
  const float ratio = delta_percent / 100.0f + 1.0f;
  return ratio > 0 ? Finite(std::log(ratio), "Beta: a log return") : 0.0f;
}

}  // namespace

std::shared_ptr<PriceArray> Indicators::MA(const PriceArray& oPA, int32_t lDays) const {
  const int32_t n = oPA.Size();
  if (n < lDays) return nullptr;
  if (lDays < 0) {
    throw Error::WithDetail(err::kInvalidArgument, fmt::format("MA over {} days", lDays));
  }
  if (lDays == 0) throw Error::WithDetail(err::kDivisionByZero, "MA over 0 days");

  std::vector<float> value_copy;
  const std::span<const float> v = ValuesOf(oPA, value_copy);
  const float days = static_cast<float>(lDays);
  std::vector<float> averages(static_cast<size_t>(n - lDays) + 1);
  float sum = 0;
  for (int32_t k = 0; k < lDays; ++k) sum = Finite(sum + v[k], "MA: the sum");
  averages[0] = sum / days;
  // The sum is carried forward, the leaving value taken out before the entering one goes
  // in, rather than summed afresh for every window.
  for (int32_t j = 1; j <= n - lDays; ++j) {
    sum -= v[j - 1];
    sum = Finite(sum + v[lDays + j - 1], "MA: the sum");
    averages[j] = sum / days;
  }
  std::vector<int32_t> code_copy;
  return SeriesOf(CodesOf(oPA, code_copy).subspan(lDays - 1), averages);
}

std::shared_ptr<PriceArray> Indicators::GetDeltas(const PriceArray& oPA) const {
  const int32_t n = oPA.Size();
  if (n < 1) return std::make_shared<PriceArray>();
  std::vector<float> value_copy;
  const std::span<const float> v = ValuesOf(oPA, value_copy);
  std::vector<float> deltas(static_cast<size_t>(n) - 1);
  for (int32_t k = 1; k < n; ++k) {
    const float change = v[k] - v[k - 1];
    const float ratio = Quotient(change, v[k - 1], "GetDeltas");
    deltas[k - 1] = Finite(ratio * 100.0f, "GetDeltas");
  }
  std::vector<int32_t> code_copy;
  return SeriesOf(CodesOf(oPA, code_copy).subspan(1), deltas);
}

float Indicators::Beta(const PriceArray& oPAReference, const PriceArray& oPATest) const {
  if (oPAReference.Size() != oPATest.Size()) return 0;
  const std::shared_ptr<PriceArray> dx = GetDeltas(oPAReference);
  const std::shared_ptr<PriceArray> dy = GetDeltas(oPATest);
  const int32_t m = dx->Size();
  // The two series are paired by position; their dates are not compared.
  float sum_x = 0, sum_y = 0, sum_xy = 0, sum_xx = 0;
  for (int32_t k = 1; k <= m; ++k) {
    const float x = LogReturn(dx->prices()[k]);
    const float y = LogReturn(dy->prices()[k]);
    sum_x = Finite(sum_x + x, "Beta: a sum");
    sum_y = Finite(sum_y + y, "Beta: a sum");
    const float xy = x * y;
    sum_xy = Finite(sum_xy + xy, "Beta: a sum");
    const float xx = x * x;
    sum_xx = Finite(sum_xx + xx, "Beta: a sum");
  }
  const float count = static_cast<float>(m);
  const float m_sxy = count * sum_xy;
  const float sx_sy = sum_x * sum_y;
  const float m_sxx = count * sum_xx;
  const float sx_sx = sum_x * sum_x;
  const float covariance = Finite(m_sxy - sx_sy, "Beta");
  const float variance = Finite(m_sxx - sx_sx, "Beta");
  return Quotient(covariance, variance, "Beta: the reference series does not vary");
}

std::shared_ptr<PriceArray> AccDistWithGaps(const DailyBars& bars) {
  const size_t n = bars.dates.size();
  for (size_t length : {bars.open.size(), bars.high.size(), bars.low.size(), bars.close.size(),
                        bars.volume.size()}) {
    if (length < n) {
      throw Error::WithDetail(err::kSubscriptOutOfRange,
                              fmt::format("AccDist: a series of {} bars for {} dates", length, n));
    }
  }
  constexpr float kGap = 0.08f;  // a gap of 8 %, compared as Singles
  std::vector<float> values(n);
  float acc = 0;
  for (size_t i = 0; i < n; ++i) {
    const float open = bars.open[i], high = bars.high[i], low = bars.low[i];
    const float close = bars.close[i], volume = bars.volume[i];
    if (i > 0) {
      const float previous = bars.close[i - 1];
      const float up = Quotient(open - previous, previous, "AccDist: the gap after a close");
      if (up >= kGap) {
        const float spread = (close - low) + (high - previous) + (high - close);
        const float weight = Quotient(spread, high - previous, "AccDist: a gap up");
        acc = Finite(acc + weight * volume, "AccDist");
      } else {
        const float down = Quotient(previous - open, previous, "AccDist: the gap after a close");
        if (down >= kGap) {
          const float spread = (high - close) + (previous - low) + (close - low);
          const float weight = Quotient(spread, previous - low, "AccDist: a gap down");
          acc = Finite(acc - weight * volume, "AccDist");
        }
      }
    }
    // The day's own term counts on gap days too.
    const float range = high - low;
    if (range != 0) {
      const float weight = Quotient(close - open, range, "AccDist");
      acc = Finite(acc + weight * volume, "AccDist");
    }
    values[i] = acc;
  }
  auto series = std::make_shared<PriceArray>();
  series->AssignDates(bars.dates);
  series->AssignPrices(values);
  return series;
}

std::shared_ptr<PriceArray> Indicators::DMAccDist(const Quotes& Q) const {
  const int32_t n = Q.Count();
  const size_t needed = static_cast<size_t>(n) + 1;
  auto days = [&](const auto& series, std::string_view name) {
    if (n > 0 && series.size() < needed) {
      throw Error::WithDetail(err::kSubscriptOutOfRange,
                              fmt::format("DMAccDist: {} holds {} days, Count is {}", name,
                                          series.empty() ? 0 : series.size() - 1, n));
    }
    return std::span(series).subspan(n > 0 ? 1 : 0, n > 0 ? n : 0);
  };
  return AccDistWithGaps(DailyBars{days(Q.open(), "O"), days(Q.high(), "H"), days(Q.low(), "L"),
                                   days(Q.close(), "C"), days(Q.volume(), "V"),
                                   days(Q.dates(), "the dates")});
}

const automation::MemberTable& Indicators::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<Indicators>()
          .Method("Class_Initialize", &Indicators::Class_Initialize)
          .Method("Class_Terminate", &Indicators::Class_Terminate)
          .Method("Beta", &Indicators::Beta)
          .Method("DMAccDist", &Indicators::DMAccDist)
          .Method("MA", &Indicators::MA)
          .Method("GetDeltas", &Indicators::GetDeltas)
          .Build();
  return table;
}

}  // namespace thalmere
