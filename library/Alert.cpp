#include "library/Alert.h"

#include <fmt/format.h>

#include <cstdlib>
#include <string>

#include "library/StockNote.h"
#include "platform/ado/Recordset.h"
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

// A limit as the decimal column takes it: the Single's shortest decimal form, so 12.3 is
// stored as 12.3 and not as the Single's binary neighbour 12.30000019.
Variant StoredPrice(float price) {
  return Variant(std::strtod(fmt::format("{}", price).c_str(), nullptr));
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
      {Variant(symbol), StoredPrice(high_price_), StoredPrice(low_price_), StoredFlag(aim_alert_),
       StoredFlag(email_alert_)});
  WriteNote("Added");
}

void Alert::UpdateAlert() {
  if (!Ready()) return;
  const std::string symbol = WithoutTrailingBlanks(symbol_);
  RequireFits(symbol, 10, "symbol");
  auto rows = ado::Recordset::Create();
  rows->Open(kSelectBySymbol, connection_, {Variant(symbol)});
  if (rows->BOF_() || rows->EOF_()) return;
  // The first matching row alone; others of the same symbol stay as they are.
  rows->SetField(Variant("symbol"), Variant(symbol));
  rows->SetField(Variant("highprice"), StoredPrice(high_price_));
  rows->SetField(Variant("lowprice"), StoredPrice(low_price_));
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
  DropIgnoringErrors(*connection_, "drop table alert");
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
