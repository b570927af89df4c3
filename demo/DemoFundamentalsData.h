#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "demo/DemoWorld.h"
#include "platform/fundamentals/FundamentalsSchema.h"

// What the parts of the demo fundamentals generator share: the companies' figures by column,
// the data made for each company and across them, and the steps that rank and write it. Only
// the generator's own files include this.
namespace demo::fundamentals_data {

// Figures are doubles; Null is NaN.
inline constexpr double kNull = std::numeric_limits<double>::quiet_NaN();
inline constexpr size_t kNone = static_cast<size_t>(-1);

inline bool IsNull(double value) { return std::isnan(value); }

// ---- Figures of one company by column

// Every number and date column of the per-company tables that the programs read gets a slot,
// so that a company's figures are one flat vector (Null as NaN, dates as date codes) and a
// writer takes a column's value by its slot. The other periods of a figure stay Null.
class Slots {
 public:
  Slots() {
    for (const fundamentals::FundamentalsTable& table : fundamentals::FundamentalsTables()) {
      if (!IsCompanyTable(table)) continue;
      for (const fundamentals::FundamentalsColumn& column : table.columns) {
        if (!column.read) continue;
        if (column.kind != fundamentals::ColumnKind::kNumber &&
            column.kind != fundamentals::ColumnKind::kDate &&
            column.kind != fundamentals::ColumnKind::kInteger) {
          continue;
        }
        slots_.emplace(column.name, static_cast<int>(slots_.size()));
      }
    }
  }

  static bool IsCompanyTable(const fundamentals::FundamentalsTable& table) {
    return table.name != "si_ci" && !table.columns.empty() &&
           table.columns.front().name == "company_id";
  }

  // The slot of a column, or -1 when no per-company table has it.
  int operator()(std::string_view name) const {
    const auto it = slots_.find(std::string(name));
    return it == slots_.end() ? -1 : it->second;
  }
  size_t size() const { return slots_.size(); }

 private:
  std::unordered_map<std::string, int> slots_;
};

class Figures {
 public:
  explicit Figures(size_t slots) : values_(slots, kNull) {}
  void Set(int slot, double value) {
    if (slot >= 0) values_[static_cast<size_t>(slot)] = std::isfinite(value) ? value : kNull;
  }
  double Get(int slot) const { return slot < 0 ? kNull : values_[static_cast<size_t>(slot)]; }

 private:
  std::vector<double> values_;
};

// ---- What is made

// Price change windows of the relative-strength ranks, in trading days: 4, 13, 26, 52 weeks.
inline constexpr std::array<size_t, 4> kStrengthDays{20, 63, 126, 252};

struct CompanyData {
  size_t company = 0;  // index into DemoWorld::companies
  std::string id, exchange, business;
  Figures figures{0};
  std::array<double, 4> change{kNull, kNull, kNull, kNull};  // over kStrengthDays
  double weighted_change = kNull;  // latest quarter 40 %, the three before 20 % each
  double holders = 0, institutional_share = 0;
  double market_value = 0, yield = 0, volatility = 0;
};

// What the generator leaves untidy, drawn from the world's seed.
struct Oddities {
  size_t uncovered = kNone;      // a company trading at the end that has no fundamentals
  size_t short_history = kNone;  // a company listed lately, given two fiscal years only
  // Positions in the list of covered companies:
  size_t no_isq_row = kNone, no_mlt_row = kNone, no_instss = kNone;
  std::vector<std::pair<size_t, int>> missing_quarters;  // company, quarter 2..8
  std::vector<size_t> null_rnpm;
};

// The codes of si_mgdsc: "01" for the first sector, "013" for its third industry.
inline std::string IndustryCode(int sector, int industry) {
  return fmt::format("{:02}{}", sector + 1, industry + 1);
}
inline std::string SectorCode(int sector) { return fmt::format("{:02}", sector + 1); }

struct Portfolio {
  std::string name;
  std::vector<std::string> tickers;
};

struct Generated {
  std::vector<CompanyData> companies;  // the covered companies, in world order
  Oddities oddities;
  struct Industry {
    std::string code;
    std::array<double, 4> rs{};
  };
  std::vector<Industry> industries;  // those with companies, by code
  std::vector<Portfolio> portfolios;
};

// ---- The company model (DemoCompanyModel.cpp)

// Draws the fundamentals of single companies of a world: business text, statements, periods,
// ratios, growth rates, multiples and price changes, from the company's own random stream and
// bars. The column slots are looked up once, on construction; Make may be called from several
// threads at once.
class CompanyMaker {
 public:
  CompanyMaker(const DemoWorld& world, const Slots& slots);
  ~CompanyMaker();
  CompanyMaker(const CompanyMaker&) = delete;
  CompanyMaker& operator=(const CompanyMaker&) = delete;

  // The data of the company at `index` of DemoWorld::companies; `years` limits the fiscal
  // years with figures (0: as the company's listing gives). The same stream gives the same
  // data.
  CompanyData Make(size_t index, uint64_t stream, int years) const;

  // Blanks the statement figures of one quarter (1..8) of a company.
  void BlankQuarter(Figures& figures, int quarter) const;

 private:
  struct Impl;
  const DemoWorld& world_;
  const Slots& slots_;
  std::unique_ptr<Impl> impl_;
};

// ---- Ranking (DemoFundamentalsRanking.cpp)

// Percentile ranks 1..99, higher values higher; equal values share the rank of the first of
// them; Null values stay Null. A single value ranks 50.
std::vector<double> PercentileRanks(const std::vector<double>& values);

// Fills the percentile-rank columns of si_perc for every company from the figures, price
// changes and holders they rank.
void RankCompanies(Generated& generated, const Slots& slots);

// Ranks each industry with companies by the average price changes of its members, into
// Generated::industries (by code).
void RankIndustries(const DemoWorld& world, Generated& generated);

// ---- Writing (DemoFundamentalsWriter.cpp)

// Rebuilds the tables of one data source from the generated data in one transaction and
// returns the rows written; `advance` hears the companies written per company table.
// Data-source and database errors come out as automation::Error, the source's previous
// tables kept.
int64_t WriteDemoFundamentalsSource(const DemoWorld& world, const Generated& generated,
                                    const Slots& slots, const std::function<void(size_t)>& advance,
                                    const std::string& source);

}  // namespace demo::fundamentals_data
