#include "tools/ProfileCommand.h"

#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "platform/automation/Dispatch.h"
#include "platform/automation/Registry.h"
#include "platform/automation/Variant.h"
#include "platform/ui/UiHost.h"

namespace tools {

namespace {

struct Options {
  std::string ticker;
  std::string out;
};

void Run(const Options& options) {
  // The console host reads the Save dialog's answer from here: the file, then the end of
  // the input, so a second dialog would be cancelled rather than wait.
  std::istringstream answers(options.out + "\n");
  std::ostringstream prompts;
  ui::ScopedUiHost host(std::make_shared<ui::ConsoleUiHost>(prompts, &answers));
  const automation::ObjectRef profile = automation::CreateObject("Thalmere.PDFProfile");
  profile->CallWith("OpenProfile", options.ticker);
  if (automation::CStr(profile->Get("FileName")).empty()) {
    throw std::runtime_error("no single company has the ticker \"" + options.ticker + "\"");
  }
}

}  // namespace

void AddProfileCommand(CLI::App& app) {
  static Options options;
  CLI::App* command = app.add_subcommand(
      "profile", "Write the one-page company profile of a ticker as a PDF file.");
  command->add_option("ticker", options.ticker, "the ticker")->required();
  command->add_option("--out", options.out, "the PDF file to write")->required();
  command->callback([] {
    try {
      Run(options);
    } catch (const std::exception& e) {
      fmt::print(stderr, "kestrova profile {}: {}\n", options.ticker, e.what());
      throw CLI::RuntimeError(1);
    }
  });
}

}  // namespace tools
