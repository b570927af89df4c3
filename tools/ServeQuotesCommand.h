#pragma once

#include <CLI/CLI.hpp>

namespace tools {

// `kestrova serve-quotes --quotes FILE [--port N]`: runs the local quote service on the
// loopback address until interrupted.
void AddServeQuotesCommand(CLI::App& app);

}  // namespace tools
