#pragma once

#include <CLI/CLI.hpp>

namespace tools {

// `kestrova demo-data [--companies N] [--years Y] [--seed S] [--end YYYY-MM-DD]
// [--store FILE] [--if-missing]`: replaces the price store with a made-up market drawn from the
// seed (securities, daily bars, chart lists). The same arguments make the same store.
void AddDemoDataCommand(CLI::App& app);

}  // namespace tools
