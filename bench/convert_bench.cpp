// Throughput of the run-time conversions and of regional number formatting.
#include <cstdlib>

#include <benchmark/benchmark.h>

#include "platform/automation/Convert.h"
#include "platform/automation/Regional.h"

namespace {

void BM_CLngFromText(benchmark::State& state) {
  const automation::Variant text("  1234567 ");
  for (auto _ : state) benchmark::DoNotOptimize(automation::CLng(text));
}
BENCHMARK(BM_CLngFromText);

void BM_CSngFromDouble(benchmark::State& state) {
  const automation::Variant value(125.25);
  for (auto _ : state) benchmark::DoNotOptimize(automation::CSng(value));
}
BENCHMARK(BM_CSngFromDouble);

void BM_CStrOfSingle(benchmark::State& state) {
  const automation::Variant value(125.5f);
  for (auto _ : state) benchmark::DoNotOptimize(automation::CStr(value));
}
BENCHMARK(BM_CStrOfSingle);

void BM_FormatNumberGrouped(benchmark::State& state) {
  setenv("LC_ALL", "en_US.UTF-8", 1);
  for (auto _ : state) benchmark::DoNotOptimize(automation::FormatNumber(5349200.0f, 2));
}
BENCHMARK(BM_FormatNumberGrouped);

void BM_FormatPercent(benchmark::State& state) {
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  for (auto _ : state) benchmark::DoNotOptimize(automation::FormatPercent(0.0125f, 1));
}
BENCHMARK(BM_FormatPercent);

}  // namespace

BENCHMARK_MAIN();
