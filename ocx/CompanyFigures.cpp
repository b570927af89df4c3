#include "ocx/CompanyFigures.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/ado/Errors.h"
#include "platform/automation/Convert.h"
#include "platform/automation/Error.h"
#include "platform/automation/Text.h"
#include "platform/helpers/library.h"

namespace kestrova {

using automation::Variant;

Figure FigureOf(const Variant& value) {
  if (value.IsNull() || value.IsEmpty()) return std::nullopt;
  return automation::CDbl(value);
}

bool RowFigures::missing() const { return rows_->EOF_(); }

Figure RowFigures::operator[](const char* field) const {
  if (missing()) return std::nullopt;
  return FigureOf(rows_->Field(field));
}

Figure CompanyRow::operator[](const char* field) const {
  if (missing()) return std::nullopt;
  return FigureOf(Field(field));
}

const Variant& CompanyRow::Field(std::string_view field) const {
  if (missing()) {
    throw ado::ErrorWithDetail(ado::errors::kItemNotFound,
                               "no row to read '" + std::string(field) + "' from");
  }
  // Field names as the recordset finds them: exactly, else without regard to case.
  const std::vector<std::string>& names = *names_;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == field) return (*values_)[i];
  }
  const std::string folded = automation::FoldCase(field);
  for (size_t i = 0; i < names.size(); ++i) {
    if (automation::FoldCase(names[i]) == folded) return (*values_)[i];
  }
  throw ado::ErrorWithDetail(ado::errors::kItemNotFound, "no field '" + std::string(field) + "'");
}

CompanyRows::CompanyRows(const std::shared_ptr<ado::Recordset>& rows,
                         const std::vector<std::string>& keep) {
  int32_t id_column = -1;
  std::vector<int32_t> kept;  // the columns kept, in table order
  for (int32_t i = 0; i < rows->FieldCount(); ++i) {
    const std::string name = rows->FieldName(i);
    const std::string folded = automation::FoldCase(name);
    if (id_column < 0 && folded == "company_id") id_column = i;
    const bool wanted = keep.empty() || std::any_of(keep.begin(), keep.end(), [&](const auto& k) {
                          return automation::FoldCase(k) == folded;
                        });
    if (wanted) {
      names_.push_back(name);
      kept.push_back(i);
    }
  }
  if (id_column < 0) {
    throw ado::ErrorWithDetail(ado::errors::kItemNotFound, "no field 'company_id'");
  }
  for (; !rows->EOF_(); rows->MoveNext()) {
    const Variant& id = rows->Field(id_column);
    if (id.IsNull()) continue;  // no company_id equals Null
    if (!by_company_.try_emplace(TrimmedText(id), rows_.size()).second) continue;
    std::vector<Variant> values;
    values.reserve(kept.size());
    for (int32_t i : kept) values.push_back(rows->Field(i));
    rows_.push_back(std::move(values));
  }
}

CompanyRows CompanyRows::Read(const std::shared_ptr<ado::Connection>& connection,
                              const std::string& table, const std::vector<std::string>& keep) {
  const auto shape = helpers::OpenRecordset(connection, "select * from " + table + " where 1 = 0");
  std::string columns;
  for (int32_t i = 0; i < shape->FieldCount(); ++i) {
    const std::string name = shape->FieldName(i);
    const std::string folded = automation::FoldCase(name);
    const bool wanted =
        folded == "company_id" || std::any_of(keep.begin(), keep.end(), [&](const std::string& k) {
          return automation::FoldCase(k) == folded;
        });
    if (!wanted) continue;
    std::string quoted = "\"";
    for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    columns += (columns.empty() ? "" : ", ") + quoted + "\"";
  }
  if (columns.empty()) columns.push_back('*');  // no company_id: the constructor says so
  return CompanyRows(helpers::OpenRecordset(connection, "select " + columns + " from " + table),
                     keep);
}

CompanyRow CompanyRows::Row(const std::string& company_id) const {
  CompanyRow row;
  auto found = by_company_.find(company_id);
  if (found != by_company_.end()) {
    row.values_ = &rows_[found->second];
    row.names_ = &names_;
  }
  return row;
}

Figure WeightedFloor(std::initializer_list<std::pair<double, Figure>> terms, double divisor) {
  double sum = 0;
  for (const auto& [weight, value] : terms) {
    if (!value) return std::nullopt;
    sum += weight * *value;
  }
  return std::floor(sum / divisor);
}

std::string TrimmedText(const Variant& value) {
  if (value.IsNull() || value.IsEmpty()) return std::string();
  std::string text = automation::CStr(value);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool IsDatabaseError(int32_t number) {
  namespace errors = ado::errors;
  return number == errors::kDatabase || number == errors::kDatabaseConnection ||
         number == errors::kRowNotLocated;
}

}  // namespace kestrova
