#include "ocx/Percentiles.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <utility>

namespace kestrova {

namespace {

// Where the exchange sort leaves things, without running it:
//
// 1. An entry without a value never moves (no comparison with it swaps), and a pass that
//    starts on it does nothing. The entries with values are sorted among themselves, in the
//    places the Nulls leave free.
// 2. A pass moves the chain of strictly falling running minima that starts at its position:
//    each member goes to the place of the next one, and the last, the first occurrence of the
//    smallest value left, comes to the front. So the values end up in ascending order, and
//    only the order of equal values needs working out.
// 3. Take one value x. A larger value only ever jumps over values at least as large as
//    itself, so the entries <= x keep their order among themselves through everything the
//    larger ones do and go through exactly the passes of an exchange sort of their own. In
//    that sort, call the entries equal to x X and the smaller ones L. Every pass takes out
//    the first L: either it stands first and is the chain, or the chain runs from the first
//    entry (an X) to the first L and down through L's only. The places of the other L's stay
//    L's. And when an X stands first, it takes the first L's place, behind the X's that stood
//    before that L.
//
// So the X's leave the sort in the order of a queue that reads the entries <= x in their
// first order: an X joins at the back, and an L, when the queue is not empty, sends the
// front X to the back. The queue is kept as a circle with a moving front: joining is an
// insertion just before the front, and r L's in a row move the front r places on. Where each
// X goes in depends only on counts (a Fenwick tree gives the L's between two X's), so the
// whole run takes O(n log n) whatever the order of the values, where the exchange sort
// itself moves about n^2 / 4 entries on distinct values in random order.

// The percentile that the walk deals to sorted place `slot` of `n`.
int32_t PercentileAt(size_t slot, size_t n) {
  const size_t bucket = n / 99;
  if (bucket == 0) return 1;  // the counter starts at 0 and goes down, never back to 0
  return static_cast<int32_t>(std::min<size_t>(slot / bucket + 1, 99));
}

bool HasComparableValue(const std::optional<double>& value) {
  return value.has_value() && !std::isnan(*value);
}

// An entry with a value, by its place among the entries with values (its index).
struct Entry {
  uint64_t key;
  size_t index;
};

// An unsigned key in the order of the values (no NaN); both zeros get the same key.
uint64_t SortKey(double value) {
  const uint64_t bits = std::bit_cast<uint64_t>(value == 0 ? 0.0 : value);
  return (bits >> 63) != 0 ? ~bits : bits | (uint64_t{1} << 63);
}

// Sorts by key and keeps the order of equal keys: a radix sort, least significant byte first,
// that skips the bytes all keys share (most of them for whole numbers). On the many ties of
// percentile-like figures it is several times faster than a comparison sort.
void SortByKey(std::vector<Entry>& entries) {
  std::array<std::array<uint32_t, 256>, 8> counts{};
  for (const Entry& e : entries) {
    for (int byte = 0; byte < 8; ++byte) ++counts[byte][(e.key >> (8 * byte)) & 0xFF];
  }
  std::vector<Entry> sorted(entries.size());
  for (int byte = 0; byte < 8; ++byte) {
    std::array<uint32_t, 256>& next = counts[byte];
    if (std::find(next.begin(), next.end(), entries.size()) != next.end()) continue;
    uint32_t start = 0;
    for (uint32_t& slot : next) start += std::exchange(slot, start);
    for (const Entry& e : entries) sorted[next[(e.key >> (8 * byte)) & 0xFF]++] = e;
    entries.swap(sorted);
  }
}

// Counts of marked places among 0..size-1 (a Fenwick tree).
class MarkedPlaces {
 public:
  explicit MarkedPlaces(size_t size) : tree_(size + 1, 0) {}

  void Mark(size_t place) {
    for (size_t i = place + 1; i < tree_.size(); i += i & (~i + 1)) ++tree_[i];
  }

  // How many marked places lie before `place`.
  size_t CountBefore(size_t place) const {
    size_t count = 0;
    for (size_t i = place; i > 0; i -= i & (~i + 1)) count += tree_[i];
    return count;
  }

 private:
  std::vector<uint32_t> tree_;
};

// Slots 0..size-1, all free at first; Take(k) occupies the k-th free one (from 0) and says
// which it is. The tree is padded to a power of two with slots that are never free, so the
// search needs no bounds checks.
class FreeSlots {
 public:
  void Reset(size_t size) {
    top_ = std::bit_ceil(std::max<size_t>(size, 1));
    tree_.resize(top_ + 1);
    for (size_t i = 1; i <= top_; ++i) {
      const size_t low = i - (i & (~i + 1));
      tree_[i] = static_cast<uint32_t>(std::min(i, size) - std::min(low, size));
    }
  }

  size_t Take(size_t k) {
    size_t at = 0;
    size_t rest = k + 1;
    for (size_t step = top_ / 2; step > 0; step /= 2) {
      const size_t free = tree_[at + step];
      const bool past = free < rest;
      at += past ? step : 0;
      rest -= past ? free : 0;
    }
    for (size_t i = at + 1; i <= top_; i += i & (~i + 1)) --tree_[i];
    return at;
  }

