#include "library/PDFChart.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "library/Quotes.h"
#include "library/Stats.h"
#include "platform/ado/Connection.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/chart/Chart.h"
#include "platform/chart/tests/DecodedPicture.h"
#include "platform/helpers/library.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/Shell.h"
#include "platform/tests/TestEnvironment.h"

namespace thalmere {
namespace {

using testing_support::DecodeJpeg;
using testing_support::Near;
using testing_support::Picture;

namespace fs = std::filesystem;
using automation::Variant;
using testing_support::ErrorNumberOf;
using testing_support::Shell;

constexpr chart::Color kUp = chart::Rgb(38, 166, 91);
constexpr chart::Color kDown = chart::Rgb(214, 48, 49);

std::vector<uint8_t> BytesOf(const Variant& v) {
  return std::get<std::vector<uint8_t>>(v.Array().storage());
}

// Every weekday from Monday 2 June 2025 to Wednesday 2 December 2026, the close rising by
// one a day. Candles go up on even days and down on odd ones; "UPPY" only goes up.
std::vector<tc2000::Bar> Bars(bool with_down_days) {
  std::vector<tc2000::Bar> bars;
  const automation::Date last = helpers::DateFromLong(20261202);
  for (automation::Date d = helpers::DateFromLong(20250602); d.value <= last.value;
       d = automation::AddDays(d, 1)) {
    if (automation::IsoWeekday(d) > 5) continue;
    const float close = 50 + static_cast<float>(bars.size()) * 0.1f;
    const bool down = with_down_days && bars.size() % 2 == 1;
    const float open = down ? close + 2 : close - 2;
    bars.push_back({helpers::LongFromDate(d), open, close + 3, close - 3, close,
                    1000 + static_cast<int32_t>(bars.size())});
  }
  return bars;
}

// A price store with "ACME" (up and down candles) and "UPPY" (up candles only), and the
// fundamentals of ACME: seven fiscal years, the oldest ending 15 July 2025, so the prices of
// June and early July 2025 have no year in force and a ratio walk skips them. Every figure
// of year k is k.
class PDFChartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto store = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    acme_bars_ = Bars(true);
    store->ReplaceBars(store->UpsertSecurity("ACME", "Acme Anvils", true), acme_bars_);
    store->ReplaceBars(store->UpsertSecurity("UPPY", "Uppy Lifts", true), Bars(false));

    auto fundamentals = sources_.Open("SIPStatic");
    auto dbf = sources_.Open("SIPDbf");
    fundamentals->Execute("create table si_ci (ticker varchar(10), company_id varchar(10))");
    fundamentals->Execute("insert into si_ci values ('ACME', 'C1')");
    const int32_t ends[] = {20260630, 20260331, 20251231, 20250930, 20250829, 20250731, 20250715};
    std::string date_columns, figures;
    for (int k = 1; k <= 7; ++k) {
      date_columns += ", perend_y" + std::to_string(k) + " date";
      figures += ", " + std::to_string(k);
    }
    fundamentals->Execute("create table si_date (company_id varchar(10)" + date_columns + ")");
    std::vector<Variant> row{Variant("C1")};
    for (int32_t code : ends) row.push_back(Variant(helpers::DateFromLong(code)));
    fundamentals->Execute("insert into si_date values (?, ?, ?, ?, ?, ?, ?, ?)", row);
    for (const char* stem : {"bvps_y", "cfps_y", "sales_y", "shr_ay"}) {
      std::string columns;
      for (int k = 1; k <= 7; ++k)
        columns += ", " + std::string(stem) + std::to_string(k) + " real";
      const std::string table = stem == std::string("bvps_y")    ? "si_bsa"
                                : stem == std::string("cfps_y")  ? "si_cfa"
                                : stem == std::string("sales_y") ? "si_isa"
                                                                 : "si_psd";
      auto& connection = table == "si_psd" ? dbf : fundamentals;
      connection->Execute("create table " + table + " (company_id varchar(10)" + columns + ")");
      connection->Execute("insert into " + table + " values ('C1'" + figures + ")");
    }
  }

  static std::shared_ptr<PDFChart> Build(const std::string& kind, int32_t days,
                                         const std::string& symbol = "ACME",
                                         const std::string& frequency = "daily",
                                         int32_t width = 1000, int32_t height = 600) {
    auto c = std::make_shared<PDFChart>();
    c->Let("days", Variant(days));
    c->Let("Chart", Variant(kind));
    c->Let("Width", Variant(width));
    c->Let("Height", Variant(height));
    c->Let("Frequency", Variant(frequency));
    c->Let("Symbol", Variant(symbol));
    return c;
  }

