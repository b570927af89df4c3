#include "library/Quote.h"

#include <cctype>
#include <limits>
#include <string>

#include "platform/automation/Convert.h"
#include "platform/automation/Error.h"
#include "platform/automation/Text.h"
#include "platform/net/HttpClient.h"
#include "platform/system/Installation.h"

namespace thalmere {

using automation::Variant;

namespace {

// Removes at most the first two double quotes, so that a quoted field loses its enclosing
// pair and keeps any further ones.
std::string WithoutEnclosingQuotes(std::string text) {
  for (int removed = 0; removed < 2; ++removed) {
    const size_t at = text.find('"');
    if (at == std::string::npos) break;
    text.erase(at, 1);
  }
  return text;
}

// A number field as the service writes it ("125.5", "+1.25", "5349200"), whatever the
// regional settings; anything else (the service's "N/A") reads as 0.
float NumberField(const std::string& text) {
  static const automation::NumberFormat kServiceFormat{".", "", {}};
  const auto value = automation::ParseNumber(text, kServiceFormat);
  if (!value || *value > std::numeric_limits<float>::max() ||
      *value < -std::numeric_limits<float>::max()) {
    return 0;
  }
  return static_cast<float>(*value);
}

}  // namespace

Quote::Quote() = default;

std::string Quote::RequestUrl(const std::string& symbol_text) {
  return kestrova_system::ServiceUrl("quotes") +
         "/d/quotes.csv?s=" + net::EscapeUnsafeUrlCharacters(symbol_text) +
         "&f=sl1d1t1c1pohgv&e=.csv";
}

void Quote::SetSymbol(const std::string& symbol) {
  symbol_ = symbol;
  bof_ = true;
  eof_ = true;
  answers_.RemoveAll();

  net::TransferLimits limits;
  limits.connect_timeout_ms = kestrova_system::InstallationNumber("quotes", "connect_timeout_ms",
                                                                  limits.connect_timeout_ms);
  limits.total_timeout_ms =
      kestrova_system::InstallationNumber("quotes", "total_timeout_ms", limits.total_timeout_ms);
  const std::string body = http_.Get(RequestUrl(symbol), limits);
  if (body.empty()) return;

  for (const std::string& line : automation::SplitAt(body, '\n')) {
    std::vector<std::string> fields = automation::SplitAt(line, ',');
    if (fields.size() != 10) continue;  // the empty last line, error lines, names with commas
    std::vector<std::string> raw(fields.begin(), fields.end());
    answers_.Add(Variant(WithoutEnclosingQuotes(fields[0])),
                 Variant(automation::SafeArray(std::move(raw), 0)));
  }
  // The flags change only once the whole answer has been taken in: an answer that fails
  // half-way (two lines for one symbol) leaves the object at EOF, not on stale values.
  bof_ = false;
  eof_ = false;
  keys_ = answers_.KeyList();
  position_ = -1;
  MoveNext();
}

void Quote::MoveNext() {
  if (position_ == std::numeric_limits<int16_t>::max()) {
    throw automation::Error::WithDetail(automation::err::kOverflow, "Quote position past 32767");
  }
  ++position_;
  eof_ = true;
  // The key list can be older than the table when an answer failed half-way; a step past
  // either of them is the end.
  if (position_ >= answers_.Count() || static_cast<size_t>(position_) >= keys_.size()) return;
  const automation::Variant* item = answers_.Find(keys_[static_cast<size_t>(position_)]);
  if (!item) return;
  eof_ = false;
  const auto& fields = std::get<std::vector<std::string>>(item->Array().storage());
  symbol_ = WithoutEnclosingQuotes(fields[0]);
  trade_date_ = WithoutEnclosingQuotes(fields[2]);
  trade_time_ = WithoutEnclosingQuotes(fields[3]);
  last_price_ = NumberField(fields[1]);
  price_change_ = NumberField(fields[4]);
  previous_price_ = NumberField(fields[5]);
  open_price_ = NumberField(fields[6]);
  high_price_ = NumberField(fields[7]);
  low_price_ = NumberField(fields[8]);
  volume_ = NumberField(fields[9]);
}

const automation::MemberTable& Quote::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<Quote>()
          .Property("Symbol", &Quote::Symbol, &Quote::SetSymbol)
          .Get("LastPrice", &Quote::LastPrice)
          .Get("PreviousPrice", &Quote::PreviousPrice)
          .Get("OpenPrice", &Quote::OpenPrice)
          .Get("HighPrice", &Quote::HighPrice)
          .Get("LowPrice", &Quote::LowPrice)
          .Get("PriceChange", &Quote::PriceChange)
          .Get("Volume", &Quote::Volume)
          .Get("TradeTime", &Quote::TradeTime)
          .Get("TradeDate", &Quote::TradeDate)
          .Get("BOF", &Quote::BOF)
          .Get("EOF", &Quote::EOF_)
          .Method("MoveNext", &Quote::MoveNext)
          .Build();
  return table;
}

}  // namespace thalmere