 private:
  std::vector<uint32_t> tree_;
  size_t top_ = 1;
};

// The queue of step 3 above for the entries of one value.
class EqualValueQueue {
 public:
  // `equal`: the entries of one value in index order; `smaller` marks the entries with
  // smaller values, `smaller_total` of them. Returns, for the k-th entry of `equal`, its
  // place among them when the sort is done.
  const std::vector<size_t>& Run(std::span<const Entry> equal, const MarkedPlaces& smaller,
                                 size_t smaller_total) {
    const size_t size = equal.size();
    inserted_at_.resize(size);
    size_t front = 0;
    size_t smaller_so_far = 0;
    for (size_t k = 0; k < size; ++k) {
      const size_t smaller_before = smaller.CountBefore(equal[k].index);
      if (k > 0) {
        front += smaller_before - smaller_so_far;
        if (front >= k) front %= k;
      }
      smaller_so_far = smaller_before;
      inserted_at_[k] = front;
      front = k == 0 ? 0 : front + 1;  // the new X is last, the old front first again
    }
    front = (front + (smaller_total - smaller_so_far)) % size;  // the L's after the last X

    // Build the circle. For up to a few hundred X's, inserting into an array is fastest;
    // beyond that it turns quadratic, so the circle is put together backwards instead: the
    // last X takes the slot its insertion index names, each earlier one the free slot its
    // index names among those left.
    places_.resize(size);
    auto rotate = [front, size](size_t slot) {
      return slot >= front ? slot - front : slot + size - front;
    };
    if (size <= 256) {
      circle_.clear();
      for (size_t k = 0; k < size; ++k) {
        circle_.insert(circle_.begin() + static_cast<ptrdiff_t>(inserted_at_[k]), k);
      }
      for (size_t slot = 0; slot < size; ++slot) places_[circle_[slot]] = rotate(slot);
    } else {
      free_slots_.Reset(size);
      for (size_t k = size; k-- > 0;) places_[k] = rotate(free_slots_.Take(inserted_at_[k]));
    }
    return places_;
  }

 private:
  std::vector<size_t> inserted_at_;
  std::vector<size_t> circle_;
  FreeSlots free_slots_;
  std::vector<size_t> places_;
};

// Tells the caller's callback the steps done in whole strides of about 3 % of the total
// (a jump over several strides reports each of them), then the total at the end.
class ProgressReporter {
 public:
  ProgressReporter(const std::function<void(int64_t)>& callback, int64_t total)
      : callback_(callback), total_(total), stride_(std::max<int64_t>(1, total / 32)) {}

  void Reach(int64_t done) {
    if (!callback_) return;
    for (; next_ <= done && next_ < total_; next_ += stride_) callback_(next_);
  }

  void Finish() {
    if (callback_) callback_(total_);
  }

 private:
  const std::function<void(int64_t)>& callback_;
  int64_t total_;
  int64_t stride_;
  int64_t next_ = stride_;
};

}  // namespace

std::vector<int32_t> ExchangeSortPercentiles(std::span<const std::optional<double>> values,
                                             const std::function<void(int64_t)>& progress) {
  const size_t n = values.size();
  const int64_t sort_steps = n == 0 ? 0 : static_cast<int64_t>(n) - 1;
  ProgressReporter reporter(progress, n == 0 ? 0 : 2 * static_cast<int64_t>(n) - 1);

  // places[index]: where the entry with that index stands in the list.
  std::vector<size_t> places;
  places.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    if (HasComparableValue(values[i])) places.push_back(i);
  }
  const size_t m = places.size();
  std::vector<Entry> ascending(m);
  for (size_t index = 0; index < m; ++index) {
    ascending[index] = {SortKey(*values[places[index]]), index};
  }
  SortByKey(ascending);

  // rank[index]: the entry's place in the sorted order of the entries with values.
  std::vector<size_t> rank(m);
  MarkedPlaces smaller(m);
  EqualValueQueue queue;
  for (size_t begin = 0; begin < m;) {
    size_t end = begin + 1;
    while (end < m && ascending[end].key == ascending[begin].key) ++end;
    const std::span<const Entry> equal(ascending.data() + begin, end - begin);
    if (equal.size() == 1) {
      rank[equal[0].index] = begin;
    } else {
      const std::vector<size_t>& order = queue.Run(equal, smaller, begin);
      for (size_t k = 0; k < equal.size(); ++k) rank[equal[k].index] = begin + order[k];
    }
    for (const Entry& e : equal) smaller.Mark(e.index);
    reporter.Reach(sort_steps * static_cast<int64_t>(end) / static_cast<int64_t>(m));
    begin = end;
  }

  // final_place[i]: where entry i stands after the sort; the walk deals by that place.
  std::vector<size_t> final_place(n);
  std::iota(final_place.begin(), final_place.end(), size_t{0});
  for (size_t index = 0; index < m; ++index) final_place[places[index]] = places[rank[index]];
  std::vector<int32_t> percentiles(n);
  for (size_t i = 0; i < n; ++i) {
    percentiles[i] = PercentileAt(final_place[i], n);
    reporter.Reach(sort_steps + static_cast<int64_t>(i) + 1);
  }
  reporter.Finish();
  return percentiles;
}

std::vector<int32_t> ExchangeSortPercentilesLiteral(std::span<const std::optional<double>> values) {
  const size_t n = values.size();
  std::vector<size_t> keys(n);
  std::iota(keys.begin(), keys.end(), size_t{0});
  std::vector<std::optional<double>> sorted(values.begin(), values.end());
  for (size_t i = 0; i + 1 < n; ++i) {
    for (size_t j = i + 1; j < n; ++j) {
      if (sorted[i] && sorted[j] && *sorted[i] > *sorted[j]) {
        std::swap(sorted[i], sorted[j]);
        std::swap(keys[i], keys[j]);
      }
    }
  }
  std::vector<int32_t> percentiles(n);
  const int64_t bucket = static_cast<int64_t>(n / 99);
  int64_t count = bucket;
  int32_t percentile = 1;
  for (size_t slot = 0; slot < n; ++slot) {
    percentiles[keys[slot]] = percentile;
    if (--count == 0) {
      percentile = std::min(percentile + 1, 99);
      count = bucket;
    }
  }
  return percentiles;
}

}  // namespace kestrova
