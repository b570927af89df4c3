#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/automation/Dispatch.h"
#include "platform/tc2000/PriceStore.h"

namespace tc2000 {

// TC2000Dev.cTC2000: the price server as automation callers see it, over the local price
// store (PriceStore::DefaultPath). Each instance holds its own read connection; calls on one
// instance from several threads are serialised.
//
// Arrays come back through by-reference arguments, as arrays with lower bound 1 (so an upper
// bound below 1 means no data): prices newest first with index 1 the latest day, symbols and
// lists in the store's order.
//
// Errors: creating the object fails with 429 when the store is missing or unreadable; a
// failing read is the database error of the store.
class cTC2000 : public automation::Dispatch {
 public:
  explicit cTC2000(std::unique_ptr<PriceStore> store);
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
  std::mutex mutex_;
  std::unique_ptr<PriceStore> store_;
};

}  // namespace tc2000
