#include "demo/DemoFundamentals.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ado/Connection.h"
#include "platform/automation/Convert.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/fundamentals/FundamentalsSchema.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/TestEnvironment.h"

namespace demo {
namespace {

namespace fs = std::filesystem;
using automation::Variant;
using Row = std::map<std::string, Variant>;

constexpr int32_t kWorldEnd = 20240628;

const DemoWorld& World(uint64_t seed = 5) {
  static std::map<uint64_t, DemoWorld> worlds;
  auto it = worlds.find(seed);
  if (it == worlds.end()) {
    it = worlds
             .emplace(seed, MakeDemoWorld(
                                {.companies = 40, .years = 8, .seed = seed, .end_date = kWorldEnd}))
             .first;
  }
  return it->second;
}

double Number(const Row& row, const std::string& column) {
  const Variant& value = row.at(column);
  return value.IsNull() ? std::numeric_limits<double>::quiet_NaN() : automation::CDbl(value);
}
std::string Text(const Row& row, const std::string& column) {
  return automation::CStr(row.at(column));
}
double Day(const Row& row, const std::string& column) {
  return automation::CDate(row.at(column)).value;
}

std::vector<Row> ReadTable(const std::string& table, const std::string& order = "1") {
  const fundamentals::FundamentalsTable* schema = fundamentals::FindFundamentalsTable(table);
  auto connection = ado::Connection::OpenDataSource(schema->source);
  const ado::Result result =
      connection->driver().Run("select * from " + table + " order by " + order, {});
  std::vector<Row> rows;
  for (const auto& values : result.rows) {
    Row& row = rows.emplace_back();
    for (size_t c = 0; c < values.size(); ++c) row[result.columns[c].name] = values[c];
  }
  return rows;
}

std::map<std::string, Row> ByCompany(const std::string& table) {
  std::map<std::string, Row> rows;
  for (Row& row : ReadTable(table)) rows[Text(row, "company_id")] = std::move(row);
  return rows;
}

// Every row of the tables of one data source as text, for comparing whole runs.
std::string Dump(const std::string& source, const std::set<std::string>& leave_out = {}) {
  std::string text;
  for (const fundamentals::FundamentalsTable& table : fundamentals::FundamentalsTables()) {
    if (table.source != source || leave_out.count(table.name)) continue;
    text += table.name + "\n";
    for (const Row& row : ReadTable(table.name, table.name == "pfcomp" ? "1, 2" : "1")) {
      for (const fundamentals::FundamentalsColumn& column : table.columns) {
        const Variant& value = row.at(column.name);
        text += value.IsNull() ? "Null" : automation::CStr(value);
        text += "|";
      }
      text += "\n";
    }
  }
  return text;
}

const DemoCompany* CompanyByTicker(const DemoWorld& world, const std::string& ticker) {
  for (const DemoCompany& company : world.companies) {
    if (company.ticker == ticker) return &company;
  }
  return nullptr;
}

// Each test has its own data sources: SQLite files in a temporary home, or all three names
// on one fresh PostgreSQL database.
class DemoFundamentalsTest : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    if (!UseDataSources({"SIPStatic", "SIPDbf", "SIPUser"})) {
      GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    }
  }
};

// The periods only a full export fills may stay Null; what the programs read may not.
TEST_P(DemoFundamentalsTest, EveryColumnTheProgramsReadHoldsAValue) {
  const DemoFundamentalsSummary summary = WriteDemoFundamentals(World());
  EXPECT_GT(summary.companies, 30u);
  for (const fundamentals::FundamentalsTable& table : fundamentals::FundamentalsTables()) {
    const std::vector<Row> rows = ReadTable(table.name);
    EXPECT_FALSE(rows.empty()) << table.name;
    for (const fundamentals::FundamentalsColumn& column : table.columns) {
      if (!column.read) continue;
      EXPECT_TRUE(std::any_of(rows.begin(), rows.end(),
                              [&](const Row& row) { return !row.at(column.name).IsNull(); }))
          << table.name << "." << column.name << " is Null in every row";
    }
  }
}

