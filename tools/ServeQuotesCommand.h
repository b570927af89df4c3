#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace tools {

// `kestrova serve-quotes --quotes FILE [--port N]`: runs the local quote service on the
// loopback address until interrupted, and prints the port it really listens on (N, or the
// free port taken for 0). A port out of range or in use is one line on stderr and exit 1.
void AddServeQuotesCommand(CLI::App& app);

// The service runs in a module of its own, loaded by the command: its file name, and its
// entry point, `extern "C" int (const char* quotes_file, int port)`, which serves until
// interrupted and gives the exit status.
inline constexpr const char* kServeQuotesModuleFile = "libkestrova_serve_quotes.so";
inline constexpr const char* kServeQuotesEntry = "kestrova_serve_quotes";

// What the module runs.
int Serve(const std::string& quotes_file, int port);

}  // namespace tools
