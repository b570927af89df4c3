#include "platform/tc2000/cTC2000.h"

#include <utility>
#include <vector>

#include "platform/automation/Error.h"

namespace tc2000 {

namespace {

using automation::SafeArray;
using automation::Variant;

template <class T>
Variant OneBased(std::vector<T> values) {
  return Variant(SafeArray(SafeArray::Storage(std::move(values)), 1));
}

// Parallel arrays of symbols and their Worden numbers.
void HandOut(std::vector<Security> securities, Variant& symbols, Variant& numbers) {
  std::vector<std::string> s;
  std::vector<int32_t> w;
  s.reserve(securities.size());
  w.reserve(securities.size());
  for (Security& security : securities) {
    s.push_back(std::move(security.symbol));
    w.push_back(security.worden);
  }
  symbols = OneBased(std::move(s));
  numbers = OneBased(std::move(w));
}

// The bars as the six parallel arrays of GetPrices: prices as Singles, volume and dates as
// Longs, from index 1.
void HandOutBars(const std::vector<Bar>& bars, Variant& open, Variant& high, Variant& low,
                 Variant& close, Variant& volume, Variant& dates) {
  const size_t n = bars.size();
  std::vector<float> o(n), h(n), l(n), c(n);
  std::vector<int32_t> v(n), d(n);
  for (size_t i = 0; i < n; ++i) {
    o[i] = bars[i].open;
    h[i] = bars[i].high;
    l[i] = bars[i].low;
    c[i] = bars[i].close;
    v[i] = bars[i].volume;
    d[i] = bars[i].date;
  }
  open = OneBased(std::move(o));
  high = OneBased(std::move(h));
  low = OneBased(std::move(l));
  close = OneBased(std::move(c));
  volume = OneBased(std::move(v));
  dates = OneBased(std::move(d));
}

}  // namespace

cTC2000::cTC2000(std::unique_ptr<PriceStore> store) : store_(std::move(store)) {
  store_->KeepSnapshot(true);  // let go by ReleaseWhenIdle
}

cTC2000::~cTC2000() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (releaser_.joinable()) releaser_.join();
}

void cTC2000::Reading() {
  last_read_ = std::chrono::steady_clock::now();
  if (snapshot_kept_) return;
  snapshot_kept_ = true;
  if (releaser_.joinable()) {
    wake_.notify_all();
  } else {
    releaser_ = std::thread([this] { ReleaseWhenIdle(); });
  }
}

void cTC2000::ReleaseWhenIdle() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (!snapshot_kept_) {
      wake_.wait(lock);
      continue;
    }
    const auto due = last_read_ + kIdleRelease;
    if (std::chrono::steady_clock::now() < due) {
      wake_.wait_until(lock, due);
      continue;
    }
    store_->ReleaseSnapshot();
    snapshot_kept_ = false;
  }
}

std::shared_ptr<cTC2000> cTC2000::Create() {
  try {
    return std::make_shared<cTC2000>(PriceStore::OpenForReading(PriceStore::DefaultPath()));
  } catch (const automation::Error& e) {
    throw automation::Error::WithDetail(automation::err::kCannotCreateObject,
                                        "TC2000Dev.cTC2000: " + e.Description());
  }
}

int32_t cTC2000::WordenNumFromSymbol(const std::string& symbol) {
  std::lock_guard lock(mutex_);
  Reading();
  return store_->WordenNumFromSymbol(symbol);
}

bool cTC2000::StockIsActive(int32_t worden) {
  std::lock_guard lock(mutex_);
  Reading();
  const auto security = store_->FindSecurity(worden);
  return security && security->active;
}

std::string cTC2000::companyname(int32_t worden) {
  std::lock_guard lock(mutex_);
  Reading();
  const auto security = store_->FindSecurity(worden);
  return security ? security->name : std::string();
}

bool cTC2000::TCEnabled() {
  std::lock_guard lock(mutex_);
  return store_->IsCurrent();
}

void cTC2000::GetPrices(int32_t worden, Variant& open, Variant& high, Variant& low, Variant& close,
                        Variant& volume, Variant& dates, int32_t days) {
  std::vector<Bar> bars;
  {
    std::lock_guard lock(mutex_);
    Reading();
    bars = store_->LatestBars(worden, days);
  }
  HandOutBars(bars, open, high, low, close, volume, dates);
}

void cTC2000::GetPricesBetween(int32_t worden, Variant& open, Variant& high, Variant& low,
                               Variant& close, Variant& volume, Variant& dates, int32_t first,
                               int32_t last) {
  std::vector<Bar> bars;
  {
    std::lock_guard lock(mutex_);
    Reading();
    bars = store_->BarsBetween(worden, first, last);
  }
  HandOutBars(bars, open, high, low, close, volume, dates);
}

void cTC2000::GetSymbols(Variant& symbols, Variant& numbers) {
  std::vector<Security> all;
  {
    std::lock_guard lock(mutex_);
    Reading();
    all = store_->AllSecurities();
  }
  HandOut(std::move(all), symbols, numbers);
}

void cTC2000::getAllChartLists(Variant& names, Variant& types) {
  std::vector<ChartList> lists;
  {
    std::lock_guard lock(mutex_);
    Reading();
    lists = store_->AllChartLists();
  }
  std::vector<std::string> n;
  std::vector<int32_t> t;
  for (ChartList& list : lists) {
    n.push_back(std::move(list.name));
    t.push_back(list.type);
  }
  names = OneBased(std::move(n));
  types = OneBased(std::move(t));
}

void cTC2000::GetSymbolsForChartList(int32_t list_index, Variant& symbols, Variant& numbers) {
  std::vector<Security> members;
  {
    std::lock_guard lock(mutex_);
    Reading();
    members = store_->ChartListMembers(list_index);
  }
  HandOut(std::move(members), symbols, numbers);
}

const automation::MemberTable& cTC2000::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<cTC2000>()
          .Method("WordenNumFromSymbol", &cTC2000::WordenNumFromSymbol)
          .Method("StockIsActive", &cTC2000::StockIsActive)
          .Method("companyname", &cTC2000::companyname)
          .Get("TCEnabled", &cTC2000::TCEnabled)
          .Method("GetPrices", &cTC2000::GetPrices)
          .Method("GetPricesBetween", &cTC2000::GetPricesBetween)
          .Method("GetSymbols", &cTC2000::GetSymbols)
          .Method("getAllChartLists", &cTC2000::getAllChartLists)
          .Method("GetSymbolsForChartList", &cTC2000::GetSymbolsForChartList)
          .Build();
  return table;
}

}  // namespace tc2000
