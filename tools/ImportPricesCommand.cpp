#include "tools/ImportPricesCommand.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include <fmt/format.h>

#include "platform/automation/Error.h"
#include "platform/tc2000/PriceStore.h"
#include "tools/ImportReport.h"
#include "tools/PriceImport.h"

namespace tools {

namespace {

struct Options {
  std::string folder;
  std::string store;
  bool accept_bad_lines = false;
};

int Run(const Options& options) {
  const std::filesystem::path store_path = options.store.empty()
                                               ? tc2000::PriceStore::DefaultPath()
                                               : std::filesystem::path(options.store);
  std::unique_ptr<tc2000::PriceStore> store;
  try {
    store = tc2000::PriceStore::OpenForWriting(store_path);
  } catch (const automation::Error& e) {
    fmt::print(stderr, "kestrova: {}\n", e.what());
    return 1;
  }

  const PriceImportSummary summary = ImportPrices(options.folder, *store, std::cerr,
                                                  {.accept_bad_lines = options.accept_bad_lines});
  std::cerr.flush();
  ImportSummaryText text(fmt::format("Imported into {}:", store_path.string()), 16);
  text.Line("securities.csv", fmt::format("{} securities", summary.securities));
  text.Line("price files", fmt::format("{} ({} bars)", summary.price_files, summary.bars));
  text.Line("chartlists.csv",
            fmt::format("{} lists ({} members)", summary.chart_lists, summary.list_members));
  text.BadLines(summary.bad_lines);
  if (summary.clamped_volumes > 0) {
    text.Line("volumes", fmt::format("{} clamped to 2147483647", summary.clamped_volumes));
  }
  text.FailedFiles(summary.failed_files);
  fmt::print("{}", text.Text());
  return summary.Failed() ? 1 : 0;
}

}  // namespace

void AddImportPricesCommand(CLI::App& app) {
  auto options = std::make_shared<Options>();
  CLI::App* command =
      app.add_subcommand("import-prices", "Import securities, daily bars and chart lists from CSV");
  command
      ->add_option("DIR", options->folder,
                   "Folder of CSV files: securities.csv (Symbol,Name,Active), one SYMBOL.csv "
                   "per security (Date,Open,High,Low,Close,Volume[,Adj Close]) and "
                   "chartlists.csv (List,Type,Symbol)")
      ->required()
      ->check(CLI::ExistingDirectory);
  command->add_option("--store", options->store,
                      "Price store file (default: the installation's store)");
  command->add_flag("--accept-bad-lines", options->accept_bad_lines,
                    "Import the good lines of a price file even when more than a tenth of its "
                    "data lines are bad");
  command->footer(
      "Each file goes in whole or not at all: a price file replaces all bars of its symbol, "
      "chartlists.csv all chart lists.\n"
      "Bad lines are reported on stderr as FILE:LINE: reason and skipped; they alone are "
      "warnings (exit status 0). A price file in which more than a tenth of the data lines are "
      "bad is refused and the symbol's bars stay, unless --accept-bad-lines is given.\n"
      "Exit status 1 when the store cannot be opened or a file could not be imported at all "
      "(bad header, no good rows, too many bad lines, store error).");
  command->callback([options] { throw CLI::RuntimeError(Run(*options)); });
}

}  // namespace tools
