#pragma once

#include <algorithm>
#include <vector>

namespace bench {

// Timings of repeated runs, in milliseconds.
struct Summary {
  double median, mean, min, max;
};

// The summary of at least one timing.
inline Summary Summarise(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  double sum = 0;
  for (double m : ms) sum += m;
  return {ms[ms.size() / 2], sum / static_cast<double>(ms.size()), ms.front(), ms.back()};
}

}  // namespace bench
