#include "platform/chart/Chart.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include <cairo.h>
#include <gtest/gtest.h>

#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/chart/DateAxis.h"
#include "platform/chart/JpegWriter.h"
#include "platform/chart/tests/DecodedPicture.h"
#include "platform/graphics/CairoHandles.h"

namespace chart {
namespace {

using testing_support::DecodeJpeg;
using testing_support::Near;
using testing_support::Picture;

// A decoded picture as RGB triples, whatever file format it came from.
Picture DecodePng(const std::vector<uint8_t>& bytes) {
  struct Reader {
    const std::vector<uint8_t>* bytes;
    size_t offset = 0;
  } reader{&bytes};
  auto read = [](void* closure, unsigned char* data, unsigned int length) {
    auto* r = static_cast<Reader*>(closure);
    if (r->offset + length > r->bytes->size()) return CAIRO_STATUS_READ_ERROR;
    std::copy_n(r->bytes->data() + r->offset, length, data);
    r->offset += length;
    return CAIRO_STATUS_SUCCESS;
  };
  graphics::CairoSurface surface(cairo_image_surface_create_from_png_stream(read, &reader));
  EXPECT_EQ(cairo_surface_status(surface.get()), CAIRO_STATUS_SUCCESS);
  Picture p;
  p.width = cairo_image_surface_get_width(surface.get());
  p.height = cairo_image_surface_get_height(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  const uint8_t* data = cairo_image_surface_get_data(surface.get());
  for (int y = 0; y < p.height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < p.width; ++x) {
      p.rgb.push_back((row[x] >> 16) & 0xFF);
      p.rgb.push_back((row[x] >> 8) & 0xFF);
      p.rgb.push_back(row[x] & 0xFF);
    }
  }
  return p;
}

double Day(int32_t code) { return static_cast<double>(automation::DayNumberOfCode(code)); }

constexpr Color kUp = Rgb(0, 170, 0);
constexpr Color kDown = Rgb(220, 0, 0);
constexpr Color kVolume = Rgb(0, 0, 230);

// Ten candles on consecutive weekdays, up and down in turn, all with bodies from 10 to 20,
// so that the middle row of the plot crosses every body.
void AddAlternatingCandles(Chart& chart) {
  Series& candles = chart.AddSeries(SeriesKind::kCandle, Scale::kMain);
  candles.SetUpColor(kUp);
  candles.SetDownColor(kDown);
  double day = Day(20240108);
  for (int i = 0; i < 10; ++i, ++day) {
    if (i == 5) day += 2;  // the weekend
    const bool up = i % 2 == 0;
    candles.AddCandle(day, up ? 10 : 20, 21, 9, up ? 20 : 10);
  }
}

// The colours of the runs of candle colour along one row, left to right.
std::vector<Color> CandleRunsAlongRow(const Picture& p, int y) {
  std::vector<Color> runs;
  Color current = -1;
  for (int x = 0; x < p.width; ++x) {
    const Color c = p.At(x, y);
    const Color kind = Near(c, kUp, 60) ? kUp : Near(c, kDown, 60) ? kDown : -1;
    if (kind != -1 && kind != current) runs.push_back(kind);
    current = kind;
  }
  return runs;
}

TEST(ChartJpegTest, DecodesAtTheRequestedSizeWithCandlesInTheirColours) {
  for (const auto& [w, h] : {std::pair{1000, 600}, std::pair{375, 265}}) {
    Chart chart;
    chart.SetSize(w, h);
    chart.SetHeader({"Price Chart: TEST"});
    AddAlternatingCandles(chart);
    const Picture p = DecodeJpeg(chart.RenderJpeg(95));
    ASSERT_EQ(p.width, w);
    ASSERT_EQ(p.height, h);
    const std::vector<Color> runs = CandleRunsAlongRow(p, h / 2);
    ASSERT_EQ(runs.size(), 10u) << w << "x" << h;
    for (size_t i = 0; i < runs.size(); ++i) {
      EXPECT_EQ(runs[i], i % 2 == 0 ? kUp : kDown) << "candle " << i << " at " << w;
    }
  }
}

TEST(ChartJpegTest, QualityOutsideOneToHundredIsInvalidArgument) {
  Chart chart;
  for (int quality : {0, 101}) {
    try {
      chart.RenderJpeg(quality);
      ADD_FAILURE() << quality;
    } catch (const automation::Error& e) {
      EXPECT_EQ(e.Number(), automation::err::kInvalidArgument);
    }
  }
}

TEST(ChartJpegTest, AnEncoderFailureIsInvalidArgumentWithLibjpegsMessage) {
  // An image without rows is refused inside libjpeg's own calls: the error comes back
  // through them, and the compressor and its buffer are released on the way.
  const uint32_t pixel = 0;
  try {
    EncodeJpeg(reinterpret_cast<const uint8_t*>(&pixel), 1, 0, 4, 90);
    ADD_FAILURE() << "an empty image was encoded";
  } catch (const automation::Error& e) {
    EXPECT_EQ(e.Number(), automation::err::kInvalidArgument);
    EXPECT_NE(e.Description().find("JPEG encoding failed: "), std::string::npos) << e.Description();
  }
  // The next image encodes as ever.
  EXPECT_EQ(DecodeJpeg(EncodeJpeg(reinterpret_cast<const uint8_t*>(&pixel), 1, 1, 4, 90)).width, 1);
}

TEST(ChartLayoutTest, VolumeBarsStayInTheirLowerBand) {
  Chart chart;
  chart.SetSize(600, 400);
  AddAlternatingCandles(chart);
  Series& volume = chart.AddSeries(SeriesKind::kVolume, Scale::kLower);
  for (const Point& candle : chart.SeriesAt(0).Points()) {
    volume.AddPoint(candle.x, 5e6, {}, kVolume);
  }
  const Picture p = DecodePng(chart.RenderPng());
  int first_row = p.height, last_row = -1;
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      if (Near(p.At(x, y), kVolume, 30)) {
        first_row = std::min(first_row, y);
        last_row = y;
      }
    }
  }
  ASSERT_GE(last_row, 0) << "no volume bars drawn";
  // The band is a quarter of the plot, at its bottom; the candles keep the rest.
  EXPECT_GT(first_row, p.height * 0.6);
  EXPECT_GT(last_row - first_row, p.height * 0.1);
  EXPECT_EQ(CandleRunsAlongRow(p, p.height / 3).size(), 10u);
}