TEST_P(DemoFundamentalsTest, StatementsHangTogether) {
  WriteDemoFundamentals(World());
  const auto isa = ByCompany("si_isa"), isq = ByCompany("si_isq"), bsa = ByCompany("si_bsa");
  const auto psd = ByCompany("si_psd"), dates = ByCompany("si_date"), mlt = ByCompany("si_mlt");
  const double world_end = automation::DateOf(2024, 6, 28).value;
  int plausible_pe = 0, priced = 0;
  for (const Row& company : ReadTable("si_ci")) {
    const std::string id = Text(company, "company_id");
    const Row &is = isa.at(id), &bs = bsa.at(id), &shares = psd.at(id), &date = dates.at(id);
    for (int k = 1; k <= 7; ++k) {
      const std::string y = "_y" + std::to_string(k), shr = "shr_ay" + std::to_string(k);
      if (date.at("perend" + y).IsNull()) {
        EXPECT_TRUE(bs.at("equity" + y).IsNull()) << id << y;
        continue;
      }
      if (k <= 5) {
        EXPECT_NEAR(Number(bs, "assets" + y),
                    Number(bs, "liab" + y) + Number(bs, "pref" + y) + Number(bs, "equity" + y),
                    0.0015)
            << id << y;
        EXPECT_EQ(Number(bs, "totloe" + y), Number(bs, "assets" + y)) << id << y;
      }
      if (k <= 4) {
        EXPECT_NEAR(Number(is, "gross" + y), Number(is, "sales" + y) - Number(is, "cgs" + y),
                    0.0015);
        EXPECT_NEAR(Number(is, "epsd" + y), Number(is, "iac" + y) / Number(shares, shr), 0.0051)
            << id << y;
      }
      EXPECT_NEAR(Number(bs, "bvps" + y), Number(bs, "equity" + y) / Number(shares, shr), 0.0051)
          << id << y;
      if (k > 1) {
        const double gap = Day(date, "perend_y" + std::to_string(k - 1)) - Day(date, "perend" + y);
        EXPECT_TRUE(gap >= 365 && gap <= 366) << id << y << " " << gap;
      }
    }
    EXPECT_LE(Day(date, "perend_y1"), world_end - 60) << id;
    EXPECT_LE(Day(date, "perend_q1"), world_end - 45) << id;
    EXPECT_GE(Day(date, "perend_q1"), Day(date, "perend_y1")) << id;
    const double year = Day(date, "perend_q1") - Day(date, "perend_q5");
    EXPECT_TRUE(year >= 365 && year <= 366) << id;
    if (isq.count(id) && !isq.at(id).at("sales_q4").IsNull() &&
        !isq.at(id).at("sales_q3").IsNull() && !isq.at(id).at("sales_q2").IsNull()) {
      double quarters = 0;
      for (int q = 1; q <= 4; ++q) quarters += Number(isq.at(id), "sales_q" + std::to_string(q));
      EXPECT_NEAR(Number(is, "sales_12m"), quarters, 0.0025) << id;
    }
    if (mlt.count(id) && !mlt.at(id).at("pe_1t").IsNull()) {
      ++priced;
      const double pe = Number(mlt.at(id), "pe_1t");
      if (pe >= 5 && pe <= 60) ++plausible_pe;
    }
  }
  // Earnings are scaled to the price at the latest fiscal year end.
  EXPECT_GE(plausible_pe, priced * 8 / 10) << plausible_pe << " of " << priced;
}

TEST_P(DemoFundamentalsTest, CodesAndTickersMatchTheWorldAndItsPriceStore) {
  const DemoWorld& world = World();
  WriteDemoFundamentals(world);
  const fs::path store_path = home_.root() / "store.db";
  WriteDemoStore(world, store_path);
  std::set<std::string> stored;
  for (const tc2000::Security& security :
       tc2000::PriceStore::OpenForReading(store_path)->AllSecurities()) {
    stored.insert(security.symbol);
  }
  std::map<std::string, std::string> names;
  for (const Row& row : ReadTable("si_mgdsc")) names[Text(row, "mg_code")] = Text(row, "mg_desc");
  std::set<std::string> ranked;
  for (const Row& row : ReadTable("si_mgav2")) {
    ranked.insert(Text(row, "indcode"));
    EXPECT_TRUE(names.count(Text(row, "indcode"))) << Text(row, "indcode");
  }
  std::set<std::string> ids;
  for (const Row& row : ReadTable("si_ci")) {
    const std::string ticker = Text(row, "ticker"), id = Text(row, "company_id");
    EXPECT_TRUE(stored.count(ticker)) << ticker;
    EXPECT_TRUE(ids.insert(id).second) << id;
    EXPECT_LE(id.size(), 10u);
    const DemoCompany* company = CompanyByTicker(world, ticker);
    ASSERT_NE(company, nullptr) << ticker;
    EXPECT_TRUE(company->active) << ticker;
    const std::string sector = Text(row, "ind_2_dig"), industry = Text(row, "ind_3_dig");
    EXPECT_EQ(sector.size(), 2u);
    EXPECT_EQ(industry.substr(0, 2), sector);
    EXPECT_EQ(names[sector], world.sectors[company->sector].name) << ticker;
    EXPECT_EQ(names[industry], world.sectors[company->sector].industries[company->industry]);
    EXPECT_TRUE(ranked.count(industry)) << ticker << " " << industry;
    EXPECT_TRUE(std::string("MNOATX").find(Text(row, "exchange")) != std::string::npos);
    EXPECT_NE(Text(row, "business").find(company->name), std::string::npos);
  }
  EXPECT_FALSE(ids.empty());
}

