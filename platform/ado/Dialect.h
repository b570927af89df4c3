#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/ado/Driver.h"
#include "platform/automation/Variant.h"

namespace ado {

// Adapts statement text to an engine. For PostgreSQL: `?` placeholders become $1, $2, ...
// and the type name `datetime` becomes `timestamp`. Quoted texts, quoted names and comments
// are left alone. SQLite takes the text as it is.
std::string ToDialect(std::string_view sql, Engine engine);

// Reads a date or time as the engines write it as text: "2003-06-05", "2003-06-05 14:30:00",
// with a "T" before the time, fractional seconds (kept to the millisecond) and a zone suffix
// (ignored: the wall-clock time is kept), a time alone, or any text ParseDate reads.
// Anything else gives nullopt.
std::optional<automation::Date> ParseStoredDate(std::string_view text);

}  // namespace ado
