#pragma once

namespace thalmere {

// The eight measures of a composite rating, in the order the company profile's composite block
// shows them: the heading, and the si_composite columns of the measure's percentile and of its
// score. The company page labels its bar chart with the same headings.
struct CompositeMeasure {
  const char* label;
  const char* percentile;
  const char* score;
};

inline constexpr CompositeMeasure kCompositeMeasures[] = {
    {"Overall", "composite", "rscore"},
    {"EPS Growth", "compeps", "epswavg"},
    {"Relative Strength", "comprs", "rswavg"},
    {"SMR", "compsmr", "smrwavg"},
    {"Institutional Ownership", "compinst", "instwavg"},
    {"Institutional Purchases", "compipurch", "instpratio"},
    {"Accumulation Distribution", "compacdst", "accdist"},
    {"Industry RS", "compindrs", "indrs"},
};

}  // namespace thalmere
