#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "library/PriceArray.h"
#include "platform/automation/Dispatch.h"

namespace thalmere {

// Thalmere.Quotes: the daily price history of one stock, loaded from the price server
// (TC2000Dev.cTC2000, created by ProgID with the object) and handed out as PriceArray
// series, oldest first from index 1. Assigning Symbol or days loads; reading never does.
//
// Two loads: the latest `days` trading days, or every trading day of the window StartDate ..
// EndDate (up to the latest trading day when the window reaches past it). A load that fails
// inside (a server error, a bad date code) ends quietly with Count 0; the series of the
// previous load stay until a load replaces them.
//
// Errors: creating the object fails when the server cannot be created; assigning Symbol
// fails when the server's symbol lookup does; LastDate before any series was loaded is 9.
class Quotes : public automation::Dispatch {
 public:
  Quotes();
  ~Quotes() override;

  std::string_view ClassName() const override { return "Quotes"; }
  const automation::MemberTable& Members() const override;

  void SetDays(int32_t days);
  const std::string& Symbol() const { return symbol_; }
  void SetSymbol(const std::string& symbol);
  std::string companyname();
  int32_t Count() const { return count_; }
  automation::Date StartDate() const { return start_date_; }
  void SetStartDate(automation::Date date);
  automation::Date EndDate() const { return end_date_; }
  void SetEndDate(automation::Date date);
  int32_t LastDate() const;
  // A new series of "O", "H", "L", "C" or "V" (exact case) with the trading dates; any other
  // text, or nothing loaded, gives an empty series.
  std::shared_ptr<PriceArray> GetArray(const std::string& strArray) const;
  // Trims trailing blanks from the caller's text, then asks the server whether it is active.
  bool isActive(std::string& strSymbol);
  void Class_Initialize();
  void Class_Terminate();
  std::string CompanyId() const;

  // The loaded series for C++ callers in this library: indices 0..Count (element 0 unused).
  const std::vector<float>& open() const { return open_; }
  const std::vector<float>& high() const { return high_; }
  const std::vector<float>& low() const { return low_; }
  const std::vector<float>& close() const { return close_; }
  const std::vector<float>& volume() const { return volume_; }
  const std::vector<int32_t>& dates() const { return dates_; }

  struct ServerPrices;  // what one GetPrices call of the server hands back

 private:
  void Load();
  void LoadRecentDays();
  void LoadWindow();
  // Makes the series anew from `count` of the server's days, the oldest at index `oldest`.
  void StoreDays(const ServerPrices& prices, int32_t oldest, int32_t count);

  automation::ObjectRef server_;
  int32_t days_ = 0;
  std::string symbol_;
  int32_t worden_ = 0;
  automation::Date start_date_, end_date_;
  int32_t count_ = 0;
  bool loaded_once_ = false;  // the arrays exist (LastDate reads them)
  std::vector<float> open_, high_, low_, close_, volume_;
  std::vector<int32_t> dates_;
};

}  // namespace thalmere