  static size_t PointsOf(const PDFChart& c, size_t series) {
    return const_cast<chart::Chart*>(c.CurrentChart())->SeriesAt(series).Points().size();
  }

  testing_support::ScopedTempHome home_;
  testing_support::ScopedTestDataSources sources_{testing_support::TestEngine::kSqlite,
                                                  {"SIPStatic", "SIPDbf"}};
  std::vector<tc2000::Bar> acme_bars_;
};

TEST_F(PDFChartTest, ImagesBeforeAnySymbolAreErrors) {
  auto c = std::make_shared<PDFChart>();
  EXPECT_EQ(ErrorNumberOf([&] { c->Get("JPEG"); }), automation::err::kObjectNotSet);
  EXPECT_EQ(ErrorNumberOf([&] { c->Get("PNG"); }), automation::err::kObjectNotSet);
  EXPECT_EQ(ErrorNumberOf([&] { c->Call("updPriceChart"); }), automation::err::kObjectNotSet);
  // The PDF needs no chart: without a symbol no document is begun.
  EXPECT_TRUE(BytesOf(c->Get("PDF")).empty());
}

TEST_F(PDFChartTest, DaysZeroGivesAnEmptyChartAndAnEmptyPdf) {
  auto c = Build("price", 0, "ACME", "daily", 375, 265);
  EXPECT_EQ(c->CurrentChart()->SeriesCount(), 0u);
  EXPECT_TRUE(c->CurrentChart()->Header().empty());
  const Picture p = DecodeJpeg(BytesOf(c->Get("JPEG")));
  EXPECT_EQ(p.width, 375);
  EXPECT_EQ(p.height, 265);
  // No title and none of the fixed look: the corner is white, not the navy frame.
  EXPECT_EQ(p.Count(chart::Rgb(35, 70, 128), 40, 0, p.height), 0);
  EXPECT_EQ(p.Count(0xFFFFFF, 8, 0, 8), p.width * 8);
  EXPECT_TRUE(BytesOf(c->Get("PDF")).empty());
  // An empty symbol the same.
  EXPECT_TRUE(BytesOf(Build("price", 100, "")->Get("PDF")).empty());
}

TEST_F(PDFChartTest, DailyPriceChartDrawsCandlesVolumeAndAverages) {
  auto c = Build("price", 120);
  const chart::Chart& drawn = *c->CurrentChart();
  EXPECT_EQ(drawn.Header(), std::vector<std::string>{"Price Chart: ACME (Acme Anvils)"});
  ASSERT_EQ(drawn.SeriesCount(), 5u);
  EXPECT_EQ(PointsOf(*c, 0), 120u);
  EXPECT_EQ(PointsOf(*c, 1), 120u);
  EXPECT_EQ(PointsOf(*c, 2), 120u - 25);
  EXPECT_EQ(PointsOf(*c, 3), 120u - 49);
  EXPECT_EQ(PointsOf(*c, 4), 120u - 49);
  auto& chart = const_cast<chart::Chart&>(drawn);
  const chart::Point& last = chart.SeriesAt(0).Points().back();
  EXPECT_EQ(last.x, helpers::DateFromLong(20261202).value);
  EXPECT_FLOAT_EQ(static_cast<float>(last.value), acme_bars_.back().close);
  EXPECT_EQ(chart.SeriesAt(1).Points().back().color, chart::Rgb(255, 0, 0));
  EXPECT_EQ(chart.SeriesAt(2).Points().back().color, chart::Rgb(46, 118, 69));
  EXPECT_EQ(chart.SeriesAt(3).Points().back().color, chart::Rgb(255, 217, 0));
  EXPECT_EQ(chart.SeriesAt(4).ScaleOf(), chart::Scale::kLower);

  // Both candle colours show in the candles' part of the picture (above the volume band);
  // a stock that only rises shows no down candle.
  const Picture p = DecodeJpeg(BytesOf(c->Get("JPEG")));
  ASSERT_EQ(p.width, 1000);
  ASSERT_EQ(p.height, 600);
  EXPECT_GT(p.Count(kUp, 40, 60, 380), 300);
  EXPECT_GT(p.Count(kDown, 40, 60, 380), 300);
  const Picture rising = DecodeJpeg(BytesOf(Build("price", 120, "UPPY")->Get("JPEG")));
  EXPECT_GT(rising.Count(kUp, 40, 60, 380), 300);
  EXPECT_LT(rising.Count(kDown, 40, 60, 380), 20);
}

