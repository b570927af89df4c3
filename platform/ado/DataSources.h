#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/ado/Engine.h"

namespace ado {

// Where a data source name leads: a SQLite file or a PostgreSQL connection string.
struct DataSource {
  std::string name;
  Engine driver = Engine::kSqlite;
  std::string path;      // sqlite
  std::string conninfo;  // postgresql
};

// The fixed data-source names of the system, in the order they are listed.
const std::vector<std::string>& KnownDataSourceNames();

// $XDG_CONFIG_HOME/Kestrova/datasources.ini: one group per name, with `driver = sqlite` and
// `path`, or `driver = postgresql` and `conninfo`.
std::filesystem::path DataSourcesFile();

// Resolves a name (without regard to case) from the file, or for a known name without an
// entry, the default: a SQLite file $XDG_DATA_HOME/kestrova/<name>.db (LedraMaster shares
// Ledra's). An unknown name, a bad entry or an unreadable file is an automation::Error.
DataSource ResolveDataSource(const std::string& name);

}  // namespace ado
