// The engine is reached as its callers reach it, by class identifier and member names, and
// what it draws is read back from the PDF with poppler's tools.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/automation/Dispatch.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/pdf/tests/PdfReadBack.h"
#include "platform/pdf/tests/TestJpeg.h"
#include "platform/tests/Shell.h"
#include "platform/tests/TestEnvironment.h"

namespace {

using automation::ObjectRef;
using automation::SafeArray;
using automation::Variant;
namespace fs = std::filesystem;

using pdf_testing::Find;
using pdf_testing::kPointsPerUnit;
using pdf_testing::Raster;
using pdf_testing::ReadFile;
using pdf_testing::Render;
using pdf_testing::Word;
using pdf_testing::WordsOf;
using testing_support::Shell;

constexpr const char* kClassId = "{1DC59A34-1EDD-440A-B21F-CB8857C112E5}";

std::vector<uint8_t> BytesOf(const Variant& v) {
  return std::get<std::vector<uint8_t>>(v.Array().storage());
}

Variant ByteArray(std::vector<uint8_t> bytes) { return Variant(SafeArray(std::move(bytes), 0)); }

int32_t ErrorNumberOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const automation::Error& e) {
    return e.Number();
  }
  return 0;
}

class PdfEngineTest : public ::testing::Test {
 protected:
  ObjectRef NewEngine() { return automation::CreateObject(kClassId); }

