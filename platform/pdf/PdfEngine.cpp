#include "platform/pdf/PdfEngine.h"

#include <algorithm>
#include <bit>
#include <fstream>
#include <map>
#include <unordered_map>
#include <utility>

#include <cairo-pdf.h>
#include <fmt/format.h>
#include <pango/pangocairo.h>

#include "platform/automation/Convert.h"
#include "platform/automation/Error.h"
#include "platform/graphics/CairoHandles.h"
#include "platform/pdf/JpegImage.h"

namespace pdf {

using automation::Error;
using automation::MemberTable;
using automation::MemberTableBuilder;
using automation::ObjectRef;
using automation::SafeArray;
using automation::Variant;
using graphics::AttrList;
using graphics::CairoContext;
using graphics::CairoFontOptions;
using graphics::CairoSurface;
using graphics::FontDescription;
using graphics::PangoContextHandle;
using graphics::PangoLayoutHandle;
namespace err = automation::err;

namespace {

// Page units are 1/96 inch; PDF points are 1/72 inch.
constexpr double kPointsPerUnit = 72.0 / 96.0;
constexpr int32_t kJpegFormat = 1;

cairo_status_t DiscardBytes(void*, const unsigned char*, unsigned int) {
  return CAIRO_STATUS_SUCCESS;
}

cairo_status_t AppendToBuffer(void* closure, const unsigned char* data, unsigned int length) {
  auto* buffer = static_cast<std::vector<uint8_t>*>(closure);
  buffer->insert(buffer->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

void SetSourceRgb(cairo_t* cr, uint32_t rgb) {
  cairo_set_source_rgb(cr, (rgb & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                       ((rgb >> 16) & 0xFF) / 255.0);
}

PangoAlignment PangoAlignmentOf(Alignment alignment) {
  switch (alignment) {
    case Alignment::kRight:
      return PANGO_ALIGN_RIGHT;
    case Alignment::kCentre:
      return PANGO_ALIGN_CENTER;
    case Alignment::kLeft:
      break;
  }
  return PANGO_ALIGN_LEFT;
}

// The bytes of an image argument: the first `byte_count` bytes of a byte array (any lower
// bound) or of an array of numbers.
struct ImageBytes {
  std::vector<uint8_t> converted;
  std::span<const uint8_t> view;
};

ImageBytes ImageBytesOf(const Variant& data, int32_t byte_count) {
  if (!data.IsArray()) {
    throw Error::WithDetail(err::kTypeMismatch,
                            "image data must be a byte array, not " + data.TypeName());
  }
  const SafeArray& array = data.Array();
  if (byte_count < 0 || static_cast<size_t>(byte_count) > array.Size()) {
    throw Error::WithDetail(
        err::kSubscriptOutOfRange,
        fmt::format("byte count {} out of range 0..{}", byte_count, array.Size()));
  }
  ImageBytes bytes;
  const auto count = static_cast<size_t>(byte_count);
  if (const auto* raw = std::get_if<std::vector<uint8_t>>(&array.storage())) {
    bytes.view = std::span<const uint8_t>(raw->data(), count);
  } else {
    bytes.converted.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      bytes.converted.push_back(
          automation::CByte(array.Element(array.LowerBound() + static_cast<int32_t>(i))));
    }
    bytes.view = bytes.converted;
  }
  return bytes;
}

void CheckFormat(int32_t format) {
  if (format != kJpegFormat) {
    throw Error::WithDetail(err::kInvalidArgument,
                            fmt::format("image format {} is not supported; 1 (JPEG) is", format));
  }
}

}  // namespace

// The text of table cells laid out by Pango, kept from one document to the next on this
// thread: a profile's labels, headings and many of its figures come back page after page,
// and laying text out is most of the cost of a cell. Every document of a thread lays its
// text out in the thread's one Pango context, set up once for the page's scale, so a
// layout made for one document draws the same glyphs in the next. (Updating the context
// from each document's cairo context would mark every layout made before as stale.)
class PdfEngine::TextLayouts {
 public:
  static TextLayouts& OfThisThread() {
    thread_local TextLayouts layouts;
    return layouts;
  }

  PangoContext* context() { return context_.get(); }

  // The layout of a cell's single run: the font is the layout's own and the colour the
  // cairo source's, which spares Pango the attribute pass of mixed runs. Borrowed until the
  // next call.
  PangoLayout* Cell(const Run& run, double width, Alignment alignment) {
    const int pango_width = static_cast<int>(std::max(1.0, width) * PANGO_SCALE);
    // Every part but the last has its length or a fixed one, so no two cells share a key
    // whatever bytes their text and family hold.
    std::string key = std::to_string(run.family.size());
    key += ':';
    key += run.family;
    key += std::to_string(std::bit_cast<uint32_t>(run.size));
    key += run.bold ? 'b' : '-';
    key += run.underline ? 'u' : '-';
    key += static_cast<char>('0' + static_cast<int>(alignment));
    key += std::to_string(pango_width);
    key += ':';
    key += run.text;
    if (const auto found = cells_.find(key); found != cells_.end()) return found->second.get();
    // Bounded: a long run of different documents starts the collection afresh.
    if (cells_.size() >= kMaxCells) cells_.clear();
    PangoLayoutHandle layout(pango_layout_new(context_.get()));
    pango_layout_set_font_description(layout.get(), Font(run).get());
    if (run.underline) {
      AttrList attrs(pango_attr_list_new());
      pango_attr_list_insert(attrs.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
      pango_layout_set_attributes(layout.get(), attrs.get());
    }
    pango_layout_set_text(layout.get(), run.text.data(), static_cast<int>(run.text.size()));
    pango_layout_set_width(layout.get(), pango_width);
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    pango_layout_set_alignment(layout.get(), PangoAlignmentOf(alignment));
    return cells_.emplace(std::move(key), std::move(layout)).first->second.get();
  }

  static FontDescription FontOf(const Run& run) {
    FontDescription font(pango_font_description_new());
    // The generic family behind the chosen one makes a missing font fall back to a sans.
    const std::string families = run.family + ",sans-serif";
    pango_font_description_set_family(font.get(), families.c_str());
    pango_font_description_set_size(font.get(), static_cast<int>(run.size * PANGO_SCALE));
    pango_font_description_set_weight(font.get(),
                                      run.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    return font;
  }

 private:
  static constexpr size_t kMaxCells = 4096;

  TextLayouts() {
    context_.reset(pango_font_map_create_context(pango_cairo_font_map_get_default()));
    // At 96 dots per inch a point is 96/72 page units, so Pango's pixels are our units.
    pango_cairo_context_set_resolution(context_.get(), 96);
    // A PDF is scaled by its reader: unhinted metrics keep text the same width at any zoom.
    CairoFontOptions options(cairo_font_options_create());
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(context_.get(), options.get());
    pango_context_set_round_glyph_positions(context_.get(), FALSE);
    // The scale and the surface's font options are those of every document's page.
    CairoSurface page(cairo_pdf_surface_create_for_stream(
        DiscardBytes, nullptr, kPageWidth * kPointsPerUnit, kPageHeight * kPointsPerUnit));
    CairoContext cr(cairo_create(page.get()));
    cairo_scale(cr.get(), kPointsPerUnit, kPointsPerUnit);
    pango_cairo_update_context(cr.get(), context_.get());
  }

  // Font descriptions by family, size and weight; the documents use a handful.
  const FontDescription& Font(const Run& run) {
    const std::string key = run.family + '\n' + std::to_string(run.size) + (run.bold ? "b" : "");
    auto found = fonts_.find(key);
    if (found == fonts_.end()) found = fonts_.emplace(key, FontOf(run)).first;
    return found->second;
  }

  PangoContextHandle context_;  // first: the layouts below hold it
  std::map<std::string, FontDescription> fonts_;
  std::unordered_map<std::string, PangoLayoutHandle> cells_;
};

// One document being drawn: the PDF goes into `bytes` as cairo writes it. Its text is laid
// out by the layouts of the thread that draws it at the time: an engine may move between
// threads from one call to the next.
struct PdfEngine::Document {
  std::vector<uint8_t> bytes;
  CairoSurface surface;
  CairoContext cr;
  double bottom = 0;  // of the last paragraph, in page units

  Document() {
    bytes.reserve(64 * 1024);
    surface.reset(cairo_pdf_surface_create_for_stream(
        AppendToBuffer, &bytes, kPageWidth * kPointsPerUnit, kPageHeight * kPointsPerUnit));
    cr.reset(cairo_create(surface.get()));
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
      throw Error::WithDetail(err::kInvalidArgument,
                              std::string("cannot start a PDF document: ") +
                                  cairo_status_to_string(cairo_status(cr.get())));
    }
    cairo_scale(cr.get(), kPointsPerUnit, kPointsPerUnit);
  }

  // Text of one or more runs laid out `width` units wide with the given alignment.
  PangoLayoutHandle Layout(const std::vector<Run>& runs, double width, Alignment alignment) {
    PangoLayoutHandle layout(pango_layout_new(TextLayouts::OfThisThread().context()));
    std::string joined;
    AttrList attrs(pango_attr_list_new());
    for (const Run& run : runs) {
      const auto start = static_cast<guint>(joined.size());
      joined += run.text;
      const auto end = static_cast<guint>(joined.size());
      FontDescription font = TextLayouts::FontOf(run);
      auto Insert = [&](PangoAttribute* attr) {
        attr->start_index = start;
        attr->end_index = end;
        pango_attr_list_insert(attrs.get(), attr);
      };
      Insert(pango_attr_font_desc_new(font.get()));
      if (run.underline) Insert(pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
      Insert(pango_attr_foreground_new(static_cast<guint16>((run.rgb & 0xFF) * 257),
                                       static_cast<guint16>(((run.rgb >> 8) & 0xFF) * 257),
                                       static_cast<guint16>(((run.rgb >> 16) & 0xFF) * 257)));
    }
    if (!runs.empty()) {
      // An empty paragraph still takes the height of a line in its font.
      FontDescription font = TextLayouts::FontOf(runs.back());
      pango_layout_set_font_description(layout.get(), font.get());
    }
    pango_layout_set_text(layout.get(), joined.data(), static_cast<int>(joined.size()));
    pango_layout_set_attributes(layout.get(), attrs.get());
    pango_layout_set_width(layout.get(), static_cast<int>(std::max(1.0, width) * PANGO_SCALE));
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    pango_layout_set_alignment(layout.get(), PangoAlignmentOf(alignment));
    return layout;
  }

  static double HeightOf(PangoLayout* layout) {
    int width = 0, height = 0;
    pango_layout_get_size(layout, &width, &height);
    return static_cast<double>(height) / PANGO_SCALE;
  }

  // Paints an image `width` x `height` units with its top left at (x, y).
  // The image's stand-in surface is one pixel: a PDF draws every image into the unit square
  // that the transformation scales, so the JPEG fills the box all the same.
  void Paint(const JpegImage& image, double x, double y, double width, double height) {
    cairo_t* c = cr.get();
    cairo_save(c);
    cairo_translate(c, x, y);
    cairo_scale(c, width, height);
    cairo_set_source_surface(c, image.surface.get(), 0, 0);
    cairo_paint(c);
    cairo_restore(c);
  }
};

std::shared_ptr<PdfEngine> PdfEngine::Create() {
  return std::shared_ptr<PdfEngine>(new PdfEngine());
}

PdfEngine::PdfEngine()
    : font_(std::make_shared<PdfFont>()),
      formatting_(std::make_shared<PdfTextFormatting>()),
      table_settings_(std::make_shared<PdfTableSettings>()),
      image_settings_(std::make_shared<PdfImageSettings>()) {}

PdfEngine::~PdfEngine() = default;

void PdfEngine::SetOutputFileName(const std::string& path) {
  output_file_ = path;
  to_memory_ = false;
}

void PdfEngine::SetOutputToMemory(bool on) { to_memory_ = on; }

void PdfEngine::BeginDocument() {
  table_.reset();
  paragraph_.clear();
  in_paragraph_ = false;
  document_.reset();
  document_ = std::make_unique<Document>();
}

void PdfEngine::EndDocument() {
  if (!document_) return;  // nothing begun, nothing to finish
  if (in_paragraph_) EndPara();
  table_.reset();
  std::unique_ptr<Document> document = std::move(document_);
  document->cr.reset();
  cairo_surface_finish(document->surface.get());
  const cairo_status_t status = cairo_surface_status(document->surface.get());
  if (status != CAIRO_STATUS_SUCCESS) {
    throw Error::WithDetail(
        err::kInvalidArgument,
        std::string("the PDF document could not be finished: ") + cairo_status_to_string(status));
  }
  bytes_ = std::move(document->bytes);
  if (to_memory_ || output_file_.empty()) return;
  std::ofstream file(output_file_, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes_.data()),
             static_cast<std::streamsize>(bytes_.size()));
  file.close();
  if (!file) {
    throw Error::WithDetail(err::kFileAccess, "cannot write the PDF file " + output_file_);
  }
}

Variant PdfEngine::DocumentBytes() const { return Variant(SafeArray(bytes_, 0)); }

PdfEngine::Document& PdfEngine::Current(std::string_view call) {
  if (!document_) {
    throw Error::WithDetail(err::kInvalidArgument,
                            std::string(call) + " needs a document: call BeginDocument first");
  }
  return *document_;
}

PdfEngine::Run PdfEngine::RunOf(std::string text) const {
  return Run{std::move(text), font_->name(),      font_->Size(),
             font_->Bold(),   font_->Underline(), text_rgb_};
}

void PdfEngine::BeginPara() {
  Current("BeginPara");
  if (in_paragraph_) EndPara();
  in_paragraph_ = true;
}

void PdfEngine::TextOut(const std::string& text) {
  Current("TextOut");
  if (!in_paragraph_) {
    BeginPara();
    paragraph_.push_back(RunOf(text));
    EndPara();
    return;
  }
  paragraph_.push_back(RunOf(text));
}

void PdfEngine::EndPara() {
  Document& document = Current("EndPara");
  std::vector<Run> runs = std::move(paragraph_);
  paragraph_.clear();
  in_paragraph_ = false;
  if (runs.empty()) runs.push_back(RunOf(""));
  const PdfTextFormatting& f = *formatting_;
  const double left = f.LeftIndent();
  const double width = kPageWidth - f.LeftIndent() - f.RightIndent();
  const double top = document.bottom + f.BeforeSpace();
  PangoLayoutHandle layout = document.Layout(runs, width, f.alignment());
  cairo_move_to(document.cr.get(), left, top);
  pango_cairo_show_layout(document.cr.get(), layout.get());
  document.bottom = top + Document::HeightOf(layout.get());
}

ObjectRef PdfEngine::BeginTable(int32_t x, int32_t y, int32_t column_count) {
  Current("BeginTable");
  if (column_count < 1) {
    throw Error::WithDetail(err::kInvalidArgument,
                            fmt::format("a table needs at least one column, not {}", column_count));
  }
  const PdfTableSettings& s = *table_settings_;
  PdfTable::Layout layout{x, y, s.RowHeight(), s.margins(), brush_rgb_};
  table_ = std::make_shared<PdfTable>(std::static_pointer_cast<PdfEngine>(shared_from_this()),
                                      layout, column_count, s.ColumnWidth());
  return table_;
}

PdfTable& PdfEngine::CurrentTable(std::string_view call) {
  Current(call);
  if (!table_) {
    throw Error::WithDetail(err::kInvalidArgument,
                            std::string(call) + " needs a table: call BeginTable first");
  }
  return *table_;
}

void PdfEngine::CheckCurrent(PdfTable& table, std::string_view call) {
  Current(call);
  if (table_.get() != &table) {
    throw Error::WithDetail(err::kObjectNotSet, std::string(call) + ": the table has ended");
  }
}

void PdfEngine::NewRow() { NewRowOf(CurrentTable("NewRow")); }
void PdfEngine::TextOutC(int32_t column, const Variant& value) {
  TextOutCOf(CurrentTable("TextOutC"), column, value);
}
void PdfEngine::DrawImageMemC(int32_t column, int32_t width, int32_t height, const Variant& data,
                              int32_t byte_count, int32_t format) {
  DrawImageMemCOf(CurrentTable("DrawImageMemC"), column, width, height, data, byte_count, format);
}
void PdfEngine::EndTable() { EndTableOf(CurrentTable("EndTable")); }

// A row's cells are filled and outlined when the row starts; text and images go on top.
void PdfEngine::NewRowOf(PdfTable& table) {
  CheckCurrent(table, "NewRow");
  cairo_t* cr = document_->cr.get();
  const PdfTable::Layout& layout = table.layout();
  const int32_t row = table.current_row() + 1;
  table.set_current_row(row);
  const double top = layout.y + static_cast<double>(row) * layout.row_height;
  // The row is filled as one box and outlined as its frame and the lines between its cells,
  // which keeps the page's content (and cairo's work in writing it) small.
  double right = layout.x;
  for (int32_t i = 0; i < table.ColumnCount(); ++i) right += table.Column(i).Width();
  cairo_rectangle(cr, layout.x, top, right - layout.x, layout.row_height);
  SetSourceRgb(cr, layout.fill_rgb);
  cairo_fill_preserve(cr);
  double left = layout.x;
  for (int32_t i = 0; i + 1 < table.ColumnCount(); ++i) {
    left += table.Column(i).Width();
    cairo_move_to(cr, left, top);
    cairo_line_to(cr, left, top + layout.row_height);
  }
  cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
  cairo_set_line_width(cr, 0.75);
  cairo_stroke(cr);
}

void PdfEngine::EnsureRow(PdfTable& table) {
  if (table.current_row() < 0) NewRowOf(table);
}

void PdfEngine::TextOutCOf(PdfTable& table, int32_t column, const Variant& value) {
  CheckCurrent(table, "TextOutC");
  const PdfTableColumn& col = table.Column(column);
  std::string text = automation::CStr(value);
  EnsureRow(table);
  if (text.empty()) return;  // an empty cell shows its fill alone
  Document& document = *document_;
  cairo_t* cr = document.cr.get();
  const PdfTable::Layout& layout = table.layout();
  const Margins& m = layout.margins;
  const double left = table.ColumnLeft(column);
  const double top = layout.y + static_cast<double>(table.current_row()) * layout.row_height;
  const double width = col.Width();
  const double inner_width = width - m.left - m.right;
  const double inner_height = layout.row_height - m.top - m.bottom;

  Run run = RunOf(std::move(text));
  PangoLayout* text_layout = TextLayouts::OfThisThread().Cell(run, inner_width, col.alignment());
  // A single word too wide for the cell (a long number, mostly) would break between its
  // characters and lose its end to the clip, which shows a different number; it is set
  // smaller instead, down to half its size.
  if (pango_layout_get_line_count(text_layout) > 1 && run.text.find(' ') == std::string::npos) {
    // The natural width, unwrapped; the layout is kept, so its width is put back.
    const int wrap_width = pango_layout_get_width(text_layout);
    pango_layout_set_width(text_layout, -1);
    int natural_width = 0;
    pango_layout_get_size(text_layout, &natural_width, nullptr);
    pango_layout_set_width(text_layout, wrap_width);
    const double factor = inner_width / (static_cast<double>(natural_width) / PANGO_SCALE);
    if (factor >= 0.5) {
      run.size = static_cast<float>(run.size * factor * 0.98);
      text_layout = TextLayouts::OfThisThread().Cell(run, inner_width, col.alignment());
    }
  }
  PangoRectangle ink, logical;
  pango_layout_get_extents(text_layout, &ink, &logical);
  const double text_height = static_cast<double>(logical.height) / PANGO_SCALE;
  // Text that fits sits in the middle of the cell; text that does not starts at its top and
  // is cut off at the cell's edges.
  double text_top = top + m.top;
  if (text_height < inner_height) text_top += (inner_height - text_height) / 2;
  // Only text whose ink would cross the cell's edges needs the clip; most cells hold a
  // number or a label well inside them.
  const double ink_left = left + m.left + static_cast<double>(ink.x) / PANGO_SCALE;
  const double ink_top = text_top + static_cast<double>(ink.y) / PANGO_SCALE;
  const bool inside =
      ink_left >= left && ink_top >= top &&
      ink_left + static_cast<double>(ink.width) / PANGO_SCALE <= left + width &&
      ink_top + static_cast<double>(ink.height) / PANGO_SCALE <= top + layout.row_height;
  // Text drawn without a saved state joins the text before it in the page's content; a
  // save and restore around each cell would cost cairo far more than the text itself.
  if (!inside) {
    cairo_save(cr);
    cairo_rectangle(cr, left, top, width, layout.row_height);
    cairo_clip(cr);
  }
  SetSourceRgb(cr, run.rgb);
  cairo_move_to(cr, left + m.left, text_top);
  pango_cairo_show_layout(cr, text_layout);
  cairo_new_path(cr);
  if (!inside) cairo_restore(cr);
}

void PdfEngine::DrawImageMemCOf(PdfTable& table, int32_t column, int32_t width, int32_t height,
                                const Variant& data, int32_t byte_count, int32_t format) {
  CheckCurrent(table, "DrawImageMemC");
  const PdfTableColumn& col = table.Column(column);
  CheckFormat(format);
  if (width < 1 || height < 1) {
    throw Error::WithDetail(err::kInvalidArgument,
                            fmt::format("image size {} x {} is not positive", width, height));
  }
  ImageBytes bytes = ImageBytesOf(data, byte_count);
  JpegImage image = JpegImage::Read(bytes.view);
  EnsureRow(table);
  cairo_t* cr = document_->cr.get();
  const PdfTable::Layout& layout = table.layout();
  const Margins& m = layout.margins;
  const double left = table.ColumnLeft(column);
  const double top = layout.y + static_cast<double>(table.current_row()) * layout.row_height;
  const double cell_width = col.Width();
  // An image larger than the cell's inside is shrunk to fit it, keeping its proportions:
  // a chart the size of its cell would otherwise lose its right and bottom edges to the
  // margins.
  const double inner_width = std::max(1.0, cell_width - m.left - m.right);
  const double inner_height =
      std::max(1.0, static_cast<double>(layout.row_height - m.top - m.bottom));
  const double scale = std::min({1.0, inner_width / width, inner_height / height});
  const double shown_width = width * scale;
  const double shown_height = height * scale;
  double image_left = left + m.left;
  if (col.alignment() == Alignment::kRight) image_left = left + cell_width - m.right - shown_width;
  if (col.alignment() == Alignment::kCentre) image_left = left + (cell_width - shown_width) / 2;
  cairo_save(cr);
  cairo_rectangle(cr, left, top, cell_width, layout.row_height);
  cairo_clip(cr);
  document_->Paint(image, image_left, top + m.top, shown_width, shown_height);
  cairo_restore(cr);
}

void PdfEngine::EndTableOf(PdfTable& table) {
  CheckCurrent(table, "EndTable");
  table_.reset();
}

void PdfEngine::DrawImageMem(int32_t x, int32_t y, const Variant& data, int32_t byte_count,
                             int32_t format) {
  Document& document = Current("DrawImageMem");
  CheckFormat(format);
  ImageBytes bytes = ImageBytesOf(data, byte_count);
  JpegImage image = JpegImage::Read(bytes.view);
  document.Paint(image, x, y, image.width, image.height);
}

const MemberTable& PdfEngine::Members() const {
  using E = PdfEngine;
  static const MemberTable table =
      MemberTableBuilder<E>()
          .Property("OutputFileName", &E::OutputFileName, &E::SetOutputFileName)
          .Property("OutputToMemory", &E::OutputToMemory, &E::SetOutputToMemory)
          .Method("BeginDocument", &E::BeginDocument)
          .Method("EndDocument", &E::EndDocument)
          .Get("DocumentBytes", &E::DocumentBytes)
          .Get("Font", &E::Font)
          .Get("TextFormatting", &E::TextFormatting)
          .Get("TableSettings", &E::TableSettings)
          .Get("ImageSettings", &E::ImageSettings)
          .Property("TextColor", &E::TextColor, &E::SetTextColor)
          .Property("BrushColor", &E::BrushColor, &E::SetBrushColor)
          .Method("BeginPara", &E::BeginPara)
          .Method("TextOut", &E::TextOut)
          .Method("EndPara", &E::EndPara)
          .Method("BeginTable", &E::BeginTable)
          .Method("NewRow", &E::NewRow)
          .Method("TextOutC", &E::TextOutC)
          .Method("DrawImageMemC", &E::DrawImageMemC)
          .Method("EndTable", &E::EndTable)
          .Method("DrawImageMem", &E::DrawImageMem)
          .Build();
  return table;
}

}  // namespace pdf
