// Series transforms at the scale of a full price store: 10,000 daily series of 2,000 trading
// days (about eight years of weekdays), compressed to weeks and smoothed by moving averages
// as the weekly and daily charts and the batch calculations do. Every benchmark handles one
// series per iteration, so the time shown is per series and items/s is series per second.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "library/Indicators.h"
#include "library/PriceArray.h"
#include "platform/automation/DateCode.h"
#include "platform/automation/DateTime.h"

namespace {

constexpr int kSeriesCount = 10000;
constexpr int kTradingDays = 2000;

// The weekdays from Monday 4 January 2016 on, as date codes.
std::vector<int32_t> TradingDays() {
  std::vector<int32_t> codes;
  automation::Date day = automation::DateOf(2016, 1, 4);
  while (static_cast<int>(codes.size()) < kTradingDays) {
    if (automation::IsoWeekday(day) <= 5) codes.push_back(automation::DateCode::OfDate(day).Code());
    day = automation::AddDays(day, 1);
  }
  return codes;
}

// Random-walk closes from a fixed seed, so every run measures the same data: daily moves of
// up to ±3 % around a small drift.
std::vector<std::shared_ptr<thalmere::PriceArray>> MakeSeries() {
  const std::vector<int32_t> codes = TradingDays();
  std::vector<std::shared_ptr<thalmere::PriceArray>> all;
  all.reserve(kSeriesCount);
  uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next_unit = [&state] {  // uniform in [0, 1)
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  };
  std::vector<float> closes(kTradingDays);
  for (int s = 0; s < kSeriesCount; ++s) {
    double price = 5 + 95 * next_unit();
    for (float& close : closes) {
      price *= 1.0002 + 0.06 * (next_unit() - 0.5);
      close = static_cast<float>(price);
    }
    auto series = std::make_shared<thalmere::PriceArray>();
    series->AssignDates(codes);
    series->AssignPrices(closes);
    all.push_back(std::move(series));
  }
  return all;
}

const std::vector<std::shared_ptr<thalmere::PriceArray>>& AllSeries() {
  static const auto all = MakeSeries();
  return all;
}

const thalmere::PriceArray& NextSeries(size_t& at) {
  const auto& all = AllSeries();
  const thalmere::PriceArray& series = *all[at];
  at = at + 1 == all.size() ? 0 : at + 1;
  return series;
}

void BM_CompressWeekly(benchmark::State& state) {
  size_t at = 0;
  for (auto _ : state) benchmark::DoNotOptimize(NextSeries(at).Compress(1, 4));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CompressWeekly);

void BM_DailyMovingAverage(benchmark::State& state) {
  const thalmere::Indicators indicators;
  const auto days = static_cast<int32_t>(state.range(0));
  size_t at = 0;
  for (auto _ : state) benchmark::DoNotOptimize(indicators.MA(NextSeries(at), days));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DailyMovingAverage)->Arg(50)->Arg(200);

// What a weekly chart asks for: the weekly closes and their 10- and 40-week averages.
void BM_WeeklyWithTwoAverages(benchmark::State& state) {
  const thalmere::Indicators indicators;
  size_t at = 0;
  for (auto _ : state) {
    const auto weekly = NextSeries(at).Compress(1, 4);
    benchmark::DoNotOptimize(indicators.MA(*weekly, 10));
    benchmark::DoNotOptimize(indicators.MA(*weekly, 40));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WeeklyWithTwoAverages);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("%zu series of %d trading days each\n", AllSeries().size(), kTradingDays);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
