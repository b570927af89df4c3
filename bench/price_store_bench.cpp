// The price server and Quotes over a store of 10,000 symbols with 10 years of daily bars:
// the latest 100 bars of a random symbol (store, late-bound server call, Quotes load), a
// one-year window load and a one-day window load. The store is made once in $KESTROVA_BENCH_DATA
// (default /tmp/kestrova-bench) and reused by later runs.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdlib.h>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "library/Quotes.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Registry.h"
#include "platform/helpers/library.h"
#include "platform/tc2000/PriceStore.h"

namespace {

constexpr int kSymbols = 10000;
constexpr int kYears = 10;

std::string SymbolOf(int k) { return "S" + std::to_string(k); }

std::filesystem::path BenchHome() {
  const char* dir = getenv("KESTROVA_BENCH_DATA");
  return dir && *dir ? dir : "/tmp/kestrova-bench";
}

// Random walks on every weekday of the last kYears years up to 2026-12-02.
void MakeStore(const std::filesystem::path& path) {
  std::fprintf(stderr, "making %s (%d symbols x %d years) ...\n", path.c_str(), kSymbols, kYears);
  const auto started = std::chrono::steady_clock::now();
  std::vector<int32_t> days;
  const automation::Date last = automation::DateOf(2026, 12, 2);
  for (automation::Date d = automation::AddDays(last, -365 * kYears); d.value <= last.value;
       d = automation::AddDays(d, 1)) {
    if (automation::IsoWeekday(d) <= 5) days.push_back(helpers::LongFromDate(d));
  }
  const auto partial = path.string() + ".partial";
  std::filesystem::remove(partial);
  {
    auto store = tc2000::PriceStore::OpenForWriting(partial);
    std::mt19937 random(42);
    std::uniform_real_distribution<float> step(-0.02f, 0.02f);
    std::vector<tc2000::Bar> bars(days.size());
    for (int k = 0; k < kSymbols; ++k) {
      if (k % 500 == 0) store->Begin();
      const int32_t worden =
          store->UpsertSecurity(SymbolOf(k), "Company " + std::to_string(k), true);
      float close = 20 + static_cast<float>(k % 100);
      for (size_t i = 0; i < days.size(); ++i) {
        const float open = close;
        close = open * (1 + step(random));
        bars[i] = {days[i],
                   open,
                   std::max(open, close) * 1.01f,
                   std::min(open, close) * 0.99f,
                   close,
                   100000 + static_cast<int32_t>(random() % 50000)};
      }
      store->ReplaceBars(worden, bars);
      if (k % 500 == 499) store->Commit();
    }
  }
  std::filesystem::rename(partial, path);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::fprintf(stderr, "made in %.1f s, %.0f MB\n", seconds,
               static_cast<double>(std::filesystem::file_size(path)) / 1e6);
}

void PrepareHome() {
  const auto home = BenchHome();
  setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  const auto path = tc2000::PriceStore::DefaultPath();
  std::filesystem::create_directories(path.parent_path());
  if (!std::filesystem::exists(path)) MakeStore(path);
}

void BM_StoreLatest100Bars(benchmark::State& state) {
  auto store = tc2000::PriceStore::OpenForReading(tc2000::PriceStore::DefaultPath());
  store->KeepSnapshot(state.range(0) != 0);
  std::mt19937 random(7);
  for (auto _ : state) {
    benchmark::DoNotOptimize(store->LatestBars(1 + static_cast<int32_t>(random() % kSymbols), 100));
  }
  state.SetItemsProcessed(state.iterations());
}
// 0: each read a transaction of its own (a plain reader); 1: the snapshot kept between reads
// while the store is unchanged (the price server's reader).
BENCHMARK(BM_StoreLatest100Bars)->Arg(0)->Arg(1);

void BM_ServerGetPrices100(benchmark::State& state) {
  auto server = automation::CreateObject("TC2000Dev.cTC2000");
  std::mt19937 random(7);
  std::vector<automation::Variant> args(8);
  for (auto _ : state) {
    args[0] = 1 + static_cast<int32_t>(random() % kSymbols);
    args[7] = int32_t{100};
    server->Call("GetPrices", args);
    benchmark::DoNotOptimize(args[6]);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ServerGetPrices100);

// What a batch run pays per company: the symbol's lookup, its active flag, the bars.
void BM_QuotesLoad100Days(benchmark::State& state) {
  thalmere::Quotes quotes;
  quotes.SetDays(100);
  std::mt19937 random(7);
  for (auto _ : state) {
    quotes.SetSymbol(SymbolOf(static_cast<int>(random() % kSymbols)));
    benchmark::DoNotOptimize(quotes.Count());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QuotesLoad100Days);

void BM_QuotesOneYearWindow(benchmark::State& state) {
  thalmere::Quotes quotes;
  quotes.SetStartDate(automation::DateOf(2024, 1, 1));
  quotes.SetEndDate(automation::DateOf(2024, 12, 31));
  std::mt19937 random(7);
  for (auto _ : state) {
    quotes.SetSymbol(SymbolOf(static_cast<int>(random() % kSymbols)));
    benchmark::DoNotOptimize(quotes.Count());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QuotesOneYearWindow);

// What the EVA run pays for one closing-price look-up: a one-day window a year back.
void BM_QuotesOneDayWindow(benchmark::State& state) {
  thalmere::Quotes quotes;
  quotes.SetStartDate(automation::DateOf(2025, 12, 2));
  quotes.SetEndDate(automation::DateOf(2025, 12, 2));
  std::mt19937 random(7);
  for (auto _ : state) {
    quotes.SetSymbol(SymbolOf(static_cast<int>(random() % kSymbols)));
    benchmark::DoNotOptimize(quotes.Count());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QuotesOneDayWindow);

void BM_QuotesCloseSeries(benchmark::State& state) {
  thalmere::Quotes quotes;
  quotes.SetDays(100);
  quotes.SetSymbol(SymbolOf(1));
  for (auto _ : state) benchmark::DoNotOptimize(quotes.GetArray("C"));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QuotesCloseSeries);

}  // namespace

int main(int argc, char** argv) {
  PrepareHome();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
