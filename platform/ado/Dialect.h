#pragma once

#include <string>
#include <string_view>

#include "platform/ado/Driver.h"

namespace ado {

// Adapts statement text to an engine. For PostgreSQL: `?` placeholders become $1, $2, ...
// and the type name `datetime` becomes `timestamp`. Quoted texts, quoted names and comments
// are left alone. SQLite takes the text as it is.
std::string ToDialect(std::string_view sql, Engine engine);

}  // namespace ado
