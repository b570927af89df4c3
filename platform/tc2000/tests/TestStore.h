#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/automation/DateTime.h"
#include "platform/helpers/library.h"
#include "platform/tc2000/PriceStore.h"

namespace testing_support {

// Bars for every weekday from `first` to `last` except the given date codes, with prices
// that tell the days apart: the close of the k-th bar is start + k, open close − 0.5, high
// close + 1, low close − 1, volume 1000 + k.
inline std::vector<tc2000::Bar> WeekdayBars(automation::Date first, automation::Date last,
                                            const std::set<int32_t>& holidays = {},
                                            float start = 100) {
  std::vector<tc2000::Bar> bars;
  for (automation::Date d = first; d.value <= last.value; d = automation::AddDays(d, 1)) {
    const int32_t code = helpers::LongFromDate(d);
    if (automation::IsoWeekday(d) > 5 || holidays.count(code)) continue;
    const float close = start + static_cast<float>(bars.size());
    bars.push_back({code, close - 0.5f, close + 1, close - 1, close,
                    1000 + static_cast<int32_t>(bars.size())});
  }
  return bars;
}

// Chart lists as a test writes them: name, type and the symbols of the members.
using ChartListsBySymbol = std::vector<std::tuple<std::string, int32_t, std::vector<std::string>>>;

// Replaces the store's chart lists with `lists`, each symbol taken to its id by `ids` (a
// symbol missing there is std::out_of_range).
inline void ReplaceChartLists(tc2000::PriceStore& store, const std::map<std::string, int32_t>& ids,
                              const ChartListsBySymbol& lists) {
  std::vector<tc2000::ChartList> stored;
  for (const auto& [name, type, symbols] : lists) {
    tc2000::ChartList list{name, type, {}};
    for (const std::string& symbol : symbols) list.members.push_back(ids.at(symbol));
    stored.push_back(list);
  }
  store.ReplaceChartLists(stored);
}

}  // namespace testing_support
