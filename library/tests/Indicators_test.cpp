#include "library/Indicators.h"

#include <vector>

#include <gtest/gtest.h>

#include "library/tests/TestSeries.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/tc2000/tests/TestStore.h"
#include "platform/tests/TestEnvironment.h"

namespace thalmere {
namespace {

using automation::Variant;
using testing_support::ErrorNumberOf;
namespace err = automation::err;

// A series dated 1, 2, 3, ... (the indicators never look at what the codes mean).
std::shared_ptr<PriceArray> Series(const std::vector<float>& values) {
  std::vector<int32_t> codes;
  for (size_t i = 0; i < values.size(); ++i) codes.push_back(static_cast<int32_t>(i + 1));
  return MakeSeries(codes, values);
}

TEST(IndicatorsTest, MovingAverageDatedByEachWindowsLastDay) {
  struct Case {
    std::vector<float> values;
    int32_t days;
    std::vector<float> averages;
    std::vector<int32_t> codes;
  };
  const Case cases[] = {
      {{1, 2, 3, 4}, 2, {1.5f, 2.5f, 3.5f}, {2, 3, 4}},
      {{1, 2, 3, 4, 5}, 5, {3}, {5}},
      // The sum is carried forward: 1e8 + 1 loses the 1, and taking 1e8 out again leaves 0.
      {{1e8f, 1, 1, 1}, 2, {5e7f, 0.5f, 0.5f}, {2, 3, 4}},
  };
  const Indicators indicators;
  for (const Case& c : cases) {
    auto average = indicators.MA(*Series(c.values), c.days);
    ASSERT_TRUE(average);
    EXPECT_EQ(ValuesOf(*average), c.averages);
    EXPECT_EQ(CodesOf(*average), c.codes);
  }
  EXPECT_EQ(indicators.MA(*Series({1, 2, 3, 4, 5}), 6), nullptr);
  EXPECT_EQ(ErrorNumberOf([&] { indicators.MA(*Series({1, 2}), 0); }), err::kDivisionByZero);
  EXPECT_EQ(ErrorNumberOf([&] { indicators.MA(*Series({1, 2}), -1); }), err::kInvalidArgument);
}

TEST(IndicatorsTest, DeltasArePercentChangesDatedByTheLaterDay) {
  const Indicators indicators;
  auto deltas = indicators.GetDeltas(*Series({100, 110, 99}));
  EXPECT_EQ(ValuesOf(*deltas), (std::vector<float>{10, -10}));
  EXPECT_EQ(CodesOf(*deltas), (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(indicators.GetDeltas(*Series({100}))->Size(), 0);
  EXPECT_EQ(indicators.GetDeltas(PriceArray())->Size(), 0);
  for (const std::vector<float>& values : {std::vector<float>{0, 5}, {3, 0, 0}}) {
    EXPECT_EQ(ErrorNumberOf([&] { indicators.GetDeltas(*Series(values)); }), err::kDivisionByZero);
  }
}

TEST(IndicatorsTest, BetaIsTheSlopeOfLogReturns) {
  const Indicators indicators;
  const std::vector<float> reference = {100, 102, 99, 101, 104, 103};
  std::vector<float> squared;  // twice the log returns
  for (float v : reference) squared.push_back(v * v / 100);
  auto market = Series(reference);
  EXPECT_FLOAT_EQ(indicators.Beta(*market, *market), 1.0f);
  EXPECT_NEAR(indicators.Beta(*market, *Series(squared)), 2.0f, 1e-4f);
  EXPECT_EQ(indicators.Beta(*market, *Series({100, 102, 99})), 0);
  // A constant reference, one return each, one value each: m·Sxx − Sx² is 0.
  for (const std::vector<float>& flat : {std::vector<float>{50, 50, 50}, {100, 101}, {100}}) {
    std::vector<float> test(flat.size());
    for (size_t i = 0; i < test.size(); ++i) test[i] = 10.0f + static_cast<float>(i * i);
    EXPECT_EQ(ErrorNumberOf([&] { indicators.Beta(*Series(flat), *Series(test)); }),
              err::kDivisionByZero);
  }
}

TEST(IndicatorsTest, AccumulationDistributionWithGapDays) {
  // The 8 % boundary is a Single: (27 - 25) / 25 rounds to 0.08f, which lies below 0.08.
  ASSERT_EQ((27.0f - 25.0f) / 25.0f, 0.08f);
  ASSERT_LT(0.08f, 0.08);
  const std::vector<float> open = {24, 27, 23, 22.5f, 25, 26.99f};
  const std::vector<float> high = {26, 29, 24, 22.5f, 25, 27.99f};
  const std::vector<float> low = {22, 25, 20, 22.5f, 25, 26.99f};
  const std::vector<float> close = {25, 25, 22, 22.5f, 25, 27.99f};
  const std::vector<float> volume(6, 100);
  const std::vector<int32_t> codes = {1, 2, 3, 4, 5, 6};
  auto line = AccDistWithGaps({open, high, low, close, volume, codes});
  EXPECT_EQ(ValuesOf(*line), (std::vector<float>{
                                 25,   // the first day: (25 - 24) / 4 × 100
                                 175,  // opens exactly 8 % above 25: gap up +200, day -50
                                 -30,  // opens exactly 8 % below 25: gap down -180, day -25
                                 -30,  // high = low without a gap: nothing
                                 70,   // high = low on a gap up: the gap term alone
                                 170,  // just under 8 % above 25: the day term alone
                             }));
  EXPECT_EQ(CodesOf(*line), codes);

  EXPECT_EQ(AccDistWithGaps({})->Size(), 0);
  const float flat[] = {5}, zero_close[] = {0, 1}, other[] = {1, 1};
  const int32_t two_days[] = {1, 2};
  EXPECT_EQ(ErrorNumberOf([&] {
              AccDistWithGaps({other, other, other, zero_close, other, two_days});
            }),
            err::kDivisionByZero);
  EXPECT_EQ(ErrorNumberOf([&] {
              AccDistWithGaps({other, other, flat, other, other, two_days});
            }),
            err::kSubscriptOutOfRange);
}

// Bars without gaps add (C - O) / (H - L) × V = 0.25 × V a day, dated by the trading days.
TEST(IndicatorsTest, AccumulationDistributionOfALoadedStockLateBound) {
  testing_support::ScopedTempHome home;
  auto store = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
  const std::vector<tc2000::Bar> bars = testing_support::WeekdayBars(
      automation::DateOf(2026, 11, 2), automation::DateOf(2026, 11, 6));
  store->ReplaceBars(store->UpsertSecurity("ACC", "Accumulating Inc", true), bars);
  auto quotes = std::make_shared<Quotes>();
  automation::ObjectRef indicators = automation::CreateObject("Thalmere.Indicators");
  EXPECT_EQ(indicators->CallWith("DMAccDist", quotes).Object()->Get("Size"), Variant(0));

  quotes->SetDays(3);
  quotes->SetSymbol("ACC");
  auto line =
      std::dynamic_pointer_cast<PriceArray>(indicators->CallWith("DMAccDist", quotes).Object());
  float acc = 0;
  std::vector<float> expected;
  for (size_t i = 2; i < 5; ++i)
    expected.push_back(acc += 0.25f * static_cast<float>(bars[i].volume));
  EXPECT_EQ(ValuesOf(*line), expected);
  EXPECT_EQ(CodesOf(*line), (std::vector<int32_t>{20261104, 20261105, 20261106}));

  Variant series(Series({1, 2, 3, 4}));
  EXPECT_EQ(indicators->CallWith("MA", series, 2).Object()->CallWith("ValueAt", 1), Variant(1.5f));
  Variant nothing = indicators->CallWith("ma", series, 5);
  EXPECT_TRUE(nothing.IsObject() && !std::get<automation::ObjectRef>(nothing.storage()));
  EXPECT_EQ(ErrorNumberOf([&] { indicators->CallWith("GetDeltas", automation::ObjectRef{}); }),
            err::kObjectNotSet);
  EXPECT_EQ(ErrorNumberOf([&] { indicators->CallWith("DMAccDist", series); }), err::kTypeMismatch);
  EXPECT_EQ(ErrorNumberOf([&] { indicators->CallWith("Beta", series, 5); }), err::kTypeMismatch);
}

}  // namespace
}  // namespace thalmere
