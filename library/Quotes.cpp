#include "library/Quotes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <initializer_list>
#include <span>
#include <utility>

#include <fmt/format.h>

#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Regional.h"
#include "platform/automation/Registry.h"
#include "platform/helpers/library.h"

namespace thalmere {

namespace {

using automation::Date;
using automation::SafeArray;
using automation::Variant;

constexpr const char* kServerProgId = "TC2000Dev.cTC2000";

}  // namespace

// What GetPrices hands back: six arrays, newest first.
struct Quotes::ServerPrices {
  Variant open, high, low, close, volume, dates;

  int32_t UpperBound() const { return open.Array().UpperBound(); }
};

namespace {

// Calls one of the server's price members with the Worden number, the six arrays it fills
// and then `rest`: the number of days for GetPrices, the first and last date codes for
// GetPricesBetween.
Quotes::ServerPrices FetchPrices(automation::Dispatch& server, const char* member, int32_t worden,
                                 std::initializer_list<Variant> rest) {
  std::array<Variant, 9> args;
  args[0] = Variant(worden);
  std::copy(rest.begin(), rest.end(), args.begin() + 7);
  server.Call(member, std::span<Variant>(args).first(7 + rest.size()));
  Quotes::ServerPrices p;
  p.open = std::move(args[1]);
  p.high = std::move(args[2]);
  p.low = std::move(args[3]);
  p.close = std::move(args[4]);
  p.volume = std::move(args[5]);
  p.dates = std::move(args[6]);
  return p;
}

// Reads the elements of one returned array by index, as floats or date codes; the server's
// own element types are read straight from their storage. An index outside the array is
// error 9.
class ElementReader {
 public:
  explicit ElementReader(const Variant& array)
      : array_(array.Array()), lower_(array_.LowerBound()), upper_(array_.UpperBound()) {
    if (const auto* v = std::get_if<std::vector<float>>(&array_.storage())) floats_ = v->data();
    if (const auto* v = std::get_if<std::vector<int32_t>>(&array_.storage())) longs_ = v->data();
  }

  // Checks that every index from `first` to `last` exists, so the reads between need not.
  const ElementReader& Require(int32_t first, int32_t last) const {
    if (first < lower_ || last > upper_) {
      throw automation::Error::WithDetail(
          automation::err::kSubscriptOutOfRange,
          fmt::format("subscripts {}..{} out of range {}..{}", first, last, lower_, upper_));
    }
    return *this;
  }
  float Single(int32_t index) const {
    if (floats_) return floats_[index - lower_];
    if (longs_) return static_cast<float>(longs_[index - lower_]);
    return automation::CSng(array_.Element(index));
  }
  int32_t Long(int32_t index) const {
    if (longs_) return longs_[index - lower_];
    return automation::CLng(array_.Element(index));
  }

