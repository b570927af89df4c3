#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/automation/Dispatch.h"
#include "platform/pdf/PdfSettings.h"

namespace pdf {

class PdfEngine;

// One column of a table: `Alignment` of its cells (0 left, 1 right, 2 centred) and `Width`,
// which is the table's ColumnWidth until it is set.
class PdfTableColumn : public automation::Dispatch {
 public:
  explicit PdfTableColumn(int32_t default_width) : default_width_(default_width) {}

  std::string_view ClassName() const override { return "TableColumn"; }
  const automation::MemberTable& Members() const override;

  int32_t AlignmentCode() const { return static_cast<int32_t>(alignment_); }
  void SetAlignment(int32_t code) { alignment_ = AlignmentFromCode(code); }
  int32_t Width() const { return width_.value_or(default_width_); }
  // A width below 1 is error 5.
  void SetWidth(int32_t units);

  Alignment alignment() const { return alignment_; }

 private:
  Alignment alignment_ = Alignment::kLeft;
  int32_t default_width_;
  std::optional<int32_t> width_;
};

// A table as BeginTable returns it. The layout (position, row height, margins, fill colour)
// is fixed when the table begins; rows are drawn as they are written. `Columns(i)` gives
// column i from 0 (outside 0..count-1, error 9). NewRow, TextOutC, DrawImageMemC and
// EndTable do what the engine's members of the same names do, for this table; once the
// table has ended or its engine is gone they are error 91.
class PdfTable : public automation::Dispatch {
 public:
  struct Layout {
    int32_t x = 0, y = 0;
    int32_t row_height = 0;
    Margins margins;
    uint32_t fill_rgb = 0xFFFFFF;  // red in the low byte
  };

  PdfTable(std::weak_ptr<PdfEngine> engine, Layout layout, int32_t column_count,
           int32_t column_width);

  std::string_view ClassName() const override { return "Table"; }
  const automation::MemberTable& Members() const override;

  automation::ObjectRef Columns(int32_t index);
  void NewRow();
  void TextOutC(int32_t column, const automation::Variant& value);
  void DrawImageMemC(int32_t column, int32_t width, int32_t height, const automation::Variant& data,
                     int32_t byte_count, int32_t format);
  void EndTable();

  // For the engine.
  const Layout& layout() const { return layout_; }
  int32_t ColumnCount() const { return static_cast<int32_t>(columns_.size()); }
  const PdfTableColumn& Column(int32_t index) const;  // error 9 outside the columns
  int32_t ColumnLeft(int32_t index) const;            // page x of the column's left edge
  int32_t current_row() const { return current_row_; }
  void set_current_row(int32_t row) { current_row_ = row; }

 private:
  std::shared_ptr<PdfEngine> Engine() const;

  std::weak_ptr<PdfEngine> engine_;
  Layout layout_;
  std::vector<std::shared_ptr<PdfTableColumn>> columns_;
  int32_t current_row_ = -1;  // no row yet
};

}  // namespace pdf
