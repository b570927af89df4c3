#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "demo/DemoFundamentalsData.h"

namespace demo::fundamentals_data {

namespace {

// The column of a per-company figure that a percentile rank ranks, by the rank's name:
// "rsales_g1t" ranks sales_g1t, "reps_g3f" epsd_g3f, "rnetinc_g1" netinc_g1f, "ropm_y1"
// opm_y1.
int RankedSlot(const Slots& slots, std::string_view rank) {
  if (rank.size() < 2 || rank.front() != 'r') return -1;
  std::string ranked(rank.substr(1));
  if (ranked.starts_with("eps_")) ranked = "epsd_" + ranked.substr(4);  // diluted EPS growth
  if (int slot = slots(ranked); slot >= 0) return slot;
  return slots(ranked + "f");
}

}  // namespace

std::vector<double> PercentileRanks(const std::vector<double>& values) {
  std::vector<size_t> order;
  for (size_t i = 0; i < values.size(); ++i) {
    if (!IsNull(values[i])) order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return values[a] < values[b]; });
  std::vector<double> ranks(values.size(), kNull);
  const size_t m = order.size();
  size_t tie_start = 0;
  for (size_t p = 0; p < m; ++p) {
    if (p > 0 && values[order[p]] != values[order[p - 1]]) tie_start = p;
    ranks[order[p]] =
        m == 1
            ? 50.0
            : 1.0 + std::floor(98.0 * static_cast<double>(tie_start) / static_cast<double>(m - 1));
  }
  return ranks;
}

void RankCompanies(Generated& generated, const Slots& slots) {
  const fundamentals::FundamentalsTable* perc = fundamentals::FindFundamentalsTable("si_perc");
  if (!perc) return;
  auto& companies = generated.companies;
  std::vector<double> values(companies.size());
  for (const fundamentals::FundamentalsColumn& column : perc->columns) {
    const int target = slots(column.name);
    if (target < 0) continue;
    const std::string_view name = column.name;
    if (name.starts_with("rrs_")) {
      for (size_t w = 0; w < kStrengthDays.size(); ++w) {
        if (name == fmt::format("rrs_{:02}w", std::array{4, 13, 26, 52}[w])) {
          for (size_t k = 0; k < companies.size(); ++k) values[k] = companies[k].change[w];
        }
      }
    } else if (name == "rrsw_4q") {
      for (size_t k = 0; k < companies.size(); ++k) values[k] = companies[k].weighted_change;
    } else if (name == "rshrinstn") {
      for (size_t k = 0; k < companies.size(); ++k) values[k] = companies[k].holders;
    } else if (name == "rshrinst") {
      for (size_t k = 0; k < companies.size(); ++k) values[k] = companies[k].institutional_share;
    } else {
      const int source = RankedSlot(slots, name);
      for (size_t k = 0; k < companies.size(); ++k) values[k] = companies[k].figures.Get(source);
    }
    const std::vector<double> ranks = PercentileRanks(values);
    for (size_t k = 0; k < companies.size(); ++k) companies[k].figures.Set(target, ranks[k]);
  }
}

void RankIndustries(const DemoWorld& world, Generated& generated) {
  struct Sum {
    std::array<double, 4> total{};
    std::array<int, 4> count{};
    bool members = false;
  };
  std::vector<std::pair<std::string, Sum>> sums;
  for (size_t s = 0; s < world.sectors.size(); ++s) {
    for (size_t i = 0; i < world.sectors[s].industries.size(); ++i) {
      sums.emplace_back(IndustryCode(static_cast<int>(s), static_cast<int>(i)), Sum{});
    }
  }
  std::sort(sums.begin(), sums.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  auto find = [&](const std::string& code) -> Sum& {
    return std::lower_bound(sums.begin(), sums.end(), code,
                            [](const auto& entry, const std::string& c) { return entry.first < c; })
        ->second;
  };
  for (const CompanyData& data : generated.companies) {
    const DemoCompany& company = world.companies[data.company];
    Sum& sum = find(IndustryCode(company.sector, company.industry));
    sum.members = true;
    for (size_t w = 0; w < 4; ++w) {
      if (!IsNull(data.change[w])) sum.total[w] += data.change[w], ++sum.count[w];
    }
  }
  // An industry without companies has no average and no row; one whose members are all too
  // young for a window gets the middle rank there, since the readers take no Null.
  for (const auto& [code, sum] : sums) {
    if (sum.members) generated.industries.push_back({code, {}});
  }
  for (size_t w = 0; w < 4; ++w) {
    std::vector<double> averages;
    for (const auto& [code, sum] : sums) {
      if (sum.members) averages.push_back(sum.count[w] ? sum.total[w] / sum.count[w] : kNull);
    }
    const std::vector<double> ranks = PercentileRanks(averages);
    for (size_t k = 0; k < ranks.size(); ++k) {
      generated.industries[k].rs[w] = IsNull(ranks[k]) ? 50.0 : ranks[k];
    }
  }
}

}  // namespace demo::fundamentals_data