TEST_F(PDFChartTest, WeeklyChartCompressesEverySeriesToFridays) {
  auto c = Build("price", 200, "ACME", "weekly");
  EXPECT_EQ(c->Frequency(), scWeekly);
  auto& chart = const_cast<chart::Chart&>(*c->CurrentChart());
  // 200 weekdays ending on a Wednesday: 40 whole weeks and the latest three days.
  ASSERT_EQ(PointsOf(*c, 0), 41u);
  const auto& candles = chart.SeriesAt(0).Points();
  for (size_t i = 0; i + 1 < candles.size(); ++i) {
    EXPECT_EQ(automation::IsoWeekday(automation::Date{candles[i].x}), 5) << i;
  }
  EXPECT_EQ(candles.back().x, helpers::DateFromLong(20261202).value);
  // The last week's volume is the sum of its three days.
  const size_t n = acme_bars_.size();
  EXPECT_EQ(chart.SeriesAt(1).Points().back().value,
            acme_bars_[n - 1].volume + acme_bars_[n - 2].volume + acme_bars_[n - 3].volume);
  EXPECT_LE(PointsOf(*c, 2), 41u);
  EXPECT_GT(PointsOf(*c, 3), 0u);
}

TEST_F(PDFChartTest, AnAverageLongerThanTheHistoryIsLeftOut) {
  for (const char* frequency : {"daily", "weekly"}) {
    auto c = Build("price", 30, "ACME", frequency);
    ASSERT_EQ(c->CurrentChart()->SeriesCount(), 5u) << frequency;
    EXPECT_GT(PointsOf(*c, 2), 0u) << frequency;  // 26 days fit
    EXPECT_EQ(PointsOf(*c, 3), 0u) << frequency;
    EXPECT_EQ(PointsOf(*c, 4), 0u) << frequency;
  }
}

TEST_F(PDFChartTest, MissingHistoryShowsOnlyATitle) {
  auto c = Build("price", 100, "NOPE");
  EXPECT_EQ(c->CurrentChart()->Header(),
            std::vector<std::string>{"Unable to Pull Quotes from TC2000"});
  EXPECT_EQ(c->CurrentChart()->SeriesCount(), 0u);
}

TEST_F(PDFChartTest, RatioChartsLeaveSkippedPricesOut) {
  struct Case {
    const char* kind;
    const char* title;
  };
  const PriceArray closes = [] {
    Quotes q;
    q.SetDays(400);
    q.SetSymbol("ACME");
    return *q.GetArray("C");
  }();
  const auto book =
      Stats().PriceToBook(sources_.Open("SIPDbf"), sources_.Open("SIPStatic"), "ACME", closes);
  int32_t dated = 0;
  for (int32_t i = 1; i <= book->Size(); ++i) dated += book->DateAt(i) != 0;
  ASSERT_LT(dated, book->Size());  // the source does leave undated entries

  for (const Case& k : {Case{"pc", "Price to Cash Flow: ACME (Acme Anvils)"},
                        Case{"pb", "Price to Book: ACME (Acme Anvils)"},
                        Case{"ps", "Price to Sales: ACME (Acme Anvils)"}}) {
    auto c = Build(k.kind, 400, "ACME", "weekly");  // the frequency does not matter
    auto& chart = const_cast<chart::Chart&>(*c->CurrentChart());
    EXPECT_EQ(chart.Header(), std::vector<std::string>{k.title});
    EXPECT_FALSE(chart.IsDateAxis());
    ASSERT_EQ(chart.SeriesCount(), 1u);
    const auto& points = chart.SeriesAt(0).Points();
    ASSERT_EQ(static_cast<int32_t>(points.size()), dated) << k.kind;
    for (size_t i = 0; i < points.size(); ++i) {
      EXPECT_EQ(points[i].x, static_cast<double>(i));
      EXPECT_FALSE(points[i].label.empty()) << k.kind << " " << i;
    }
    EXPECT_EQ(points.back().label, "2026/12/2");
    if (std::string(k.kind) == "pb") {
      // The latest fiscal year (ended 30 June 2026) has book value 1 a share.
      EXPECT_FLOAT_EQ(static_cast<float>(points.back().value), acme_bars_.back().close);
    }
  }
}