TEST(ChartLayoutTest, DefaultColourPointsTakeTheSeriesColour) {
  Chart chart;
  chart.SetSize(400, 300);
  Series& line = chart.AddSeries(SeriesKind::kLine);
  line.SetColor(kVolume);
  line.SetLineWidth(4);
  for (int i = 0; i < 20; ++i) line.AddPoint(Day(20240101) + i, i % 3, {}, kDefaultColor);
  Series& red = chart.AddSeries(SeriesKind::kLine);
  red.SetLineWidth(4);
  for (int i = 0; i < 20; ++i) red.AddPoint(Day(20240101) + i, 1.5, {}, kDown);
  const Picture p = DecodePng(chart.RenderPng());
  int blue = 0, reds = 0;
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      blue += Near(p.At(x, y), kVolume, 20);
      reds += Near(p.At(x, y), kDown, 20);
    }
  }
  EXPECT_GT(blue, 200);
  EXPECT_GT(reds, 200);
}

TEST(ChartLayoutTest, BackdropAndPlotColoursFillTheirAreas) {
  Chart chart;  // no series at all: the empty chart still draws its frame
  chart.SetSize(375, 265);
  chart.SetBackdropColor(Rgb(35, 70, 128));
  chart.SetPlotColors(Rgb(200, 200, 200), Rgb(200, 200, 200));
  chart.SetVisible(false);  // a hidden chart renders all the same
  const Picture p = DecodePng(chart.RenderPng());
  ASSERT_EQ(p.width, 375);
  ASSERT_EQ(p.height, 265);
  EXPECT_EQ(p.At(1, 1), Rgb(35, 70, 128));
  EXPECT_EQ(p.At(374, 264), Rgb(35, 70, 128));
  EXPECT_EQ(p.At(150, 130), Rgb(200, 200, 200));
  EXPECT_EQ(DecodeJpeg(chart.RenderJpeg()).width, 375);
}

