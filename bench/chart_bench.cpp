// Renders a 520-day daily price chart (candles, volume band, two price averages and a volume
// average) to JPEG at 1000 × 600 and at 375 × 265 and prints the milliseconds per chart.
// It then times a one-page chart PDF as the chart object makes one: the weekly chart at
// 375 × 265 as JPEG, placed on a page by the PDF engine (created by class identifier) and
// handed back as bytes. With a folder argument it also writes sample charts there as PNG,
// for looking at.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/automation/DateCode.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/Registry.h"
#include "platform/chart/Chart.h"

namespace {

struct Bar {
  double date, open, high, low, close, volume;
};

// A reproducible random walk over `days` weekdays ending on Friday 4 December 2026.
std::vector<Bar> MakeDailyBars(int days) {
  uint64_t state = 12345;
  auto next = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  };
  std::vector<int64_t> dates;
  for (int64_t d = automation::DayNumberOfCode(20261204); static_cast<int>(dates.size()) < days;
       --d) {
    if (automation::WeekdayOfDayNumber(d) <= 5) dates.insert(dates.begin(), d);
  }
  std::vector<Bar> bars;
  double close = 42.0;
  for (int64_t d : dates) {
    const double open = close * (1 + (next() - 0.5) * 0.02);
    close = open * (1 + (next() - 0.49) * 0.04);
    const double high = std::max(open, close) * (1 + next() * 0.015);
    const double low = std::min(open, close) * (1 - next() * 0.015);
    bars.push_back({static_cast<double>(d), open, high, low, close, 2e6 + next() * 6e6});
  }
  return bars;
}

// Friday-ended weeks, each labelled by its last trading day.
std::vector<Bar> Weekly(const std::vector<Bar>& daily) {
  std::vector<Bar> weeks;
  int64_t week = -1;
  for (const Bar& b : daily) {
    const int64_t day = static_cast<int64_t>(b.date);
    const int64_t this_week = (day - automation::WeekdayOfDayNumber(day)) / 7;
    if (this_week != week) {
      weeks.push_back(b);
      week = this_week;
      continue;
    }
    Bar& w = weeks.back();
    w.date = b.date;
    w.high = std::max(w.high, b.high);
    w.low = std::min(w.low, b.low);
    w.close = b.close;
    w.volume += b.volume;
  }
  return weeks;
}

std::vector<std::pair<double, double>> MovingAverage(const std::vector<Bar>& bars, size_t length,
                                                     bool volume) {
  std::vector<std::pair<double, double>> out;
  double sum = 0;
  for (size_t i = 0; i < bars.size(); ++i) {
    sum += volume ? bars[i].volume : bars[i].close;
    if (i >= length) sum -= volume ? bars[i - length].volume : bars[i - length].close;
    if (i + 1 >= length) out.emplace_back(bars[i].date, sum / static_cast<double>(length));
  }
  return out;
}

void Appearance(chart::Chart& c, int width, int height) {
  const chart::Color bg = chart::Rgb(192, 192, 192);
  c.SetBackdropColor(chart::Rgb(35, 70, 128));
  c.SetPlotColors(bg - chart::Rgb(32, 32, 32), bg);
  c.SetSize(width, height);
}

void BuildPriceChart(chart::Chart& c, const std::vector<Bar>& bars, int width, int height) {
  c.RemoveAllSeries();
  Appearance(c, width, height);
  c.SetDateAxis();
  c.SetHeader({"Price Chart: KSTR (Kestrova Sample Industries)"});
  chart::Series& candles = c.AddSeries(chart::SeriesKind::kCandle, chart::Scale::kMain);
  chart::Series& volume = c.AddSeries(chart::SeriesKind::kVolume, chart::Scale::kLower);
  chart::Series& short_ma = c.AddSeries(chart::SeriesKind::kLine, chart::Scale::kMain);
  chart::Series& long_ma = c.AddSeries(chart::SeriesKind::kLine, chart::Scale::kMain);
  chart::Series& volume_ma = c.AddSeries(chart::SeriesKind::kLine, chart::Scale::kLower);
  volume_ma.SetLineWidth(1.5);
  for (size_t i = 0; i < bars.size(); ++i) {
    const Bar& b = bars[i];
    candles.AddCandle(b.date, b.open, b.high, b.low, b.close);
    const bool down = i > 0 && b.close < bars[i - 1].close;
    volume.AddPoint(b.date, b.volume, {}, down ? chart::Rgb(200, 40, 40) : chart::Rgb(40, 140, 60));
  }
  for (const auto& [x, v] : MovingAverage(bars, 26, false)) {
    short_ma.AddPoint(x, v, {}, chart::Rgb(46, 118, 69));
  }
  for (const auto& [x, v] : MovingAverage(bars, 50, false)) {
    long_ma.AddPoint(x, v, {}, chart::Rgb(255, 217, 0));
  }
  for (const auto& [x, v] : MovingAverage(bars, 50, true)) {
    volume_ma.AddPoint(x, v, {}, chart::Rgb(35, 70, 128));
  }
}

// A ratio series as the ratio source gives it: trailing entries dated 0 where prices were
// skipped.
void BuildRatioChart(chart::Chart& c, const std::vector<Bar>& bars, int width, int height) {
  c.RemoveAllSeries();
  Appearance(c, width, height);
  c.SetDateAxis("MM/DD/YY");
  c.SetHeader({"Price to Book: KSTR (Kestrova Sample Industries)"});
  chart::Series& ratio = c.AddSeries(chart::SeriesKind::kLine, chart::Scale::kMain);
  for (const Bar& b : bars) ratio.AddPoint(b.date, b.close / 17.5, {}, chart::kDefaultColor);
  for (int i = 0; i < 5; ++i) ratio.AddPoint(0, 0, {}, chart::kDefaultColor);
}

