#include "library/Alert.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include <fmt/format.h>

#include "library/StockNote.h"
#include "platform/ado/Errors.h"
#include "platform/ado/Recordset.h"
#include "platform/ado/Transaction.h"
#include "platform/automation/Convert.h"
#include "platform/automation/Error.h"
#include "platform/automation/Regional.h"
#include "platform/helpers/library.h"

namespace thalmere {

namespace {

using automation::Args;
using automation::Variant;
namespace err = automation::err;

constexpr const char* kSelectBySymbol = "select * from alert where symbol = ?";

// The columns hold 11 digits, 2 of them after the point.
constexpr size_t kLimitDigits = 11;
constexpr int kLimitPlaces = 2;

// A limit as the numeric(11,2) column keeps it: the Single's shortest decimal form (12.3, not
// its binary neighbour 12.30000019) rounded half away from zero to two places, as the server
// database rounds the text it is given, so 10.125 is kept as 10.13 on every engine. A value
// the column cannot hold (a NaN, an infinity, 10^9 or more) is refused on every engine alike,
// before anything is written.
Variant StoredPrice(float price, std::string_view column) {
  auto refuse = [&] {
    return automation::Error(ado::errors::kDatabase,
                             fmt::format("The value for {} ({}) is outside the column's range "
                                         "-999999999.99 to 999999999.99",
                                         column, price));
  };
  if (!std::isfinite(price)) throw refuse();
  char buffer[64];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, std::fabs(price), std::chars_format::fixed);
  if (error != std::errc()) throw refuse();
  const std::string_view text(buffer, static_cast<size_t>(end - buffer));
  const size_t point = text.find('.');
  std::string fraction(point == std::string_view::npos ? "" : text.substr(point + 1));
  const bool round_up = fraction.size() > kLimitPlaces && fraction[kLimitPlaces] >= '5';
  fraction.resize(kLimitPlaces, '0');
  // The value times 100, as decimal digits.
  std::string hundredths = std::string(text.substr(0, point)) + fraction;
  if (round_up) {
    size_t i = hundredths.size();
    while (i > 0 && hundredths[i - 1] == '9') hundredths[--i] = '0';
    if (i == 0) {
      hundredths.insert(hundredths.begin(), '1');
    } else {
      ++hundredths[i - 1];
    }
  }
  hundredths.erase(0, std::min(hundredths.find_first_not_of('0'), hundredths.size()));
  if (hundredths.size() > kLimitDigits) throw refuse();
  // Both operands are exact, so the quotient is the double nearest the two-place decimal.
  const double value = hundredths.empty() ? 0.0 : std::strtod(hundredths.c_str(), nullptr) / 100;
  return Variant(std::signbit(price) && value != 0 ? -value : value);
}

Variant StoredFlag(bool flag) { return Variant(int32_t{flag ? -1 : 0}); }

}  // namespace

void Alert::WriteNote(std::string_view action) {
  StockNote note;
  note.SetSymbol(symbol_);
  note.SetNoteType("Alert");
  note.SetNoteText(
      "Alert " + std::string(action) + " Highprice: " + automation::FormatNumber(high_price_, 2) +
      "  LowPrice: " + automation::FormatNumber(low_price_, 2) + "  Note: " + note_text_);
  note.Save(connection_);
}

void Alert::AddAlert() {
  if (!Ready()) return;
  const std::string symbol = WithoutTrailingBlanks(symbol_);
  RequireFits(symbol, 10, "symbol");
  connection_->Execute(
      "insert into alert (symbol, highprice, lowprice, aimalert, emailalert) "
      "values (?, ?, ?, ?, ?)",
      {Variant(symbol), StoredPrice(high_price_, "highprice"), StoredPrice(low_price_, "lowprice"),
       StoredFlag(aim_alert_), StoredFlag(email_alert_)});
  WriteNote("Added");
}