TEST(ChartLayoutTest, BarsCarryTheirValueMarkAbove) {
  Chart chart;
  chart.SetSize(300, 300);
  chart.SetIndexAxis();
  Series& bars = chart.AddSeries(SeriesKind::kBar);
  bars.AddPoint(0, 80, "a", kDown);
  const Picture p = DecodePng(chart.RenderPng());
  const int x = p.width / 2 - 20;  // the lone bar sits in the middle of the plot
  int bar_top = -1;
  for (int y = 0; y < p.height && bar_top < 0; ++y) {
    if (p.At(x, y) == kDown) bar_top = y;
  }
  ASSERT_GT(bar_top, 0);
  int dark_above = 0;
  for (int y = std::max(0, bar_top - 30); y < bar_top; ++y) {
    for (int dx = -30; dx <= 30; ++dx) dark_above += Near(p.At(x + dx, y), Rgb(0, 0, 0), 60);
  }
  EXPECT_GT(dark_above, 20) << "no mark above the bar";
}

// Ratio series end with entries dated day zero where prices were skipped; they must not
// stretch the axis back to 1899 or draw anything.
TEST(ChartDataTest, PointsDatedDayZeroAreLeftOutOnADateAxis) {
  auto render = [](bool with_day_zero) {
    Chart chart;
    chart.SetSize(500, 300);
    chart.SetDateAxis("MM/DD/YY");
    Series& ratio = chart.AddSeries(SeriesKind::kLine);
    for (int i = 0; i < 60; ++i) ratio.AddPoint(Day(20240102) + i, 2 + (i % 7) * 0.1);
    if (with_day_zero) {
      for (int i = 0; i < 3; ++i) ratio.AddPoint(0, 0);
    }
    return DecodePng(chart.RenderPng()).rgb;
  };
  EXPECT_EQ(render(true), render(false));
}

TEST(ChartDataTest, OnAnIndexAxisXZeroIsAnOrdinaryPoint) {
  auto render = [](double first_value) {
    Chart chart;
    chart.SetSize(300, 200);
    chart.SetIndexAxis();
    Series& line = chart.AddSeries(SeriesKind::kLine);
    line.AddPoint(0, first_value, "1/2/2024");
    for (int i = 1; i < 10; ++i) line.AddPoint(i, 5);
    return DecodePng(chart.RenderPng()).rgb;
  };
  EXPECT_NE(render(1), render(5));
}

// The pointer's pixel column maps back to the point drawn there, on both kinds of axis, and
// the point's own column maps to the same point.
TEST(ChartHitTest, PixelsAndPointsMapBothWays) {
  for (const bool date_axis : {true, false}) {
    Chart chart;
    chart.SetSize(600, 300);
    if (!date_axis) chart.SetIndexAxis();
    Series& line = chart.AddSeries(SeriesKind::kLine);
    std::vector<double> xs;
    for (int i = 0; i < 30; ++i) {
      // Weekdays only on the date axis, so the slots skip the weekends' dates.
      const double x = date_axis ? Day(20240101) + i + 2 * (i / 5) : i;
      xs.push_back(x);
      line.AddPoint(x, i % 4);
    }
    EXPECT_FALSE(chart.XAtPixel(300)) << "nothing rendered yet";
    chart.RenderPng();
    const PlotLayout& layout = chart.LastLayout();
    ASSERT_LT(layout.left, layout.right);
    for (double x : xs) {
      const std::optional<double> px = chart.PixelOfX(x);
      ASSERT_TRUE(px) << x;
      EXPECT_EQ(chart.XAtPixel(*px), x) << "date axis " << date_axis;
      EXPECT_EQ(chart.XAtPixel(*px + 2), x) << "two pixels right of " << x;
    }
    EXPECT_FALSE(chart.PixelOfX(xs.back() + 100));
    EXPECT_FALSE(chart.XAtPixel(layout.left - 1));
    EXPECT_FALSE(chart.XAtPixel(layout.right + 1));
  }
}

