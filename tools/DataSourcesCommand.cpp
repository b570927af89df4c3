#include "tools/DataSourcesCommand.h"

#include <fmt/format.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/automation/Error.h"

namespace tools {

namespace {

struct Options {
  bool create = false;
};

std::string Location(const ado::DataSource& source) {
  return source.driver == "sqlite" ? source.path : source.conninfo;
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
      where = source.driver + " " + Location(source);
      auto connection = ado::Connection::Create();
      const bool missing = source.driver == "sqlite" && !std::filesystem::exists(source.path);
      connection->OpenSource(source, options.create);
      connection->Close();
      status = options.create && missing ? "created, opens" : "opens";
    } catch (const automation::Error& e) {
      status = "does not open";
      detail = e.Description();
      ++failures;
    }
    fmt::print("  {:<12} {:<14} {}\n", name, status, where);
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
                    "Create the SQLite files of the data sources that have none yet");
  command->callback([options] { throw CLI::RuntimeError(Run(*options)); });
}

}  // namespace tools
