#pragma once

#include <functional>
#include <string>
#include <vector>

// The value side of a chart: round tick steps, the ticks of a vertical scale and their labels.
namespace chart {

// The round step (1, 2, 2.5 or 5 times a power of ten) at or above `raw`; 1 for a step that
// is no positive finite number.
double NiceStep(double raw);

// The fewest decimals (up to 4) that show multiples of `step` exactly.
int DecimalsFor(double step);

// "1,234.50": thousands grouped, `decimals` places; trailing zeros (and a bare point) dropped
// when `trim`. A value that rounds to zero shows no sign when trimmed.
std::string Grouped(double value, int decimals, bool trim = false);

// A vertical scale: the value range of a band and its round ticks.
struct ValueScale {
  double lo = 0, hi = 1, step = 1;
  double top = 0, bottom = 0;  // the band in pixels
  bool abbreviate = false;     // 12.5M rather than 12,500,000
  std::vector<double> ticks;
  const std::function<std::string(double)>* formatter = nullptr;  // the chart's, if any

  // The pixel row of a value: `bottom` at lo, `top` at hi.
  double Y(double v) const { return bottom - (v - lo) / (hi - lo) * (bottom - top); }

  // Sets the step to the round step that gives at most about `max_ticks` intervals over
  // lo..hi and the ticks to its multiples inside the range (zero exactly zero); scales that
  // reach 100,000 label their ticks abbreviated.
  void ChooseTicks(int max_ticks);

  // The label of a tick: the chart's formatter when it has one; otherwise grouped with the
  // decimals of the step, or abbreviated with K, M or B after the largest magnitude of the
  // range.
  std::string Label(double v) const;
};

}  // namespace chart