// A level inside the price range is a line of its colour across the plot; one far above it
// leaves the candles' scale as it was, so the candles draw the same.
TEST(ChartLevelTest, LevelsDrawInsideTheRangeAndNeverStretchIt) {
  constexpr Color kLimit = Rgb(200, 0, 200);
  auto render = [](std::vector<Level> levels) {
    Chart chart;
    chart.SetSize(500, 300);
    AddAlternatingCandles(chart);
    chart.SetLevels(std::move(levels));
    chart.RemoveAllSeries();  // levels stay with the chart
    AddAlternatingCandles(chart);
    return DecodePng(chart.RenderPng());
  };
  const Picture plain = render({});
  const Picture inside = render({{15, kLimit, ""}});
  int line_pixels = 0;
  for (int y = 0; y < inside.height; ++y) {
    int in_row = 0;
    for (int x = 0; x < inside.width; ++x) in_row += Near(inside.At(x, y), kLimit, 40);
    line_pixels = std::max(line_pixels, in_row);
  }
  EXPECT_GT(line_pixels, 200) << "no dashed line across the plot";
  const Picture far = render({{1000, kLimit, "High 1000"}});
  EXPECT_EQ(CandleRunsAlongRow(far, far.height / 2), CandleRunsAlongRow(plain, plain.height / 2));
  EXPECT_GT(far.Count(kLimit, 40, 0, far.height / 3), 10) << "the label pinned at the top";
}

TEST(ChartFormatTest, TheFormatterWritesScaleLabelsAndMarks) {
  Chart chart;
  chart.SetSize(400, 300);
  chart.SetIndexAxis();
  Series& bars = chart.AddSeries(SeriesKind::kBar);
  bars.AddPoint(0, 1234.5, "a", Rgb(255, 0, 0));
  bars.AddPoint(1, 7, "b", Rgb(255, 0, 0));
  std::vector<double> written;
  chart.SetValueFormatter([&](double v) {
    written.push_back(v);
    return std::to_string(v);
  });
  chart.RenderPng();
  EXPECT_NE(std::find(written.begin(), written.end(), 1234.5), written.end()) << "mark";
  EXPECT_NE(std::find(written.begin(), written.end(), 0.0), written.end()) << "scale";
}

TEST(ChartSvgTest, CarriesTheHeaderAsItsTitle) {
  Chart chart;
  chart.SetHeader({"Price to Book: A&B (A & B Holdings)", "second line"});
  AddAlternatingCandles(chart);
  const std::vector<uint8_t> bytes = chart.RenderSvg();
  const std::string svg(bytes.begin(), bytes.end());
  EXPECT_NE(svg.find("<svg"), std::string::npos);
  EXPECT_NE(svg.find("<title>Price to Book: A&amp;B (A &amp; B Holdings)\nsecond line</title>"),
            std::string::npos);
  EXPECT_NE(svg.find("</svg>"), std::string::npos);
}

