#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "library/PriceArray.h"
#include "library/Quotes.h"
#include "platform/automation/Dispatch.h"

namespace thalmere {

// Thalmere.Indicators: series and figures derived from price series, with no state of its
// own. Every method reads its inputs through Size, ValueAt and DateAt (or a Quotes object's
// Count and series) and returns a new result; all arithmetic is 32-bit float, every stored
// intermediate and running sum rounded to a Single.
//
// Errors: a float division by zero is error 11 (GetDeltas over a 0 value, Beta of a constant
// reference series or of fewer than two entries, MA with lDays 0, DMAccDist after a close of
// 0); a result beyond the Single range is error 6.
class Indicators : public automation::Dispatch {
 public:
  std::string_view ClassName() const override { return "Indicators"; }
  const automation::MemberTable& Members() const override;

  void Class_Initialize() {}
  void Class_Terminate() {}
  // The least-squares slope of the test series' daily log returns on the reference's; 0 when
  // the two Sizes differ.
  float Beta(const PriceArray& oPAReference, const PriceArray& oPATest) const;
  // The accumulation/distribution line with gap days over a loaded Quotes object.
  std::shared_ptr<PriceArray> DMAccDist(const Quotes& Q) const;
  // The simple moving average over lDays, dated by each window's last day; nullptr (Nothing)
  // when the series has fewer than lDays entries. lDays 0 is error 11, a negative lDays 5.
  std::shared_ptr<PriceArray> MA(const PriceArray& oPA, int32_t lDays) const;
  // Day-to-day percentage changes, dated by the later day.
  std::shared_ptr<PriceArray> GetDeltas(const PriceArray& oPA) const;
};

// A stock's daily bars, entries of days 1 to n oldest first; every series has n entries.
struct DailyBars {
  std::span<const float> open, high, low, close, volume;
  std::span<const int32_t> dates;
};

// The accumulation/distribution line with gap days: n entries, each the running total up to
// that day, dated by the bars' dates. What Indicators::DMAccDist computes from a Quotes
// object. A series shorter than the dates is error 9; a previous close of 0 is error 11.
std::shared_ptr<PriceArray> AccDistWithGaps(const DailyBars& bars);

}  // namespace thalmere
