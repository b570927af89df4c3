#pragma once

#include <CLI/CLI.hpp>

namespace tools {

// `kestrova backup FILE` and `kestrova restore FILE`: back up the system database (data
// source Ledra) to FILE, or restore it from FILE, as the maintenance page does. A failure is
// the page's message, printed on stdout, and exit status 1; success prints where the backup
// went or came from.
void AddBackupCommands(CLI::App& app);

}  // namespace tools
