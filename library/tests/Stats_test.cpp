#include "library/Stats.h"

#include <vector>

#include <gtest/gtest.h>

#include "library/tests/TestSeries.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/helpers/library.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/TestEnvironment.h"

namespace thalmere {
namespace {

using automation::Variant;
using testing_support::TestEngine;

// A hand-made company "ACME" (C1) whose fiscal years end on 31 December 2018 (year 7) to
// 2024 (year 1). Every per-share figure of year k is k (year 1: 1, year 7: 7), so a price of
// 100 gives 100 / k and tells which year was used; sales are 10 × k over 10 shares.
class StatsTest : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    if (!UseDataSources({"SIPStatic", "SIPDbf"})) GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    static_ = sources_->Open("SIPStatic");
    dbf_ = sources_->Open("SIPDbf");
    static_->Execute("create table si_ci (ticker varchar(10), company_id varchar(10))");
    AddColumns("si_date", "perend_y", "date");
    AddColumns("si_isa", "sales_y", "double precision", {"epsd_y", "epsdc_y"});
    AddColumns("si_bsa", "bvps_y", "double precision");
    AddColumns("si_cfa", "cfps_y", "double precision", {"fcfps_y"});
    std::string psd = "create table si_psd (company_id varchar(10)";
    for (int k = 1; k <= 7; ++k) psd += ", shr_ay" + std::to_string(k) + " double precision";
    dbf_->Execute(psd + ")");

    static_->Execute("insert into si_ci values ('ACME', 'C1')");
    std::vector<Variant> ends{Variant("C1")}, sales{Variant("C1")}, per_share{Variant("C1")},
        shares{Variant("C1")};
    for (int k = 1; k <= 7; ++k) {
      ends.push_back(Variant(automation::DateOf(2025 - k, 12, 31)));
      sales.push_back(Variant(10.0 * k));
      per_share.push_back(Variant(static_cast<double>(k)));
      shares.push_back(Variant(10.0));
    }
    Insert(static_, "si_date", ends);
    std::vector<Variant> isa = sales;
    for (int stem = 0; stem < 2; ++stem)
      isa.insert(isa.end(), per_share.begin() + 1, per_share.end());
    Insert(static_, "si_isa", isa);
    Insert(static_, "si_bsa", per_share);
    std::vector<Variant> cfa = per_share;
    cfa.insert(cfa.end(), per_share.begin() + 1, per_share.end());
    Insert(static_, "si_cfa", cfa);
    Insert(dbf_, "si_psd", shares);
  }

  // A table keyed by company_id with columns stem1..stem7 for each stem.
  void AddColumns(const std::string& table, const std::string& stem, const std::string& type,
                  const std::vector<std::string>& more_stems = {}) {
    std::string sql = "create table " + table + " (company_id varchar(10)";
    std::vector<std::string> stems{stem};
    stems.insert(stems.end(), more_stems.begin(), more_stems.end());
    for (const std::string& s : stems) {
      for (int k = 1; k <= 7; ++k) sql += ", " + s + std::to_string(k) + " " + type;
    }
    static_->Execute(sql + ")");
  }

  static void Insert(const std::shared_ptr<ado::Connection>& connection, const std::string& table,
                     const std::vector<Variant>& values) {
    std::string marks = "?";
    for (size_t i = 1; i < values.size(); ++i) marks += ", ?";
    connection->Execute("insert into " + table + " values (" + marks + ")", values);
  }

  // Prices of 100 on the given days.
  static PriceArray Prices(const std::vector<int32_t>& codes) {
    PriceArray series;
    series.AssignPrices(std::vector<float>(codes.size(), 100.0f));
    series.AssignDates(codes);
    return series;
  }

  std::shared_ptr<ado::Connection> static_, dbf_;
  Stats stats_;
};

TEST_P(StatsTest, EachPriceUsesTheFiscalYearInForceOnItsDay) {
  // A year-end day uses that year; the day before uses the year before.
  const PriceArray prices = Prices({20221230, 20221231, 20240101, 20241230, 20241231, 20250303});
  const auto book = stats_.PriceToBook(dbf_, static_, "ACME", prices);
  EXPECT_EQ(ValuesOf(*book), (std::vector<float>{100.0f / 4, 100.0f / 3, 100.0f / 2, 100.0f / 2,
                                                 100.0f / 1, 100.0f / 1}));
  EXPECT_EQ(CodesOf(*book), CodesOf(prices));
}

TEST_P(StatsTest, EachMethodReadsItsOwnFigure) {
  // Set year 1 of each figure apart so the method's table and stem show in the result.
  static_->Execute("update si_cfa set cfps_y1 = 2, fcfps_y1 = 4");
  static_->Execute("update si_isa set epsd_y1 = 5, epsdc_y1 = 8, sales_y1 = 50");
  static_->Execute("update si_bsa set bvps_y1 = 10");
  const PriceArray prices = Prices({20250102});
  using Method = std::shared_ptr<PriceArray> (Stats::*)(
      const Stats::ConnectionRef&, const Stats::ConnectionRef&, const std::string&,
      const PriceArray&) const;
  struct Case {
    const char* name;
    Method method;
    float expected;
  };
  for (const Case& c : {Case{"PriceToCashFlow", &Stats::PriceToCashFlow, 50},
                        Case{"PriceToFreeCashFlow", &Stats::PriceToFreeCashFlow, 25},
                        Case{"PriceToEarnings", &Stats::PriceToEarnings, 20},
                        Case{"PriceToEarningsCont", &Stats::PriceToEarningsCont, 12.5},
                        Case{"PriceToBook", &Stats::PriceToBook, 10},
                        Case{"PriceToSales", &Stats::PriceToSales, 20}}) {  // 100 / (50 / 10)
    EXPECT_EQ((stats_.*c.method)(dbf_, static_, "ACME", prices)->LastValue(), c.expected) << c.name;
  }
}