  // Ends the document in memory and stores its bytes as a file for the tools.
  fs::path Finish(automation::Dispatch& engine, const std::string& name) {
    engine.Call("EndDocument");
    const std::vector<uint8_t> bytes = BytesOf(engine.Get("DocumentBytes"));
    const fs::path path = home_.root() / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  static void SetFont(automation::Dispatch& engine, const std::string& name, float size,
                      bool bold) {
    ObjectRef font = engine.Get("Font").Object();
    font->Let("name", Variant(name));
    font->Let("Size", Variant(size));
    font->Let("Bold", Variant(bold));
    font->Let("Underline", Variant(false));
  }

  static void SetTable(automation::Dispatch& engine, int32_t row_height, int32_t column_width) {
    ObjectRef settings = engine.Get("TableSettings").Object();
    settings->Let("RowHeight", Variant(row_height));
    settings->Let("AutoAdjustColumnWidth", Variant(false));
    settings->Let("ColumnWidth", Variant(column_width));
    settings->Let("EnableTitle", Variant(false));
    settings->CallWith("SetInternalMargin", 2, 2, 2, 2);
  }

  testing_support::ScopedTempHome home_;
};

TEST_F(PdfEngineTest, CreatedByClassIdentifierAndProgId) {
  ObjectRef engine = NewEngine();
  ASSERT_TRUE(engine);
  EXPECT_EQ(engine->ClassName(), "PdfEngine");
  EXPECT_EQ(automation::CreateObject("Kestrova.PdfEngine")->ClassName(), "PdfEngine");
  EXPECT_NE(NewEngine().get(), engine.get()) << "every creation gives a new engine";
}

TEST_F(PdfEngineTest, DrawsALetterPageWithParagraphAndTableText) {
  ObjectRef engine = NewEngine();
  engine->Call("BeginDocument");
  ObjectRef format = engine->Get("TextFormatting").Object();
  format->Let("Alignment", Variant(2));
  format->Let("BeforeSpace", Variant(40));
  format->Let("LeftIndent", Variant(25));
  format->Let("RightIndent", Variant(25));
  SetFont(*engine, "Verdana", 14, true);
  engine->Call("BeginPara");
  engine->CallWith("TextOut", "Profile for Example Corp");
  engine->Call("EndPara");

  SetTable(*engine, 15, 150);
  ObjectRef table = engine->CallWith("BeginTable", 25, 65, 3).Object();
  table->CallWith("Columns", 2).Object()->Let("Alignment", Variant(1));
  SetFont(*engine, "Verdana", 7, false);
  engine->CallWith("TextOutC", 0, "Symbol: EXC");
  engine->CallWith("TextOutC", 1, 12.5f);
  engine->CallWith("TextOutC", 2, 1234);
  table->Call("NewRow");  // the table's own members work as well
  table->CallWith("TextOutC", 0, "second");
  engine->Call("EndTable");
  const fs::path pdf = Finish(*engine, "text.pdf");

  const std::string info = Shell("pdfinfo '" + pdf.string() + "'");
  EXPECT_NE(info.find("612 x 792 pts (letter)"), std::string::npos) << info;
  const size_t pages = info.find("Pages:");
  ASSERT_NE(pages, std::string::npos) << info;
  EXPECT_EQ(std::stoi(info.substr(pages + 6)), 1) << info;

  const std::vector<Word> words = WordsOf(pdf);
  const Word* title = Find(words, "Profile");
  const Word* corp = Find(words, "Corp");
  ASSERT_TRUE(title && corp);
  // Centred between the indents, 40 units below the page's top.
  EXPECT_NEAR((title->x_min + corp->x_max) / 2, 408 * kPointsPerUnit, 2);
  EXPECT_NEAR(title->y_min, 40 * kPointsPerUnit, 4);

  const Word* number = Find(words, "12.5");
  const Word* right = Find(words, "1234");
  const Word* second = Find(words, "second");
  ASSERT_TRUE(number && right && second && Find(words, "EXC"));
  EXPECT_GE(number->x_min, (25 + 150) * kPointsPerUnit);  // column 1 starts at 175
  // Column 2 is right-aligned: its text ends at the right margin of 475 units.
  EXPECT_NEAR(right->x_max, (475 - 2) * kPointsPerUnit, 1.5);
  EXPECT_NEAR(second->y_min - number->y_min, 15 * kPointsPerUnit, 1) << "rows are 15 apart";
}

TEST_F(PdfEngineTest, LongCellTextWrapsInsideItsCell) {
  ObjectRef engine = NewEngine();
  engine->Call("BeginDocument");
  SetTable(*engine, 200, 150);
  engine->CallWith("BeginTable", 100, 100, 2);
  SetFont(*engine, "Verdana", 8, false);
  std::string text;
  std::vector<std::string> expected;
  for (int i = 0; i < 30; ++i) {
    expected.push_back("word" + std::to_string(i));
    text += expected.back() + " ";
  }
  engine->CallWith("TextOutC", 0, text);
  engine->CallWith("TextOutC", 1, "neighbour");
  engine->Call("EndTable");
  const std::vector<Word> words = WordsOf(Finish(*engine, "wrap.pdf"));

  std::vector<double> line_tops;
  for (const std::string& w : expected) {
    const Word* found = Find(words, w);
    ASSERT_TRUE(found) << w;
    EXPECT_GE(found->x_min, 100 * kPointsPerUnit) << w;
    EXPECT_LE(found->x_max, 250 * kPointsPerUnit) << w << " runs past the cell";
    if (std::find(line_tops.begin(), line_tops.end(), found->y_min) == line_tops.end()) {
      line_tops.push_back(found->y_min);
    }
  }
  EXPECT_GE(line_tops.size(), 4u) << "the text wraps onto several lines";
  const Word* neighbour = Find(words, "neighbour");
  ASSERT_TRUE(neighbour);
  EXPECT_GE(neighbour->x_min, 250 * kPointsPerUnit);
}

TEST_F(PdfEngineTest, ALongNumberIsSetSmallerToFitItsCell) {
  ObjectRef engine = NewEngine();
  engine->Call("BeginDocument");
  SetTable(*engine, 12, 50);
  ObjectRef table = engine->CallWith("BeginTable", 100, 100, 3).Object();
  table->CallWith("Columns", 1).Object()->Let("Alignment", Variant(1));
  SetFont(*engine, "Verdana", 6, false);
  engine->CallWith("TextOutC", 0, "12,345,678.90");
  engine->CallWith("TextOutC", 1, "-9,876,543.21");
  engine->CallWith("TextOutC", 2, "12.5");
  engine->Call("EndTable");
  const std::vector<Word> words = WordsOf(Finish(*engine, "numbers.pdf"));

  struct Case {
    const char* text;
    double left;
  };
  for (const Case& c : {Case{"12,345,678.90", 100}, Case{"-9,876,543.21", 150}}) {
    const Word* number = Find(words, c.text);
    ASSERT_TRUE(number) << c.text << " is broken up";
    EXPECT_GE(number->x_min, c.left * kPointsPerUnit) << c.text;
    EXPECT_LE(number->x_max, (c.left + 50) * kPointsPerUnit) << c.text;
  }
  const Word* short_number = Find(words, "12.5");
  ASSERT_TRUE(short_number);
  const Word* long_number = Find(words, "12,345,678.90");
  EXPECT_LT(long_number->y_max - long_number->y_min, short_number->y_max - short_number->y_min);
}

// Cell text laid out for one document is kept for the next ones on the same thread; each
// document still comes out as if it were the first, on whichever thread it is drawn.
TEST_F(PdfEngineTest, LaterDocumentsAndOtherThreadsDrawTheSamePage) {
  auto Draw = [] {
    ObjectRef engine = automation::CreateObject(kClassId);
    engine->Call("BeginDocument");
    SetFont(*engine, "Verdana", 10, true);
    engine->CallWith("TextOut", "Profile for Example Corporation");
    SetTable(*engine, 12, 50);
    engine->CallWith("BeginTable", 100, 100, 3);
    SetFont(*engine, "Verdana", 6, false);
    for (int32_t row = 0; row < 3; ++row) {
      engine->Call("NewRow");
      engine->CallWith("TextOutC", 0, "12,345,678.90");  // set smaller, every time
      engine->CallWith("TextOutC", 1, "Sales");
      engine->CallWith("TextOutC", 2, row);
    }
    engine->Call("EndTable");
    engine->Call("EndDocument");
    std::vector<uint8_t> bytes = BytesOf(engine->Get("DocumentBytes"));
    // The creation date is the one part that may differ.
    const std::string date = "/CreationDate (D:";
    const auto at = std::search(bytes.begin(), bytes.end(), date.begin(), date.end());
    for (auto digit = at + static_cast<std::ptrdiff_t>(date.size());
         at != bytes.end() && digit != bytes.end() && *digit != 'Z'; ++digit) {
      *digit = '0';
    }
    return bytes;
  };
  const std::vector<uint8_t> first = Draw();
  const std::vector<uint8_t> second = Draw();
  std::vector<uint8_t> on_thread;
  std::thread([&] { on_thread = Draw(); }).join();
  EXPECT_EQ(second, first);
  EXPECT_EQ(on_thread, first);

  const fs::path path = home_.root() / "second.pdf";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(second.data()),
             static_cast<std::streamsize>(second.size()));
  const std::vector<Word> words = WordsOf(path);
  const Word* label = Find(words, "Sales");
  ASSERT_TRUE(label);
  int long_numbers = 0;
  for (const Word& word : words) {
    if (word.text != "12,345,678.90") continue;
    ++long_numbers;
    EXPECT_LT(word.y_max - word.y_min, label->y_max - label->y_min) << "row " << long_numbers;
    EXPECT_LE(word.x_max, 150 * kPointsPerUnit) << "row " << long_numbers;
  }
  EXPECT_EQ(long_numbers, 3);
}

