// The six valuation-ratio series of Stats for 1,000 tickers over 1,560 daily prices each,
// on a SQLite fundamentals database of 1,000 companies made for the run.
#include <filesystem>
#include <stdlib.h>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "library/Stats.h"
#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/ado/Transaction.h"
#include "platform/automation/DateTime.h"
#include "platform/helpers/library.h"

namespace {

using automation::Variant;

constexpr int kCompanies = 1000;
constexpr int kPrices = 1560;

struct World {
  std::shared_ptr<ado::Connection> fundamentals;
  thalmere::PriceArray prices;
};

std::string Ticker(int k) { return "T" + std::to_string(k); }

std::shared_ptr<ado::Connection> OpenFresh(const std::filesystem::path& path) {
  std::filesystem::remove(path);
  auto connection = ado::Connection::Create();
  connection->OpenSource(ado::DataSource{"bench", ado::Engine::kSqlite, path.string(), ""}, true);
  return connection;
}

// Every table on one connection: it serves as both SIPStatic and SIPDbf.
World MakeWorld() {
  const auto dir = std::filesystem::temp_directory_path() / "kestrova-stats-bench";
  std::filesystem::create_directories(dir);
  World world;
  world.fundamentals = OpenFresh(dir / "fundamentals.db");
  ado::Connection& db = *world.fundamentals;
  db.Execute("create table si_ci (ticker varchar(10), company_id varchar(10))");
  db.Execute("create index si_ci_ticker on si_ci (ticker)");
  const std::vector<std::pair<std::string, std::vector<std::string>>> tables = {
      {"si_date", {"perend_y"}},
      {"si_isa", {"sales_y", "epsd_y", "epsdc_y"}},
      {"si_bsa", {"bvps_y"}},
      {"si_cfa", {"cfps_y", "fcfps_y"}},
      {"si_psd", {"shr_ay"}}};
  for (const auto& [table, stems] : tables) {
    std::string sql = "create table " + table + " (company_id varchar(10)";
    for (const std::string& stem : stems) {
      for (int k = 1; k <= 7; ++k) {
        sql +=
            ", " + stem + std::to_string(k) + (table == "si_date" ? " date" : " double precision");
      }
    }
    db.Execute(sql + ")");
    db.Execute("create index " + table + "_key on " + table + " (company_id)");
  }
  ado::Transaction transaction(db);
  for (int c = 0; c < kCompanies; ++c) {
    const Variant id("C" + std::to_string(c));
    db.Execute("insert into si_ci values (?, ?)", {Variant(Ticker(c)), id});
    for (const auto& [table, stems] : tables) {
      std::vector<Variant> values{id};
      std::string marks = "?";
      for (size_t s = 0; s < stems.size(); ++s) {
        for (int k = 1; k <= 7; ++k) {
          values.push_back(table == "si_date" ? Variant(automation::DateOf(2026 - k, 12, 31))
                                              : Variant(1.0 + k + c % 10));
          marks += ", ?";
        }
      }
      db.Execute("insert into " + table + " values (" + marks + ")", values);
    }
  }
  transaction.Commit();

  std::vector<float> closes;
  std::vector<int32_t> codes;
  for (automation::Date d = automation::DateOf(2020, 6, 1); codes.size() < kPrices;
       d = automation::AddDays(d, 1)) {
    if (automation::IsoWeekday(d) > 5) continue;
    codes.push_back(helpers::LongFromDate(d));
    closes.push_back(50.0f + static_cast<float>(codes.size() % 100));
  }
  world.prices.AssignPrices(closes);
  world.prices.AssignDates(codes);
  return world;
}

const World& TheWorld() {
  static const World world = MakeWorld();
  return world;
}

// One iteration: the six series of one ticker.
void BM_SixRatioSeries(benchmark::State& state) {
  const World& world = TheWorld();
  thalmere::Stats stats;
  int k = 0;
  for (auto _ : state) {
    const std::string ticker = Ticker(k++ % kCompanies);
    const auto& db = world.fundamentals;
    benchmark::DoNotOptimize(stats.PriceToCashFlow(db, db, ticker, world.prices));
    benchmark::DoNotOptimize(stats.PriceToFreeCashFlow(db, db, ticker, world.prices));
    benchmark::DoNotOptimize(stats.PriceToSales(db, db, ticker, world.prices));
    benchmark::DoNotOptimize(stats.PriceToBook(db, db, ticker, world.prices));
    benchmark::DoNotOptimize(stats.PriceToEarningsCont(db, db, ticker, world.prices));
    benchmark::DoNotOptimize(stats.PriceToEarnings(db, db, ticker, world.prices));
  }
  state.SetItemsProcessed(state.iterations());  // tickers: 1,000 of them take 1,000 × Time
}
BENCHMARK(BM_SixRatioSeries)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
