#pragma once

#include <CLI/CLI.hpp>

namespace tools {

// `kestrova import-prices DIR [--store FILE]`: imports a folder of CSV files (securities,
// one file of daily bars per symbol, chart lists) into the price store. Exit status 1 when
// the store cannot be opened or a file could not be imported at all; bad lines alone are
// reported and leave it 0.
void AddImportPricesCommand(CLI::App& app);

}  // namespace tools
