#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "library/PriceArray.h"
#include "platform/automation/Dispatch.h"

namespace chart {
class Chart;
}

namespace thalmere {

// Thalmere.PDFChart: one chart of one company, drawn off screen and handed out as JPEG bytes
// or as a one-page PDF. Four charts: "price" (daily or weekly candles with volume, the 26- and
// 50-day averages of the close and the 50-day average of the volume) and the valuation
// ratios "pc" (price to cash flow), "pb" (price to book) and "ps" (price to sales).
//
// Set days, Chart, Width, Height and Frequency first: only assigning Symbol builds the chart,
// at the size of that moment. An empty Symbol or days 0 gives an empty chart; a Chart text
// of another kind gives an empty chart with the fixed look. A missing price history shows the
// title "Unable to Pull Quotes from TC2000" alone. An average longer than the history is left
// out, and entries with date code 0 (a ratio series' skipped prices) are never drawn.
//
// Errors: JPEG or PNG before any Symbol was assigned is error 91; a size outside 16..10000
// is error 5 when Symbol is assigned. Errors of the price history, the ratio series, the data
// sources and the PDF engine reach the caller unchanged.
class PDFChart : public automation::Dispatch {
 public:
  PDFChart();
  ~PDFChart() override;

  std::string_view ClassName() const override { return "PDFChart"; }
  const automation::MemberTable& Members() const override;

  void SetSymbol(const std::string& symbol);
  void SetDays(int32_t days) { days_ = days; }
  void SetChart(const std::string& kind) { kind_ = kind; }
  void SetWidth(int32_t width) { width_ = width; }
  void SetHeight(int32_t height) { height_ = height; }
  // "weekly" or "daily" (exact case); any other text leaves the frequency as it is.
  void SetFrequency(const std::string& frequency);
  ShowChartFrequency Frequency() const { return frequency_; }

  // The current chart as JPEG bytes (a byte array from 0).
  automation::Variant JPEG() const;
  // The current chart as PNG bytes, for callers that want it lossless.
  automation::Variant PNG() const;
  // A new PDF engine's document: the chart's JPEG at (50, 150) on one page, or an empty byte
  // array when Symbol is empty or days is 0.
  automation::Variant PDF();

  // Draw into the current chart (error 91 when there is none).
  void updPriceChart();
  void updPriceToCashFlow();
  void updPriceToBook();
  void updPriceToSales();

  // The current chart for C++ callers; nullptr before any Symbol was assigned.
  const chart::Chart* CurrentChart() const { return chart_.get(); }

 private:
  enum class Ratio { kCashFlow, kBook, kSales };

  chart::Chart& Current(std::string_view call) const;
  void DrawRatio(Ratio ratio);

  std::string symbol_;
  int32_t days_ = 0;
  std::string kind_ = "price";
  int32_t width_ = 1000;
  int32_t height_ = 600;
  ShowChartFrequency frequency_ = scDaily;
  std::unique_ptr<chart::Chart> chart_;
  automation::ObjectRef engine_;
};

}  // namespace thalmere