TEST_F(PdfEngineTest, FillsCellsColoursTextAndClipsItToTheCell) {
  ObjectRef engine = NewEngine();
  engine->Call("BeginDocument");
  SetTable(*engine, 12, 200);
  engine->Let("BrushColor", Variant(204 + (204 << 8) + (204 << 16)));
  engine->CallWith("BeginTable", 100, 100, 1);
  engine->CallWith("TextOutC", 0, "");
  engine->Call("EndTable");

  engine->Let("BrushColor", Variant(0xFFFFFF));
  engine->Let("TextColor", Variant(255));  // red, in the low byte
  SetFont(*engine, "Verdana", 10, true);
  engine->CallWith("BeginTable", 100, 300, 1);
  std::string long_text;
  for (int i = 0; i < 40; ++i) long_text += "clipped ";
  engine->CallWith("TextOutC", 0, long_text);
  engine->Call("EndTable");
  const Raster page = Render(Finish(*engine, "raster.pdf"));
  ASSERT_EQ(page.width, 816);
  ASSERT_EQ(page.height, 1056);

  const auto [gr, gg, gb] = page.At(200, 106);
  EXPECT_NEAR(gr, 204, 3);
  EXPECT_NEAR(gg, 204, 3);
  EXPECT_NEAR(gb, 204, 3);

  int red = 0;
  for (int y = 300; y < 312; ++y) {
    for (int x = 100; x < 300; ++x) {
      const auto [r, g, b] = page.At(x, y);
      if (r > 150 && g < 120 && b < 120) ++red;
    }
  }
  EXPECT_GT(red, 20) << "the text is drawn in red";
  // The text needs many lines but the row is 12 units high: nothing shows below it.
  EXPECT_EQ(page.InkIn(90, 314, 320, 400), 0);
  EXPECT_EQ(page.InkIn(302, 290, 400, 320), 0) << "nothing right of the cell";
}