TEST(ChartFileTest, WritesByExtensionAndRejectsOthers) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("chart_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  Chart chart;
  chart.SetSize(200, 100);
  AddAlternatingCandles(chart);
  struct Case {
    const char* name;
    std::string magic;
  };
  for (const Case& c : {Case{"a.PNG", "\x89PNG"}, Case{"a.jpg", "\xFF\xD8\xFF"},
                        Case{"a.jpeg", "\xFF\xD8\xFF"}, Case{"a.svg", "<?xml"}}) {
    chart.WriteFile(dir / c.name);
    std::ifstream in(dir / c.name, std::ios::binary);
    std::string head(c.magic.size(), '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    EXPECT_EQ(head, c.magic) << c.name;
  }
  struct Failure {
    std::filesystem::path path;
    int32_t number;
  };
  for (const Failure& f : {Failure{dir / "a.bmp", automation::err::kInvalidArgument},
                           Failure{dir / "missing" / "a.png", automation::err::kFileAccess}}) {
    try {
      chart.WriteFile(f.path);
      ADD_FAILURE() << f.path;
    } catch (const automation::Error& e) {
      EXPECT_EQ(e.Number(), f.number) << f.path;
    }
  }
  std::filesystem::remove_all(dir);
}

TEST(ChartStateTest, SeriesAndSizeKeepTheirContracts) {
  Chart chart;
  EXPECT_EQ(chart.Width(), 1000);
  EXPECT_EQ(chart.Height(), 600);
  Series& first = chart.AddSeries(SeriesKind::kCandle, Scale::kMain);
  chart.AddSeries(SeriesKind::kVolume, Scale::kLower);
  EXPECT_EQ(&chart.SeriesAt(0), &first);
  EXPECT_EQ(chart.SeriesAt(1).ScaleOf(), Scale::kLower);
  EXPECT_NE(chart.SeriesAt(0).ColorOf(), chart.SeriesAt(1).ColorOf());
  chart.RemoveAllSeries();
  EXPECT_EQ(chart.SeriesCount(), 0u);
  try {
    chart.SeriesAt(0);
    ADD_FAILURE();
  } catch (const automation::Error& e) {
    EXPECT_EQ(e.Number(), automation::err::kSubscriptOutOfRange);
  }
  for (const auto& [w, h] : {std::pair{0, 600}, std::pair{1000, -1}, std::pair{20000, 600}}) {
    EXPECT_THROW(chart.SetSize(w, h), automation::Error) << w << "x" << h;
  }
  EXPECT_EQ(chart.Width(), 1000);
}

TEST(DateAxisTest, ChoosesTicksForTheSpan) {
  struct Case {
    int32_t first, last;
    int room;
    DateTickStep expected;
  };
  for (const Case& c : {
           Case{20240101, 20240108, 10, {DateTickUnit::kDay, 1}},
           Case{20240101, 20240131, 10, {DateTickUnit::kWeek, 1}},
           Case{20240101, 20240131, 3, {DateTickUnit::kWeek, 2}},
           Case{20240101, 20241231, 12, {DateTickUnit::kMonth, 1}},
           Case{20240101, 20241231, 5, {DateTickUnit::kMonth, 3}},
           Case{20140101, 20231231, 10, {DateTickUnit::kYear, 1}},
           Case{20140101, 20231231, 4, {DateTickUnit::kYear, 5}},
       }) {
    const DateTickStep step = ChooseDateTickStep(Day(c.first), Day(c.last), c.room);
    EXPECT_EQ(step, c.expected) << c.first << ".." << c.last << " room " << c.room;
  }
}

TEST(DateAxisTest, TicksFallOnNaturalBoundaries) {
  auto codes = [](double first, double last, DateTickStep step) {
    std::vector<int32_t> out;
    for (double d : DateTicks(first, last, step)) {
      out.push_back(automation::CodeOfDayNumber(static_cast<int64_t>(d)));
    }
    return out;
  };
  EXPECT_EQ(codes(Day(20240103), Day(20240125), {DateTickUnit::kWeek, 1}),
            (std::vector<int32_t>{20240108, 20240115, 20240122}));  // Mondays
  EXPECT_EQ(codes(Day(20240115), Day(20241031), {DateTickUnit::kMonth, 3}),
            (std::vector<int32_t>{20240401, 20240701, 20241001}));
  EXPECT_EQ(codes(Day(20121005), Day(20230101), {DateTickUnit::kYear, 5}),
            (std::vector<int32_t>{20150101, 20200101}));
  EXPECT_TRUE(DateTicks(10, 5, {DateTickUnit::kDay, 1}).empty());
}

TEST(DateAxisTest, FormatsLabels) {
  struct Case {
    const char* format;
    const char* expected;
  };
  for (const Case& c :
       {Case{"MM/DD/YY", "03/04/05"}, Case{"MMM YY", "Mar 05"}, Case{"YYYY-MM-DD", "2005-03-04"},
        Case{"M/D/YYYY", "3/4/2005"}, Case{"MMM D", "Mar 4"}}) {
    EXPECT_EQ(FormatDate(Day(20050304), c.format), c.expected) << c.format;
  }
}

}  // namespace
}  // namespace chart
