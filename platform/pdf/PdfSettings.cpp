#include "platform/pdf/PdfSettings.h"

#include <fmt/format.h>

namespace pdf {

using automation::Error;
using automation::MemberTable;
using automation::MemberTableBuilder;
namespace err = automation::err;

Alignment AlignmentFromCode(int32_t code) {
  if (code < 0 || code > 2) {
    throw Error::WithDetail(
        err::kInvalidArgument,
        fmt::format("alignment {} is none of 0 left, 1 right, 2 centred", code));
  }
  return static_cast<Alignment>(code);
}

void PdfFont::SetSize(float size) {
  if (!(size > 0)) {
    throw Error::WithDetail(err::kInvalidArgument,
                            fmt::format("font size {} is not positive", size));
  }
  size_ = size;
}

const MemberTable& PdfFont::Members() const {
  static const MemberTable table =
      MemberTableBuilder<PdfFont>()
          .Property("name", &PdfFont::name, &PdfFont::SetName)
          .Property("Size", &PdfFont::Size, &PdfFont::SetSize)
          .Property("Bold", &PdfFont::Bold, &PdfFont::SetBold)
          .Property("Underline", &PdfFont::Underline, &PdfFont::SetUnderline)
          .Build();
  return table;
}

const MemberTable& PdfTextFormatting::Members() const {
  using F = PdfTextFormatting;
  static const MemberTable table = MemberTableBuilder<F>()
                                       .Property("Alignment", &F::AlignmentCode, &F::SetAlignment)
                                       .Property("BeforeSpace", &F::BeforeSpace, &F::SetBeforeSpace)
                                       .Property("LeftIndent", &F::LeftIndent, &F::SetLeftIndent)
                                       .Property("RightIndent", &F::RightIndent, &F::SetRightIndent)
                                       .Build();
  return table;
}

void PdfTableSettings::SetRowHeight(int32_t units) {
  if (units < 1) {
    throw Error::WithDetail(err::kInvalidArgument, fmt::format("row height {} is below 1", units));
  }
  row_height_ = units;
}

void PdfTableSettings::SetColumnWidth(int32_t units) {
  if (units < 1) {
    throw Error::WithDetail(err::kInvalidArgument,
                            fmt::format("column width {} is below 1", units));
  }
  column_width_ = units;
}

void PdfTableSettings::SetInternalMargin(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (left < 0 || top < 0 || right < 0 || bottom < 0) {
    throw Error::WithDetail(
        err::kInvalidArgument,
        fmt::format("margins {}, {}, {}, {} include a negative one", left, top, right, bottom));
  }
  margins_ = Margins{left, top, right, bottom};
}

const MemberTable& PdfTableSettings::Members() const {
  using S = PdfTableSettings;
  static const MemberTable table = MemberTableBuilder<S>()
                                       .Property("RowHeight", &S::RowHeight, &S::SetRowHeight)
                                       .Property("AutoAdjustColumnWidth", &S::AutoAdjustColumnWidth,
                                                 &S::SetAutoAdjustColumnWidth)
                                       .Property("ColumnWidth", &S::ColumnWidth, &S::SetColumnWidth)
                                       .Property("EnableTitle", &S::EnableTitle, &S::SetEnableTitle)
                                       .Method("SetInternalMargin", &S::SetInternalMargin)
                                       .Build();
  return table;
}

const MemberTable& PdfImageSettings::Members() const {
  static const MemberTable table = MemberTableBuilder<PdfImageSettings>()
                                       .Property("Transparent", &PdfImageSettings::Transparent,
                                                 &PdfImageSettings::SetTransparent)
                                       .Build();
  return table;
}

}  // namespace pdf
