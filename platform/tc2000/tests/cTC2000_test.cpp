#include "platform/tc2000/cTC2000.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/tc2000/tests/TestStore.h"
#include "platform/tests/TestEnvironment.h"

namespace tc2000 {
namespace {

using automation::DateOf;
using automation::Variant;
using testing_support::ErrorNumberOf;

// A store in the test's own data folder, reached as every caller reaches the server: by
// ProgID, members by name.
class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto store = PriceStore::OpenForWriting(PriceStore::DefaultPath());
    ibm_ = store->UpsertSecurity("IBM", "Inland Business Machines", true);
    gone_ = store->UpsertSecurity("GONE", "Gone Away Corp", false);
    empty_ = store->UpsertSecurity("NEW", "Newly Listed Inc", true);
    bars_ = testing_support::WeekdayBars(DateOf(2026, 6, 1), DateOf(2026, 12, 2));
    store->ReplaceBars(ibm_, bars_);
    store->ReplaceChartLists(
        std::vector<ChartList>{{"Technology", 5, {ibm_, empty_}}, {"Analysts' Picks", 0, {}}});
    server_ = automation::CreateObject("TC2000Dev.cTC2000");
  }

  // Calls GetPrices and returns the six arrays.
  std::vector<Variant> GetPrices(int32_t worden, Variant days) {
    std::vector<Variant> args(8);
    args[0] = worden;
    args[7] = std::move(days);
    server_->Call("GetPrices", args);
    return {args.begin() + 1, args.begin() + 7};
  }

  testing_support::ScopedTempHome home_;
  int32_t ibm_ = 0, gone_ = 0, empty_ = 0;
  std::vector<Bar> bars_;
  automation::ObjectRef server_;
};

TEST_F(ServerTest, GetPricesHandsOutTheLatestDaysNewestFirstFromIndexOne) {
  const auto arrays = GetPrices(ibm_, Variant(int32_t{100}));
  for (const Variant& a : arrays) {
    ASSERT_TRUE(a.IsArray());
    EXPECT_EQ(a.Array().LowerBound(), 1);
    EXPECT_EQ(a.Array().UpperBound(), 100);
  }
  EXPECT_EQ(arrays[0].Array().ElementType(), automation::VarType::kSingle);
  EXPECT_EQ(arrays[4].Array().ElementType(), automation::VarType::kLong);  // volume
  EXPECT_EQ(arrays[5].Array().Element(1), Variant(int32_t{20261202}));     // the latest day
  EXPECT_EQ(arrays[5].Array().Element(2), Variant(int32_t{20261201}));
  EXPECT_EQ(arrays[5].Array().Element(3), Variant(int32_t{20261130}));  // over the weekend
  const Bar& latest = bars_.back();
  EXPECT_EQ(arrays[0].Array().Element(1), Variant(latest.open));
  EXPECT_EQ(arrays[1].Array().Element(1), Variant(latest.high));
  EXPECT_EQ(arrays[2].Array().Element(1), Variant(latest.low));
  EXPECT_EQ(arrays[3].Array().Element(1), Variant(latest.close));
  EXPECT_EQ(arrays[4].Array().Element(1), Variant(latest.volume));

  // The one-day call with a 16-bit constant; more days than there are; no data at all.
  EXPECT_EQ(GetPrices(ibm_, Variant(int16_t{1}))[5].Array().UpperBound(), 1);
  EXPECT_EQ(GetPrices(ibm_, Variant(int32_t{5000}))[0].Array().UpperBound(),
            static_cast<int32_t>(bars_.size()));
  for (int32_t worden : {empty_, 999}) {
    for (const Variant& a : GetPrices(worden, Variant(int32_t{10}))) {
      EXPECT_LT(a.Array().UpperBound(), 1) << worden;
    }
  }
}

