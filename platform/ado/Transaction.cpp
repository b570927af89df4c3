#include "platform/ado/Transaction.h"

#include <optional>
#include <string>
#include <vector>

#include "platform/automation/Error.h"

namespace ado {

std::optional<std::string> TryExecute(Connection& connection, const std::string& sql,
                                      const std::vector<automation::Variant>& params) {
  Transaction savepoint(connection);
  try {
    connection.Execute(sql, params);
    savepoint.Commit();
    return std::nullopt;
  } catch (const automation::Error& e) {
    return e.Description();
  }
}

}  // namespace ado
