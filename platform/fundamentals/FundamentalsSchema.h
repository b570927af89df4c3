#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/Connection.h"

// The outside fundamentals database: every table that the profile, the ratio series, the
// batch calculations, the navigator and the alert check read, each on the data source it is
// opened on (SIPStatic, SIPDbf or SIPUser). A table holds every column those programs read
// and, so that a full export goes in whole, the rest of each figure's periods (column
// stems below): sales_y1 to sales_y7 where the programs read sales_y1 to sales_y5.
//
// Conventions of the stored values (the demo data and imported files follow them):
// - company_id, ticker and the sector and industry codes are text keys of at most 10
//   characters, stored without padding (varchar); a sector code (ind_2_dig) has two digits, an
//   industry code (ind_3_dig) three, so the two kinds never collide in si_mgdsc.
// - perend_* columns are dates; every other figure is a number: statement figures and share
//   counts in millions, per-share figures in dollars, margins, returns, growth rates and
//   yields in percent (12.5 means 12.5 %), ratios and multiples as plain numbers, percentile
//   ranks from 1 to 99.
// - Column stems take a period suffix: _12m (trailing twelve months), _q1.._q8 (latest
//   quarter first), _y1.._y7 (latest fiscal year first). A stem has every period of its
//   table's kind: the quarterly statements (si_isq, si_bsq) the quarters, the annual ones
//   the fiscal years and, for income and cash flow (si_isa, si_cfa), the trailing twelve
//   months; period ends (si_date) and average shares (si_psd, "shr_aq1", "shr_ay1") every
//   quarter and year; ratios (si_rat) and their ranks (si_perc) the years and what each
//   stem has besides (the twelve months, or the quarters for balance-sheet ratios).
namespace fundamentals {

enum class ColumnKind {
  kKey,       // short text compared in where clauses (varchar(10))
  kText,      // names and codes (varchar)
  kLongText,  // descriptions (text)
  kDate,      // date
  kNumber,    // double precision
  kInteger,   // integer
};

struct FundamentalsColumn {
  std::string name;
  ColumnKind kind;
  bool read = true;  // read by the programs; false for a period kept only to take exports
};

struct FundamentalsTable {
  std::string name;                         // "si_ci"
  std::string source;                       // "SIPStatic", "SIPDbf" or "SIPUser"
  std::vector<FundamentalsColumn> columns;  // in table order; the key first
};

// Every table, in a fixed order (SIPStatic's, then SIPDbf's, then SIPUser's).
const std::vector<FundamentalsTable>& FundamentalsTables();
// The table of that name (exact, lower case), or nullptr.
const FundamentalsTable* FindFundamentalsTable(std::string_view name);
// The column of that name in the table, or nullptr.
const FundamentalsColumn* FindColumn(const FundamentalsTable& table, std::string_view name);

// "create table si_ci (company_id varchar(10), ...)" for the engine behind a connection.
std::string CreateTableSql(const FundamentalsTable& table, ado::Engine engine);

// The longest text a key or text column takes (varchar(n)); 0 for every other kind.
int32_t TextWidth(const FundamentalsColumn& column);

// Creates one table with its indexes (no drop), inside the caller's transaction if one is
// open.
void CreateFundamentalsTable(ado::Connection& connection, const FundamentalsTable& table);

// Adds to an existing table the columns of the schema it lacks (a table made when the
// schema had fewer), inside the caller's transaction if one is open; their values are Null.
// Returns how many were added.
int32_t AddMissingColumns(ado::Connection& connection, const FundamentalsTable& table);

// True when the connection's database has a table of that name (lower case).
bool HasTable(ado::Connection& connection, const std::string& table);

// Drops (when present) and creates every table of `source` on the connection, with an index
// on company_id (or the table's key), inside the caller's transaction if one is open.
void CreateFundamentalsTables(ado::Connection& connection, std::string_view source);

}  // namespace fundamentals