void Alert::UpdateAlert() {
  if (!Ready()) return;
  const std::string symbol = WithoutTrailingBlanks(symbol_);
  RequireFits(symbol, 10, "symbol");
  const Variant high = StoredPrice(high_price_, "highprice");
  const Variant low = StoredPrice(low_price_, "lowprice");
  auto rows = ado::Recordset::Create();
  rows->Open(kSelectBySymbol, connection_, {Variant(symbol)});
  if (rows->BOF_() || rows->EOF_()) return;
  // The first matching row alone; others of the same symbol stay as they are.
  rows->SetField(Variant("symbol"), Variant(symbol));
  rows->SetField(Variant("highprice"), high);
  rows->SetField(Variant("lowprice"), low);
  rows->SetField(Variant("aimalert"), StoredFlag(aim_alert_));
  rows->SetField(Variant("emailalert"), StoredFlag(email_alert_));
  rows->Update();
  rows->Close();
  WriteNote("Updated");
}

void Alert::GetAlert() {
  if (!Ready()) return;
  const auto rows = helpers::OpenRecordset(connection_, kSelectBySymbol,
                                           {Variant(WithoutTrailingBlanks(symbol_))});
  if (rows->RecordCount() != 1) {
    symbol_.clear();
    high_price_ = low_price_ = 0;
    aim_alert_ = email_alert_ = false;
    return;
  }
  // The symbol as stored: PostgreSQL hands a fixed-width column back padded with blanks.
  symbol_ = automation::CStr(rows->Field("symbol"));
  high_price_ = helpers::NullToSingle(rows->Field("highprice"));
  low_price_ = helpers::NullToSingle(rows->Field("lowprice"));
  const Variant& aim = rows->Field("aimalert");
  const Variant& email = rows->Field("emailalert");
  aim_alert_ = !aim.IsNull() && automation::CBool(aim);
  email_alert_ = !email.IsNull() && automation::CBool(email);
}

void Alert::DeleteAlert() {
  if (!Ready()) return;
  connection_->Execute("delete from alert where symbol = ?",
                       {Variant(WithoutTrailingBlanks(symbol_))});
  WriteNote("Deleted");
}

void Alert::CreateTable() {
  if (!connection_) return;
  ado::TryExecute(*connection_, "drop table alert");
  // One statement per call: PostgreSQL takes no more.
  connection_->Execute(std::string(kCreateTable));
  connection_->Execute(std::string(kCreateIndex));
}

const automation::MemberTable& Alert::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<Alert>()
          .Raw(
              "Connection", [](Alert& alert, Args) { return Variant(alert.Connection()); },
              [](Alert& alert, Args, Variant& value) {
                const automation::ObjectRef object =
                    automation::detail::ArgTraits<automation::ObjectRef>::From(value);
                auto connection = std::dynamic_pointer_cast<ado::Connection>(object);
                if (object && !connection) {
                  throw automation::Error::WithDetail(
                      err::kTypeMismatch,
                      "Connection must be a Connection, not a " + std::string(object->ClassName()));
                }
                alert.SetConnection(std::move(connection));
              })
          .Property("Symbol", &Alert::Symbol, &Alert::SetSymbol)
          .Property("HighPrice", &Alert::HighPrice, &Alert::SetHighPrice)
          .Property("LowPrice", &Alert::LowPrice, &Alert::SetLowPrice)
          .Property("AimAlert", &Alert::AimAlert, &Alert::SetAimAlert)
          .Property("EmailAlert", &Alert::EmailAlert, &Alert::SetEmailAlert)
          .Method("AddAlert", &Alert::AddAlert)
          .Method("UpdateAlert", &Alert::UpdateAlert)
          .Method("GetAlert", &Alert::GetAlert)
          .Method("DeleteAlert", &Alert::DeleteAlert)
          .Method("CreateTable", &Alert::CreateTable)
          .Let("NoteText", &Alert::SetNoteText)
          .Build();
  return table;
}

}  // namespace thalmere
