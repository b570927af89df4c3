#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Dispatch.h"
#include "platform/pdf/PdfSettings.h"
#include "platform/pdf/PdfTable.h"

namespace pdf {

// The PDF document engine, created by ProgID Kestrova.PdfEngine or by its class identifier
// {1DC59A34-1EDD-440A-B21F-CB8857C112E5}. It draws one US Letter portrait page; one unit is
// 1/96 inch, so the page is 816 x 1056 units with (0, 0) at its top left.
//
// Output: in memory (at creation, or after OutputToMemory = True) or to the file named by
// OutputFileName. BeginDocument starts a new document (dropping one not ended);
// EndDocument finishes it, writes the file when the output is a file, and keeps the bytes,
// which DocumentBytes hands out in either case (an empty byte array before any document
// has ended). An empty OutputFileName writes no file. A file that cannot be written is
// error 75.
//
// Text: the Font, TextFormatting, TextColor and BrushColor settings apply to what is drawn
// afterwards (colours are RGB integers with red in the low byte). BeginPara, TextOut...,
// EndPara draws a paragraph BeforeSpace below the previous one (or below the page's top),
// between LeftIndent and RightIndent, wrapped at word boundaries; TextOut outside a
// paragraph is a paragraph of its own.
//
// Tables: BeginTable (x, y, columns) returns a PdfTable laid out by the TableSettings of
// that moment and filled with the BrushColor of that moment. Text too long for its cell
// wraps inside the cell and is clipped to it; a single word too wide for it (a long number)
// is set smaller to fit, down to half its size. A numeric TextOutC value shows in its
// ordinary text form. Images are JPEG (format 1, the only one) and are embedded unchanged;
// DrawImageMemC shrinks an image larger than the inside of its cell (the cell less its
// margins) to fit it, keeping its proportions.
//
// Everything is drawn on the one page; what falls outside it is cut off. An engine is used
// by one thread at a time.
//
// Errors: a drawing call without a begun document, a table call without a current table,
// a bad alignment code, image format or image data are error 5; a column outside the
// table or a byte count beyond the data is error 9.
class PdfEngine : public automation::Dispatch {
 public:
  static constexpr const char* kProgId = "Kestrova.PdfEngine";
  static constexpr const char* kClassId = "{1DC59A34-1EDD-440A-B21F-CB8857C112E5}";
  static constexpr int32_t kPageWidth = 816;
  static constexpr int32_t kPageHeight = 1056;

  static std::shared_ptr<PdfEngine> Create();
  ~PdfEngine() override;

  std::string_view ClassName() const override { return "PdfEngine"; }
  const automation::MemberTable& Members() const override;

  // Output.
  std::string OutputFileName() const { return output_file_; }
  void SetOutputFileName(const std::string& path);
  bool OutputToMemory() const { return to_memory_; }
  void SetOutputToMemory(bool on);
  void BeginDocument();
  void EndDocument();
  automation::Variant DocumentBytes() const;
  const std::vector<uint8_t>& bytes() const { return bytes_; }

  // Settings.
  automation::ObjectRef Font() const { return font_; }
  automation::ObjectRef TextFormatting() const { return formatting_; }
  automation::ObjectRef TableSettings() const { return table_settings_; }
  automation::ObjectRef ImageSettings() const { return image_settings_; }
  int32_t TextColor() const { return static_cast<int32_t>(text_rgb_); }
  void SetTextColor(int32_t rgb) { text_rgb_ = static_cast<uint32_t>(rgb) & 0xFFFFFF; }
  int32_t BrushColor() const { return static_cast<int32_t>(brush_rgb_); }
  void SetBrushColor(int32_t rgb) { brush_rgb_ = static_cast<uint32_t>(rgb) & 0xFFFFFF; }

  // Paragraphs.
  void BeginPara();
  void TextOut(const std::string& text);
  void EndPara();

  // Tables.
  automation::ObjectRef BeginTable(int32_t x, int32_t y, int32_t column_count);
  void NewRow();
  void TextOutC(int32_t column, const automation::Variant& value);
  void DrawImageMemC(int32_t column, int32_t width, int32_t height, const automation::Variant& data,
                     int32_t byte_count, int32_t format);
  void EndTable();

  // Images.
  void DrawImageMem(int32_t x, int32_t y, const automation::Variant& data, int32_t byte_count,
                    int32_t format);

  // What PdfTable forwards; `table` must be the current table or error 91.
  void NewRowOf(PdfTable& table);
  void TextOutCOf(PdfTable& table, int32_t column, const automation::Variant& value);
  void DrawImageMemCOf(PdfTable& table, int32_t column, int32_t width, int32_t height,
                       const automation::Variant& data, int32_t byte_count, int32_t format);
  void EndTableOf(PdfTable& table);

 private:
  struct Document;
  class TextLayouts;
  struct Run {
    std::string text;
    std::string family;
    float size;
    bool bold, underline;
    uint32_t rgb;
  };

  PdfEngine();
  Document& Current(std::string_view call);
  PdfTable& CurrentTable(std::string_view call);
  void CheckCurrent(PdfTable& table, std::string_view call);
  void EnsureRow(PdfTable& table);
  Run RunOf(std::string text) const;

  std::string output_file_;
  bool to_memory_ = true;
  std::unique_ptr<Document> document_;
  std::vector<uint8_t> bytes_;

  std::shared_ptr<PdfFont> font_;
  std::shared_ptr<PdfTextFormatting> formatting_;
  std::shared_ptr<PdfTableSettings> table_settings_;
  std::shared_ptr<PdfImageSettings> image_settings_;
  uint32_t text_rgb_ = 0x000000;
  uint32_t brush_rgb_ = 0xFFFFFF;

  std::vector<Run> paragraph_;
  bool in_paragraph_ = false;
  std::shared_ptr<PdfTable> table_;
};

}  // namespace pdf