TEST_F(PdfEngineTest, EmbedsJpegImagesUnchanged) {
  const std::vector<uint8_t> chart = pdf_testing::EncodeTestJpeg(1000, 600);
  const std::vector<uint8_t> small = pdf_testing::EncodeTestJpeg(375, 265);
  ObjectRef engine = NewEngine();
  engine->Call("BeginDocument");
  engine->CallWith("DrawImageMem", 50, 150, ByteArray(chart), static_cast<int32_t>(chart.size()),
                   1);
  SetTable(*engine, 265, 50);
  engine->Get("ImageSettings").Object()->Let("Transparent", Variant(true));
  ObjectRef table = engine->CallWith("BeginTable", 25, 760, 1).Object();
  table->CallWith("Columns", 0).Object()->Let("Width", Variant(375));
  engine->CallWith("DrawImageMemC", 0, 375, 265, ByteArray(small),
                   static_cast<int32_t>(small.size()), 1);
  engine->Call("EndTable");
  const fs::path pdf = Finish(*engine, "images.pdf");

  const std::string list = Shell("pdfimages -list '" + pdf.string() + "'");
  EXPECT_NE(list.find("1000   600  rgb     3   8  jpeg"), std::string::npos) << list;
  EXPECT_NE(list.find("375   265  rgb     3   8  jpeg"), std::string::npos) << list;

  // Extracted as they are stored, the images are the very bytes that went in.
  const fs::path prefix = home_.root() / "img";
  Shell("pdfimages -j '" + pdf.string() + "' '" + prefix.string() + "'");
  EXPECT_EQ(ReadFile(home_.root() / "img-000.jpg"), chart);
  EXPECT_EQ(ReadFile(home_.root() / "img-001.jpg"), small);

  const Raster page = Render(pdf);
  // The free image fills its box at its own size: from (50, 150) to the page's right edge and
  // down to 750.
  EXPECT_EQ(page.InkIn(50, 140, 816, 149), 0);
  EXPECT_GT(page.InkIn(52, 152, 60, 160), 40);
  EXPECT_GT(page.InkIn(800, 740, 810, 748), 40);
  EXPECT_EQ(page.InkIn(50, 752, 816, 758), 0);
  // The cell's image, as large as the cell, is shrunk to its inside (371 x 261 less a little
  // for its proportions) instead of losing its edges: it reaches the bottom margin and stops
  // short of the right one.
  EXPECT_GT(page.InkIn(30, 1018, 390, 1022), 1000);
  EXPECT_EQ(page.InkIn(398, 770, 399, 1015), 0);
  EXPECT_GT(page.InkIn(390, 770, 395, 1015), 1000);
}

TEST_F(PdfEngineTest, FontsThatAreNotInstalledFallBackToASans) {
  ObjectRef engine = NewEngine();
  engine->Call("BeginDocument");
  SetFont(*engine, "Verdana", 10, false);
  engine->CallWith("TextOut", "verdana text");
  SetFont(*engine, "No Such Family Qz", 10, true);
  engine->CallWith("TextOut", "unknown family text");
  const fs::path pdf = Finish(*engine, "fonts.pdf");

  const std::string text = Shell("pdftotext '" + pdf.string() + "' -");
  EXPECT_NE(text.find("verdana text"), std::string::npos) << text;
  EXPECT_NE(text.find("unknown family text"), std::string::npos) << text;
  const std::string fonts = Shell("pdffonts '" + pdf.string() + "'");
  EXPECT_NE(fonts.find("Sans"), std::string::npos) << fonts;
  EXPECT_EQ(fonts.find("Serif"), std::string::npos) << fonts;
}

TEST_F(PdfEngineTest, FileOutputMatchesMemoryOutput) {
  auto Draw = [&](automation::Dispatch& engine) {
    engine.Call("BeginDocument");
    engine.CallWith("TextOut", "same document");
    SetTable(engine, 15, 80);
    engine.CallWith("BeginTable", 25, 100, 2);
    engine.CallWith("TextOutC", 1, 42);
    engine.Call("EndTable");
  };
  const fs::path file = home_.root() / "out.pdf";
  ObjectRef to_file = NewEngine();
  to_file->Let("OutputFileName", Variant(file.string()));
  Draw(*to_file);
  to_file->Call("EndDocument");
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(ReadFile(file), BytesOf(to_file->Get("DocumentBytes")));

  ObjectRef in_memory = NewEngine();
  Draw(*in_memory);
  const fs::path memory = Finish(*in_memory, "memory.pdf");
  const std::string file_text = Shell("pdftotext -layout '" + file.string() + "' -");
  EXPECT_NE(file_text.find("same document"), std::string::npos);
  EXPECT_EQ(file_text, Shell("pdftotext -layout '" + memory.string() + "' -"));
  // The two differ at most in their creation time.
  EXPECT_NEAR(static_cast<double>(fs::file_size(file)), static_cast<double>(fs::file_size(memory)),
              8);
}

