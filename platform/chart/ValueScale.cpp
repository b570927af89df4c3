#include "platform/chart/ValueScale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace chart {

int DecimalsFor(double step) {
  for (int d = 0; d < 4; ++d) {
    const double scaled = step * std::pow(10.0, d);
    if (std::fabs(scaled - std::round(scaled)) < 1e-6 * std::max(1.0, scaled)) return d;
  }
  return 4;
}

std::string Grouped(double value, int decimals, bool trim) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, std::fabs(value));
  std::string digits(buf);
  std::string fraction;
  if (const size_t dot = digits.find('.'); dot != std::string::npos) {
    fraction = digits.substr(dot);
    digits.resize(dot);
    if (trim) {
      while (!fraction.empty() && (fraction.back() == '0' || fraction.back() == '.')) {
        const bool was_dot = fraction.back() == '.';
        fraction.pop_back();
        if (was_dot) break;
      }
    }
  }
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  const bool negative = value < 0 && (out != "0" || !fraction.empty());
  return (negative ? "-" : "") + out + fraction;
}

double NiceStep(double raw) {
  if (!(raw > 0) || !std::isfinite(raw)) return 1.0;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double f = raw / magnitude;
  const double nice = f <= 1 ? 1 : f <= 2 ? 2 : f <= 2.5 ? 2.5 : f <= 5 ? 5 : 10;
  return nice * magnitude;
}

void ValueScale::ChooseTicks(int max_ticks) {
  step = NiceStep((hi - lo) / std::max(1, max_ticks));
  ticks.clear();
  // Each tick as a multiple of the step, so that no rounding error piles up.
  const double first = std::ceil(lo / step - 1e-9);
  for (int k = 0; k < 1000; ++k) {
    const double t = (first + k) * step;
    if (t > hi + 1e-9 * step) break;
    ticks.push_back(std::fabs(t) < step * 1e-9 ? 0.0 : t);
  }
  abbreviate = std::max(std::fabs(lo), std::fabs(hi)) >= 100000;
}

std::string ValueScale::Label(double v) const {
  if (formatter && *formatter) return (*formatter)(v);
  if (!abbreviate) return Grouped(v, DecimalsFor(step));
  const double top_value = std::max(std::fabs(lo), std::fabs(hi));
  double unit = 1e3;
  const char* suffix = "K";
  if (top_value >= 1e9) {
    unit = 1e9;
    suffix = "B";
  } else if (top_value >= 1e6) {
    unit = 1e6;
    suffix = "M";
  }
  return v == 0 ? "0" : Grouped(v / unit, DecimalsFor(step / unit)) + suffix;
}

}  // namespace chart
