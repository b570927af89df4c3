#include "ocx/Percentiles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using kestrova::ExchangeSortPercentiles;
using kestrova::ExchangeSortPercentilesLiteral;
using Values = std::vector<std::optional<double>>;

testing::AssertionResult SameAsLiteral(const Values& values) {
  const std::vector<int32_t> fast = ExchangeSortPercentiles(values);
  const std::vector<int32_t> literal = ExchangeSortPercentilesLiteral(values);
  if (fast.size() != values.size()) return testing::AssertionFailure() << "size " << fast.size();
  for (size_t i = 0; i < fast.size(); ++i) {
    if (fast[i] != literal[i]) {
      return testing::AssertionFailure() << "n " << values.size() << ": entry " << i << " gets "
                                         << fast[i] << " instead of " << literal[i];
    }
  }
  return testing::AssertionSuccess();
}

// Runs both procedures, checks that they agree and returns the result.
std::vector<int32_t> Percentiles(const Values& values) {
  EXPECT_TRUE(SameAsLiteral(values));
  return ExchangeSortPercentiles(values);
}

// 0, 1, ..., n - 1 in an order fixed by the seed.
Values Shuffled(size_t n, uint64_t seed) {
  Values values(n);
  for (size_t i = 0; i < n; ++i) values[i] = static_cast<double>(i);
  std::shuffle(values.begin(), values.end(), std::mt19937_64(seed));
  return values;
}

TEST(ExchangeSortPercentilesTest, FewerThan99EntriesAllGetOne) {
  EXPECT_TRUE(Percentiles({}).empty());
  EXPECT_EQ(Percentiles({7.0}), std::vector<int32_t>{1});
  EXPECT_EQ(Percentiles({std::nullopt}), std::vector<int32_t>{1});
  for (size_t n : {50u, 98u}) {
    Values values = Shuffled(n, n);
    values[3] = std::nullopt;
    EXPECT_EQ(Percentiles(values), std::vector<int32_t>(n, 1)) << n;
  }
}

TEST(ExchangeSortPercentilesTest, DealsFullBucketsAndGivesTheRestTo99) {
  for (size_t n : {198u, 200u}) {
    const Values values = Shuffled(n, 7);
    const std::vector<int32_t> percentiles = Percentiles(values);
    std::vector<int32_t> by_value(n);  // value k is the (k + 1)-th smallest
    for (size_t i = 0; i < n; ++i) by_value[static_cast<size_t>(*values[i])] = percentiles[i];
    std::vector<int32_t> expected;
    for (int32_t p = 1; p <= 99; ++p) expected.insert(expected.end(), 2, p);
    expected.resize(n, 99);
    EXPECT_EQ(by_value, expected) << n;
  }
}

// Equal values (5) on both sides of a boundary between percentiles, 2 entries to a bucket,
// with larger values filling up the rest. The exchange sort passes each smaller value that
// comes later to the front, and with it it sends the first of the equal values before it
// behind the others.
TEST(ExchangeSortPercentilesTest, EqualValuesAtABoundaryFollowTheExchangeSort) {
  struct Case {
    std::vector<double> head;
    std::vector<int32_t> fives;  // in the order they are given
  };
  const Case cases[] = {
      {{1, 2, 3, 5, 5}, {2, 3}},    {{1, 2, 5, 5, 3}, {3, 2}},    {{1, 5, 5, 2, 3}, {2, 3}},
      {{5, 5, 1, 2, 3}, {3, 2}},    {{5, 5, 1, 5, 2}, {2, 3, 2}}, {{5, 1, 5, 5, 2}, {3, 2, 2}},
      {{5, 5, 5, 1, 2}, {2, 3, 2}},
  };
  for (const Case& c : cases) {
    Values values(c.head.begin(), c.head.end());
    for (double v = 10; values.size() < 198; ++v) values.push_back(v);
    const std::vector<int32_t> percentiles = Percentiles(values);
    std::vector<int32_t> fives;
    for (size_t i = 0; i < c.head.size(); ++i) {
      if (c.head[i] == 5) fives.push_back(percentiles[i]);
    }
    EXPECT_EQ(fives, c.fives) << ::testing::PrintToString(c.head);
  }
}

