#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/Dictionary.h"
#include "platform/automation/Dispatch.h"
#include "platform/net/HttpClient.h"

namespace thalmere {

// Thalmere.Quote: delayed quotes from the CSV quote service, stepped through one symbol at
// a time like a forward-only recordset. Assigning Symbol fetches the answer for that text
// (one symbol, or several separated by "+" or ","), keeps every line of ten fields keyed by
// its symbol, and moves to the first entry; MoveNext moves on until EOF. The getters only
// return what the last step stored.
//
// Errors: a failed transfer is an error of the Symbol assignment (BOF and EOF are then
// true); two answer lines for one symbol are error 457. An empty answer is no error: BOF and
// EOF are true and the values of the previous entry stay readable.
class Quote : public automation::Dispatch {
 public:
  Quote();

  std::string_view ClassName() const override { return "Quote"; }
  const automation::MemberTable& Members() const override;

  const std::string& Symbol() const { return symbol_; }
  void SetSymbol(const std::string& symbol);
  void MoveNext();

  float LastPrice() const { return last_price_; }
  float PreviousPrice() const { return previous_price_; }
  float OpenPrice() const { return open_price_; }
  float HighPrice() const { return high_price_; }
  float LowPrice() const { return low_price_; }
  float PriceChange() const { return price_change_; }
  float Volume() const { return volume_; }
  const std::string& TradeTime() const { return trade_time_; }
  const std::string& TradeDate() const { return trade_date_; }
  bool BOF() const { return bof_; }
  bool EOF_() const { return eof_; }

  // The request for a symbol text: the service address from the installation configuration
  // ([quotes] url), the fixed path and field list, and the text with characters that are
  // unsafe in a URL escaped.
  static std::string RequestUrl(const std::string& symbol_text);

 private:
  std::string symbol_;
  float last_price_ = 0, previous_price_ = 0, open_price_ = 0, high_price_ = 0, low_price_ = 0,
        price_change_ = 0, volume_ = 0;
  std::string trade_date_, trade_time_;
  bool bof_ = false, eof_ = false;
  int16_t position_ = 0;
  net::HttpClient http_;                   // kept for the object's life: connections are reused
  automation::Dictionary answers_;         // symbol -> the line's ten raw fields
  std::vector<automation::Variant> keys_;  // the order of stepping
};

}  // namespace thalmere
