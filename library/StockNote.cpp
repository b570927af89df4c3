#include "library/StockNote.h"

#include <string>
#include <vector>

#include "library/Quotes.h"
#include "platform/ado/Errors.h"
#include "platform/ado/Transaction.h"
#include "platform/automation/Error.h"
#include "platform/system/Clock.h"

namespace thalmere {

namespace {

using automation::Args;
using automation::Variant;
namespace err = automation::err;

// The connection a method works on: the caller's, or one of its own on Ledra.
StockNote::ConnectionRef ChooseConnection(const StockNote::ConnectionRef& given) {
  return given ? given : ado::Connection::OpenDataSource("Ledra");
}

size_t CharacterCount(std::string_view text) {
  size_t count = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;  // not a UTF-8 continuation
  }
  return count;
}

// The optional connection argument of a late-bound call: left out, Empty or Nothing give
// none; anything but a connection is a type mismatch.
StockNote::ConnectionRef OptionalConnection(Args args, std::string_view member) {
  if (args.size() > 1) {
    throw automation::Error::WithDetail(
        err::kWrongArguments, "StockNote." + std::string(member) + " takes at most 1 argument");
  }
  if (args.empty()) return nullptr;
  const automation::ObjectRef object =
      automation::detail::ArgTraits<automation::ObjectRef>::From(args[0]);
  if (!object) return nullptr;
  auto connection = std::dynamic_pointer_cast<ado::Connection>(object);
  if (!connection) {
    throw automation::Error::WithDetail(err::kTypeMismatch, "oConn must be a Connection, not a " +
                                                                std::string(object->ClassName()));
  }
  return connection;
}

}  // namespace

std::string WithoutTrailingBlanks(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

void RequireFits(std::string_view text, size_t width, std::string_view column) {
  const size_t length = CharacterCount(text);
  if (length <= width) return;
  throw automation::Error(ado::errors::kDatabase, "The value for " + std::string(column) + " has " +
                                                      std::to_string(length) +
                                                      " characters; the column holds at most " +
                                                      std::to_string(width));
}

std::string CompanyIdForSymbol(const std::string& symbol) {
  Quotes quotes;
  quotes.SetSymbol(WithoutTrailingBlanks(symbol));
  return quotes.CompanyId();
}

void StockNote::CreateTable(const ConnectionRef& oConn) {
  const ConnectionRef connection = ChooseConnection(oConn);
  ado::TryExecute(*connection, "drop table stocknotes");
  // One statement per call: PostgreSQL takes no more.
  connection->Execute(std::string(kCreateTable));
  connection->Execute(std::string(kCreateCompanyIndex));
  connection->Execute(std::string(kCreateSymbolIndex));
}

void StockNote::Save(const ConnectionRef& oConn) {
  const ConnectionRef connection = ChooseConnection(oConn);
  if (!symbol_.empty() && company_id_.empty()) company_id_ = CompanyIdForSymbol(symbol_);
  if (company_id_.empty()) return;

  const std::string company_id = WithoutTrailingBlanks(company_id_);
  const std::string symbol = WithoutTrailingBlanks(symbol_);
  RequireFits(company_id, 12, "company_id");
  RequireFits(symbol, 10, "symbol");
  RequireFits(note_type_, 12, "notetype");
  RequireFits(note_text_, 1024, "notetext");

  note_date_ = kestrova_system::CurrentClock().Now();
  connection->Execute(
      "insert into stocknotes (company_id, symbol, notedate, notetype, notetext) "
      "values (?, ?, ?, ?, ?)",
      {Variant(company_id), Variant(symbol), Variant(note_date_), Variant(note_type_),
       Variant(note_text_)});
  saved_ = true;
}

const automation::MemberTable& StockNote::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<StockNote>()
          .Property("CompanyId", &StockNote::CompanyId, &StockNote::SetCompanyId)
          .Property("Symbol", &StockNote::Symbol, &StockNote::SetSymbol)
          .Property("NoteText", &StockNote::NoteText, &StockNote::SetNoteText)
          .Property("NoteDate", &StockNote::NoteDate, &StockNote::SetNoteDate)
          .Property("Saved", &StockNote::Saved, &StockNote::SetSaved)
          .Raw("CreateTable",
               [](StockNote& note, Args args) {
                 note.CreateTable(OptionalConnection(args, "CreateTable"));
                 return Variant();
               })
          .Raw("Save",
               [](StockNote& note, Args args) {
                 note.Save(OptionalConnection(args, "Save"));
                 return Variant();
               })
          .Property("NoteType", &StockNote::NoteType, &StockNote::SetNoteType)
          .Build();
  return table;
}

}  // namespace thalmere
