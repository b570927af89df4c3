#include "tools/ImportFundamentalsCommand.h"

#include <iostream>
#include <memory>
#include <string>

#include <fmt/format.h>

#include "tools/FundamentalsImport.h"
#include "tools/ImportReport.h"

namespace tools {

namespace {

struct Options {
  std::string folder;
};

int Run(const Options& options) {
  const FundamentalsImportSummary summary = ImportFundamentals(options.folder, std::cerr);
  std::cerr.flush();
  ImportSummaryText text(fmt::format("Imported fundamentals from {}:", options.folder), 14);
  if (summary.tables.empty()) text.Remark("no table stored");
  for (const FundamentalsTableImport& table : summary.tables) {
    text.Line(table.table, fmt::format("{} rows ({})", table.rows, table.source));
  }
  text.BadLines(summary.bad_lines);
  if (summary.skipped_columns > 0) {
    text.Line("columns",
              fmt::format("{} skipped, no column of their table", summary.skipped_columns));
  }
  if (summary.unknown_files > 0) {
    text.Line("unknown", fmt::format("{} files named after no table", summary.unknown_files));
  }
  text.FailedFiles(summary.failed_files);
  fmt::print("{}", text.Text());
  return summary.Failed() ? 1 : 0;
}

}  // namespace

void AddImportFundamentalsCommand(CLI::App& app) {
  auto options = std::make_shared<Options>();
  CLI::App* command =
      app.add_subcommand("import-fundamentals",
                         "Import the fundamentals tables (SIPStatic, SIPDbf, SIPUser) from CSV");
  command
      ->add_option("DIR", options->folder,
                   "Folder of CSV files, one per table, named after it (si_ci.csv, si_isa.csv, "
                   "pfcomp.csv, ...); the header row names the table's columns")
      ->required()
      ->check(CLI::ExistingDirectory);
  command->footer(
      "Each file replaces all rows of its table, in one transaction on the table's data "
      "source: a file that fails leaves the previous rows. Missing tables are created.\n"
      "Columns the file leaves out, and empty fields, are stored as Null; header columns the "
      "table does not have are skipped, with one warning per file. Numbers take a dot for "
      "the decimals; dates are YYYY-MM-DD, YYYYMMDD or M/D/YYYY.\n"
      "Bad lines are reported on stderr as FILE:LINE: reason and skipped; they and skipped "
      "columns alone are warnings (exit status 0).\n"
      "Exit status 1 when a file could not be imported at all (named after no table, a "
      "header without the key, no rows or no good rows, a data source that cannot be opened, "
      "a database error).");
  command->callback([options] { throw CLI::RuntimeError(Run(*options)); });
}

}  // namespace tools
