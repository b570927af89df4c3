#include "tools/CalcCommand.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

#include <fmt/format.h>

#include "ocx/calccomp.h"
#include "ocx/calceva.h"
#include "ocx/calclists.h"
#include "platform/automation/Error.h"
#include "tools/ConsoleTasks.h"

namespace tools {

namespace {

int Run(const std::string& which, const std::function<void(const automation::ObjectRef&)>& run) {
  const auto started = std::chrono::steady_clock::now();
  auto tasks = std::make_shared<ConsoleTasks>(stdout, isatty(fileno(stdout)) != 0);
  try {
    run(tasks);
  } catch (const std::exception& e) {
    tasks.reset();  // ends the progress line
    fmt::print(stderr, "kestrova calc {}: {}\n", which, e.what());
    return 1;
  }
  const bool finished = tasks->done();
  tasks.reset();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!finished) {
    fmt::print(stderr, "kestrova calc {}: the run ended without finishing\n", which);
    return 1;
  }
  fmt::print("took {:.1f} s\n", seconds);
  return 0;
}

}  // namespace

void AddCalcCommand(CLI::App& app) {
  static std::string which;
  CLI::App* calc = app.add_subcommand(
      "calc",
      "Run a batch calculation: composites (si_composite), eva (si_eva) or lists (the chart "
      "lists into tc2klist and listmbrs). A failed run leaves the previous table and exits "
      "with status 1.");
  calc->add_option("run", which, "composites, eva or lists")
      ->required()
      ->check(CLI::IsMember({"composites", "eva", "lists"}));
  calc->callback([] {
    static const std::map<std::string, std::function<void(const automation::ObjectRef&)>> runs = {
        {"composites", kestrova::CalcComposites},
        {"eva", kestrova::CalcEVA},
        {"lists", kestrova::CalcLists},
    };
    auto run = runs.find(which);
    if (run == runs.end()) {
      fmt::print(stderr, "kestrova calc {}: not available yet\n", which);
      throw CLI::RuntimeError(1);
    }
    if (const int status = Run(which, run->second); status != 0) throw CLI::RuntimeError(status);
  });
}

}  // namespace tools
