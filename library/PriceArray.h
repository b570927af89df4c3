#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "platform/automation/Dispatch.h"

namespace thalmere {

// The chart frequencies: a weekly chart is a daily series compressed with period 1.
enum ShowChartFrequency : int16_t { scDaily = 1, scWeekly = 2 };

// Thalmere.PriceArray: a run of 32-bit float values, each with the date code
// (year × 10000 + month × 100 + day) of the trading day it belongs to. Element 0 of both
// arrays exists but is not part of the series; the series is elements 1 to Size. It is filled
// once, by assigning Dates and Prices (each assignment sets Size to the upper bound of the
// array just assigned), and then only read.
//
// Errors: reading an element of an array that was never assigned is error 9, as is ValueAt or
// DateAt with a negative index and assigning an array that lacks an element between 1 and its
// upper bound; an upper bound beyond 32,767 is error 6. A failed call leaves the object as it
// was.
class PriceArray : public automation::Dispatch {
 public:
  static constexpr int32_t kMaxEntries = 32767;

  PriceArray() { Class_Initialize(); }

  std::string_view ClassName() const override { return "PriceArray"; }
  const automation::MemberTable& Members() const override;

  // The automation assignments: an array of any numeric element type with elements 1 to its
  // upper bound (element 0, if any, is ignored).
  void SetPrices(const automation::Variant& values);
  void SetDates(const automation::Variant& codes);

  // The same for C++ callers: `values` are the series' elements 1 to U, so U = values.size().
  void AssignPrices(std::span<const float> values);
  void AssignDates(std::span<const int32_t> codes);

  float LastValue() const;
  int32_t LastDate() const;
  // Element lAt, or 0 beyond the upper bound; negative lAt is error 9.
  float ValueAt(int32_t lAt) const;
  int32_t DateAt(int32_t lAt) const;
  // The value lRef entries back from the end (Ref(0) is the last), or Nothing (an empty
  // object reference) outside 1..Size.
  automation::Variant Ref(int32_t lRef) const;
  // A new series with one entry per period: 1 weekly (ending on the Friday of the
  // Monday-based week), 2 monthly; aggregated by type 1 first, 2 highest, 3 lowest, 4 last,
  // 5 sum. Periods that hold no value are never emitted. A closed period is dated by its end
  // (a week by its Friday, even a holiday Friday), the last one by its last entry's date.
  // Errors: any other period or type is 5; Prices never assigned, Dates without element 1 or
  // shorter than Prices is 9; a date code that is no day is 13; a type-5 sum beyond the
  // Single range is 6.
  std::shared_ptr<PriceArray> Compress(int16_t iCompressPeriod, int16_t iCompressType) const;
  int32_t Size() const { return size_; }
  // The sum of the series' values (entries 1 to Size), and of entries lStart to lFinish
  // (clamped to the series), in 32-bit float; a sum beyond the Single range is 6.
  float Sum() const;
  float SumRange(int32_t lStart, int32_t lFinish) const;
  void Class_Initialize() { size_ = 0; }

  // Direct read access for C++ callers in this library: element 0 included, empty when never
  // assigned.
  const std::vector<float>& prices() const { return prices_; }
  const std::vector<int32_t>& dates() const { return dates_; }

 private:
  std::vector<float> prices_;   // indices 0..U; empty until assigned
  std::vector<int32_t> dates_;  // indices 0..U; empty until assigned
  int32_t size_ = 0;
};

}  // namespace thalmere
