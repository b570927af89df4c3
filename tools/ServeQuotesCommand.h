#pragma once

#include <CLI/CLI.hpp>

namespace tools {

// `kestrova serve-quotes --quotes FILE [--port N]`: runs the local quote service on the
// loopback address until interrupted, and prints the port it really listens on (N, or the
// free port taken for 0). A port out of range or in use is one line on stderr and exit 1.
void AddServeQuotesCommand(CLI::App& app);

}  // namespace tools
