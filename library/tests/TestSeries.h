#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "library/PriceArray.h"

namespace thalmere {

// A series of the given date codes and values, assigned as a caller assigns them.
inline std::shared_ptr<PriceArray> MakeSeries(const std::vector<int32_t>& codes,
                                              const std::vector<float>& values) {
  auto series = std::make_shared<PriceArray>();
  series->AssignDates(codes);
  series->AssignPrices(values);
  return series;
}

// The values and the date codes of a series, without the unused element 0.
inline std::vector<float> ValuesOf(const PriceArray& series) {
  return {series.prices().begin() + 1, series.prices().end()};
}
inline std::vector<int32_t> CodesOf(const PriceArray& series) {
  return {series.dates().begin() + 1, series.dates().end()};
}

}  // namespace thalmere
