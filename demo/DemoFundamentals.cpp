#include "demo/DemoFundamentals.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "demo/DemoFundamentalsData.h"
#include "demo/DemoRandom.h"
#include "demo/ParallelFor.h"
#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/automation/Error.h"
#include "platform/automation/Variant.h"
#include "platform/fundamentals/FundamentalsSchema.h"

namespace demo {

namespace {

using automation::Variant;
using namespace fundamentals_data;

// ---- Putting it together

constexpr size_t kOddityThreshold = 10;

Oddities DrawOddities(const DemoWorld& world, Random& random, std::vector<size_t>& covered) {
  Oddities odd;
  std::vector<size_t> active, settled;
  for (size_t i = 0; i < world.companies.size(); ++i) {
    const DemoCompany& company = world.companies[i];
    if (!company.active) continue;
    active.push_back(i);
    if (company.first_date == world.trading_days.front()) settled.push_back(i);
  }
  if (active.size() > kOddityThreshold && !settled.empty()) odd.uncovered = random.Pick(settled);
  for (size_t i : active) {
    if (i != odd.uncovered) covered.push_back(i);
  }
  const size_t n = covered.size();
  if (n < kOddityThreshold) return odd;
  for (size_t i : covered) {
    if (world.companies[i].first_date != world.trading_days.front()) {
      odd.short_history = i;
      break;
    }
  }
  std::vector<size_t> positions(n);
  for (size_t k = 0; k < n; ++k) positions[k] = k;
  const size_t quarters = std::max<size_t>(1, n / 50), margins = std::max<size_t>(1, n / 40);
  const std::vector<size_t> picks = Sample(random, positions, 3 + quarters + margins);
  size_t next = 0;
  odd.no_isq_row = picks[next++];
  odd.no_mlt_row = picks[next++];
  odd.no_instss = picks[next++];
  for (size_t k = 0; k < quarters && next < picks.size(); ++k) {
    odd.missing_quarters.emplace_back(picks[next++], static_cast<int>(random.Between(2, 8)));
  }
  for (size_t k = 0; k < margins && next < picks.size(); ++k)
    odd.null_rnpm.push_back(picks[next++]);
  return odd;
}

std::vector<Portfolio> MakePortfolios(const DemoWorld& world, const Generated& generated,
                                      Random& random) {
  const auto& companies = generated.companies;
  auto ticker = [&](size_t k) { return world.companies[companies[k].company].ticker; };
  std::vector<size_t> positions(companies.size());
  for (size_t k = 0; k < companies.size(); ++k) positions[k] = k;
  auto top = [&](auto key, size_t count) {
    std::vector<size_t> order = positions;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return key(companies[a]) > key(companies[b]); });
    order.resize(std::min(count, order.size()));
    return order;
  };
  std::vector<Portfolio> portfolios;
  auto add = [&](std::string name, const std::vector<size_t>& members) {
    Portfolio& portfolio = portfolios.emplace_back();
    portfolio.name = std::move(name);
    for (size_t k : members) portfolio.tickers.push_back(ticker(k));
  };
  add("Retirement", top([](const CompanyData& c) { return c.market_value; }, 8));
  std::vector<size_t> payers =
      top([](const CompanyData& c) { return IsNull(c.yield) ? 0 : c.yield; }, 8);
  std::erase_if(payers, [&](size_t k) { return !(companies[k].yield > 0); });
  add("Dividend Income", payers);
  add("Speculative", top([](const CompanyData& c) { return c.volatility; }, 6));
  add("Pat's Picks", Sample(random, positions, 5));
  add("Watch Later", {});
  // Tickers typed into fixed-width fields keep their trailing blanks.
  bool padded = false;
  for (Portfolio& portfolio : portfolios) {
    for (std::string& t : portfolio.tickers) {
      if (random.Chance(1.0 / 3)) {
        t.append(static_cast<size_t>(random.Between(1, 3)), ' ');
        padded = true;
      }
    }
  }
  if (!padded && !portfolios[3].tickers.empty()) portfolios[3].tickers.front() += "  ";
  return portfolios;
}

constexpr uint64_t kFundamentalsStream = 0xF0DA3E27A1B5C9D1ULL;

}  // namespace

std::string DemoCompanyId(size_t company_index) { return fmt::format("C{:06}", company_index + 1); }

DemoFundamentalsSummary WriteDemoFundamentals(
    const DemoWorld& world, const std::function<void(size_t done, size_t total)>& progress) {
  const Slots slots;
  const CompanyMaker maker(world, slots);
  const uint64_t stream = Mix(world.options.seed ^ kFundamentalsStream);
  Random random(stream);

  Generated generated;
  std::vector<size_t> covered;
  generated.oddities = DrawOddities(world, random, covered);
  const Oddities& odd = generated.oddities;

  size_t company_tables = 0;
  for (const fundamentals::FundamentalsTable& table : fundamentals::FundamentalsTables()) {
    if (Slots::IsCompanyTable(table)) ++company_tables;
  }
  const size_t total = (1 + company_tables) * covered.size();
  size_t done = 0;
  const std::function<void(size_t)> advance = [&](size_t steps) {
    done += steps;
    if (progress) progress(done, total);
  };

  generated.companies.resize(covered.size());
  constexpr size_t kChunk = 256;
  for (size_t first = 0; first < covered.size(); first += kChunk) {
    const size_t last = std::min(covered.size(), first + kChunk);
    ParallelFor(first, last, [&](size_t k) {
      const size_t index = covered[k];
      generated.companies[k] =
          maker.Make(index, Mix(stream ^ Mix(index + 1)), index == odd.short_history ? 2 : 0);
    });
    advance(last - first);
  }

  // The oddities that only blank out what was made.
  for (const auto& [k, quarter] : odd.missing_quarters) {
    maker.BlankQuarter(generated.companies[k].figures, quarter);
  }
  if (odd.no_instss != kNone) generated.companies[odd.no_instss].figures.Set(slots("instss"), 0);
  RankCompanies(generated, slots);
  for (size_t k : odd.null_rnpm) generated.companies[k].figures.Set(slots("rnpm_12m"), kNull);
  RankIndustries(world, generated);
  generated.portfolios = MakePortfolios(world, generated, random);

  DemoFundamentalsSummary summary;
  for (const char* source : {"SIPStatic", "SIPDbf", "SIPUser"}) {
    summary.rows += WriteDemoFundamentalsSource(world, generated, slots, advance, source);
  }
  summary.companies = generated.companies.size();
  summary.industries = generated.industries.size();
  summary.portfolios = generated.portfolios.size();
  for (const Portfolio& portfolio : generated.portfolios) {
    summary.portfolio_members += portfolio.tickers.size();
  }
  return summary;
}

bool HasFundamentals() {
  try {
    auto connection = ado::Connection::Create();
    connection->OpenSource(ado::ResolveDataSource("SIPStatic"), /*create=*/false);
    return fundamentals::HasTable(*connection, "si_ci");
  } catch (const automation::Error&) {
    return false;  // no such file, no server: nothing there to keep
  }
}

}  // namespace demo
