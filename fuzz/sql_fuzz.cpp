// The SQL scanners: the rewriting of statement text for PostgreSQL and the recordset's finder
// of the one table a SELECT reads. Both walk quoted texts, quoted names and comments of
// statements that pages and scripts write.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ado/Dialect.h"
// The table finder lives in the recordset's own file, unexported.
#include "platform/ado/Recordset.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view sql(reinterpret_cast<const char*>(data), size);
  const std::string postgres = ado::ToDialect(sql, ado::Engine::kPostgres);
  if (ado::ToDialect(sql, ado::Engine::kSqlite) != sql) __builtin_trap();
  const std::string table = ado::OneTableOf(sql);
  // A table found is a piece of the statement, never made up.
  if (!table.empty() && table.size() > sql.size()) __builtin_trap();
  (void)postgres;
  return 0;
}
