#include "library/StockNotes.h"

#include <string>
#include <vector>

#include "platform/automation/Convert.h"
#include "platform/automation/Error.h"
#include "platform/helpers/library.h"

namespace thalmere {

namespace {

using automation::Args;
using automation::Variant;
namespace err = automation::err;

// A stored value that may be Null, as the note's text.
std::string TextOf(const Variant& value) {
  return value.IsNull() ? std::string() : automation::CStr(value);
}

automation::Date DateOf(const Variant& value) {
  return value.IsNull() ? automation::Date{} : automation::CDate(value);
}

}  // namespace

StockNotes::NoteRef StockNotes::Add(const NoteRef& oStockNote) {
  if (!oStockNote) throw automation::Error::WithDetail(err::kObjectNotSet, "the note is Nothing");
  oStockNote->SetSaved(false);
  notes_.push_back(oStockNote);
  return oStockNote;
}

void StockNotes::Load(const std::string& strCompanyId) {
  const auto connection = ado::Connection::OpenDataSource("Ledra");
  const auto rows = helpers::OpenRecordset(
      connection, "select * from stocknotes where company_id = ?  order by notedate desc",
      {Variant(WithoutTrailingBlanks(strCompanyId))});
  for (; !rows->EOF_(); rows->MoveNext()) {
    auto note = std::make_shared<StockNote>();
    note->SetCompanyId(TextOf(rows->Field("company_id")));
    note->SetSymbol(TextOf(rows->Field("symbol")));
    note->SetNoteDate(DateOf(rows->Field("notedate")));
    note->SetNoteText(TextOf(rows->Field("notetext")));
    note->SetNoteType(TextOf(rows->Field("notetype")));
    note->SetSaved(true);
    notes_.push_back(std::move(note));
  }
}

void StockNotes::Save() {
  const auto connection = ado::Connection::OpenDataSource("Ledra");
  for (const NoteRef& note : notes_) {
    if (!note->Saved()) note->Save(connection);
  }
}

void StockNotes::CreateTable() {
  const auto connection = ado::Connection::OpenDataSource("Ledra");
  StockNote().CreateTable(connection);
}

size_t StockNotes::PositionOf(const Variant& index) const {
  // A collection without keys: a text is a key that cannot be there.
  if (index.IsString()) {
    throw automation::Error::WithDetail(err::kInvalidArgument,
                                        "the notes have no keys (\"" + index.String() + "\")");
  }
  const int32_t position = automation::CLng(index);
  if (position < 1 || position > Count()) {
    throw automation::Error::WithDetail(
        err::kInvalidArgument,
        "index " + std::to_string(position) + " outside 1.." + std::to_string(Count()));
  }
  return static_cast<size_t>(position - 1);
}

StockNotes::NoteRef StockNotes::item(const Variant& vntIndexKey) const {
  return notes_[PositionOf(vntIndexKey)];
}

void StockNotes::Remove(const Variant& vntIndexKey) {
  notes_.erase(notes_.begin() + static_cast<std::ptrdiff_t>(PositionOf(vntIndexKey)));
}

Variant StockNotes::NewEnum() const {
  std::vector<Variant> items(notes_.begin(), notes_.end());
  return Variant(automation::SafeArray(std::move(items), 0));
}

const automation::MemberTable& StockNotes::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<StockNotes>()
          .Method("Add", &StockNotes::Add)
          .Method("Load", &StockNotes::Load)
          .Method("Save", &StockNotes::Save)
          .Method("CreateTable", &StockNotes::CreateTable)
          .Get("item", &StockNotes::item)
          .Get("", &StockNotes::item)  // the default member
          .Get("Count", &StockNotes::Count)
          .Method("Remove", &StockNotes::Remove)
          .Get("NewEnum", &StockNotes::NewEnum)
          .Build();
  return table;
}

}  // namespace thalmere
