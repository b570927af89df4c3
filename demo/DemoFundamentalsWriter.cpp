#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "demo/DemoFundamentalsData.h"
#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/ado/Transaction.h"
#include "platform/automation/DateCode.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Variant.h"

namespace demo::fundamentals_data {

namespace {

using automation::Variant;

Variant DateValue(double code_value) {
  const automation::DateCode code(static_cast<int32_t>(code_value));
  return Variant(automation::DateOf(code.Year(), code.Month(), code.Day()));
}

// The columns the demo data fills: those the programs read. The rest stay Null.
std::vector<const fundamentals::FundamentalsColumn*> FilledColumns(
    const fundamentals::FundamentalsTable& table) {
  std::vector<const fundamentals::FundamentalsColumn*> columns;
  for (const fundamentals::FundamentalsColumn& column : table.columns) {
    if (column.read) columns.push_back(&column);
  }
  return columns;
}

// Inserts rows into some columns of one table with one prepared statement, bound values only.
class TableInserter {
 public:
  TableInserter(ado::Connection& connection, const fundamentals::FundamentalsTable& table,
                const std::vector<const fundamentals::FundamentalsColumn*>& columns)
      : connection_(connection), row_(columns.size()) {
    std::string names, marks;
    for (const fundamentals::FundamentalsColumn* column : columns) {
      names += (names.empty() ? "" : ", ") + column->name;
      marks += marks.empty() ? "?" : ", ?";
    }
    sql_ = "insert into " + table.name + " (" + names + ") values (" + marks + ")";
  }
  std::vector<Variant>& row() { return row_; }
  void Insert() {
    connection_.Execute(sql_, row_);
    ++rows_;
  }
  int64_t rows() const { return rows_; }

 private:
  ado::Connection& connection_;
  std::string sql_;
  std::vector<Variant> row_;
  int64_t rows_ = 0;
};

Variant TextOrNull(const std::string* text) { return text ? Variant(*text) : Variant::Null(); }

class Writer {
 public:
  Writer(const DemoWorld& world, const Generated& generated, const Slots& slots,
         const std::function<void(size_t)>& advance)
      : world_(world), generated_(generated), slots_(slots), advance_(advance) {}

  int64_t WriteSource(const std::string& source) {
    auto connection = ado::Connection::Create();
    connection->OpenSource(ado::ResolveDataSource(source), /*create=*/true);
    // Until the commit, the source keeps its previous tables: a failure below rolls back.
    ado::Transaction transaction(*connection);
    fundamentals::CreateFundamentalsTables(*connection, source);
    int64_t rows = 0;
    for (const fundamentals::FundamentalsTable& table : fundamentals::FundamentalsTables()) {
      if (table.source != source) continue;
      rows += WriteTable(*connection, table);
    }
    transaction.Commit();
    return rows;
  }

