#pragma once

#include <CLI/CLI.hpp>

namespace tools {

// `kestrova import-fundamentals DIR`: imports a folder of CSV files, one per fundamentals
// table (si_ci.csv, si_isa.csv, ...), into the data sources SIPStatic, SIPDbf and SIPUser.
// Exit status 1 when a file could not be imported at all (a name that is no table, a bad
// header, a data source that cannot be opened, a database error); bad lines alone are
// reported and leave it 0.
void AddImportFundamentalsCommand(CLI::App& app);

}  // namespace tools
