#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/automation/Dispatch.h"

namespace pdf {

// The setting objects an engine hands out (Font, TextFormatting, TableSettings,
// ImageSettings). Each engine owns one of each for its life; a setting holds until it is
// changed and applies to what is drawn afterwards. Lengths are in page units (1/96 inch).

// Font: `name` (a family that is not installed falls back to a close installed sans),
// `Size` in points, `Bold`, `Underline`.
class PdfFont : public automation::Dispatch {
 public:
  std::string_view ClassName() const override { return "Font"; }
  const automation::MemberTable& Members() const override;

  std::string name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  float Size() const { return size_; }
  // A size that is not positive is error 5.
  void SetSize(float size);
  bool Bold() const { return bold_; }
  void SetBold(bool bold) { bold_ = bold; }
  bool Underline() const { return underline_; }
  void SetUnderline(bool underline) { underline_ = underline; }

 private:
  std::string name_ = "Verdana";
  float size_ = 10;
  bool bold_ = false;
  bool underline_ = false;
};

// Alignment codes of paragraphs and table columns.
enum class Alignment : int32_t { kLeft = 0, kRight = 1, kCentre = 2 };
// A code other than 0, 1 or 2 is error 5.
Alignment AlignmentFromCode(int32_t code);

// TextFormatting: how the next paragraph is placed.
class PdfTextFormatting : public automation::Dispatch {
 public:
  std::string_view ClassName() const override { return "TextFormatting"; }
  const automation::MemberTable& Members() const override;

  int32_t AlignmentCode() const { return static_cast<int32_t>(alignment_); }
  void SetAlignment(int32_t code) { alignment_ = AlignmentFromCode(code); }
  int32_t BeforeSpace() const { return before_space_; }
  void SetBeforeSpace(int32_t units) { before_space_ = units; }
  int32_t LeftIndent() const { return left_indent_; }
  void SetLeftIndent(int32_t units) { left_indent_ = units; }
  int32_t RightIndent() const { return right_indent_; }
  void SetRightIndent(int32_t units) { right_indent_ = units; }

  Alignment alignment() const { return alignment_; }

 private:
  Alignment alignment_ = Alignment::kLeft;
  int32_t before_space_ = 0;
  int32_t left_indent_ = 0;
  int32_t right_indent_ = 0;
};

// Cell margins, in page units.
struct Margins {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// TableSettings: the layout of tables begun afterwards. AutoAdjustColumnWidth and
// EnableTitle are kept and reported back but change nothing: columns never widen and no
// row is drawn as a title.
class PdfTableSettings : public automation::Dispatch {
 public:
  std::string_view ClassName() const override { return "TableSettings"; }
  const automation::MemberTable& Members() const override;

  int32_t RowHeight() const { return row_height_; }
  // A row height below 1 is error 5.
  void SetRowHeight(int32_t units);
  bool AutoAdjustColumnWidth() const { return auto_adjust_; }
  void SetAutoAdjustColumnWidth(bool on) { auto_adjust_ = on; }
  int32_t ColumnWidth() const { return column_width_; }
  // A width below 1 is error 5.
  void SetColumnWidth(int32_t units);
  bool EnableTitle() const { return enable_title_; }
  void SetEnableTitle(bool on) { enable_title_ = on; }
  // A negative margin is error 5.
  void SetInternalMargin(int32_t left, int32_t top, int32_t right, int32_t bottom);

  const Margins& margins() const { return margins_; }

 private:
  int32_t row_height_ = 20;
  bool auto_adjust_ = false;
  int32_t column_width_ = 100;
  bool enable_title_ = false;
  Margins margins_{2, 2, 2, 2};
};

// ImageSettings: `Transparent` is kept and reported back; JPEG images have no transparent
// parts, so it changes nothing.
class PdfImageSettings : public automation::Dispatch {
 public:
  std::string_view ClassName() const override { return "ImageSettings"; }
  const automation::MemberTable& Members() const override;

  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on) { transparent_ = on; }

 private:
  bool transparent_ = false;
};

}  // namespace pdf
