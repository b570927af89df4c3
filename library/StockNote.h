#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/ado/Connection.h"
#include "platform/ado/SystemDatabase.h"
#include "platform/automation/Dispatch.h"

namespace thalmere {

// Thalmere.StockNote: one dated remark about a company, a row of table stocknotes
// (company_id, symbol, notedate, notetype, notetext; no key). A note knows how to save itself;
// it is never updated or deleted. A new note has empty texts, date 0 and Saved false.
//
// CreateTable and Save use the connection handed in (it stays the caller's); without one
// (Nothing, or left out by a late-bound caller) they open their own on data source Ledra and
// close it before they return.
//
// Text goes to the table as bound values, so any character is safe. The fixed-width columns
// company_id and symbol are written and matched without trailing blanks, as the fixed-width
// comparison treats them, so a value read back padded still finds its rows.
//
// Errors: database and connection errors reach the caller, as does a text too long for its
// column (notetext 1024 characters, notetype 12, company_id 12, symbol 10, counted after the
// trailing blanks of the fixed-width ones), which is refused before anything is written.
class StockNote : public automation::Dispatch {
 public:
  using ConnectionRef = std::shared_ptr<ado::Connection>;

  // The statements of CreateTable, in order, the same that make the table in a fresh system
  // database.
  static constexpr std::string_view kCreateTable = ado::system_schema::kCreateStockNotes;
  static constexpr std::string_view kCreateCompanyIndex =
      ado::system_schema::kCreateStockNotesCompanyIndex;
  static constexpr std::string_view kCreateSymbolIndex =
      ado::system_schema::kCreateStockNotesSymbolIndex;

  std::string_view ClassName() const override { return "StockNote"; }
  const automation::MemberTable& Members() const override;

  const std::string& CompanyId() const { return company_id_; }
  void SetCompanyId(const std::string& value) { company_id_ = value; }
  const std::string& Symbol() const { return symbol_; }
  void SetSymbol(const std::string& value) { symbol_ = value; }
  const std::string& NoteText() const { return note_text_; }
  void SetNoteText(const std::string& value) { note_text_ = value; }
  const std::string& NoteType() const { return note_type_; }
  void SetNoteType(const std::string& value) { note_type_ = value; }
  automation::Date NoteDate() const { return note_date_; }
  void SetNoteDate(automation::Date value) { note_date_ = value; }
  bool Saved() const { return saved_; }
  void SetSaved(bool value) { saved_ = value; }

  // Drops stocknotes (an error of the drop, such as a missing table, is ignored) and creates
  // it with its two indexes. Existing notes are lost.
  void CreateTable(const ConnectionRef& oConn = nullptr);

  // Adds a row for the note, every time it is called, even for a note saved before. A note
  // without a CompanyId gets the one of its Symbol first (CompanyIdForSymbol); when there is
  // still none, nothing is written and Saved stays as it was. Otherwise NoteDate becomes the
  // current time (the clock's), the row is written with it and Saved becomes true.
  void Save(const ConnectionRef& oConn = nullptr);

 private:
  std::string company_id_, symbol_, note_text_, note_type_;
  automation::Date note_date_;
  bool saved_ = false;
};

// The company identifier of a ticker symbol: the price server's number for it in the
// regional number format (Quotes.CompanyId), or "" when the server knows no such symbol.
// Trailing blanks (a symbol read from a fixed-width column) are ignored.
std::string CompanyIdForSymbol(const std::string& symbol);

// The text without trailing blanks: how fixed-width columns are written and matched.
std::string WithoutTrailingBlanks(std::string_view text);

// Refuses (with a database error naming the column) a text longer than `width` characters.
void RequireFits(std::string_view text, size_t width, std::string_view column);

}  // namespace thalmere