TEST(ExchangeSortPercentilesTest, NullsAndEqualValuesKeepTheirPlaces) {
  const size_t n = 198;
  std::vector<int32_t> by_place(n);
  for (size_t i = 0; i < n; ++i) by_place[i] = static_cast<int32_t>(i / 2 + 1);
  EXPECT_EQ(Percentiles(Values(n, std::nullopt)), by_place);
  EXPECT_EQ(Percentiles(Values(n, 7.0)), by_place);

  // Descending values around Nulls at 0 and 100: the values fill the other places upwards.
  Values values(n);
  for (size_t i = 0; i < n; ++i) values[i] = static_cast<double>(n - i);
  values[0] = values[100] = std::nullopt;
  const std::vector<int32_t> percentiles = Percentiles(values);
  EXPECT_EQ(percentiles[0], 1);
  EXPECT_EQ(percentiles[100], 51);
  EXPECT_EQ(percentiles[197], 1);  // value 1: place 1
  EXPECT_EQ(percentiles[99], 50);  // value 99, 97 smaller (98 is Null): place 98
  EXPECT_EQ(percentiles[97], 51);  // value 101, 99 smaller: place 101, behind the Null
  EXPECT_EQ(percentiles[1], 99);
}

// Values of several shapes with many ties and Nulls; each case is compared entry by entry.
Values RandomValues(std::mt19937_64& rng, size_t n, int shape) {
  auto uniform = [&rng](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(rng);
  };
  const double null_share = shape == 1 ? 0.02 : uniform(0.1, 0.5);
  const double distinct = std::floor(uniform(1, 9));
  Values values(n);
  double level = 0, step = 0;
  for (size_t i = 0; i < n; ++i) {
    switch (shape) {
      case 0:  // a handful of values
        values[i] = std::floor(uniform(0, distinct));
        break;
      case 1:  // whole percentiles
        values[i] = std::floor(uniform(1, 100));
        break;
      case 2:  // ascending and descending runs, some flat
        if (uniform(0, 1) < 0.05) {
          level = std::floor(uniform(0, 50));
          step = std::floor(uniform(-2, 3));
        }
        values[i] = level += step;
        break;
      default: {  // real numbers, with NaN, infinities and both zeros
        const double pick = uniform(0, 1);
        values[i] = pick < 0.02   ? std::numeric_limits<double>::quiet_NaN()
                    : pick < 0.04 ? std::numeric_limits<double>::infinity()
                    : pick < 0.06 ? -0.0
                    : pick < 0.08 ? 0.0
                                  : uniform(-1e6, 1e6);
      }
    }
    if (uniform(0, 1) < null_share) values[i] = std::nullopt;
  }
  return values;
}

TEST(ExchangeSortPercentilesTest, AgreesWithTheExchangeSortOnRandomValues) {
  std::mt19937_64 rng(20260501);
  for (int shape = 0; shape < 4; ++shape) {
    for (size_t n = 0; n <= 200; ++n) ASSERT_TRUE(SameAsLiteral(RandomValues(rng, n, shape)));
    for (int round = 0; round < 100; ++round) {
      const size_t n = std::uniform_int_distribution<size_t>(201, 600)(rng);
      ASSERT_TRUE(SameAsLiteral(RandomValues(rng, n, shape))) << "shape " << shape;
    }
    ASSERT_TRUE(SameAsLiteral(RandomValues(rng, 2500, shape))) << "shape " << shape;
  }
}

TEST(ExchangeSortPercentilesTest, AgreesWithTheExchangeSortOnDescendingValues) {
  Values descending(2500), pairs(2500);
  for (size_t i = 0; i < descending.size(); ++i) {
    descending[i] = -static_cast<double>(i);
    pairs[i] = -static_cast<double>(i / 2);
  }
  EXPECT_TRUE(SameAsLiteral(descending));
  EXPECT_TRUE(SameAsLiteral(pairs));
}

TEST(ExchangeSortPercentilesTest, ReportsProgressInSmallStepsUpToTheTotal) {
  std::mt19937_64 rng(5);
  struct Case {
    const char* name;
    Values values;
  };
  Case cases[] = {{"realistic", RandomValues(rng, 10000, 1)},
                  {"all equal", Values(10000, 3.0)},
                  {"mostly Null", Values(1000, std::nullopt)},
                  {"one", Values{1.0}},
                  {"none", Values{}}};
  cases[2].values[10] = 2.0;
  cases[2].values[500] = 1.0;
  for (const Case& c : cases) {
    std::vector<int64_t> calls;
    ExchangeSortPercentiles(c.values, [&calls](int64_t done) { calls.push_back(done); });
    const int64_t total = c.values.empty() ? 0 : 2 * static_cast<int64_t>(c.values.size()) - 1;
    ASSERT_FALSE(calls.empty()) << c.name;
    EXPECT_EQ(calls.back(), total) << c.name;
    EXPECT_LE(calls.size(), 40u) << c.name;
    int64_t before = 0;
    for (int64_t done : calls) {
      EXPECT_GE(done, before) << c.name;
      EXPECT_LE(done - before, total / 25 + 1) << c.name;
      before = done;
    }
  }
}

}  // namespace
