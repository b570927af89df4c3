#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/ado/Connection.h"
#include "platform/ado/SystemDatabase.h"
#include "platform/automation/Dispatch.h"

namespace thalmere {

// Thalmere.Alert: one price alert, a pair of limits on a ticker symbol kept in table alert
// (symbol, highprice, lowprice, aimalert, emailalert; the symbol is the key but not unique).
// A plain record: the caller sets Connection (an open connection to Ledra, which stays the
// caller's) and the fields, then adds, updates, reads or deletes. Every add, update and
// delete also saves a stock note of type "Alert" in the company's history:
//   "Alert <Added|Updated|Deleted> Highprice: <high>  LowPrice: <low>  Note: <NoteText>"
// with the limits in the regional number format with two decimals.
//
// AddAlert, UpdateAlert, GetAlert and DeleteAlert do nothing (no error, no note) unless
// Symbol is not empty and Connection is set; CreateTable needs only Connection. The symbol
// goes to the database as a bound value, written and matched without trailing blanks, so a
// symbol read back padded from the fixed-width column finds its row again, and an apostrophe
// is an ordinary character. Flags are stored as -1 and 0.
//
// Errors: database errors and failures of the note reach the caller; a row written before its
// note failed stays. A symbol longer than the column's 10 characters is refused.
class Alert : public automation::Dispatch {
 public:
  using ConnectionRef = std::shared_ptr<ado::Connection>;

  // The statements of CreateTable, the same that make the table in a fresh system database.
  static constexpr std::string_view kCreateTable = ado::system_schema::kCreateAlert;
  static constexpr std::string_view kCreateIndex = ado::system_schema::kCreateAlertIndex;

  std::string_view ClassName() const override { return "Alert"; }
  const automation::MemberTable& Members() const override;

  const ConnectionRef& Connection() const { return connection_; }
  void SetConnection(ConnectionRef connection) { connection_ = std::move(connection); }
  const std::string& Symbol() const { return symbol_; }
  void SetSymbol(const std::string& value) { symbol_ = value; }
  float HighPrice() const { return high_price_; }
  void SetHighPrice(float value) { high_price_ = value; }
  float LowPrice() const { return low_price_; }
  void SetLowPrice(float value) { low_price_ = value; }
  bool AimAlert() const { return aim_alert_; }
  void SetAimAlert(bool value) { aim_alert_ = value; }
  bool EmailAlert() const { return email_alert_; }
  void SetEmailAlert(bool value) { email_alert_ = value; }
  // Write-only: the remark that the change notes carry; never cleared by the object.
  void SetNoteText(const std::string& value) { note_text_ = value; }

  // Adds a row, even when the symbol has one already, and notes "Added".
  void AddAlert();
  // Writes the fields to the first row of the symbol and notes "Updated"; without a row,
  // does nothing.
  void UpdateAlert();
  // Reads the symbol's row into the fields. Unless exactly one row matches, resets the object
  // instead: Symbol empty, limits 0, flags false (Connection and the note text stay). A limit
  // stored without a value reads as 0, a flag as false.
  void GetAlert();
  // Deletes every row of the symbol and notes "Deleted" with the object's current limits.
  void DeleteAlert();
  // Drops alert (an error of the drop is ignored) and creates it with its index. Existing
  // alerts are lost.
  void CreateTable();

 private:
  bool Ready() const { return !symbol_.empty() && connection_; }
  void WriteNote(std::string_view action);

  ConnectionRef connection_;
  std::string symbol_;
  float high_price_ = 0, low_price_ = 0;
  bool aim_alert_ = false, email_alert_ = false;
  std::string note_text_;
};

}  // namespace thalmere
