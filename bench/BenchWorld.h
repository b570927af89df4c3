#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "demo/DemoFundamentals.h"
#include "demo/DemoWorld.h"
#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/tc2000/PriceStore.h"

namespace bench {

// The demo world of the benchmarks: `companies` × `years`, seed 1, ending 4 Dec 2026.
inline demo::DemoOptions BenchDemoOptions(int companies, int years) {
  demo::DemoOptions options;
  options.companies = companies;
  options.years = years;
  options.seed = 1;
  options.end_date = 20261204;
  return options;
}

// The home of one benchmark, $KESTROVA_BENCH_DATA/<name> (default /tmp/kestrova-bench/<name>),
// made the process's settings and data folders, with the system database opened once so it
// exists. A demo world of `companies` × `years` (BenchDemoOptions) is made there
// unless one is there already, so later runs reuse it. Returns true when it was made now.
inline bool PrepareDemoHome(const std::string& name, int companies, int years,
                            std::filesystem::path* home_out = nullptr) {
  const char* dir = std::getenv("KESTROVA_BENCH_DATA");
  const std::filesystem::path home =
      std::filesystem::path(dir && *dir ? dir : "/tmp/kestrova-bench") / name;
  if (home_out != nullptr) *home_out = home;
  setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  std::filesystem::create_directories(home / "config");
  ado::Connection::Create()->OpenSource(ado::ResolveDataSource("Ledra"), /*create=*/true);
  const auto store = tc2000::PriceStore::DefaultPath();
  if (std::filesystem::exists(store) && demo::HasFundamentals()) return false;
  std::printf("making the demo world (%d companies, %d years) in %s ...\n", companies, years,
              home.c_str());
  std::fflush(stdout);
  const demo::DemoWorld world = demo::MakeDemoWorld(BenchDemoOptions(companies, years));
  demo::WriteDemoStore(world, store);
  demo::WriteDemoFundamentals(world);
  return true;
}

}  // namespace bench
