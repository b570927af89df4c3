#include "platform/fundamentals/FundamentalsSchema.h"

#include <algorithm>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "platform/ado/Driver.h"
#include "platform/automation/Error.h"
#include "platform/automation/Text.h"

namespace fundamentals {

namespace {

using Names = std::vector<std::string>;

// `lead` (when given) followed by `period` + 1, `period` + 2, ...: the period suffixes of
// a stem, latest period first ("_12m", "_y1", "_y2").
Names Periods(std::string_view lead, std::string_view period, int first, int last) {
  Names suffixes;
  if (!lead.empty()) suffixes.emplace_back(lead);
  for (int k = first; k <= last; ++k) suffixes.push_back(fmt::format("{}{}", period, k));
  return suffixes;
}
Names Years(int last) { return Periods("", "_y", 1, last); }
Names TtmAndYears(int last) { return Periods("_12m", "_y", 1, last); }
Names Quarters(int first, int last) { return Periods("", "_q", first, last); }
Names Joined(Names first, const Names& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// The whole families of periods a stem can have, latest first.
Names AllYears() { return Years(7); }
Names TtmAndAllYears() { return TtmAndYears(7); }
Names AllQuarters() { return Quarters(1, 8); }
Names AllQuartersAndYears() { return Joined(AllQuarters(), AllYears()); }

// Growth over the trailing twelve months and over one, three, five and seven fiscal years.
const Names kGrowthPeriods{"_g1t", "_g1f", "_g3f", "_g5f", "_g7f"};

class TableBuilder {
 public:
  TableBuilder(std::string name, std::string source) {
    table_.name = std::move(name);
    table_.source = std::move(source);
  }

  TableBuilder& Column(std::string name, ColumnKind kind, bool read = true) {
    table_.columns.push_back({std::move(name), kind, read});
    return *this;
  }
  TableBuilder& Key(std::string name) { return Column(std::move(name), ColumnKind::kKey); }
  TableBuilder& Text(std::string name) { return Column(std::move(name), ColumnKind::kText); }

  // Every stem with every suffix, stem by stem.
  TableBuilder& Series(std::initializer_list<std::string_view> stems, const Names& suffixes,
                       ColumnKind kind = ColumnKind::kNumber) {
    for (std::string_view stem : stems) {
      for (const std::string& suffix : suffixes) Column(std::string(stem) + suffix, kind);
    }
    return *this;
  }
  // Every stem with every period of `family`, stem by stem; the programs read the periods
  // in `read`, which the family must hold.
  TableBuilder& Family(std::initializer_list<std::string_view> stems, const Names& family,
                       const Names& read, ColumnKind kind = ColumnKind::kNumber) {
    for (const std::string& suffix : read) {
      if (std::find(family.begin(), family.end(), suffix) == family.end()) {
        throw std::logic_error("the period " + suffix + " read from " + table_.name +
                               " is not of its family");
      }
    }
    for (std::string_view stem : stems) {
      for (const std::string& suffix : family) {
        const bool is_read = std::find(read.begin(), read.end(), suffix) != read.end();
        Column(std::string(stem) + suffix, kind, is_read);
      }
    }
    return *this;
  }
  TableBuilder& Numbers(std::initializer_list<std::string_view> names) {
    for (std::string_view name : names) Column(std::string(name), ColumnKind::kNumber);
    return *this;
  }

  FundamentalsTable Build() { return std::move(table_); }

 private:
  FundamentalsTable table_;
};

std::vector<FundamentalsTable> MakeTables() {
  std::vector<FundamentalsTable> tables;

  // ---- SIPStatic: companies, sector and industry names, the statements, period ends.
  tables.push_back(TableBuilder("si_ci", "SIPStatic")
                       .Key("company_id")
                       .Key("ticker")
                       .Text("company")
                       .Text("exchange")
                       .Key("ind_2_dig")
                       .Key("ind_3_dig")
                       .Column("business", ColumnKind::kLongText)
                       .Build());
  tables.push_back(TableBuilder("si_mgdsc", "SIPStatic").Key("mg_code").Text("mg_desc").Build());
  tables.push_back(TableBuilder("si_isa", "SIPStatic")
                       .Key("company_id")
                       .Family({"sales"}, TtmAndAllYears(), TtmAndYears(7))
                       .Family({"cgs", "gross", "totexp", "othinc", "iac", "xord", "dps"},
                               TtmAndAllYears(), TtmAndYears(4))
                       .Family({"gopinc", "pti"}, TtmAndAllYears(), TtmAndYears(6))
                       .Family({"netinc"}, TtmAndAllYears(), TtmAndYears(5))
                       .Family({"epsdc"}, TtmAndAllYears(), TtmAndYears(7))
                       .Family({"epsd"}, TtmAndAllYears(), Years(7))
                       .Family({"int", "intno", "inctax", "dep"}, TtmAndAllYears(), TtmAndYears(6))
                       .Build());
  // The trailing twelve months are columns of si_isa; the quarters here give the year
  // before them (quarters 5 to 8) as well.
  tables.push_back(TableBuilder("si_isq", "SIPStatic")
                       .Key("company_id")
                       .Family({"netinc", "sales"}, AllQuarters(), Quarters(1, 8))
                       .Build());
  tables.push_back(
      TableBuilder("si_bsa", "SIPStatic")
          .Key("company_id")
          .Family({"bvps"}, AllYears(), Years(7))
          .Family({"cash", "assets", "liab", "ca", "nppe", "cl", "totloe"}, AllYears(), Years(5))
          .Family({"ltdebt", "equity", "pref"}, AllYears(), Years(7))
          .Build());
  tables.push_back(TableBuilder("si_bsq", "SIPStatic")
                       .Key("company_id")
                       .Family({"ltdebt", "equity", "pref"}, AllQuarters(), Quarters(1, 5))
                       .Family({"cash", "assets", "liab"}, AllQuarters(), Quarters(1, 1))
                       .Build());
  tables.push_back(TableBuilder("si_cfa", "SIPStatic")
                       .Key("company_id")
                       .Family({"cfps", "fcfps"}, TtmAndAllYears(), TtmAndYears(7))
                       .Family({"tco", "ncc", "ce"}, TtmAndAllYears(), TtmAndYears(4))
                       .Build());
  tables.push_back(TableBuilder("si_date", "SIPStatic")
                       .Key("company_id")
                       .Family({"perend"}, AllQuartersAndYears(), Joined({"_q1", "_q5"}, Years(7)),
                               ColumnKind::kDate)
                       .Build());

  // ---- SIPDbf: prices and shares, ranks, ratios, growth, multiples, industry strength.
  {
    // Average shares: the period follows the stem without an underscore ("shr_aq1",
    // "shr_ay1").
    const Names kShareFamily = Joined(Periods("", "q", 1, 8), Periods("", "y", 1, 7));
    tables.push_back(TableBuilder("si_psd", "SIPDbf")
                         .Key("company_id")
                         .Family({"shr_a"}, kShareFamily, Periods("q1", "y", 1, 7))
                         .Numbers({"instps", "instss"})
                         .Build());
  }
  tables.push_back(TableBuilder("si_perc", "SIPDbf")
                       .Key("company_id")
                       .Series({"rsales", "repsdc", "reps"}, kGrowthPeriods)
                       .Series({"rnetinc"}, {"_g1", "_g3", "_g5", "_g7"})
                       .Series({"rrs"}, {"_04w", "_13w", "_26w", "_52w"})
                       .Numbers({"rrsw_4q"})
                       .Family({"ropm", "rnpm", "rroe"}, TtmAndAllYears(), TtmAndYears(2))
                       .Numbers({"rshrinstn", "rshrinst"})
                       .Build());
  tables.push_back(
      TableBuilder("si_rat", "SIPDbf")
          .Key("company_id")
          .Family({"roe", "roa", "gpm", "opm", "npm"}, TtmAndAllYears(), TtmAndYears(4))
          // Balance-sheet ratios have the quarters where the others have the trailing
          // twelve months.
          .Family({"curr", "quick", "tl_ta", "ltd_tc", "ltd_eq"}, AllQuartersAndYears(),
                  Joined({"_q1"}, Years(4)))
          .Family({"tie", "payout"}, TtmAndAllYears(), TtmAndYears(4))
          .Build());
  {
    // Three growth stems are shortened in their trailing-twelve-months column.
    TableBuilder growth("si_gr", "SIPDbf");
    growth.Key("company_id");
    const std::pair<std::string_view, std::string_view> kStems[] = {
        {"sales", "sales"},  {"gopin", "gopinc"}, {"pti", "pti"},     {"opin", "opinc"},
        {"netin", "netinc"}, {"epsd", "epsd"},    {"epsdc", "epsdc"}, {"cfps", "cfps"},
        {"fcfps", "fcfps"},  {"dps", "dps"},
    };
    for (const auto& [ttm_stem, stem] : kStems) {
      growth.Series({ttm_stem}, {"_g1t"});
      growth.Series({stem}, {"_g1f", "_g3f", "_g5f", "_g7f"});
    }
    tables.push_back(growth.Build());
  }
  tables.push_back(
      TableBuilder("si_mlt", "SIPDbf")
          .Key("company_id")
          // Previous year, three-year average, current.
          .Series({"pe", "psps", "pbvps", "pcfps", "pfcps", "yield"}, {"_1t", "_a3y", ""})
          .Numbers({"pe_ey0"})
          .Build());
  tables.push_back(TableBuilder("si_mgav2", "SIPDbf")
                       .Key("indcode")
                       .Series({"rs"}, {"_04w", "_13w", "_26w", "_52w"})
                       .Build());

  // ---- SIPUser: the user's portfolios.
  tables.push_back(TableBuilder("prtflio", "SIPUser")
                       .Column("pfid", ColumnKind::kInteger)
                       .Text("portfolio")
                       .Build());
  tables.push_back(
      TableBuilder("pfcomp", "SIPUser").Column("pfid", ColumnKind::kInteger).Key("ticker").Build());
  return tables;
}

std::string TypeSql(const FundamentalsColumn& column) {
  switch (column.kind) {
    case ColumnKind::kKey:
    case ColumnKind::kText:
      return fmt::format("varchar({})", TextWidth(column));
    case ColumnKind::kLongText:
      return "text";
    // Both engines keep "date": PostgreSQL as its date type, SQLite as the declared type
    // by which our driver reads the stored text back as a Date.
    case ColumnKind::kDate:
      return "date";
    case ColumnKind::kNumber:
      return "double precision";
    case ColumnKind::kInteger:
      return "integer";
  }
  return "text";
}

// The indexes of a table: its key, and the other columns the system looks rows up by.
std::vector<std::pair<std::string, std::string>> IndexesOf(const FundamentalsTable& table) {
  if (table.name == "si_ci") {
    return {{"si_ci_key", "company_id"}, {"si_ci_ticker", "ticker"}};
  }
  if (table.name == "pfcomp") return {{"pfcomp_key", "pfid, ticker"}};
  return {{table.name + "_key", table.columns.front().name}};
}

}  // namespace

int32_t TextWidth(const FundamentalsColumn& column) {
  switch (column.kind) {
    case ColumnKind::kKey:
      return 10;
    case ColumnKind::kText:
      return column.name == "exchange" ? 4 : 80;
    default:
      return 0;
  }
}

const std::vector<FundamentalsTable>& FundamentalsTables() {
  static const std::vector<FundamentalsTable> tables = MakeTables();
  return tables;
}

const FundamentalsTable* FindFundamentalsTable(std::string_view name) {
  for (const FundamentalsTable& table : FundamentalsTables()) {
    if (table.name == name) return &table;
  }
  return nullptr;
}

const FundamentalsColumn* FindColumn(const FundamentalsTable& table, std::string_view name) {
  for (const FundamentalsColumn& column : table.columns) {
    if (column.name == name) return &column;
  }
  return nullptr;
}

// The same text serves both engines today; the engine stays in the signature so that a
// type one of them lacks can be mapped here.
std::string CreateTableSql(const FundamentalsTable& table, ado::Engine /*engine*/) {
  std::string sql = "create table " + table.name + " (";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += table.columns[i].name + " " + TypeSql(table.columns[i]);
  }
  return sql + ")";
}

void CreateFundamentalsTable(ado::Connection& connection, const FundamentalsTable& table) {
  // One statement per call: PostgreSQL takes a single statement with bound values, and
  // keeping it so on both engines keeps the error messages pointing at the statement.
  connection.Execute(CreateTableSql(table, connection.engine()));
  for (const auto& [index, columns] : IndexesOf(table)) {
    connection.Execute("create index " + index + " on " + table.name + " (" + columns + ")");
  }
}

int32_t AddMissingColumns(ado::Connection& connection, const FundamentalsTable& table) {
  const ado::Result present =
      connection.driver().Run("select * from " + table.name + " where 1 = 0", {});
  std::vector<std::string> names;
  for (const ado::Column& column : present.columns) {
    names.push_back(automation::FoldCase(column.name));
  }
  int32_t added = 0;
  for (const FundamentalsColumn& column : table.columns) {
    if (std::find(names.begin(), names.end(), column.name) != names.end()) continue;
    connection.Execute("alter table " + table.name + " add column " + column.name + " " +
                       TypeSql(column));
    ++added;
  }
  return added;
}

bool HasTable(ado::Connection& connection, const std::string& table) {
  const bool sqlite = connection.engine() == ado::Engine::kSqlite;
  const std::string sql = sqlite ? "select 1 from sqlite_master where type = 'table' and name = ?"
                                 : "select 1 from information_schema.tables "
                                   "where table_schema = current_schema() and table_name = ?";
  return !connection.driver()
              .Run(sql, std::vector<automation::Variant>{automation::Variant(table)})
              .rows.empty();
}

void CreateFundamentalsTables(ado::Connection& connection, std::string_view source) {
  bool known_source = false;
  for (const FundamentalsTable& table : FundamentalsTables()) {
    if (table.source != source) continue;
    known_source = true;
    connection.Execute("drop table if exists " + table.name);
    CreateFundamentalsTable(connection, table);
  }
  if (!known_source) {
    throw automation::Error(automation::err::kInvalidArgument,
                            fmt::format("no fundamentals table lives on data source '{}'", source));
  }
}

}  // namespace fundamentals