 private:
  const SafeArray& array_;
  const int32_t lower_, upper_;
  const float* floats_ = nullptr;
  const int32_t* longs_ = nullptr;
};

}  // namespace

Quotes::Quotes() { Class_Initialize(); }

Quotes::~Quotes() { Class_Terminate(); }

void Quotes::Class_Initialize() {
  server_ = automation::CreateObject(kServerProgId);
  days_ = 0;
  symbol_.clear();
  start_date_ = Date{};
  end_date_ = Date{};
}

void Quotes::Class_Terminate() { server_.reset(); }

void Quotes::SetDays(int32_t days) {
  days_ = days;
  start_date_ = Date{};
  end_date_ = Date{};
  Load();
}

void Quotes::SetSymbol(const std::string& symbol) {
  worden_ = automation::CLng(server_->CallWith("WordenNumFromSymbol", symbol));
  if (worden_ == 0) {
    symbol_.clear();
    return;
  }
  symbol_ = symbol;
  Load();
}

void Quotes::SetStartDate(Date date) {
  start_date_ = date;
  days_ = 0;
}

void Quotes::SetEndDate(Date date) {
  end_date_ = date;
  days_ = 0;
}

std::string Quotes::companyname() {
  return automation::CStr(server_->CallWith("companyname", worden_));
}

int32_t Quotes::LastDate() const {
  if (!loaded_once_) {
    throw automation::Error::WithDetail(automation::err::kSubscriptOutOfRange,
                                        "no price series has been loaded");
  }
  return dates_.back();
}

std::shared_ptr<PriceArray> Quotes::GetArray(const std::string& strArray) const {
  auto result = std::make_shared<PriceArray>();
  if (count_ == 0) return result;
  const std::vector<float>* prices = nullptr;
  if (strArray == "O") prices = &open_;
  if (strArray == "H") prices = &high_;
  if (strArray == "L") prices = &low_;
  if (strArray == "C") prices = &close_;
  if (strArray == "V") prices = &volume_;
  if (!prices) return result;
  result->AssignPrices(std::span<const float>(*prices).subspan(1));
  result->AssignDates(std::span<const int32_t>(dates_).subspan(1));
  return result;
}

bool Quotes::isActive(std::string& strSymbol) {
  if (!automation::CBool(server_->Call("TCEnabled"))) Class_Initialize();
  while (!strSymbol.empty() && strSymbol.back() == ' ') strSymbol.pop_back();
  const int32_t worden = automation::CLng(server_->CallWith("WordenNumFromSymbol", strSymbol));
  if (worden == 0) return false;
  return automation::CBool(server_->CallWith("StockIsActive", worden));
}

std::string Quotes::CompanyId() const {
  if (worden_ == 0) return std::string();
  return automation::FormatNumber(static_cast<double>(worden_), 0);
}

void Quotes::Load() {
  count_ = 0;
  // A load reports its outcome through Count alone: whatever fails inside it (the server, a
  // date code that is no date, an array the server left empty) just ends it.
  try {
    if (symbol_.empty()) return;
    if (!automation::CBool(server_->CallWith("StockIsActive", worden_))) return;
    if (days_ >= 1) {
      LoadRecentDays();
    } else if (start_date_.value != 0 && end_date_.value != 0) {
      LoadWindow();
    }
  } catch (const std::exception&) {
  }
}

void Quotes::LoadRecentDays() {
  const ServerPrices p = FetchPrices(*server_, "GetPrices", worden_, {Variant(days_)});
  const int32_t upper = p.UpperBound();
  StoreDays(p, upper, std::max(upper, 0));
}

void Quotes::LoadWindow() {
  // The window is compared by whole days, so a start or end that carries a time of day
  // still takes in its own day. The server hands out every stored day inside it, whatever
  // the day of the week; a window reaching past the latest day is loaded up to that day.
  const Date first{std::floor(start_date_.value)};
  const Date last{std::floor(end_date_.value)};
  if (first.value > last.value) return;
  const ServerPrices p =
      FetchPrices(*server_, "GetPricesBetween", worden_,
                  {Variant(helpers::LongFromDate(first)), Variant(helpers::LongFromDate(last))});
  const int32_t upper = p.UpperBound();
  if (upper < 1) return;
  StoreDays(p, upper, upper);
}

void Quotes::StoreDays(const ServerPrices& p, int32_t oldest, int32_t count) {
  const ElementReader o(p.open), h(p.high), l(p.low), c(p.close), v(p.volume), d(p.dates);
  if (count > 0) {
    const int32_t newest = oldest - count + 1;
    for (const ElementReader* r : {&o, &h, &l, &c, &v, &d}) r->Require(newest, oldest);
  }
  std::vector<float> open(count + 1), high(count + 1), low(count + 1), close(count + 1),
      volume(count + 1);
  std::vector<int32_t> dates(count + 1);
  for (int32_t i = 1; i <= count; ++i) {
    const int32_t from = oldest - i + 1;  // the server delivers newest first
    open[i] = o.Single(from);
    high[i] = h.Single(from);
    low[i] = l.Single(from);
    close[i] = c.Single(from);
    volume[i] = v.Single(from);
    dates[i] = d.Long(from);
  }
  open_ = std::move(open);
  high_ = std::move(high);
  low_ = std::move(low);
  close_ = std::move(close);
  volume_ = std::move(volume);
  dates_ = std::move(dates);
  loaded_once_ = true;
  count_ = count;
}

const automation::MemberTable& Quotes::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<Quotes>()
          .Let("days", &Quotes::SetDays)
          .Property("Symbol", &Quotes::Symbol, &Quotes::SetSymbol)
          .Get("companyname", &Quotes::companyname)
          .Get("Count", &Quotes::Count)
          .Property("StartDate", &Quotes::StartDate, &Quotes::SetStartDate)
          .Property("EndDate", &Quotes::EndDate, &Quotes::SetEndDate)
          .Method("LastDate", &Quotes::LastDate)
          .Method("GetArray", &Quotes::GetArray)
          .Method("isActive", &Quotes::isActive)
          .Method("Class_Initialize", &Quotes::Class_Initialize)
          .Method("Class_Terminate", &Quotes::Class_Terminate)
          .Get("CompanyId", &Quotes::CompanyId)
          .Build();
  return table;
}

}  // namespace thalmere
