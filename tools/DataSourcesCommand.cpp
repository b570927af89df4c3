#include "tools/DataSourcesCommand.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/ado/SystemDatabase.h"
#include "platform/automation/Error.h"
#include "platform/automation/Text.h"

namespace tools {

namespace {

struct Options {
  bool create = false;
};

std::string Location(const ado::DataSource& source) {
  return source.driver == ado::Engine::kSqlite ? source.path : source.conninfo;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

int Run(const Options& options) {
  const std::filesystem::path file = ado::DataSourcesFile();
  fmt::print("Data sources ({}):\n", std::filesystem::exists(file)
                                         ? file.string()
                                         : "defaults; no " + file.string() + " yet");
  int failures = 0;
  for (const std::string& name : ado::KnownDataSourceNames()) {
    std::string where = "?", status, detail;
    try {
      const ado::DataSource source = ado::ResolveDataSource(name);
      where = std::string(ado::EngineName(source.driver)) + " " + Location(source);
      const bool missing =
          source.driver == ado::Engine::kSqlite && !std::filesystem::exists(source.path);
      if (missing && !options.create && ado::HasDefaultLocation(source)) {
        status = "made on first use";
      } else {
        const bool made = options.create && missing && ado::CreateSqliteFile(source);
        auto connection = ado::Connection::Create();
        connection->OpenSource(source, false);
        status = made ? "created, opens" : "opens";
        // The system database gets the tables it lacks, on either engine.
        if (options.create && automation::FoldCase(source.name) == "ledra") {
          const std::vector<std::string> tables = ado::CreateMissingSystemTables(*connection);
          if (!tables.empty()) detail = "created tables " + Joined(tables);
        }
        connection->Close();
      }
    } catch (const automation::Error& e) {
      status = "does not open";
      detail = e.Description();
      ++failures;
    }
    fmt::print("  {:<12} {:<17} {}\n", name, status, where);
    if (!detail.empty()) fmt::print("  {:<12} {}\n", "", detail);
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace

void AddDataSourcesCommand(CLI::App& app) {
  auto options = std::make_shared<Options>();
  CLI::App* command =
      app.add_subcommand("datasources", "List the data sources and whether each one opens");
  command->add_flag("--create", options->create,
                    "Create the SQLite files of the data sources that have none yet, and the "
                    "tables the system database lacks");
  command->callback([options] { throw CLI::RuntimeError(Run(*options)); });
}

}  // namespace tools
