#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "demo/DemoFundamentalsData.h"

namespace demo::fundamentals_data {
namespace {

TEST(DemoFundamentalsRankingTest, PercentileRanksShareTiesAndKeepNulls) {
  struct Case {
    std::vector<double> values, ranks;
  };
  for (const Case& c : {
           Case{{30, kNull, 10, 20, 20}, {99, kNull, 1, 33, 33}},
           Case{{5}, {50}},
           Case{{kNull, 7, kNull}, {kNull, 50, kNull}},
           Case{{2, 1}, {99, 1}},
           Case{{}, {}},
       }) {
    const std::vector<double> ranks = PercentileRanks(c.values);
    ASSERT_EQ(ranks.size(), c.ranks.size());
    for (size_t i = 0; i < ranks.size(); ++i) {
      if (IsNull(c.ranks[i])) {
        EXPECT_TRUE(IsNull(ranks[i])) << i;
      } else {
        EXPECT_EQ(ranks[i], c.ranks[i]) << i;
      }
    }
  }
}

}  // namespace
}  // namespace demo::fundamentals_data
