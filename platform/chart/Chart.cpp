#include "platform/chart/Chart.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <cairo-svg.h>
#include <cairo.h>

#include "platform/automation/Error.h"
#include "platform/automation/Text.h"
#include "platform/chart/ChartRenderer.h"
#include "platform/chart/JpegWriter.h"
#include "platform/graphics/CairoHandles.h"

namespace chart {
namespace {

using graphics::CairoContext;
using graphics::CairoSurface;

// Colours for series that are given none, distinct on light and mid-grey backgrounds.
constexpr std::array<Color, 6> kPalette = {Rgb(31, 119, 180), Rgb(230, 115, 0),   Rgb(44, 160, 44),
                                           Rgb(214, 39, 40),  Rgb(148, 103, 189), Rgb(140, 86, 75)};

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<std::vector<uint8_t>*>(closure);
  out->insert(out->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

void CheckStatus(cairo_status_t status, std::string_view what) {
  if (status != CAIRO_STATUS_SUCCESS) {
    throw automation::Error::WithDetail(
        automation::err::kInvalidArgument,
        std::string(what) + " failed: " + cairo_status_to_string(status));
  }
}

}  // namespace

void Series::AddPoint(double x, double value, std::string label, Color color) {
  Point p;
  p.x = x;
  p.value = value;
  p.open = p.high = p.low = value;
  p.label = std::move(label);
  p.color = color;
  points_.push_back(std::move(p));
}

void Series::AddCandle(double x, double open, double high, double low, double close) {
  Point p;
  p.x = x;
  p.value = close;
  p.open = open;
  p.high = high;
  p.low = low;
  points_.push_back(std::move(p));
}

Chart::Chart() = default;
Chart::~Chart() = default;

Series& Chart::AddSeries(SeriesKind kind, Scale scale) {
  const Color color = kPalette[series_.size() % kPalette.size()];
  series_.push_back(std::make_unique<Series>(kind, scale, color));
  return *series_.back();
}

void Chart::RemoveAllSeries() { series_.clear(); }

Series& Chart::SeriesAt(size_t index) {
  if (index >= series_.size()) {
    throw automation::Error::WithDetail(
        automation::err::kSubscriptOutOfRange,
        "series " + std::to_string(index) + " of " + std::to_string(series_.size()));
  }
  return *series_[index];
}

void Chart::SetDateAxis(std::string format) {
  date_axis_ = true;
  date_format_ = std::move(format);
}

void Chart::SetIndexAxis() { date_axis_ = false; }

std::optional<double> Chart::XAtPixel(double px) const {
  const PlotLayout& l = layout_;
  if (l.xs.empty() || !(px >= l.left && px <= l.right)) return std::nullopt;
  if (l.date_axis) {
    const auto slot = static_cast<size_t>(std::max(0.0, std::floor((px - l.left) / l.slot_width)));
    return l.xs[std::min(slot, l.xs.size() - 1)];
  }
  // The inverse of the index axis' mapping, then the nearest x drawn.
  const double x = l.xs.front() - l.spacing / 2 + (px - l.left) / (l.right - l.left) * l.span;
  const auto after = std::lower_bound(l.xs.begin(), l.xs.end(), x);
  if (after == l.xs.begin()) return *after;
  if (after == l.xs.end()) return l.xs.back();
  return x - *(after - 1) <= *after - x ? *(after - 1) : *after;
}

std::optional<double> Chart::PixelOfX(double x) const {
  const PlotLayout& l = layout_;
  const auto found = std::lower_bound(l.xs.begin(), l.xs.end(), x);
  if (found == l.xs.end() || *found != x) return std::nullopt;
  if (l.date_axis) {
    return l.left + (static_cast<double>(found - l.xs.begin()) + 0.5) * l.slot_width;
  }
  return l.left + (x - l.xs.front() + l.spacing / 2) / l.span * (l.right - l.left);
}

void Chart::SetSize(int width, int height) {
  if (width < 16 || height < 16 || width > 10000 || height > 10000) {
    throw automation::Error::WithDetail(automation::err::kInvalidArgument,
                                        "chart size " + std::to_string(width) + " x " +
                                            std::to_string(height) + " outside 16..10000");
  }
  width_ = width;
  height_ = height;
}

namespace {

CairoSurface RenderImage(const Chart& chart) {
  CairoSurface surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, chart.Width(), chart.Height()));
  CheckStatus(cairo_surface_status(surface.get()), "creating the chart image");
  {
    CairoContext cr(cairo_create(surface.get()));
    DrawChart(chart, cr.get(), true);
    CheckStatus(cairo_status(cr.get()), "drawing the chart");
  }
  cairo_surface_flush(surface.get());
  return surface;
}

}  // namespace

std::vector<uint8_t> Chart::RenderJpeg(int quality) const {
  if (quality < 1 || quality > 100) {
    throw automation::Error::WithDetail(
        automation::err::kInvalidArgument,
        "JPEG quality " + std::to_string(quality) + " outside 1..100");
  }
  CairoSurface surface = RenderImage(*this);
  return EncodeJpeg(cairo_image_surface_get_data(surface.get()), width_, height_,
                    cairo_image_surface_get_stride(surface.get()), quality);
}

std::vector<uint8_t> Chart::RenderPng() const {
  CairoSurface surface = RenderImage(*this);
  std::vector<uint8_t> bytes;
  CheckStatus(cairo_surface_write_to_png_stream(surface.get(), AppendBytes, &bytes),
              "writing the PNG image");
  return bytes;
}

std::vector<uint8_t> Chart::RenderSvg() const {
  std::vector<uint8_t> bytes;
  {
    CairoSurface surface(cairo_svg_surface_create_for_stream(AppendBytes, &bytes, width_, height_));
    CheckStatus(cairo_surface_status(surface.get()), "creating the SVG image");
    {
      CairoContext cr(cairo_create(surface.get()));
      DrawChart(*this, cr.get(), false);
      CheckStatus(cairo_status(cr.get()), "drawing the chart");
    }
    cairo_surface_finish(surface.get());
    CheckStatus(cairo_surface_status(surface.get()), "writing the SVG image");
  }
  // Text becomes glyph outlines in the SVG; the header as its title keeps it readable to
  // screen readers and searches.
  std::string svg(bytes.begin(), bytes.end());
  if (const size_t open = svg.find("<svg"); open != std::string::npos) {
    if (const size_t end = svg.find('>', open); end != std::string::npos) {
      std::string title;
      for (const std::string& line : header_) title += (title.empty() ? "" : "\n") + line;
      svg.insert(end + 1, "\n<title>" + automation::MarkupEscaped(title) + "</title>");
    }
  }
  return std::vector<uint8_t>(svg.begin(), svg.end());
}

void Chart::WriteFile(const std::filesystem::path& path) const {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::vector<uint8_t> bytes;
  if (ext == ".jpg" || ext == ".jpeg") {
    bytes = RenderJpeg();
  } else if (ext == ".png") {
    bytes = RenderPng();
  } else if (ext == ".svg") {
    bytes = RenderSvg();
  } else {
    throw automation::Error::WithDetail(automation::err::kInvalidArgument,
                                        "no chart image format for " + path.string());
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    throw automation::Error::WithDetail(automation::err::kFileAccess,
                                        "cannot write the chart to " + path.string());
  }
}

}  // namespace chart