// The ratio chart over an index axis: x counts the points, each labelled by its date.
void BuildIndexedRatioChart(chart::Chart& c, const std::vector<Bar>& bars, int width, int height) {
  c.RemoveAllSeries();
  Appearance(c, width, height);
  c.SetIndexAxis();
  c.SetHeader({"Price to Sales: KSTR (Kestrova Sample Industries)"});
  chart::Series& ratio = c.AddSeries(chart::SeriesKind::kLine, chart::Scale::kMain);
  for (size_t i = 0; i < bars.size(); ++i) {
    const auto day = automation::DateCode::OfDayNumber(static_cast<int64_t>(bars[i].date));
    const std::string label = std::to_string(day.Month()) + "/" + std::to_string(day.Day()) + "/" +
                              std::to_string(day.Year());
    ratio.AddPoint(static_cast<double>(i), bars[i].close / 9.0, label, chart::kDefaultColor);
  }
}

void BuildEmptyChart(chart::Chart& c, int width, int height) {
  c.RemoveAllSeries();
  Appearance(c, width, height);
  c.SetHeader({"Unable to Pull Quotes"});
}

void BuildBarChart(chart::Chart& c, int width, int height) {
  c.RemoveAllSeries();
  c.SetBackdropColor(chart::Rgb(255, 255, 255));
  c.SetPlotColors(chart::Rgb(255, 255, 255), chart::Rgb(255, 255, 255));
  c.SetSize(width, height);
  c.SetIndexAxis();
  c.SetHeader({"Sales by Year"});
  chart::Series& bars = c.AddSeries(chart::SeriesKind::kBar);
  const double values[] = {1250.5, 1380, 1512.25, 990, 1720.75, 1905, 2210.1, 2400};
  for (int i = 0; i < 8; ++i) {
    bars.AddPoint(i, values[i], std::to_string(2019 + i), chart::Rgb(255, 0, 0));
  }
}

double MillisecondsPerChart(const chart::Chart& c, int rounds) {
  const auto start = std::chrono::steady_clock::now();
  size_t bytes = 0;
  for (int i = 0; i < rounds; ++i) bytes += c.RenderJpeg().size();
  const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
  if (bytes == 0) std::puts("no bytes");
  return spent.count() / rounds;
}

// One chart PDF: the chart's JPEG drawn at (50, 150) on a new engine's page.
size_t ChartPdfBytes(const chart::Chart& c) {
  const automation::ObjectRef engine =
      automation::CreateObject("{1DC59A34-1EDD-440A-B21F-CB8857C112E5}");
  automation::Variant jpeg(automation::SafeArray(c.RenderJpeg(), 0));
  const auto byte_count = static_cast<int32_t>(jpeg.Array().Size());
  engine->Call("BeginDocument");
  engine->CallWith("DrawImageMem", 50, 150, std::move(jpeg), byte_count, 1);
  engine->Call("EndDocument");
  return engine->Get("DocumentBytes").Array().Size();
}

double MillisecondsPerChartPdf(const chart::Chart& c, int rounds) {
  const auto start = std::chrono::steady_clock::now();
  size_t bytes = 0;
  for (int i = 0; i < rounds; ++i) bytes += ChartPdfBytes(c);
  const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
  if (bytes == 0) std::puts("no bytes");
  return spent.count() / rounds;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<Bar> daily = MakeDailyBars(520);
  chart::Chart c;
  if (argc > 1) {
    const std::filesystem::path folder = argv[1];
    for (const auto& [w, h] : {std::pair{1000, 600}, std::pair{375, 265}}) {
      const std::string size = std::to_string(w) + "x" + std::to_string(h);
      BuildPriceChart(c, daily, w, h);
      c.WriteFile(folder / ("price_daily_" + size + ".png"));
      BuildPriceChart(c, Weekly(daily), w, h);
      c.WriteFile(folder / ("price_weekly_" + size + ".png"));
      BuildRatioChart(c, daily, w, h);
      c.WriteFile(folder / ("ratio_" + size + ".png"));
      BuildBarChart(c, w, h);
      c.WriteFile(folder / ("bars_" + size + ".png"));
      BuildIndexedRatioChart(c, daily, w, h);
      c.WriteFile(folder / ("ratio_index_" + size + ".png"));
      BuildEmptyChart(c, w, h);
      c.WriteFile(folder / ("empty_" + size + ".png"));
      BuildPriceChart(c, Weekly(MakeDailyBars(2600)), w, h);
      c.WriteFile(folder / ("price_weekly_10y_" + size + ".png"));
      BuildPriceChart(c, MakeDailyBars(22), w, h);
      c.WriteFile(folder / ("price_daily_1m_" + size + ".png"));
    }
    std::printf("samples written to %s\n", folder.c_str());
  }
  for (const auto& [w, h] : {std::pair{1000, 600}, std::pair{375, 265}}) {
    BuildPriceChart(c, daily, w, h);
    MillisecondsPerChart(c, 3);  // fonts and glyph caches warm up
    std::printf("520-day daily price chart to JPEG at %d x %d: %.2f ms per chart\n", w, h,
                MillisecondsPerChart(c, 50));
  }
  BuildPriceChart(c, Weekly(daily), 375, 265);
  MillisecondsPerChartPdf(c, 3);  // the engine's library loads
  std::printf("one-page PDF of the weekly chart at 375 x 265: %.2f ms per document\n",
              MillisecondsPerChartPdf(c, 50));
  return 0;
}
