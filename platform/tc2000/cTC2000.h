#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/automation/Dispatch.h"
#include "platform/tc2000/PriceStore.h"

namespace tc2000 {

// TC2000Dev.cTC2000: the price server as automation callers see it, over the local price
// store (PriceStore::DefaultPath). Each instance holds its own read connection; calls on one
// instance from several threads are serialised. The connection keeps its read snapshot
// across calls while the store is unchanged (see PriceStore::ReleaseSnapshot); a thread of
// the instance lets it go once no call has come for kIdleRelease.
//
// Arrays come back through by-reference arguments, as arrays with lower bound 1 (so an upper
// bound below 1 means no data): prices newest first with index 1 the latest day, symbols and
// lists in the store's order.
//
// Errors: creating the object fails with 429 when the store is missing or unreadable; a
// failing read is the database error of the store.
class cTC2000 : public automation::Dispatch {
 public:
  static constexpr std::chrono::milliseconds kIdleRelease{50};

  explicit cTC2000(std::unique_ptr<PriceStore> store);
  ~cTC2000() override;
  cTC2000(const cTC2000&) = delete;
  cTC2000& operator=(const cTC2000&) = delete;
  // The server of this installation's store.
  static std::shared_ptr<cTC2000> Create();

  std::string_view ClassName() const override { return "cTC2000"; }
  const automation::MemberTable& Members() const override;

  int32_t WordenNumFromSymbol(const std::string& symbol);
  bool StockIsActive(int32_t worden);
  std::string companyname(int32_t worden);
  // False once the store file this instance opened has been replaced on disk.
  bool TCEnabled();
  // Fills open, high, low, close (Single), volume and dates (Long) with at most `days` of the
  // latest trading days, newest first.
  void GetPrices(int32_t worden, automation::Variant& open, automation::Variant& high,
                 automation::Variant& low, automation::Variant& close, automation::Variant& volume,
                 automation::Variant& dates, int32_t days);
  // The same arrays with every trading day from date code `first` to date code `last`, both
  // included, newest first; no data when first > last.
  void GetPricesBetween(int32_t worden, automation::Variant& open, automation::Variant& high,
                        automation::Variant& low, automation::Variant& close,
                        automation::Variant& volume, automation::Variant& dates, int32_t first,
                        int32_t last);
  void GetSymbols(automation::Variant& symbols, automation::Variant& numbers);
  void getAllChartLists(automation::Variant& names, automation::Variant& types);
  void GetSymbolsForChartList(int32_t list_index, automation::Variant& symbols,
                              automation::Variant& numbers);

 private:
  // Notes a read of the store (mutex_ held), starting the releasing thread on the first.
  void Reading();
  void ReleaseWhenIdle();

  std::mutex mutex_;  // guards store_ and the fields below
  std::unique_ptr<PriceStore> store_;
  std::condition_variable wake_;
  std::chrono::steady_clock::time_point last_read_;
  bool snapshot_kept_ = false;  // a read since the last release
  bool stopping_ = false;
  std::thread releaser_;
};

}  // namespace tc2000
