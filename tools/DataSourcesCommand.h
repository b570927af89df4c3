#pragma once

#include <CLI/CLI.hpp>

namespace tools {

// `kestrova datasources [--create]`: lists each data source, where it leads and whether it
// opens; --create first makes the SQLite files of those that have none yet.
void AddDataSourcesCommand(CLI::App& app);

}  // namespace tools
