#pragma once

#include <CLI/CLI.hpp>

namespace tools {

// `kestrova demo-data [--companies N] [--years Y] [--seed S] [--end YYYY-MM-DD]
// [--store FILE] [--if-missing] [--no-fundamentals]`: replaces the price store with a made-up
// market drawn from the seed (securities, daily bars, chart lists), then the fundamentals
// database (SIPStatic, SIPDbf, SIPUser) with the same companies' statements, ratios, ranks and
// portfolios. The same arguments make the same data.
void AddDemoDataCommand(CLI::App& app);

}  // namespace tools
