#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "demo/DemoWorld.h"

// The outside fundamentals database of the demo world: company facts, seven fiscal years and
// eight quarters of statements, period ends, ratios, growth rates, multiples, percentile ranks
// and industry relative strength for the companies of a DemoWorld, and a few portfolios of
// its tickers. The figures hang together (assets = liabilities + preferred + equity, each
// per-share figure is its statement figure over the period's average shares) and follow the
// company's own bars: earnings are scaled so that the price over earnings at the latest fiscal
// year end lands on a value drawn for the company, and the relative-strength ranks come from
// its price changes. Values follow the conventions of FundamentalsSchema.h; statement figures
// and share counts in millions, rounded to the thousand, per-share figures to the cent. The
// columns only a full export fills (periods no program reads) stay Null.
//
// Like real data the result is not spotless, in ways the readers of these tables cope with:
// companies listed lately have only two to four fiscal years (the others, perend_y3 or later
// included, are Null), one company trading at the end has no fundamentals at all, one has no
// si_isq row and one no si_mlt row, a few have the figures of one quarter missing (Null in
// si_isq and si_bsq) or a Null rnpm_12m, one has instss 0, growth rates over a base of 0 or less
// are Null, and so are multiples over a figure of 0 or less. si_perc and si_psd have a row for
// every company and si_mgav2 one for every industry with companies, since the composite rating run
// stops at a company without them. Companies that stopped trading before the world's end are left
// out. The oddities are drawn only when at least 10 companies are covered.
namespace demo {

struct DemoFundamentalsSummary {
  size_t companies = 0;          // rows of si_ci
  size_t industries = 0;         // rows of si_mgav2
  size_t portfolios = 0;         // rows of prtflio
  size_t portfolio_members = 0;  // rows of pfcomp
  int64_t rows = 0;              // rows written on the three data sources together
};

// Company keys of the demo data: "C" and the company's place in DemoWorld::companies, from 1,
// in six digits ("C000042"); unrelated to the Worden number.
std::string DemoCompanyId(size_t company_index);

// Replaces the fundamentals tables on the data sources SIPStatic, SIPDbf and SIPUser (each
// resolved by name, a missing SQLite file created) with the demo data of the world. Each
// source is rebuilt in one transaction: its tables are dropped, created (CreateFundamentals-
// Tables) and filled, so a failure leaves that source's previous tables as they were; sources
// done before the failure keep their new tables. The same world gives the same rows.
// `progress` hears (steps done, all steps) now and then: one step per company computed and
// one per company and per-company table written. Data-source and database errors come out as
// automation::Error.
DemoFundamentalsSummary WriteDemoFundamentals(
    const DemoWorld& world, const std::function<void(size_t done, size_t total)>& progress = {});

// True when the data source SIPStatic already holds a table si_ci (imported or demo
// fundamentals); false when it does not, or cannot be opened.
bool HasFundamentals();

}  // namespace demo
