#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "demo/ExchangeCalendar.h"
#include "platform/tc2000/PriceStore.h"

// The demo world: a made-up stock market drawn from a seed, with companies, their sectors and
// industries, daily bars for every security and the price server's chart lists. The same
// options give the same world, bar for bar, so the generators of other demo data
// (fundamentals, portfolios) build on the same companies by calling MakeDemoWorld again.
//
// Dates are date codes (year × 10000 + month × 100 + day) throughout.
namespace demo {

// ---- The world

struct DemoOptions {
  int32_t companies = 500;  // 0 to kMaxCompanies
  int32_t years = 10;       // 1 to kMaxYears of history ending at end_date
  uint64_t seed = 1;
  int32_t end_date = 0;  // the last day; 0 means the latest trading day up to today

  static constexpr int32_t kMaxCompanies = 100000;
  static constexpr int32_t kMaxYears = 50;
};

struct DemoSector {
  std::string name;
  std::vector<std::string> industries;
};

// How a security's bars are drawn from its own random stream.
struct DemoPriceModel {
  enum class Kind { kStock, kIndex, kRate };
  Kind kind = Kind::kStock;
  double start_price = 0;        // the first open
  double annual_drift = 0;       // expected log return a year
  double annual_volatility = 0;  // of the log returns, a year
  double mean_volume = 0;        // shares a day
  uint64_t stream = 0;           // seed of the security's random stream
  // The first and last day with a bar, as indexes into DemoWorld::trading_days.
  size_t first_day = 0, last_day = 0;
};

struct DemoSecurity {
  std::string symbol, name;
  bool active = true;
  int32_t worden = 0;    // its Worden number: position in DemoWorld::securities + 1
  int32_t company = -1;  // index into DemoWorld::companies; -1 for the index and the rate
  DemoPriceModel model;
};

struct DemoCompany {
  std::string ticker, name;
  int32_t sector = 0;    // index into DemoWorld::sectors
  int32_t industry = 0;  // index into that sector's industries
  int32_t worden = 0;
  bool active = true;                     // an inactive company stopped trading before the end
  int32_t fiscal_year_end_month = 12;     // the fiscal year ends on the last day of this month
  double shares_outstanding = 0;          // millions
  int32_t first_date = 0, last_date = 0;  // its first and last bar
  float last_close = 0;                   // the close of its last bar
  // Its last high is the highest of its last 252 bars, and that bar is on the world's end.
  bool at_52_week_high = false;
};

struct DemoWorld {
  DemoOptions options;                // as asked for, end_date resolved to a trading day
  std::vector<int32_t> trading_days;  // ascending; the last is options.end_date
  std::vector<DemoSector> sectors;
  // In Worden-number order: the index kDemoIndexSymbol is 1, the rate kDemoRateSymbol 2,
  // then the companies in the order of `companies`.
  std::vector<DemoSecurity> securities;
  std::vector<DemoCompany> companies;
  // In list order: each sector (type 5) followed by its industries (type 4), then the
  // global lists (type 0), the scan (1), the industry groups (6), the manual list (7) and
  // the maintained list (8). Members are Worden numbers.
  std::vector<tc2000::ChartList> chart_lists;
};

inline constexpr const char* kDemoIndexSymbol = "SP-500";
inline constexpr const char* kDemoRateSymbol = "TNX--X";

// Draws the world. Options out of range, or an end date that is no real day or leaves the
// history before 1971, are error 5 naming the value.
DemoWorld MakeDemoWorld(DemoOptions options);

// The bars of a security of the world, oldest first; the same on every call.
std::vector<tc2000::Bar> DemoBars(const DemoWorld& world, const DemoSecurity& security);

// Writes the world into a new price store at `path`, replacing the file there only once the
// new one is complete (it is written beside it as `path`.tmp and renamed over it), so a
// failed run leaves the old store. `progress` hears (securities written, all securities)
// after each batch. Returns the number of bars written. Store errors come out as
// automation::Error.
int64_t WriteDemoStore(const DemoWorld& world, const std::filesystem::path& path,
                       const std::function<void(size_t done, size_t total)>& progress = {});

}  // namespace demo
