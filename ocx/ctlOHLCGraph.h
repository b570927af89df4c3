#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/automation/Dispatch.h"
#include "platform/chart/Chart.h"
#include "platform/ui/Control.h"

namespace kestrova {

class frmOHLCOptions;

// The picture of a chart as a page shows it: the "tchChart" child's "image" (SVG bytes,
// sharp at any screen density), "imagetype", "width", "height" and "caption" (the header's
// first line, the picture's text for screen readers).
ui::ChildState ChartPicture(const chart::Chart& chart);

// ctlOHLCGraph: the interactive price chart of one stock. It draws either the price chart
// (candles, volume bars, three moving averages of the close and a 50-day average of the
// volume, in the colours and lengths of the chart settings) or one of six valuation-ratio
// charts, daily or weekly, with the price history of Thalmere.Quotes, the averages of
// Thalmere.Indicators and the ratios of Thalmere.Stats, all reached by ProgID.
//
// A page sets Days, Chart and Frequency first and Symbol last: assigning Symbol draws, as
// does ReDraw. Chart codes: "price", "ps", "pc", "pfc", "pb", "pec", "pe"; any other draws
// nothing. The price chart also draws the stock's alert limits (table alert of Ledra) as
// dashed lines.
//
// Children a host draws:
//   "tchChart"  the picture (see ChartPicture); its events: "click" opens the options
//               dialog, "mousemove" with the pointer's [x, y] in picture pixels shows the
//               readout, "mouseleave" hides it;
//   "lblReadout" the hover readout: "caption" (date, open, high, low, close and volume, or
//               the ratio), "visible", "x" (the pixel column of the point read), "top" and
//               "bottom" (the plot's rows);
//   "UserControl" its "resize" event with [width, height] in pixels sizes the chart;
//   the options dialog's children (frmOHLCOptions).
//
// Errors of the business objects, the data sources and the chart reach the caller of the
// member that drew (Symbol, ReDraw, the upd... methods); the chart keeps what was drawn.
class ctlOHLCGraph : public automation::Dispatch, public ui::Control {
 public:
  static constexpr std::string_view kProgId = "Kestrova.ctlOHLCGraph";
  static constexpr std::string_view kInitialHeader = "Kestrova Chart";
  static constexpr std::string_view kNoQuotes = "Unable to Pull Quotes from TC2000";

  // Creates the Settings object, kept for the control's life (its errors reach the caller).
  ctlOHLCGraph();
  ~ctlOHLCGraph() override;

  std::string_view ClassName() const override { return "ctlOHLCGraph"; }
  const automation::MemberTable& Members() const override;

  // Stores the symbol and draws.
  void SetSymbol(const std::string& symbol);
  const std::string& Symbol() const { return symbol_; }
  void SetDays(int32_t days) { days_ = days; }
  int32_t Days() const { return days_; }
  void SetChart(const std::string& code) { chart_code_ = code; }
  const std::string& Chart() const { return chart_code_; }
  // Accepted and ignored: only the control's own size (Resize) sizes the chart.
  void SetWidth(int32_t) {}
  void SetHeight(int32_t) {}
  // "weekly" or "daily", exactly so; any other text leaves the frequency as it is.
  void SetFrequency(const std::string& frequency);
  // "weekly", "daily", or "" for a frequency of neither.
  std::string Frequency() const;
  // The chart as drawn, as JPEG bytes (a byte array from 0).
  automation::Variant JPEG() const;
  // Draws again with the current values.
  void ReDraw();

  // Add their series after those present (they draw the chart described only after the
  // clearing of a redraw), then show the picture.
  void updPriceChart();
  void updPriceToCashFlow();
  void updPriceToFreeCashFlow();
  void updPriceToBook();
  void updPriceToSales();
  void updPriceToEarnings();
  void updPriceToEarningsCont();

  // The control's new size in pixels: the chart takes it and is shown again. A size the
  // chart cannot take (below 16 pixels, a box not laid out yet) is ignored.
  void Resize(int32_t width, int32_t height);
  // The readout of the point under pixel column `x` of the picture; "" when there is none.
  std::string ReadoutAt(double x) const;
  // Opens the options dialog on this control (the click on the chart).
  void ShowOptions();

  const chart::Chart& CurrentChart() const { return chart_; }
  // The options dialog; nullptr before the first click.
  frmOHLCOptions* Options() const { return options_.get(); }

 protected:
  void HandleEvent(const std::string& child, const std::string& event,
                   automation::Variant& value) override;

 private:
  friend class frmOHLCOptions;

  // The Stats member and title of one ratio chart.
  struct Ratio {
    const char* stats_member;
    const char* title;
  };

  void updChart();
  void DrawPriceChart();
  void DrawRatioChart(const Ratio& ratio);
  void DrawAlertLimits();
  void SetHeaderLine(std::string text);
  // Runs a drawing step and shows the picture afterwards, also when the step fails.
  template <class F>
  void DrawAndShow(F&& draw);
  void ShowPicture();
  void ShowReadout(double x);

  automation::ObjectRef settings_;
  std::string symbol_;
  int32_t days_ = 0;
  std::string chart_code_ = "price";
  int16_t frequency_ = 1;
  int32_t width_ = 1000, height_ = 600;
  chart::Chart chart_;
  std::unique_ptr<frmOHLCOptions> options_;
};

}  // namespace kestrova
