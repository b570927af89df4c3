// The start page's server side over a demo world of 10,000 companies: the navigator control's
// load (every active ticker, the chart lists, the portfolios) and its whole state as the page
// receives it first, a chart list opened, and the company page's figures. Medians of several
// runs, in milliseconds. The world (10,000 companies, 2 years, with composite ratings) is made
// once in $KESTROVA_BENCH_DATA/navigator (default /tmp/kestrova-bench/navigator) and reused;
// bench/pages_bench.mjs times the same pages in the browser over it.
//
//   navigator_bench [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdlib.h>
#include <string>
#include <vector>

#include "bench/BenchWorld.h"
#include "bench/QuietTasks.h"
#include "demo/DemoFundamentals.h"
#include "demo/DemoWorld.h"
#include "ocx/calccomp.h"
#include "ocx/ctlHierarchicalNav.h"
#include "platform/ado/Connection.h"
#include "platform/automation/Registry.h"
#include "platform/helpers/library.h"
#include "platform/tc2000/PriceStore.h"
#include "web/CompanyPages.h"
#include "web/VariantJson.h"

namespace {

using Clock = std::chrono::steady_clock;

using bench::QuietTasks;

void PrepareWorld() {
  if (bench::PrepareDemoHome("navigator", 10000, 2)) {
    kestrova::CalcComposites(std::make_shared<QuietTasks>());
  }
}

// The median of `runs` timings of `work`, in milliseconds.
double MedianMs(int runs, const std::function<void()>& work) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto started = Clock::now();
    work();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  PrepareWorld();

  size_t tickers = 0, state_bytes = 0;
  std::shared_ptr<kestrova::ctlHierarchicalNav> nav;
  const double load = MedianMs(runs, [&] {
    if (nav) nav->Close();
    nav = std::make_shared<kestrova::ctlHierarchicalNav>();
  });
  if (!nav->loaded()) {
    std::fprintf(stderr, "navigator_bench: the navigator did not load: %s\n",
                 automation::CStr(nav->State()["UserControl"]["error"]).c_str());
    return 1;
  }
  tickers = static_cast<size_t>(nav->State()["cmbTicker"]["items"].Array().Size());
  const double state =
      MedianMs(runs, [&] { state_bytes = web::StateJson(nav->State()).dump().size(); });
  std::printf("navigator load (Load_FlyNav, %zu active tickers): %8.1f ms\n", tickers, load);
  std::printf("navigator state as JSON (%zu KB):                 %8.1f ms\n", state_bytes / 1024,
              state);
  std::printf(
      "  to the first paint, server side:                %8.1f ms (target 150 in the page)\n",
      load + state);

  // Where the load goes: the price server's symbols, and the active flag asked per symbol.
  {
    const automation::ObjectRef server = automation::CreateObject("TC2000Dev.cTC2000");
    automation::Variant args[] = {automation::Variant(), automation::Variant()};
    const double symbols = MedianMs(runs, [&] { server->Call("GetSymbols", args); });
    const automation::SafeArray& numbers = args[1].Array();
    const double active = MedianMs(runs, [&] {
      for (int32_t k = 1; k <= numbers.UpperBound(); ++k) {
        server->CallWith("StockIsActive", numbers.Element(k));
      }
    });
    std::printf("  of which GetSymbols:                            %8.1f ms\n", symbols);
    std::printf("  of which StockIsActive for every symbol:        %8.1f ms\n", active);
  }

  // The first industry list opened, on a fresh control each time (a second click only expands).
  std::vector<double> list_ms;
  for (int i = 0; i < runs; ++i) {
    auto fresh = std::make_shared<kestrova::ctlHierarchicalNav>();
    automation::Variant list(int32_t{2}), node(int32_t{1});
    const auto started = Clock::now();
    fresh->AssignSymbols(list, node);
    list_ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
    fresh->Close();
  }
  std::sort(list_ms.begin(), list_ms.end());
  std::printf("a chart list's members (list 2):                  %8.1f ms\n",
              list_ms[list_ms.size() / 2]);

  // The company page's figures for tickers spread over the world.
  auto fundamentals = ado::Connection::OpenDataSource("SIPStatic");
  auto rows = helpers::OpenRecordset(fundamentals, "select ticker from si_ci order by ticker");
  std::vector<std::string> sample;
  for (int i = 0; !rows->EOF_(); rows->MoveNext(), ++i) {
    if (i % 500 == 0) sample.push_back(automation::CStr(rows->Field("ticker")));
  }
  size_t at = 0;
  const double company = MedianMs(static_cast<int>(sample.size()),
                                  [&] { web::CompanyJson(sample[at++ % sample.size()]); });
  std::printf("company page figures (/api/company, %zu tickers):  %8.1f ms\n", sample.size(),
              company);
  nav->Close();
  return 0;
}
