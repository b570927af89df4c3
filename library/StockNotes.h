#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "library/StockNote.h"
#include "platform/automation/Dispatch.h"

namespace thalmere {

// Thalmere.StockNotes: an ordered collection of StockNote objects, indexed from 1, without
// keys. Load appends the stored notes of a company, newest first; Save writes the notes that
// are not saved yet. Load, Save and CreateTable open their own connection on data source
// Ledra and close it before they return.
//
// `item` is the default member: a late-bound call with an empty member name reaches it.
// NewEnum hands the notes out for enumeration, as a 0-based array of the note objects in
// collection order (a snapshot: later changes to the collection do not show in it).
//
// Errors: item and Remove with a position outside 1..Count, or with a text, are error 5;
// Add of Nothing is 91. Database errors reach the caller; in Save, notes written before the
// failing one stay saved.
class StockNotes : public automation::Dispatch {
 public:
  using NoteRef = std::shared_ptr<StockNote>;

  std::string_view ClassName() const override { return "StockNotes"; }
  const automation::MemberTable& Members() const override;

  // Marks the note unsaved, appends it and returns it.
  NoteRef Add(const NoteRef& oStockNote);
  // Appends every stored note of the company, newest first (notes of the same time in the
  // order the database gives), each marked saved. The collection is not emptied first. A
  // text, type or identifier stored without a value (Null) loads as an empty text, a date
  // without a value as day zero.
  void Load(const std::string& strCompanyId);
  // Saves, in collection order, every note whose Saved is false. A note whose company is not
  // found stays unsaved, so a later Save tries it again.
  void Save();
  // Creates the table (StockNote.CreateTable). Existing notes are lost.
  void CreateTable();
  NoteRef item(const automation::Variant& vntIndexKey) const;
  int32_t Count() const { return static_cast<int32_t>(notes_.size()); }
  // Takes the note out of the collection only; the table keeps its row.
  void Remove(const automation::Variant& vntIndexKey);
  automation::Variant NewEnum() const;

  // For C++ callers: the notes in collection order.
  std::vector<NoteRef>::const_iterator begin() const { return notes_.begin(); }
  std::vector<NoteRef>::const_iterator end() const { return notes_.end(); }

 private:
  size_t PositionOf(const automation::Variant& index) const;

  std::vector<NoteRef> notes_;
};

}  // namespace thalmere
