// The percentile passes of one composite rating run over 10,000 companies: seven over whole
// numbers 1..99 (the weighted ranks and the score, many ties), one over a wider range (the
// accumulation/distribution trend), each with about 2 % Nulls. The eight together are one
// iteration. For comparison: one pass by the quadratic exchange sort itself, and the fast
// pass on inputs that are hard for an exchange sort (long descending runs) and on more
// entries.
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "ocx/Percentiles.h"

namespace {

using Values = std::vector<std::optional<double>>;

constexpr size_t kCompanies = 10000;

Values WholeNumbers(size_t n, int low, int high, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<int> value(low, high);
  std::uniform_real_distribution<double> unit(0, 1);
  Values values(n);
  for (auto& v : values) {
    if (unit(rng) >= 0.02) v = value(rng);
  }
  return values;
}

const std::vector<Values>& EightPasses() {
  static const std::vector<Values> passes = [] {
    std::vector<Values> all;
    for (uint64_t seed = 1; seed <= 7; ++seed) all.push_back(WholeNumbers(kCompanies, 1, 99, seed));
    all.push_back(WholeNumbers(kCompanies, -50000, 50000, 8));
    return all;
  }();
  return passes;
}

void BM_EightPasses(benchmark::State& state) {
  for (auto _ : state) {
    for (const Values& values : EightPasses()) {
      benchmark::DoNotOptimize(kestrova::ExchangeSortPercentiles(values));
    }
  }
  state.SetItemsProcessed(state.iterations() * 8 * kCompanies);
}
BENCHMARK(BM_EightPasses)->Unit(benchmark::kMillisecond);

void BM_OnePassLiteral(benchmark::State& state) {
  const Values& values = EightPasses().front();
  for (auto _ : state) benchmark::DoNotOptimize(kestrova::ExchangeSortPercentilesLiteral(values));
  state.SetItemsProcessed(state.iterations() * kCompanies);
}
BENCHMARK(BM_OnePassLiteral)->Unit(benchmark::kMillisecond);

// Strictly descending values, and descending runs of 100 (every pass of the exchange sort
// moves a long chain of entries).
void BM_OnePassDescending(benchmark::State& state) {
  const size_t run = static_cast<size_t>(state.range(0));
  Values values(kCompanies);
  for (size_t i = 0; i < kCompanies; ++i) values[i] = static_cast<double>(run - i % run);
  for (auto _ : state) benchmark::DoNotOptimize(kestrova::ExchangeSortPercentiles(values));
  state.SetItemsProcessed(state.iterations() * kCompanies);
}
BENCHMARK(BM_OnePassDescending)->Arg(kCompanies)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_OnePassWholeNumbers(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const Values values = WholeNumbers(n, 1, 99, 9);
  for (auto _ : state) benchmark::DoNotOptimize(kestrova::ExchangeSortPercentiles(values));
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_OnePassWholeNumbers)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