TEST_P(StatsTest, SkippedAndFailedPricesLeaveZeroEntriesAtTheEnd) {
  // Older than year 7: skipped, the result still as long as the prices.
  auto early = stats_.PriceToBook(dbf_, static_, "ACME", Prices({20181228, 20181231, 20190102}));
  EXPECT_EQ(ValuesOf(*early), (std::vector<float>{100.0f / 7, 100.0f / 7, 0}));
  EXPECT_EQ(CodesOf(*early), (std::vector<int32_t>{20181231, 20190102, 0}));

  // A zero share count stops price to sales at the first price of that year.
  dbf_->Execute("update si_psd set shr_ay2 = 0");
  const PriceArray prices = Prices({20220601, 20230601, 20240601, 20250601});
  EXPECT_EQ(ValuesOf(*stats_.PriceToSales(dbf_, static_, "ACME", prices)),
            (std::vector<float>{100.0f / 4, 100.0f / 3, 0, 0}));
  // A Null figure does the same for a per-share ratio; a Null year end never matches.
  static_->Execute("update si_bsa set bvps_y1 = null");
  EXPECT_EQ(ValuesOf(*stats_.PriceToBook(dbf_, static_, "ACME", prices)),
            (std::vector<float>{100.0f / 4, 100.0f / 3, 100.0f / 2, 0}));
  static_->Execute("update si_date set perend_y1 = null, perend_y2 = null");
  EXPECT_EQ(CodesOf(*stats_.PriceToCashFlow(dbf_, static_, "ACME", prices)),
            (std::vector<int32_t>{20220601, 20230601, 20240601, 20250601}));
  EXPECT_EQ(ValuesOf(*stats_.PriceToCashFlow(dbf_, static_, "ACME", prices)).back(), 100.0f / 3);

  // A company without fiscal-year dates gives zeros only.
  static_->Execute("delete from si_date");
  EXPECT_EQ(ValuesOf(*stats_.PriceToCashFlow(dbf_, static_, "ACME", prices)),
            std::vector<float>(4, 0.0f));
}

TEST_P(StatsTest, AnUnknownOrDoubledTickerGivesZeros) {
  const PriceArray prices = Prices({20250102, 20250103});
  for (const char* ticker : {"NONE", "TWIN", "acme", "O'NEIL"}) {
    if (std::string(ticker) == "TWIN") {
      static_->Execute("insert into si_ci values ('TWIN', 'C1'), ('TWIN', 'C2')");
    }
    const auto ratio = stats_.PriceToEarnings(dbf_, static_, ticker, prices);
    EXPECT_EQ(ValuesOf(*ratio), std::vector<float>(2, 0.0f)) << ticker;
    EXPECT_EQ(CodesOf(*ratio), std::vector<int32_t>(2, 0)) << ticker;
  }
  EXPECT_EQ(stats_.ReturnEmpty(PriceArray())->Size(), 0);
  // The lookups before the walk are not trapped.
  static_->Execute("drop table si_bsa");
  EXPECT_NE(
      testing_support::ErrorNumberOf([&] { stats_.PriceToBook(dbf_, static_, "ACME", prices); }),
      0);
}

TEST_P(StatsTest, LongSeriesKeepTheirLast1560Prices) {
  std::vector<int32_t> codes;
  for (automation::Date d = automation::DateOf(2019, 1, 1); codes.size() < 2000;
       d = automation::AddDays(d, 1)) {
    codes.push_back(helpers::LongFromDate(d));
  }
  const auto ratio = stats_.PriceToBook(dbf_, static_, "ACME", Prices(codes));
  ASSERT_EQ(ratio->Size(), Stats::kMaxEntries);
  EXPECT_EQ(ratio->DateAt(1), codes[2000 - 1560]);
  EXPECT_EQ(ratio->LastDate(), codes.back());
}

TEST_P(StatsTest, LateBoundCallersPassConnectionsAndSeries) {
  auto stats = automation::CreateObject("Thalmere.Stats");
  auto prices = std::make_shared<PriceArray>(Prices({20250102}));
  auto ratio = stats->CallWith("PriceToBook", dbf_, static_, "ACME", prices).Object();
  EXPECT_EQ(ratio->Call("LastValue"), Variant(100.0f));
  EXPECT_EQ(testing_support::ErrorNumberOf(
                [&] { stats->CallWith("PriceToBook", dbf_, static_, "ACME", Variant(3)); }),
            automation::err::kTypeMismatch);
}

INSTANTIATE_TEST_SUITE_P(Engines, StatsTest, testing_support::BothEngines(),
                         testing_support::EngineParamName());

}  // namespace
}  // namespace thalmere
