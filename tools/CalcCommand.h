#pragma once

#include <CLI/CLI.hpp>

namespace tools {

// `kestrova calc composites|eva|lists`: runs a batch calculation from the shell, with the
// status texts and a progress bar on the terminal; exit status 1 with the error on stderr
// when the run fails.
void AddCalcCommand(CLI::App& app);

}  // namespace tools
