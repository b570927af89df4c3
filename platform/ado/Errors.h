#pragma once

#include <cstdint>
#include <string>

#include "platform/automation/Error.h"

namespace ado {

// The numbers the data layer reports in automation::Error, as its callers have always seen
// them; the run-time numbers (5, 13, 450, ...) stay in automation::err.
namespace errors {
inline constexpr int32_t kDatabase = -2147217900;            // error in the command text
inline constexpr int32_t kDatabaseConnection = -2147467259;  // unspecified provider failure
inline constexpr int32_t kRowNotLocated = -2147217864;       // row to update no longer found
inline constexpr int32_t kNoCurrentRecord = 3021;            // "Either BOF or EOF is True ..."
inline constexpr int32_t kNotUpdatable = 3251;  // "Current Recordset does not support updating"
inline constexpr int32_t kItemNotFound = 3265;  // field name or ordinal not found
inline constexpr int32_t kObjectClosed = 3704;  // "... not allowed when the object is closed"
inline constexpr int32_t kObjectOpen = 3705;    // "... not allowed when the object is open"
inline constexpr int32_t kConnectionUnusable = 3709;  // "... It is either closed or invalid ..."
}  // namespace errors

// The classic description of a data-layer number; any other number as
// automation::DescriptionOf gives it.
std::string DescriptionOf(int32_t number);

// An error of the data layer: the description of its number, then ": " and the detail when
// there is one.
automation::Error ErrorWithDetail(int32_t number, const std::string& detail);

}  // namespace ado
