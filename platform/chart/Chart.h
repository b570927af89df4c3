#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace chart {

// Colours are the system's colour integers: red + 256 × green + 65536 × blue.
using Color = int32_t;

// Given as a point's colour, draws the point in its series' colour.
inline constexpr Color kDefaultColor = 0x20000000;

constexpr Color Rgb(int red, int green, int blue) { return red + 256 * green + 65536 * blue; }

// What a series draws. The numbers are the kind codes the controls pass.
enum class SeriesKind {
  kLine = 0,     // a line through the points
  kBar = 1,      // bars from zero, each with its value as a mark above it
  kCandle = 11,  // open-high-low-close candles
  kVolume = 14,  // thin bars from zero, in the point's colour
};

// Which vertical scale a series uses. The lower scale (volume) gets its own band at the
// bottom of the plot, a quarter of its height, when a series on the main scale is drawn too.
enum class Scale { kLower = 0, kMain = 1 };

struct Point {
  double x = 0;
  double value = 0;  // the close, for a candle
  double open = 0, high = 0, low = 0;
  std::string label;
  Color color = kDefaultColor;
};

// One series of a chart; the chart owns it. References stay valid until RemoveAllSeries.
class Series {
 public:
  Series(SeriesKind kind, Scale scale, Color color) : kind_(kind), scale_(scale), color_(color) {}

  SeriesKind Kind() const { return kind_; }
  Scale ScaleOf() const { return scale_; }

  // Adds a point at `x` (an automation date on a date axis, a number on an index axis).
  // `label` names the point on an index axis; `color` may be kDefaultColor.
  void AddPoint(double x, double value, std::string label = {}, Color color = kDefaultColor);
  // Adds a candle; its colour is the up colour when close >= open, else the down colour.
  void AddCandle(double x, double open, double high, double low, double close);
  // Removes the points, keeping the series and its settings.
  void Clear() { points_.clear(); }

  // The series' own colour, used by points added with kDefaultColor.
  void SetColor(Color color) { color_ = color; }
  Color ColorOf() const { return color_; }
  void SetUpColor(Color color) { up_color_ = color; }
  void SetDownColor(Color color) { down_color_ = color; }
  Color UpColor() const { return up_color_; }
  Color DownColor() const { return down_color_; }
  // Line width in pixels at 1000 × 600 (scaled down for smaller charts); 2 at creation.
  void SetLineWidth(double width) { line_width_ = width; }
  double LineWidth() const { return line_width_; }

  const std::vector<Point>& Points() const { return points_; }

 private:
  SeriesKind kind_;
  Scale scale_;
  Color color_;
  Color up_color_ = Rgb(38, 166, 91);
  Color down_color_ = Rgb(214, 48, 49);
  double line_width_ = 2;
  std::vector<Point> points_;
};

// A horizontal line across the main scale at `value` (an alert limit, say), drawn dashed
// with its label. A level outside the scale's range leaves the range as it is and shows its
// label at the pane's edge, with an arrow towards it.
struct Level {
  double value = 0;
  Color color = Rgb(0, 0, 0);
  std::string label;
};

// Where the last render put the plot and its points, so that a host can tell what lies
// under the pointer. Pixels from the picture's top left corner.
struct PlotLayout {
  double left = 0, right = 0, top = 0, bottom = 0;  // the whole plot, all panes
  bool date_axis = true;
  std::vector<double> xs;  // the distinct x values drawn, ascending
  double slot_width = 1;   // date axis: the width of one x value's slot
  double spacing = 1;      // index axis: the smallest step between x values
  double span = 1;         // index axis: the x range the plot's width shows
};

// An off-screen chart: series over a date or index axis, header lines above, a price scale
// and an optional volume band. It holds state only; each Render call draws it afresh.
//
// On a date axis the points are placed one slot per distinct date, so weekends and holidays
// leave no gaps, and points dated day zero (x = 0, a missing date) are left out of every
// series, the axis range and the scales.
class Chart {
 public:
  Chart();
  ~Chart();
  Chart(const Chart&) = delete;
  Chart& operator=(const Chart&) = delete;

  // Adds a series after those present and returns it; a series without a colour of its own
  // takes the next one of a fixed palette.
  Series& AddSeries(SeriesKind kind, Scale scale = Scale::kMain);
  void RemoveAllSeries();
  size_t SeriesCount() const { return series_.size(); }
  // Error 9 when `index` is not below SeriesCount().
  Series& SeriesAt(size_t index);

  // The header text, one entry a line, centred above the plot; the first line is bold.
  void SetHeader(std::vector<std::string> lines) { header_ = std::move(lines); }
  const std::vector<std::string>& Header() const { return header_; }

  // The colour around the plot (white at creation) and the plot's background, a vertical
  // gradient from `top` to `bottom` (white at creation).
  void SetBackdropColor(Color color) { backdrop_ = color; }
  void SetPlotColors(Color top, Color bottom) {
    plot_top_ = top;
    plot_bottom_ = bottom;
  }

  // Horizontal lines over the main scale; none at creation. RemoveAllSeries keeps them.
  void SetLevels(std::vector<Level> levels) { levels_ = std::move(levels); }
  const std::vector<Level>& Levels() const { return levels_; }

  // How the main scale's labels and the bars' value marks are written; empty (the default)
  // gives grouped numbers with the decimals the tick step needs.
  void SetValueFormatter(std::function<std::string(double)> formatter) {
    value_formatter_ = std::move(formatter);
  }

  // A date axis labelled in `format` (see FormatDate); an empty format picks one by the tick
  // spacing. The axis is a date axis with an empty format at creation.
  void SetDateAxis(std::string format = {});
  // An axis of plain numbers; a tick shows the label of a point at its x, if any.
  void SetIndexAxis();
  bool IsDateAxis() const { return date_axis_; }

  // Size in pixels, 1000 × 600 at creation; error 5 when either is below 16 or above 10000.
  void SetSize(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Held for the host that shows the chart; rendering draws a hidden chart all the same.
  void SetVisible(bool visible) { visible_ = visible; }
  bool Visible() const { return visible_; }

  // The chart as image file bytes. JPEG quality is 1 to 100 (error 5 otherwise). The SVG
  // carries the header lines as its title.
  std::vector<uint8_t> RenderJpeg(int quality = 90) const;
  std::vector<uint8_t> RenderPng() const;
  std::vector<uint8_t> RenderSvg() const;
  // The layout of the last render (empty before the first).
  const PlotLayout& LastLayout() const { return layout_; }
  // The x value of the point slot under the pixel column `px` of the last render; nullopt
  // outside the plot or when nothing was drawn.
  std::optional<double> XAtPixel(double px) const;
  // The pixel column of the middle of the slot of `x` in the last render; nullopt when no
  // point was drawn at `x`.
  std::optional<double> PixelOfX(double x) const;

  // Writes the chart to `path` as JPEG, PNG or SVG by the extension (case ignored); error 5
  // for another extension, 75 when the file cannot be written.
  void WriteFile(const std::filesystem::path& path) const;

 private:
  friend class Renderer;

  std::vector<std::unique_ptr<Series>> series_;
  std::vector<std::string> header_;
  Color backdrop_ = Rgb(255, 255, 255);
  Color plot_top_ = Rgb(255, 255, 255);
  Color plot_bottom_ = Rgb(255, 255, 255);
  bool date_axis_ = true;
  std::string date_format_;
  int width_ = 1000;
  int height_ = 600;
  bool visible_ = true;
  std::vector<Level> levels_;
  std::function<std::string(double)> value_formatter_;
  mutable PlotLayout layout_;  // written by each render
};

}  // namespace chart
