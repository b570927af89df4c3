#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace kestrova {

// Percentile ranks 1..99 as the composite rating deals them out. The entries are put in
// ascending order of value by an exchange sort (for each position in turn, every later entry
// with a smaller value is swapped into it), then dealt out in that order, floor(n / 99) to a
// percentile starting at 1; what is left after 99 full buckets also gets 99, and with fewer
// than 99 entries every entry gets 1.
//
// nullopt is a Null value. No comparison with a Null (or a NaN) swaps, so such an entry keeps
// its place in the sorted order and gets the percentile of that place. The sort is not
// stable: of two equal values on either side of a bucket boundary, the one that gets the
// higher percentile is the one the exchange sort leaves later, which depends on the order of
// the entries and on where the smaller values sit among them.
//
// Returns the percentile of each entry, in the order given; O(n log n) time.
// `progress`, when set, is told how many steps of the procedure are done: one per sort pass
// and one per entry dealt out, 2n - 1 in all for n >= 1 and 0 for n = 0. It is called at
// least every 4 % of the total, and once at the end with the total.
std::vector<int32_t> ExchangeSortPercentiles(std::span<const std::optional<double>> values,
                                             const std::function<void(int64_t)>& progress = {});

// The same result by running the exchange sort itself, in quadratic time. Kept as the
// reference that the one above is checked against.
std::vector<int32_t> ExchangeSortPercentilesLiteral(std::span<const std::optional<double>> values);

}  // namespace kestrova