TEST_F(PdfEngineTest, AnEmptyFileNameWritesNoFile) {
  const fs::path old_directory = fs::current_path();
  fs::current_path(home_.root());
  const auto entries = [&] {
    return std::distance(fs::directory_iterator(home_.root()), fs::directory_iterator());
  };
  const auto before = entries();
  ObjectRef engine = NewEngine();
  engine->Let("OutputFileName", Variant(""));
  engine->Call("BeginDocument");
  engine->CallWith("TextOut", "nowhere");
  engine->Call("EndDocument");
  EXPECT_EQ(entries(), before);
  fs::current_path(old_directory);
  EXPECT_GT(BytesOf(engine->Get("DocumentBytes")).size(), 0u);
}

TEST_F(PdfEngineTest, ReportsMisuseWithItsErrorNumbers) {
  namespace err = automation::err;
  ObjectRef engine = NewEngine();
  EXPECT_EQ(BytesOf(engine->Get("DocumentBytes")).size(), 0u) << "nothing drawn yet";
  EXPECT_EQ(ErrorNumberOf([&] { engine->Call("EndDocument"); }), 0) << "nothing to finish";
  EXPECT_EQ(ErrorNumberOf([&] { engine->CallWith("TextOut", "x"); }), err::kInvalidArgument);

  engine->Call("BeginDocument");
  EXPECT_EQ(ErrorNumberOf([&] { engine->CallWith("TextOutC", 0, "x"); }), err::kInvalidArgument);
  ObjectRef table = engine->CallWith("BeginTable", 0, 0, 4).Object();
  EXPECT_EQ(ErrorNumberOf([&] { table->CallWith("Columns", 4); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumberOf([&] { engine->CallWith("TextOutC", -1, "x"); }),
            err::kSubscriptOutOfRange);
  EXPECT_EQ(
      ErrorNumberOf([&] { table->CallWith("Columns", 0).Object()->Let("Alignment", Variant(3)); }),
      err::kInvalidArgument);
  const std::vector<uint8_t> jpeg = pdf_testing::EncodeTestJpeg(8, 8);
  EXPECT_EQ(ErrorNumberOf([&] {
              engine->CallWith("DrawImageMem", 0, 0, ByteArray(jpeg),
                               static_cast<int32_t>(jpeg.size()), 2);
            }),
            err::kInvalidArgument);
  EXPECT_EQ(ErrorNumberOf([&] {
              engine->CallWith("DrawImageMem", 0, 0, ByteArray(jpeg),
                               static_cast<int32_t>(jpeg.size()) + 1, 1);
            }),
            err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumberOf([&] {
              engine->CallWith("DrawImageMem", 0, 0, ByteArray({1, 2, 3, 4}), 4, 1);
            }),
            err::kInvalidArgument);
  // Cut short in its header, the data fails inside the decoder's own calls; the error comes
  // back through them naming the decoder's complaint.
  try {
    engine->CallWith("DrawImageMem", 0, 0, ByteArray({jpeg.begin(), jpeg.begin() + 20}), 20, 1);
    ADD_FAILURE() << "a cut JPEG was drawn";
  } catch (const automation::Error& e) {
    EXPECT_EQ(e.Number(), err::kInvalidArgument);
    EXPECT_NE(e.Description().find("the image is no readable JPEG: "), std::string::npos)
        << e.Description();
  }
  engine->Call("EndTable");
  EXPECT_EQ(ErrorNumberOf([&] { table->Call("NewRow"); }), err::kObjectNotSet)
      << "the table has ended";
  EXPECT_EQ(ErrorNumberOf([&] { engine->Call("NewRow"); }), err::kInvalidArgument)
      << "no table is current";
  engine->Call("EndDocument");

  ObjectRef unwritable = NewEngine();
  unwritable->Let("OutputFileName", Variant((home_.root() / "missing" / "x.pdf").string()));
  unwritable->Call("BeginDocument");
  EXPECT_EQ(ErrorNumberOf([&] { unwritable->Call("EndDocument"); }), err::kFileAccess);
}

}  // namespace
