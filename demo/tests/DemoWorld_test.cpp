#include "demo/DemoWorld.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/automation/Error.h"
#include "platform/tests/TestEnvironment.h"

namespace demo {
namespace {

bool SameBars(const std::vector<tc2000::Bar>& a, const std::vector<tc2000::Bar>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const tc2000::Bar& x, const tc2000::Bar& y) {
                      return x.date == y.date && x.open == y.open && x.high == y.high &&
                             x.low == y.low && x.close == y.close && x.volume == y.volume;
                    });
}

class DemoWorldTest : public ::testing::Test {
 protected:
  static DemoOptions Small(uint64_t seed) {
    DemoOptions options;
    options.companies = 30;
    options.years = 2;
    options.seed = seed;
    options.end_date = 20241231;
    return options;
  }
  static const DemoWorld& World() {
    static const DemoWorld world = MakeDemoWorld(Small(7));
    return world;
  }
};

TEST_F(DemoWorldTest, SameSeedSameWorldOtherSeedOtherWorld) {
  const DemoWorld again = MakeDemoWorld(Small(7));
  const DemoWorld other = MakeDemoWorld(Small(8));
  ASSERT_EQ(again.securities.size(), World().securities.size());
  bool all_same = true, any_other_differs = false;
  for (size_t i = 0; i < again.securities.size(); ++i) {
    EXPECT_EQ(again.securities[i].symbol, World().securities[i].symbol);
    EXPECT_EQ(again.securities[i].name, World().securities[i].name);
    all_same = all_same && SameBars(DemoBars(again, again.securities[i]),
                                    DemoBars(World(), World().securities[i]));
    any_other_differs = any_other_differs || !SameBars(DemoBars(other, other.securities[i]),
                                                       DemoBars(World(), World().securities[i]));
  }
  EXPECT_TRUE(all_same);
  EXPECT_TRUE(any_other_differs);
  ASSERT_EQ(again.chart_lists.size(), World().chart_lists.size());
  for (size_t i = 0; i < again.chart_lists.size(); ++i) {
    EXPECT_EQ(again.chart_lists[i].name, World().chart_lists[i].name);
    EXPECT_EQ(again.chart_lists[i].members, World().chart_lists[i].members) << i;
  }
}

TEST_F(DemoWorldTest, BarsAreWellFormedOnTradingDaysOnly) {
  const DemoWorld& world = World();
  const std::set<int32_t> trading(world.trading_days.begin(), world.trading_days.end());
  EXPECT_EQ(world.trading_days.back(), 20241231);
  EXPECT_FALSE(trading.contains(20231225));  // Christmas on a Monday
  EXPECT_FALSE(trading.contains(20241128));  // Thanksgiving
  EXPECT_FALSE(trading.contains(20240329));  // Good Friday
  int gaps = 0;
  for (const DemoSecurity& security : world.securities) {
    const std::vector<tc2000::Bar> bars = DemoBars(world, security);
    ASSERT_FALSE(bars.empty()) << security.symbol;
    for (size_t i = 0; i < bars.size(); ++i) {
      const tc2000::Bar& bar = bars[i];
      SCOPED_TRACE(security.symbol + " " + std::to_string(bar.date));
      ASSERT_TRUE(trading.contains(bar.date));
      if (i > 0) {
        ASSERT_GT(bar.date, bars[i - 1].date);
      }
      ASSERT_GT(bar.low, 0.0f);
      ASSERT_LE(bar.low, std::min(bar.open, bar.close));
      ASSERT_GE(bar.high, std::max(bar.open, bar.close));
      ASSERT_GE(bar.volume, 0);
      ASSERT_EQ(static_cast<float>(std::round(bar.close * 100.0) / 100.0), bar.close);
      if (i > 0 && std::abs(bar.open / bars[i - 1].close - 1.0f) > 0.08f) ++gaps;
    }
  }
  EXPECT_GT(gaps, 0);
}

TEST_F(DemoWorldTest, HasTheIndexTheRateAndVariedCompanies) {
  const DemoWorld& world = World();
  ASSERT_EQ(world.securities.size(), 32u);
  const DemoSecurity& index = world.securities[0];
  const DemoSecurity& rate = world.securities[1];
  EXPECT_EQ(index.symbol, "SP-500");
  EXPECT_EQ(index.worden, 1);
  EXPECT_EQ(rate.symbol, "TNX--X");
  EXPECT_EQ(rate.worden, 2);
  for (const DemoSecurity* security : {&index, &rate}) {
    EXPECT_TRUE(security->active);
    EXPECT_EQ(DemoBars(world, *security).size(), world.trading_days.size());
  }
  for (const tc2000::Bar& bar : DemoBars(world, rate)) {
    ASSERT_GE(bar.low, 20.0f);
    ASSERT_LE(bar.high, 60.0f);
  }

  std::set<std::string> tickers;
  int inactive = 0, late = 0, apostrophes = 0;
  for (const DemoCompany& company : world.companies) {
    EXPECT_TRUE(tickers.insert(company.ticker).second) << company.ticker;
    EXPECT_GE(company.ticker.size(), 2u);
    EXPECT_LE(company.ticker.size(), 4u);
    EXPECT_TRUE(std::all_of(company.ticker.begin(), company.ticker.end(), [](char c) {
      return c >= 'A' && c <= 'Z';
    })) << company.ticker;
    const DemoSecurity& security = world.securities[company.worden - 1];
    EXPECT_EQ(security.symbol, company.ticker);
    EXPECT_EQ(security.active, company.active);
    if (!company.active) {
      ++inactive;
      EXPECT_LT(company.last_date, world.trading_days.back()) << company.ticker;
    }
    if (company.first_date > world.trading_days.front()) ++late;
    if (company.name.find('\'') != std::string::npos) ++apostrophes;
  }
  EXPECT_GE(inactive, 1);
  EXPECT_GE(late, 1);
  EXPECT_GE(apostrophes, 1);
}

