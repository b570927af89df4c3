#include "platform/chart/ValueScale.h"

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace chart {
namespace {

TEST(ValueScaleTest, RoundsStepsUpToOneTwoTwoAndAHalfOrFive) {
  struct Case {
    double raw, step;
  };
  const double inf = std::numeric_limits<double>::infinity();
  for (const Case& c : {Case{0.7, 1}, Case{1, 1}, Case{1.2, 2}, Case{2.2, 2.5}, Case{3, 5},
                        Case{7, 10}, Case{0.013, 0.02}, Case{45000, 50000}, Case{0, 1}, Case{-5, 1},
                        Case{inf, 1}, Case{std::nan(""), 1}}) {
    EXPECT_DOUBLE_EQ(NiceStep(c.raw), c.step) << c.raw;
  }
}

TEST(ValueScaleTest, FormatsNumbersGroupedWithTheDecimalsOfTheStep) {
  struct Case {
    double step;
    int decimals;
  };
  for (const Case& c : {Case{1, 0}, Case{100000, 0}, Case{0.5, 1}, Case{0.1, 1}, Case{2.5, 1},
                        Case{0.25, 2}, Case{0.02, 2}, Case{0.00001, 4}}) {
    EXPECT_EQ(DecimalsFor(c.step), c.decimals) << c.step;
  }
  struct Text {
    double value;
    int decimals;
    bool trim;
    const char* text;
  };
  for (const Text& t :
       {Text{1234.5, 2, false, "1,234.50"}, Text{-1234567, 0, false, "-1,234,567"},
        Text{999.999, 2, false, "1,000.00"}, Text{100, 0, false, "100"}, Text{0.5, 2, true, "0.5"},
        Text{12, 2, true, "12"}, Text{-0.001, 2, true, "0"}, Text{-12.5, 2, true, "-12.5"}}) {
    EXPECT_EQ(Grouped(t.value, t.decimals, t.trim), t.text) << t.value;
  }
}

std::vector<std::string> Labels(const ValueScale& scale) {
  std::vector<std::string> labels;
  for (double t : scale.ticks) labels.push_back(scale.Label(t));
  return labels;
}

TEST(ValueScaleTest, TicksAreMultiplesOfTheStepInsideTheRange) {
  ValueScale scale;
  scale.lo = 0;
  scale.hi = 100;
  scale.ChooseTicks(5);
  EXPECT_EQ(scale.step, 20);
  EXPECT_EQ(scale.ticks, (std::vector<double>{0, 20, 40, 60, 80, 100}));

  // Tenths do not add up exactly; each tick is still labelled as the round value, and the
  // middle one is zero itself.
  scale.lo = -0.3;
  scale.hi = 0.3;
  scale.ChooseTicks(6);
  ASSERT_EQ(scale.ticks.size(), 7u);
  EXPECT_EQ(scale.ticks[3], 0.0);
  EXPECT_FALSE(std::signbit(scale.ticks[3]));
  EXPECT_EQ(Labels(scale),
            (std::vector<std::string>{"-0.3", "-0.2", "-0.1", "0.0", "0.1", "0.2", "0.3"}));

  scale.lo = 12.3;
  scale.hi = 12.9;
  scale.ChooseTicks(3);
  EXPECT_EQ(Labels(scale), (std::vector<std::string>{"12.4", "12.6", "12.8"}));
}

TEST(ValueScaleTest, LargeRangesAreLabelledInThousandsMillionsOrBillions) {
  struct Case {
    double hi;
    std::vector<std::string> labels;
  };
  for (const Case& c : {Case{50000, {"0", "10,000", "20,000", "30,000", "40,000", "50,000"}},
                        Case{250000, {"0", "50K", "100K", "150K", "200K", "250K"}},
                        Case{2.5e6, {"0", "0.5M", "1.0M", "1.5M", "2.0M", "2.5M"}},
                        Case{3e9, {"0", "1B", "2B", "3B"}}}) {
    ValueScale scale;
    scale.hi = c.hi;
    scale.ChooseTicks(5);
    EXPECT_EQ(Labels(scale), c.labels) << c.hi;
  }
  // The chart's own formatter wins over both.
  const std::function<std::string(double)> percent = [](double v) {
    return std::to_string(static_cast<int>(v)) + "%";
  };
  ValueScale scale;
  scale.hi = 2.5e6;
  scale.formatter = &percent;
  scale.ChooseTicks(5);
  EXPECT_EQ(scale.Label(500000), "500000%");
}

TEST(ValueScaleTest, MapsTheRangeOntoTheBand) {
  ValueScale scale;
  scale.lo = 10;
  scale.hi = 20;
  scale.top = 5;
  scale.bottom = 105;
  EXPECT_DOUBLE_EQ(scale.Y(10), 105);
  EXPECT_DOUBLE_EQ(scale.Y(20), 5);
  EXPECT_DOUBLE_EQ(scale.Y(12.5), 80);
}

}  // namespace
}  // namespace chart
