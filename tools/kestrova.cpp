// kestrova: the system's command line: data-source set-up, demo data, importers and batch
// runs from the shell. Exit status 0 on success; a failure prints one line on stderr.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

#include "platform/automation/Error.h"
#include "tools/BackupCommand.h"
#include "tools/CalcCommand.h"
#include "tools/ChartCommand.h"
#include "tools/DataSourcesCommand.h"
#include "tools/DemoDataCommand.h"
#include "tools/ImportFundamentalsCommand.h"
#include "tools/ImportPricesCommand.h"
#include "tools/ProfileCommand.h"
#include "tools/ServeQuotesCommand.h"

int main(int argc, char** argv) {
  CLI::App app{"Kestrova stock-research toolkit"};
  app.require_subcommand(1);
  tools::AddBackupCommands(app);
  tools::AddCalcCommand(app);
  tools::AddChartCommand(app);
  tools::AddDataSourcesCommand(app);
  tools::AddDemoDataCommand(app);
  tools::AddImportFundamentalsCommand(app);
  tools::AddImportPricesCommand(app);
  tools::AddProfileCommand(app);
  tools::AddServeQuotesCommand(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  } catch (const automation::Error& e) {
    std::fprintf(stderr, "kestrova: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kestrova: %s\n", e.what());
    return 1;
  }
  return 0;
}