TEST_F(DemoWorldTest, ChartListsFollowTheServerLayout) {
  const DemoWorld& world = World();
  std::set<int32_t> types;
  std::map<std::string, const tc2000::ChartList*> by_name;
  for (const tc2000::ChartList& list : world.chart_lists) {
    types.insert(list.type);
    by_name[list.name] = &list;
    for (int32_t worden : list.members) {
      ASSERT_GE(worden, 3) << list.name;
      ASSERT_LE(worden, static_cast<int32_t>(world.securities.size())) << list.name;
    }
  }
  EXPECT_EQ(types, (std::set<int32_t>{0, 1, 4, 5, 6, 7, 8}));
  ASSERT_TRUE(by_name.contains("Analysts' Picks"));
  EXPECT_EQ(by_name["Analysts' Picks"]->type, 0);

  // Each sector is followed by its industries, whose members together are the sector's.
  size_t at = 0;
  for (const DemoSector& sector : world.sectors) {
    while (at < world.chart_lists.size() && world.chart_lists[at].type != 5) ++at;
    ASSERT_LT(at, world.chart_lists.size());
    const tc2000::ChartList& sector_list = world.chart_lists[at];
    EXPECT_EQ(sector_list.name, sector.name);
    EXPECT_GE(sector.industries.size(), 3u);
    EXPECT_LE(sector.industries.size(), 6u);
    std::multiset<int32_t> industry_members;
    for (size_t k = 0; k < sector.industries.size(); ++k) {
      const tc2000::ChartList& industry = world.chart_lists[at + 1 + k];
      EXPECT_EQ(industry.type, 4);
      EXPECT_EQ(industry.name, sector.industries[k]);
      industry_members.insert(industry.members.begin(), industry.members.end());
    }
    EXPECT_EQ(industry_members,
              std::multiset<int32_t>(sector_list.members.begin(), sector_list.members.end()));
    at += 1 + sector.industries.size();
  }

  std::vector<int32_t> active;
  for (const DemoCompany& company : world.companies) {
    if (company.active) active.push_back(company.worden);
  }
  EXPECT_EQ(by_name["All Stocks"]->members, active);
  for (int32_t worden : by_name["New Highs"]->members) {
    EXPECT_TRUE(world.companies[world.securities[worden - 1].company].at_52_week_high);
  }
}

TEST_F(DemoWorldTest, RefusesOptionsOutOfRange) {
  for (auto change :
       {+[](DemoOptions& o) { o.companies = -1; }, +[](DemoOptions& o) { o.years = 0; },
        +[](DemoOptions& o) { o.end_date = 20240230; },
        +[](DemoOptions& o) { o.years = 40, o.end_date = 19990104; }}) {
    DemoOptions options = Small(1);
    change(options);
    EXPECT_EQ(testing_support::ErrorNumberOf([&] { MakeDemoWorld(options); }),
              automation::err::kInvalidArgument);
  }
}

TEST_F(DemoWorldTest, WritesAStoreThatReadsBackAndReplacesTheOldOne) {
  testing_support::ScopedTempHome home;
  const std::filesystem::path path = home.data() / "prices" / "tc2000.db";
  const DemoWorld first = MakeDemoWorld(Small(3));
  WriteDemoStore(first, path);
  const DemoWorld& world = World();
  size_t reported = 0;
  const int64_t bars = WriteDemoStore(world, path, [&](size_t done, size_t total) {
    EXPECT_EQ(total, world.securities.size());
    reported = done;
  });
  EXPECT_EQ(reported, world.securities.size());
  EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp"));

  auto store = tc2000::PriceStore::OpenForReading(path);
  const std::vector<tc2000::Security> securities = store->AllSecurities();
  ASSERT_EQ(securities.size(), world.securities.size());
  int64_t stored_bars = 0;
  for (size_t i = 0; i < securities.size(); ++i) {
    EXPECT_EQ(securities[i].worden, world.securities[i].worden);
    EXPECT_EQ(securities[i].symbol, world.securities[i].symbol);
    EXPECT_EQ(securities[i].name, world.securities[i].name);
    EXPECT_EQ(securities[i].active, world.securities[i].active);
    stored_bars += securities[i].bar_count;
  }
  EXPECT_EQ(stored_bars, bars);
  std::vector<tc2000::Bar> latest = store->LatestBars(3, 100000);
  std::reverse(latest.begin(), latest.end());
  EXPECT_TRUE(SameBars(latest, DemoBars(world, world.securities[2])));

  const std::vector<tc2000::ChartList> lists = store->AllChartLists();
  ASSERT_EQ(lists.size(), world.chart_lists.size());
  for (size_t i = 0; i < lists.size(); ++i) {
    EXPECT_EQ(lists[i].name, world.chart_lists[i].name);
    EXPECT_EQ(lists[i].type, world.chart_lists[i].type);
    std::vector<int32_t> members;
    for (const tc2000::Security& member : store->ChartListMembers(static_cast<int32_t>(i + 1))) {
      members.push_back(member.worden);
    }
    EXPECT_EQ(members, world.chart_lists[i].members) << lists[i].name;
  }
}

}  // namespace
}  // namespace demo