TEST_P(DemoFundamentalsTest, RanksLieWithin1To99AndFollowThePrices) {
  const DemoWorld& world = World();
  WriteDemoFundamentals(world);
  for (const char* table : {"si_perc", "si_mgav2"}) {
    for (const Row& row : ReadTable(table)) {
      for (const auto& [column, value] : row) {
        if (column == "company_id" || column == "indcode" || value.IsNull()) continue;
        const double rank = automation::CDbl(value);
        EXPECT_TRUE(rank >= 1 && rank <= 99 && rank == std::floor(rank))
            << table << "." << column << " " << rank;
      }
      if (std::string(table) == "si_mgav2") {
        EXPECT_FALSE(row.at("rs_52w").IsNull());
      }
    }
  }
  // The strongest stock over 52 weeks ranks 99, the weakest 1.
  const auto perc = ByCompany("si_perc");
  std::vector<std::pair<double, double>> change_and_rank;
  for (const Row& row : ReadTable("si_ci")) {
    const DemoCompany* company = CompanyByTicker(world, Text(row, "ticker"));
    const auto bars = DemoBars(world, world.securities[company->worden - 1]);
    const double rank = Number(perc.at(Text(row, "company_id")), "rrs_52w");
    if (bars.size() > 252) {
      change_and_rank.emplace_back(bars.back().close / bars[bars.size() - 253].close, rank);
    }
  }
  ASSERT_GT(change_and_rank.size(), 10u);
  std::sort(change_and_rank.begin(), change_and_rank.end());
  EXPECT_EQ(change_and_rank.back().second, 99);
  EXPECT_EQ(change_and_rank.front().second, 1);
}

TEST_P(DemoFundamentalsTest, HasTheUntidinessOfRealData) {
  const DemoWorld& world = World();
  WriteDemoFundamentals(world);
  const std::vector<Row> companies = ReadTable("si_ci");
  std::set<std::string> tickers;
  for (const Row& row : companies) tickers.insert(Text(row, "ticker"));
  EXPECT_FALSE(tickers.count(kDemoIndexSymbol) || tickers.count(kDemoRateSymbol));
  EXPECT_TRUE(std::any_of(world.companies.begin(), world.companies.end(), [&](const auto& c) {
    return c.active && !tickers.count(c.ticker);
  })) << "no trading company without fundamentals";

  // The composite rating run needs si_perc and si_psd of every company; the other
  // per-company tables may lack one.
  std::map<std::string, int> missing;
  for (const fundamentals::FundamentalsTable& table : fundamentals::FundamentalsTables()) {
    if (table.name == "si_ci" || table.columns.front().name != "company_id") continue;
    const auto rows = ByCompany(table.name);
    for (const Row& row : companies) missing[table.name] += !rows.count(Text(row, "company_id"));
  }
  EXPECT_EQ(missing["si_perc"], 0);
  EXPECT_EQ(missing["si_psd"], 0);
  EXPECT_EQ(missing["si_isq"], 1);
  EXPECT_EQ(missing["si_mlt"], 1);

  auto any = [](const std::string& table, auto predicate) {
    const std::vector<Row> rows = ReadTable(table);
    return std::any_of(rows.begin(), rows.end(), predicate);
  };
  EXPECT_TRUE(any("si_perc", [](const Row& r) { return r.at("rnpm_12m").IsNull(); }));
  EXPECT_TRUE(any("si_psd", [](const Row& r) { return Number(r, "instss") == 0; }));
  EXPECT_TRUE(any("si_date", [](const Row& r) {
    return r.at("perend_y3").IsNull() && !r.at("perend_y2").IsNull();
  }));
  EXPECT_TRUE(any("si_isq",
                  [](const Row& r) {
                    return r.at("sales_q5").IsNull() || r.at("sales_q6").IsNull() ||
                           r.at("sales_q7").IsNull() || r.at("sales_q8").IsNull();
                  }) ||
              any("si_bsq", [](const Row& r) {
                return r.at("equity_q2").IsNull() || r.at("equity_q3").IsNull() ||
                       r.at("equity_q4").IsNull() || r.at("equity_q5").IsNull();
              }));

  std::set<std::string> ranked;
  for (const Row& row : ReadTable("si_mgav2")) ranked.insert(Text(row, "indcode"));
  EXPECT_TRUE(any("si_mgdsc", [&](const Row& r) {
    return Text(r, "mg_code").size() == 3 && !ranked.count(Text(r, "mg_code"));
  })) << "every industry has companies in a world of 40";

  std::map<int32_t, std::string> portfolios;
  for (const Row& row : ReadTable("prtflio")) {
    portfolios[automation::CLng(row.at("pfid"))] = Text(row, "portfolio");
  }
  EXPECT_EQ(portfolios[4], "Pat's Picks");
  bool padded = false;
  for (const Row& row : ReadTable("pfcomp", "1, 2")) {
    std::string ticker = Text(row, "ticker");
    EXPECT_TRUE(portfolios.count(automation::CLng(row.at("pfid"))));
    padded = padded || ticker.back() == ' ';
    ticker.erase(ticker.find_last_not_of(' ') + 1);
    EXPECT_TRUE(tickers.count(ticker)) << "'" << ticker << "'";
  }
  EXPECT_TRUE(padded);
}