TEST_F(PDFChartTest, SizeFrequencyAndKindFollowTheirRules) {
  auto c = Build("pe", 100, "ACME", "daily", 375, 265);
  EXPECT_EQ(c->CurrentChart()->SeriesCount(), 0u);
  Picture p = DecodeJpeg(BytesOf(c->Get("JPEG")));
  EXPECT_EQ(p.width, 375);
  EXPECT_EQ(p.height, 265);

  // A new size waits for the next Symbol.
  c->Let("Width", Variant(400));
  c->Let("Height", Variant(300));
  p = DecodeJpeg(BytesOf(c->Get("JPEG")));
  EXPECT_EQ(p.width, 375);
  c->Let("Symbol", Variant("ACME"));
  p = DecodeJpeg(BytesOf(c->Get("JPEG")));
  EXPECT_EQ(p.width, 400);
  EXPECT_EQ(p.height, 300);

  c->Let("Frequency", Variant("weekly"));
  EXPECT_EQ(c->Frequency(), scWeekly);
  c->Let("Frequency", Variant("Daily"));
  EXPECT_EQ(c->Frequency(), scWeekly);
  c->Let("Frequency", Variant("daily"));
  EXPECT_EQ(c->Frequency(), scDaily);

  c->Let("Width", Variant(5));
  EXPECT_EQ(ErrorNumberOf([&] { c->Let("Symbol", Variant("ACME")); }),
            automation::err::kInvalidArgument);
}

TEST_F(PDFChartTest, PdfHoldsTheChartImageOnOnePage) {
  auto c = std::dynamic_pointer_cast<PDFChart>(automation::CreateObject("Thalmere.PDFChart"));
  ASSERT_TRUE(c);
  c->Let("days", Variant(260));
  c->Let("Width", Variant(375));
  c->Let("Height", Variant(265));
  c->Let("Frequency", Variant("weekly"));
  c->Let("Symbol", Variant("ACME"));
  const std::vector<uint8_t> bytes = BytesOf(c->Get("PDF"));
  ASSERT_GT(bytes.size(), 1000u);
  const fs::path pdf = home_.root() / "chart.pdf";
  std::ofstream(pdf, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));

  const std::string info = Shell("pdfinfo '" + pdf.string() + "'");
  const size_t pages_at = info.find("Pages:");
  ASSERT_NE(pages_at, std::string::npos) << info;
  EXPECT_EQ(std::atoi(info.c_str() + pages_at + 6), 1) << info;
  // The title is part of the picture, so the page has no text of its own.
  std::string text = Shell("pdftotext '" + pdf.string() + "' -");
  EXPECT_EQ(text.find_first_not_of(" \n\f"), std::string::npos) << text;
  // One JPEG image of the chart's own size.
  const std::string images = Shell("pdfimages -list '" + pdf.string() + "' | tail -n +3");
  int page = 0, number = 0, width = 0, height = 0;
  char type[16] = {}, color[16] = {}, comp[4] = {}, bpc[4] = {}, enc[16] = {};
  ASSERT_EQ(std::sscanf(images.c_str(), "%d %d %15s %d %d %15s %3s %3s %15s", &page, &number, type,
                        &width, &height, color, comp, bpc, enc),
            9)
      << images;
  EXPECT_EQ(width, 375);
  EXPECT_EQ(height, 265);
  EXPECT_STREQ(enc, "jpeg");
  EXPECT_EQ(images.find('\n'), images.size() - 1) << images;  // one image

  // Placed with its top left at (50, 150): at 96 dpi one pixel is one page unit.
  const fs::path stem = home_.root() / "page";
  Shell("pdftoppm -r 96 -jpeg -singlefile '" + pdf.string() + "' '" + stem.string() + "'");
  std::ifstream in(stem.string() + ".jpg", std::ios::binary);
  const Picture page_picture =
      DecodeJpeg(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
  ASSERT_GT(page_picture.width, 400);
  EXPECT_EQ(page_picture.Count(0xFFFFFF, 12, 140, 146), page_picture.width * 6);
  // The navy frame fills the chart's top rows.
  EXPECT_GT(Picture(page_picture).Count(chart::Rgb(35, 70, 128), 30, 152, 156), 4 * 300);
}

}  // namespace
}  // namespace thalmere