 private:
  int64_t WriteTable(ado::Connection& connection, const fundamentals::FundamentalsTable& table) {
    const std::vector<const fundamentals::FundamentalsColumn*> columns = FilledColumns(table);
    TableInserter inserter(connection, table, columns);
    auto& row = inserter.row();
    auto fill = [&](const auto& value_of) {
      for (size_t c = 0; c < columns.size(); ++c) row[c] = value_of(*columns[c]);
      inserter.Insert();
    };
    if (table.name == "si_ci") {
      for (const CompanyData& data : generated_.companies) {
        const DemoCompany& company = world_.companies[data.company];
        const std::string sector = SectorCode(company.sector);
        const std::string industry = IndustryCode(company.sector, company.industry);
        fill([&](const fundamentals::FundamentalsColumn& column) {
          const std::string& n = column.name;
          return TextOrNull(n == "company_id"  ? &data.id
                            : n == "ticker"    ? &company.ticker
                            : n == "company"   ? &company.name
                            : n == "exchange"  ? &data.exchange
                            : n == "ind_2_dig" ? &sector
                            : n == "ind_3_dig" ? &industry
                            : n == "business"  ? &data.business
                                               : nullptr);
        });
      }
    } else if (table.name == "si_mgdsc") {
      for (size_t s = 0; s < world_.sectors.size(); ++s) {
        const DemoSector& sector = world_.sectors[s];
        const std::string code = SectorCode(static_cast<int>(s));
        fill([&](const fundamentals::FundamentalsColumn& column) {
          return TextOrNull(column.name == "mg_code"   ? &code
                            : column.name == "mg_desc" ? &sector.name
                                                       : nullptr);
        });
        for (size_t i = 0; i < sector.industries.size(); ++i) {
          const std::string industry = IndustryCode(static_cast<int>(s), static_cast<int>(i));
          fill([&](const fundamentals::FundamentalsColumn& column) {
            return TextOrNull(column.name == "mg_code"   ? &industry
                              : column.name == "mg_desc" ? &sector.industries[i]
                                                         : nullptr);
          });
        }
      }
    } else if (table.name == "si_mgav2") {
      for (const Generated::Industry& industry : generated_.industries) {
        fill([&](const fundamentals::FundamentalsColumn& column) {
          if (column.name == "indcode") return Variant(industry.code);
          for (size_t w = 0; w < 4; ++w) {
            if (column.name == fmt::format("rs_{:02}w", kStrengthWeeks[w])) {
              return Variant(industry.rs[w]);
            }
          }
          return Variant::Null();
        });
      }
    } else if (table.name == "prtflio") {
      for (size_t p = 0; p < generated_.portfolios.size(); ++p) {
        fill([&](const fundamentals::FundamentalsColumn& column) {
          if (column.name == "pfid") return Variant(static_cast<int32_t>(p + 1));
          if (column.name == "portfolio") return Variant(generated_.portfolios[p].name);
          return Variant::Null();
        });
      }
    } else if (table.name == "pfcomp") {
      for (size_t p = 0; p < generated_.portfolios.size(); ++p) {
        for (const std::string& ticker : generated_.portfolios[p].tickers) {
          fill([&](const fundamentals::FundamentalsColumn& column) {
            if (column.name == "pfid") return Variant(static_cast<int32_t>(p + 1));
            if (column.name == "ticker") return Variant(ticker);
            return Variant::Null();
          });
        }
      }
    } else if (Slots::IsCompanyTable(table)) {
      WriteCompanyRows(table.name, columns, inserter);
    }
    return inserter.rows();
  }

  void WriteCompanyRows(const std::string& table,
                        const std::vector<const fundamentals::FundamentalsColumn*>& columns,
                        TableInserter& inserter) {
    const Oddities& odd = generated_.oddities;
    const size_t skipped = table == "si_isq"   ? odd.no_isq_row
                           : table == "si_mlt" ? odd.no_mlt_row
                                               : kNone;
    std::vector<int> slot(columns.size());
    for (size_t c = 0; c < columns.size(); ++c) slot[c] = slots_(columns[c]->name);
    auto& row = inserter.row();
    for (size_t k = 0; k < generated_.companies.size(); ++k) {
      const CompanyData& data = generated_.companies[k];
      if (k != skipped) {
        for (size_t c = 0; c < columns.size(); ++c) {
          const fundamentals::FundamentalsColumn& column = *columns[c];
          if (column.name == "company_id") {
            row[c] = Variant(data.id);
            continue;
          }
          const double value = data.figures.Get(slot[c]);
          if (IsNull(value)) {
            row[c] = Variant::Null();
          } else if (column.kind == fundamentals::ColumnKind::kDate) {
            row[c] = DateValue(value);
          } else if (column.kind == fundamentals::ColumnKind::kInteger) {
            row[c] = Variant(static_cast<int32_t>(std::lround(value)));
          } else {
            row[c] = Variant(value);
          }
        }
        inserter.Insert();
      }
      if ((k + 1) % 256 == 0) advance_(256);
    }
    advance_(generated_.companies.size() % 256);
  }

  static constexpr std::array<int, 4> kStrengthWeeks{4, 13, 26, 52};

  const DemoWorld& world_;
  const Generated& generated_;
  const Slots& slots_;
  const std::function<void(size_t)>& advance_;
};

}  // namespace

int64_t WriteDemoFundamentalsSource(const DemoWorld& world, const Generated& generated,
                                    const Slots& slots, const std::function<void(size_t)>& advance,
                                    const std::string& source) {
  return Writer(world, generated, slots, advance).WriteSource(source);
}

}  // namespace demo::fundamentals_data