TEST_P(DemoFundamentalsTest, AFailedRebuildLeavesTheDataSourcesPreviousTables) {
  WriteDemoFundamentals(World(5));
  const std::string statics = Dump("SIPStatic"), dbf = Dump("SIPDbf", {"si_mlt"}),
                    user = Dump("SIPUser");
  {
    // si_mlt comes after si_psd, si_perc, si_rat and si_gr; a view in its place makes
    // dropping it fail once those have been rebuilt.
    auto connection = ado::Connection::OpenDataSource("SIPDbf");
    connection->Execute("drop table si_mlt");
    connection->Execute("create view si_mlt as select 1 as x");
  }
  EXPECT_THROW(WriteDemoFundamentals(World(6)), automation::Error);
  EXPECT_NE(Dump("SIPStatic"), statics);  // rebuilt before SIPDbf failed
  EXPECT_EQ(Dump("SIPDbf", {"si_mlt"}), dbf);
  EXPECT_EQ(Dump("SIPUser"), user);
}

INSTANTIATE_TEST_SUITE_P(Engines, DemoFundamentalsTest, testing_support::BothEngines(),
                         testing_support::EngineParamName());

TEST(DemoFundamentalsDeterminismTest, TheSameWorldGivesTheSameRows) {
  testing_support::ScopedTempHome home;
  auto dump = [] { return Dump("SIPStatic") + Dump("SIPDbf") + Dump("SIPUser"); };
  WriteDemoFundamentals(World(5));
  const std::string first = dump();
  WriteDemoFundamentals(
      MakeDemoWorld({.companies = 40, .years = 8, .seed = 5, .end_date = kWorldEnd}));
  EXPECT_EQ(dump(), first);
  WriteDemoFundamentals(World(6));
  EXPECT_NE(dump(), first);
}

TEST(DemoFundamentalsDeterminismTest, AnEmptyWorldGivesEmptyTables) {
  testing_support::ScopedTempHome home;
  EXPECT_FALSE(HasFundamentals());
  const DemoWorld world = MakeDemoWorld({.companies = 0, .years = 1, .end_date = kWorldEnd});
  const DemoFundamentalsSummary summary = WriteDemoFundamentals(world);
  EXPECT_EQ(summary.companies, 0u);
  EXPECT_TRUE(HasFundamentals());
  EXPECT_TRUE(ReadTable("si_ci").empty());
  EXPECT_TRUE(ReadTable("si_mgav2").empty());
  size_t codes = world.sectors.size();
  for (const DemoSector& sector : world.sectors) codes += sector.industries.size();
  EXPECT_EQ(ReadTable("si_mgdsc").size(), codes);
}

}  // namespace
}  // namespace demo
