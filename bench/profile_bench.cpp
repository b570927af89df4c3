// The company profile of 100 demo tickers in one process: milliseconds per profile (its
// queries, the weekly chart and the page), and the weekly chart alone for comparison. The
// demo world (500 companies, 10 years, with composite ratings and EVA figures) is made once
// in $KESTROVA_BENCH_DATA/profile (default /tmp/kestrova-bench/profile) and reused.
//
//   profile_bench [FILE.pdf]   (also keeps the last profile there, for looking at)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdlib.h>
#include <string>
#include <time.h>
#include <vector>

#include "bench/BenchWorld.h"
#include "bench/QuietTasks.h"
#include "bench/Timing.h"
#include "demo/DemoFundamentals.h"
#include "demo/DemoWorld.h"
#include "ocx/calccomp.h"
#include "ocx/calceva.h"
#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/automation/Registry.h"
#include "platform/helpers/library.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/ui/UiHost.h"

namespace {

using Clock = std::chrono::steady_clock;
using automation::Variant;

using bench::QuietTasks;
using bench::Summarise;
using bench::Summary;

// Answers every Save dialog with the same file.
class FixedFileHost : public ui::UiHost {
 public:
  explicit FixedFileHost(std::string file) : file_(std::move(file)) {}
  int32_t MsgBox(std::string_view, int32_t, std::string_view) override { return ui::msgbox::kOk; }
  std::optional<std::string> SaveFileName(const ui::FileDialog&) override { return file_; }
  std::optional<std::string> OpenFileName(const ui::FileDialog&) override { return std::nullopt; }
  std::optional<int32_t> ChooseColor(int32_t) override { return std::nullopt; }

 private:
  std::string file_;
};

std::filesystem::path PrepareWorld() {
  std::filesystem::path home;
  if (bench::PrepareDemoHome("profile", 500, 10, &home)) {
    const auto tasks = std::make_shared<QuietTasks>();
    kestrova::CalcComposites(tasks);
    kestrova::CalcEVA(tasks);
  }
  return home;
}

double CpuMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void Print(const char* what, const Summary& s, size_t count) {
  std::printf("%-44s median %6.2f ms, mean %6.2f, min %6.2f, max %6.2f (%zu)\n", what, s.median,
              s.mean, s.min, s.max, count);
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path home = PrepareWorld();
  std::vector<std::string> tickers;
  {
    const auto fundamentals = ado::Connection::OpenDataSource("SIPStatic");
    const auto rows =
        helpers::OpenRecordset(fundamentals, "select ticker from si_ci order by company_id");
    for (; !rows->EOF_() && tickers.size() < 100; rows->MoveNext()) {
      tickers.push_back(automation::CStr(rows->Field("ticker")));
    }
  }
  const std::string file = argc > 1 ? argv[1] : (home / "profile.pdf").string();
  ui::ScopedUiHost host(std::make_shared<FixedFileHost>(file));
  const automation::ObjectRef profile = automation::CreateObject("Thalmere.PDFProfile");
  profile->CallWith("OpenProfile", tickers.front());  // loads the libraries, warms the fonts

  std::vector<double> profiles, charts;
  const double cpu_started = CpuMilliseconds();
  for (const std::string& ticker : tickers) {
    const auto started = Clock::now();
    profile->CallWith("OpenProfile", ticker);
    profiles.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
  }
  const double cpu_per_profile =
      (CpuMilliseconds() - cpu_started) / static_cast<double>(tickers.size());
  for (const std::string& ticker : tickers) {
    const auto started = Clock::now();
    const automation::ObjectRef chart = automation::CreateObject("Thalmere.PDFChart");
    chart->Let("days", Variant(520));
    chart->Let("Frequency", Variant("weekly"));
    chart->Let("Height", Variant(265));
    chart->Let("Width", Variant(375));
    chart->Let("Symbol", Variant(ticker));
    chart->Get("JPEG");
    charts.push_back(std::chrono::duration<double, std::milli>(Clock::now() - started).count());
  }
  Print("profile (15 queries, weekly chart, page):", Summarise(profiles), profiles.size());
  // On a busy machine the processor time of this process is the steadier figure.
  std::printf("%-44s %6.2f ms\n", "  processor time per profile:", cpu_per_profile);
  Print("  of which the weekly chart alone:", Summarise(charts), charts.size());
  return 0;
}
