#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/Engine.h"
#include "platform/ado/Errors.h"
#include "platform/automation/Error.h"
#include "platform/automation/Variant.h"

namespace ado {

// An error of a statement: the engine's message and the statement it came from.
inline automation::Error DatabaseError(std::string_view message, std::string_view sql) {
  return automation::Error(errors::kDatabase,
                           std::string(message) + " [in: " + std::string(sql) + "]");
}

struct Column {
  std::string name;
  automation::VarType type = automation::VarType::kEmpty;  // as the values read back
};

// What one statement gave: its columns and every row (converted to Variants: Null for no
// value, dates as Date), the rows it changed, and, when `keep_raw` was asked for, each row's
// values as the engine holds them, for locating the row again in an update.
struct Result {
  std::vector<Column> columns;
  std::vector<std::vector<automation::Variant>> rows;
  std::vector<std::vector<automation::Variant>> raw_rows;
  int64_t rows_affected = 0;
};

// One open session with a database engine. Statements use `?` placeholders (the driver
// maps them to its own); values are always bound, never spliced into the text. Failures
// throw automation::Error with the engine's message and the statement.
class Driver {
 public:
  virtual ~Driver() = default;
  virtual Engine engine() const = 0;
  virtual Result Run(std::string_view sql, std::span<const automation::Variant> params,
                     bool keep_raw = false) = 0;
  // The hidden column that names a row of a table: "rowid" or "ctid".
  virtual std::string_view RowLocator() const = 0;
};

// Opens a SQLite file; with `create` false a missing file is an error.
std::unique_ptr<Driver> OpenSqlite(const std::string& path, bool create);
// Opens a PostgreSQL session from a libpq connection string.
std::unique_ptr<Driver> OpenPostgres(const std::string& conninfo);

}  // namespace ado
