#include "platform/pdf/PdfTable.h"

#include <utility>

#include <fmt/format.h>

#include "platform/pdf/PdfEngine.h"

namespace pdf {

using automation::Error;
using automation::MemberTable;
using automation::MemberTableBuilder;
namespace err = automation::err;

void PdfTableColumn::SetWidth(int32_t units) {
  if (units < 1) {
    throw Error::WithDetail(err::kInvalidArgument,
                            fmt::format("column width {} is below 1", units));
  }
  width_ = units;
}

const MemberTable& PdfTableColumn::Members() const {
  using C = PdfTableColumn;
  static const MemberTable table = MemberTableBuilder<C>()
                                       .Property("Alignment", &C::AlignmentCode, &C::SetAlignment)
                                       .Property("Width", &C::Width, &C::SetWidth)
                                       .Build();
  return table;
}

PdfTable::PdfTable(std::weak_ptr<PdfEngine> engine, Layout layout, int32_t column_count,
                   int32_t column_width)
    : engine_(std::move(engine)), layout_(layout) {
  columns_.reserve(static_cast<size_t>(column_count));
  for (int32_t i = 0; i < column_count; ++i) {
    columns_.push_back(std::make_shared<PdfTableColumn>(column_width));
  }
}

const PdfTableColumn& PdfTable::Column(int32_t index) const {
  if (index < 0 || index >= ColumnCount()) {
    throw Error::WithDetail(err::kSubscriptOutOfRange,
                            fmt::format("column {} out of range 0..{}", index, ColumnCount() - 1));
  }
  return *columns_[static_cast<size_t>(index)];
}

int32_t PdfTable::ColumnLeft(int32_t index) const {
  int32_t x = layout_.x;
  for (int32_t i = 0; i < index; ++i) x += columns_[static_cast<size_t>(i)]->Width();
  return x;
}

automation::ObjectRef PdfTable::Columns(int32_t index) {
  Column(index);  // range check
  return columns_[static_cast<size_t>(index)];
}

std::shared_ptr<PdfEngine> PdfTable::Engine() const {
  std::shared_ptr<PdfEngine> engine = engine_.lock();
  if (!engine) throw Error::WithDetail(err::kObjectNotSet, "the table's engine is gone");
  return engine;
}

void PdfTable::NewRow() { Engine()->NewRowOf(*this); }
void PdfTable::TextOutC(int32_t column, const automation::Variant& value) {
  Engine()->TextOutCOf(*this, column, value);
}
void PdfTable::DrawImageMemC(int32_t column, int32_t width, int32_t height,
                             const automation::Variant& data, int32_t byte_count, int32_t format) {
  Engine()->DrawImageMemCOf(*this, column, width, height, data, byte_count, format);
}
void PdfTable::EndTable() { Engine()->EndTableOf(*this); }

const MemberTable& PdfTable::Members() const {
  static const MemberTable table = MemberTableBuilder<PdfTable>()
                                       .Get("Columns", &PdfTable::Columns)
                                       .Method("NewRow", &PdfTable::NewRow)
                                       .Method("TextOutC", &PdfTable::TextOutC)
                                       .Method("DrawImageMemC", &PdfTable::DrawImageMemC)
                                       .Method("EndTable", &PdfTable::EndTable)
                                       .Build();
  return table;
}

}  // namespace pdf
