#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Variant.h"

// The figures the batch calculations read for each company: numbers that may be Null, a
// company's row of a table, and the whole table read once and found by company.
namespace kestrova {

// A number that may be Null, as the figures of the fundamentals database are.
using Figure = std::optional<double>;

// A value as a Figure: Null and Empty give nullopt; anything else must be a number.
Figure FigureOf(const automation::Variant& value);

// The figures of one company's row of a table, read by field name; when the company has no
// row, every figure is Null.
class RowFigures {
 public:
  RowFigures(std::shared_ptr<ado::Recordset> rows) : rows_(std::move(rows)) {}
  bool missing() const;
  Figure operator[](const char* field) const;

 private:
  std::shared_ptr<ado::Recordset> rows_;
};

// One company's row of a table read whole by CompanyRows, with RowFigures' answers.
class CompanyRow {
 public:
  bool missing() const { return values_ == nullptr; }
  // Null for every field when the row is missing; a field the table lacks is error 3265.
  Figure operator[](const char* field) const;
  // A field's value as stored; a field the table lacks, or any field of a missing row, is
  // error 3265.
  const automation::Variant& Field(std::string_view field) const;

 private:
  friend class CompanyRows;
  const std::vector<automation::Variant>* values_ = nullptr;
  const std::vector<std::string>* names_ = nullptr;
};

// Every row of a table of company figures, read in one query and found by company_id
// (compared without trailing blanks); a company with several rows is found at its first.
// A run that rates every company asks the database once instead of once per company.
class CompanyRows {
 public:
  // Keeps the columns named in `keep` (all of them when it is empty); asking for another
  // is then error 3265, as for a field the table lacks.
  explicit CompanyRows(const std::shared_ptr<ado::Recordset>& rows,
                       const std::vector<std::string>& keep = {});
  // Reads `table` with only those of the `keep` columns it has (and company_id): a wide
  // table is read without the columns no one asks for.
  static CompanyRows Read(const std::shared_ptr<ado::Connection>& connection,
                          const std::string& table, const std::vector<std::string>& keep);
  CompanyRow Row(const std::string& company_id) const;

 private:
  std::vector<std::string> names_;
  std::vector<std::vector<automation::Variant>> rows_;
  std::unordered_map<std::string, size_t> by_company_;
};

// floor((w1 × v1 + w2 × v2 + …) / divisor), or nullopt when any value is Null.
Figure WeightedFloor(std::initializer_list<std::pair<double, Figure>> terms, double divisor);

// Text with trailing blanks removed: fixed-width text columns come back padded on some
// engines.
std::string TrimmedText(const automation::Variant& value);

// True for errors of the database itself (connection, statement); false for errors of a
// computation (overflow, division by zero, type mismatch, Null).
bool IsDatabaseError(int32_t number);

}  // namespace kestrova