TEST_F(ServerTest, GetPricesBetweenHandsOutTheWindowNewestFirst) {
  std::vector<Variant> args(9);
  args[0] = ibm_;
  args[7] = int32_t{20261125};
  args[8] = int32_t{20261231};
  server_->Call("GetPricesBetween", args);
  const automation::SafeArray& dates = args[6].Array();
  EXPECT_EQ(dates.LowerBound(), 1);
  ASSERT_EQ(dates.UpperBound(), 6);  // Wednesday to Friday, then Monday to Wednesday
  EXPECT_EQ(dates.Element(1), Variant(int32_t{20261202}));
  EXPECT_EQ(dates.Element(6), Variant(int32_t{20261125}));
  for (int k = 1; k <= 5; ++k) EXPECT_EQ(args[k].Array().UpperBound(), 6) << k;
  EXPECT_EQ(args[4].Array().ElementType(), automation::VarType::kSingle);
  EXPECT_EQ(args[4].Array().Element(1), Variant(bars_.back().close));
  EXPECT_EQ(args[5].Array().Element(6), Variant(bars_[bars_.size() - 6].volume));

  args[7] = int32_t{20261128};  // a weekend
  args[8] = int32_t{20261129};
  server_->Call("GetPricesBetween", args);
  EXPECT_LT(args[6].Array().UpperBound(), 1);
}

TEST_F(ServerTest, AnswersForSecurities) {
  EXPECT_EQ(server_->CallWith("WordenNumFromSymbol", "ibm"), Variant(ibm_));
  EXPECT_EQ(server_->CallWith("WordenNumFromSymbol", "XYZ"), Variant(int32_t{0}));
  EXPECT_EQ(server_->CallWith("StockIsActive", ibm_), Variant(true));
  EXPECT_EQ(server_->CallWith("StockIsActive", gone_), Variant(false));
  EXPECT_EQ(server_->CallWith("StockIsActive", 0), Variant(false));
  EXPECT_EQ(server_->CallWith("companyname", gone_), Variant("Gone Away Corp"));
  EXPECT_EQ(server_->CallWith("companyname", 999), Variant(""));
  EXPECT_EQ(server_->Call("TCEnabled"), Variant(true));

  Variant symbols, numbers;
  Variant args[] = {symbols, numbers};
  server_->Call("GetSymbols", args);
  ASSERT_EQ(args[0].Array().UpperBound(), 3);
  EXPECT_EQ(args[0].Array().Element(2), Variant("GONE"));
  EXPECT_EQ(args[1].Array().Element(2), Variant(gone_));
}

TEST_F(ServerTest, ChartListsAndTheirMembers) {
  Variant lists[2];
  server_->Call("getAllChartLists", lists);
  ASSERT_EQ(lists[0].Array().LowerBound(), 1);
  ASSERT_EQ(lists[0].Array().UpperBound(), 2);
  EXPECT_EQ(lists[0].Array().Element(2), Variant("Analysts' Picks"));
  EXPECT_EQ(lists[1].Array().Element(1), Variant(int32_t{5}));

  Variant members[3] = {Variant(int32_t{1}), Variant(), Variant()};
  server_->Call("GetSymbolsForChartList", members);
  ASSERT_EQ(members[1].Array().UpperBound(), 2);
  EXPECT_EQ(members[1].Array().Element(1), Variant("IBM"));
  EXPECT_EQ(members[2].Array().Element(2), Variant(empty_));

  for (int32_t index : {2, 3, 0}) {
    Variant none[3] = {Variant(index), Variant(), Variant()};
    server_->Call("GetSymbolsForChartList", none);
    EXPECT_LT(none[2].Array().UpperBound(), 1) << index;
  }
}

TEST(ServerCreationTest, FailsWithoutAStore) {
  testing_support::ScopedTempHome home;
  EXPECT_EQ(ErrorNumberOf([] { automation::CreateObject("TC2000Dev.cTC2000"); }),
            automation::err::kCannotCreateObject);
}

}  // namespace
}  // namespace tc2000
