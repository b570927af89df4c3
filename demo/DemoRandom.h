#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

// Random numbers for the demo data: the engine is fully specified by the standard, and the
// distributions are written out here, since the library's own ones may differ between
// versions. So the same seed gives the same figures with every standard library; a change to
// anything here changes every demo world drawn from a seed.
namespace demo {

// A well-spread 64-bit value of x (the splitmix64 finaliser): seeds of separate streams drawn
// from one seed and an index.
inline uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

// One random stream. Not safe to share between threads; give each its own stream.
class Random {
 public:
  explicit Random(uint64_t seed) : engine_(seed) {}

  // Uniform in [0, 1).
  double Uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
  // Uniform in [low, high).
  double Uniform(double low, double high) { return low + (high - low) * Uniform(); }
  // Between low and high (both > 0) with a uniform logarithm.
  double LogUniform(double low, double high) {
    return std::exp(Uniform(std::log(low), std::log(high)));
  }
  // True with probability p.
  bool Chance(double p) { return Uniform() < p; }

  // Uniform in [0, n), n > 0, without the bias of a plain remainder.
  uint64_t Below(uint64_t n) {
    const uint64_t limit =
        std::numeric_limits<uint64_t>::max() - std::numeric_limits<uint64_t>::max() % n;
    uint64_t x;
    do {
      x = engine_();
    } while (x >= limit);
    return x % n;
  }
  // Uniform in [low, high], both included.
  int64_t Between(int64_t low, int64_t high) {
    return low + static_cast<int64_t>(Below(static_cast<uint64_t>(high - low) + 1));
  }

  // Standard normal, by the Box–Muller transform (two values per pair of uniforms).
  double Normal() {
    if (has_spare_) {
      has_spare_ = false;
      return spare_;
    }
    const double radius = std::sqrt(-2.0 * std::log(1.0 - Uniform()));
    const double angle = 2.0 * std::numbers::pi * Uniform();
    spare_ = radius * std::sin(angle);
    has_spare_ = true;
    return radius * std::cos(angle);
  }

  // One of the items, which must not be empty; borrowed from `items`.
  template <class T>
  const T& Pick(const std::vector<T>& items) {
    return items[Below(items.size())];
  }

 private:
  std::mt19937_64 engine_;
  bool has_spare_ = false;
  double spare_ = 0;
};

// k distinct items of the pool in random order (all of them when it holds fewer).
template <class T>
std::vector<T> Sample(Random& random, std::vector<T> pool, size_t k) {
  k = std::min(k, pool.size());
  for (size_t i = 0; i < k; ++i) std::swap(pool[i], pool[i + random.Below(pool.size() - i)]);
  pool.resize(k);
  return pool;
}

}  // namespace demo
