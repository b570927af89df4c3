// Draws a one-page PDF document (a header paragraph, a table of 20 rows and one 1000 × 600
// JPEG image) in memory through the engine's automation members, and prints the milliseconds
// per document. With a file argument it also writes one document there, for looking at.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/automation/Variant.h"
#include "platform/pdf/PdfEngine.h"
#include "platform/pdf/tests/TestJpeg.h"

namespace {

using automation::ObjectRef;
using automation::SafeArray;
using automation::Variant;

std::vector<uint8_t> DrawDocument(const Variant& image, int32_t image_size) {
  std::shared_ptr<pdf::PdfEngine> engine = pdf::PdfEngine::Create();
  engine->Call("BeginDocument");
  ObjectRef format = engine->Get("TextFormatting").Object();
  format->Let("Alignment", Variant(2));
  format->Let("BeforeSpace", Variant(40));
  format->Let("LeftIndent", Variant(25));
  format->Let("RightIndent", Variant(25));
  ObjectRef font = engine->Get("Font").Object();
  font->Let("name", Variant("Verdana"));
  font->Let("Size", Variant(14));
  font->Let("Bold", Variant(true));
  engine->Call("BeginPara");
  engine->CallWith("TextOut", "Profile for Example Corporation");
  engine->Call("EndPara");

  ObjectRef settings = engine->Get("TableSettings").Object();
  settings->Let("RowHeight", Variant(12));
  settings->Let("ColumnWidth", Variant(50));
  settings->CallWith("SetInternalMargin", 2, 2, 2, 2);
  ObjectRef table = engine->CallWith("BeginTable", 25, 100, 6).Object();
  table->CallWith("Columns", 0).Object()->Let("Width", Variant(125));
  for (int32_t c = 1; c < 6; ++c) table->CallWith("Columns", c).Object()->Let("Alignment", 1);
  font->Let("Size", Variant(6));
  font->Let("Bold", Variant(false));
  for (int32_t row = 0; row < 20; ++row) {
    engine->Call("NewRow");
    engine->CallWith("TextOutC", 0, "Return on equity " + std::to_string(row));
    for (int32_t c = 1; c < 6; ++c) engine->CallWith("TextOutC", c, 12.5f * row + c);
  }
  engine->Call("EndTable");

  engine->CallWith("DrawImageMem", 50, 400, image, image_size, 1);
  engine->Call("EndDocument");
  return engine->bytes();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<uint8_t> jpeg = pdf_testing::EncodeTestJpeg(1000, 600);
  const Variant image(SafeArray(jpeg, 0));
  const auto size = static_cast<int32_t>(jpeg.size());

  std::vector<uint8_t> pdf = DrawDocument(image, size);  // warms up the font caches
  constexpr int kDocuments = 200;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kDocuments; ++i) pdf = DrawDocument(image, size);
  const std::chrono::duration<double, std::milli> elapsed =
      std::chrono::steady_clock::now() - start;
  std::printf(
      "pdf document (paragraph, 20-row table, 1000 x 600 JPEG of %zu bytes): %.3f ms, "
      "%zu bytes\n",
      jpeg.size(), elapsed.count() / kDocuments, pdf.size());

  if (argc > 1) {
    std::ofstream(argv[1], std::ios::binary)
        .write(reinterpret_cast<const char*>(pdf.data()), static_cast<std::streamsize>(pdf.size()));
  }
  return 0;
}
