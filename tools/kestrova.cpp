// kestrova: the system's command line: data-source set-up, demo data, importers and batch
// runs from the shell. Exit status 0 on success; a failure prints one line on stderr.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

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

namespace {

// A text from the command line as a message may show it: control characters as '?', so
// that the message stays one line and cannot write to the terminal.
std::string Printable(std::string_view text) {
  std::string shown(text);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return shown;
}

}  // namespace

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
  // A first word that names no command would be taken for an extra argument.
  if (argc > 1 && argv[1][0] != '-') {
    try {
      app.get_subcommand(argv[1]);
    } catch (const CLI::OptionNotFound&) {
      std::fprintf(stderr, "kestrova: unknown command '%s' (kestrova --help lists them)\n",
                   Printable(argv[1]).c_str());
      return 1;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Help and a command's own exit status pass through; a command line that cannot be
    // taken is one line on stderr and status 1, like every other failure.
    if (e.get_exit_code() == 0 || dynamic_cast<const CLI::RuntimeError*>(&e) != nullptr) {
      return app.exit(e);
    }
    std::fprintf(stderr, "kestrova: %s\n", Printable(e.what()).c_str());
    return 1;
  } catch (const automation::Error& e) {
    std::fprintf(stderr, "kestrova: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kestrova: %s\n", e.what());
    return 1;
  }
  return 0;
}
