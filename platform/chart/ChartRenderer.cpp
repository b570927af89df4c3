#include "platform/chart/ChartRenderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <string_view>
#include <unordered_map>

#include <cairo.h>
#include <pango/pangocairo.h>

#include "platform/automation/DateTime.h"
#include "platform/chart/DateAxis.h"
#include "platform/chart/ValueScale.h"
#include "platform/graphics/CairoHandles.h"

namespace chart {
namespace {

using graphics::CairoFontOptions;
using graphics::CairoPattern;
using graphics::FontDescription;
using graphics::PangoContextHandle;
using graphics::PangoLayoutHandle;

constexpr Color kBlack = Rgb(0, 0, 0);
constexpr Color kWhite = Rgb(255, 255, 255);

void SetSource(cairo_t* cr, Color c, double alpha = 1.0) {
  cairo_set_source_rgba(cr, (c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0,
                        ((c >> 16) & 0xFF) / 255.0, alpha);
}

double Luminance(Color c) {
  return (0.2126 * (c & 0xFF) + 0.7152 * ((c >> 8) & 0xFF) + 0.0722 * ((c >> 16) & 0xFF)) / 255.0;
}

// Text and lines drawn on a colour: dark on light colours, white on dark ones.
Color InkOn(Color background) { return Luminance(background) > 0.55 ? Rgb(34, 34, 34) : kWhite; }

bool IsDrawn(const Point& p, SeriesKind kind, bool date_axis) {
  if (!std::isfinite(p.x) || !std::isfinite(p.value)) return false;
  // A missing date comes through as day zero; drawn, it would stretch the axis to 1899.
  if (date_axis && p.x == 0) return false;
  if (kind == SeriesKind::kCandle) {
    return std::isfinite(p.open) && std::isfinite(p.high) && std::isfinite(p.low);
  }
  return true;
}

// One Pango layout for every text of a render; only the text and weight change.
class TextPainter {
 public:
  TextPainter(cairo_t* cr, double pixel_size, bool image) : cr_(cr) {
    context_.reset(pango_cairo_create_context(cr));
    if (image) {
      CairoFontOptions options(cairo_font_options_create());
      cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
      cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_SLIGHT);
      cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_ON);
      pango_cairo_context_set_font_options(context_.get(), options.get());
    }
    layout_.reset(pango_layout_new(context_.get()));
    normal_.reset(pango_font_description_from_string("DejaVu Sans"));
    pango_font_description_set_absolute_size(normal_.get(), pixel_size * PANGO_SCALE);
    bold_.reset(pango_font_description_copy(normal_.get()));
    pango_font_description_set_weight(bold_.get(), PANGO_WEIGHT_BOLD);
    pango_layout_set_font_description(layout_.get(), normal_.get());
  }

  struct Extent {
    double width, height;
  };

  Extent Measure(std::string_view text, bool bold = false) {
    Prepare(text, bold);
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout_.get(), nullptr, &logical);
    return {static_cast<double>(logical.width), static_cast<double>(logical.height)};
  }

  // Draws `text` with its anchor at (x, y): anchor_x 0 puts the left edge there, 0.5 the
  // middle, 1 the right edge; anchor_y likewise from the top.
  Extent Draw(std::string_view text, double x, double y, double anchor_x, double anchor_y,
              Color color, bool bold = false) {
    const Extent e = Measure(text, bold);
    SetSource(cr_, color);
    cairo_move_to(cr_, std::round(x - anchor_x * e.width), std::round(y - anchor_y * e.height));
    pango_cairo_show_layout(cr_, layout_.get());
    return e;
  }

 private:
  void Prepare(std::string_view text, bool bold) {
    if (bold != bold_now_) {
      pango_layout_set_font_description(layout_.get(), bold ? bold_.get() : normal_.get());
      bold_now_ = bold;
    }
    pango_layout_set_text(layout_.get(), text.data(), static_cast<int>(text.size()));
  }

  cairo_t* cr_;
  PangoContextHandle context_;
  PangoLayoutHandle layout_;
  FontDescription normal_, bold_;
  bool bold_now_ = false;
};

struct Rect {
  double x, y, w, h;
};

}  // namespace

// Draws one chart onto a cairo context: the layout is worked out from the chart's size and
// the data, then the panes, axes and series are drawn in that order.
class Renderer {
 public:
  Renderer(const Chart& chart, cairo_t* cr, bool image)
      : chart_(chart),
        cr_(cr),
        w_(chart.width_),
        h_(chart.height_),
        scale_(std::min(w_ / 1000.0, h_ / 600.0)),
        font_px_(std::clamp(std::round(12.0 * scale_), 9.0, 13.0)),
        text_(cr, font_px_, image) {}

  void Draw() {
    const Color ink = InkOn(chart_.backdrop_);
    SetSource(cr_, chart_.backdrop_);
    cairo_paint(cr_);

    const double pad = std::round(font_px_ * 0.6);
    double y = pad;
    for (size_t i = 0; i < chart_.header_.size(); ++i) {
      y += text_.Draw(chart_.header_[i], w_ / 2.0, y, 0.5, 0, ink, i == 0).height;
    }
    const double label_h = text_.Measure("0").height;
    const double tick = std::round(font_px_ * 0.4);
    const double plot_top = std::round(y + label_h * 0.6 + (chart_.header_.empty() ? 0 : pad));
    const double plot_bottom = std::round(h_ - pad - label_h - tick);

    CollectRanges();
    main_.formatter = &chart_.value_formatter_;
    const bool two_bands = has_main_ && has_lower_;
    const double gap = two_bands ? std::round(pad * 0.8) : 0;
    const double lower_h = two_bands ? std::round((plot_bottom - plot_top - gap) * 0.25) : 0;
    main_.top = plot_top;
    main_.bottom = two_bands ? plot_bottom - lower_h - gap : plot_bottom;
    lower_.top = two_bands ? plot_bottom - lower_h : plot_top;
    lower_.bottom = plot_bottom;
    // Room for one value label: at least two label heights apart, more on a tall chart.
    const double tick_room = std::max(label_h * 2.4, h_ * 0.08);
    main_.ChooseTicks(static_cast<int>((main_.bottom - main_.top) / tick_room));
    lower_.ChooseTicks(std::max(2, static_cast<int>((lower_.bottom - lower_.top) / tick_room)));

    if (!has_main_ && !has_lower_) main_.ticks.clear();  // no data, no scale to read
    double label_w = 0;
    for (const ValueScale* s : Scales()) {
      for (double t : s->ticks) label_w = std::max(label_w, text_.Measure(s->Label(t)).width);
    }
    plot_left_ = std::round(pad * 1.5);
    plot_right_ = std::round(w_ - pad - tick - label_w - pad * 0.5);
    ChooseXMapping();

    std::vector<Rect> panes;
    for (const ValueScale* s : Scales()) {
      panes.push_back({plot_left_, s->top, plot_right_ - plot_left_, s->bottom - s->top});
    }
    RecordLayout(panes);
    for (const Rect& pane : panes) FillPane(pane);
    DrawXAxis(panes, ink, tick);
    for (const ValueScale* s : Scales()) DrawYAxis(*s, ink, tick);

    for (const auto& series : chart_.series_) {
      const ValueScale& scale = series->ScaleOf() == Scale::kMain ? main_ : lower_;
      cairo_save(cr_);
      cairo_rectangle(cr_, plot_left_, scale.top, plot_right_ - plot_left_,
                      scale.bottom - scale.top);
      cairo_clip(cr_);
      switch (series->Kind()) {
        case SeriesKind::kLine:
          DrawLine(*series, scale);
          break;
        case SeriesKind::kCandle:
          DrawCandles(*series, scale);
          break;
        case SeriesKind::kVolume:
        case SeriesKind::kBar:
          DrawBars(*series, scale);
          break;
      }
      cairo_restore(cr_);
      if (series->Kind() == SeriesKind::kBar) DrawMarks(*series, scale);
    }
    if (has_main_) DrawLevels();
    SetSource(cr_, ink, 0.55);
    cairo_set_line_width(cr_, 1);
    for (const Rect& pane : panes) {
      cairo_rectangle(cr_, pane.x + 0.5, pane.y + 0.5, pane.w - 1, pane.h - 1);
    }
    cairo_stroke(cr_);
  }

 private:
  void RecordLayout(const std::vector<Rect>& panes) {
    PlotLayout& l = chart_.layout_;
    l.left = plot_left_;
    l.right = plot_right_;
    l.top = panes.front().y;
    l.bottom = panes.back().y + panes.back().h;
    l.date_axis = date_axis_;
    l.xs = xs_;
    l.slot_width = slot_w_;
    l.spacing = spacing_;
    l.span = span_;
  }

  // Each level as a dashed line with its label in a small box at the pane's left; one off
  // the scale shows only its label, pinned to the edge it lies beyond.
  void DrawLevels() {
    for (const Level& level : chart_.levels_) {
      if (!std::isfinite(level.value)) continue;
      const double y = main_.Y(level.value);
      const bool above = y<main_.top, below = y> main_.bottom;
      if (!above && !below) {
        const double dash[] = {6, 4};
        cairo_save(cr_);
        cairo_set_dash(cr_, dash, 2, 0);
        cairo_set_line_width(cr_, 1.5);
        SetSource(cr_, level.color);
        cairo_move_to(cr_, plot_left_, std::round(y) + 0.5);
        cairo_line_to(cr_, plot_right_, std::round(y) + 0.5);
        cairo_stroke(cr_);
        cairo_restore(cr_);
      }
      if (level.label.empty()) continue;
      const std::string text = above   ? "\u25B2 " + level.label
                               : below ? "\u25BC " + level.label
                                       : level.label;
      const TextPainter::Extent e = text_.Measure(text);
      const double box_w = e.width + 8, box_h = e.height + 2;
      const double box_x = plot_left_ + 6;
      const double box_y =
          above   ? main_.top + 3
          : below ? main_.bottom - box_h - 3
                  : std::clamp(std::round(y - box_h - 2), main_.top + 1, main_.bottom - box_h - 1);
      cairo_rectangle(cr_, box_x, box_y, box_w, box_h);
      SetSource(cr_, kWhite, 0.85);
      cairo_fill_preserve(cr_);
      SetSource(cr_, level.color);
      cairo_set_line_width(cr_, 1);
      cairo_stroke(cr_);
      text_.Draw(text, box_x + 4, box_y + 1, 0, 0, level.color);
    }
  }

  std::vector<const ValueScale*> Scales() const {
    std::vector<const ValueScale*> out;
    if (has_main_ || !has_lower_) out.push_back(&main_);
    if (has_lower_) out.push_back(&lower_);
    return out;
  }

  bool Drawn(const Series& s, const Point& p) const { return IsDrawn(p, s.Kind(), date_axis_); }

  // The value ranges of both scales, padded so that nothing touches a pane's edge; bars and
  // volume start at zero.
  void CollectRanges() {
    struct Range {
      double lo = std::numeric_limits<double>::infinity();
      double hi = -std::numeric_limits<double>::infinity();
      bool from_zero = false, marks = false;
      void Add(double v) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
    };
    Range main, lower;
    for (const auto& s : chart_.series_) {
      Range& r = s->ScaleOf() == Scale::kMain ? main : lower;
      for (const Point& p : s->Points()) {
        if (!Drawn(*s, p)) continue;
        if (s->Kind() == SeriesKind::kCandle) {
          r.Add(std::min({p.low, p.open, p.value}));
          r.Add(std::max({p.high, p.open, p.value}));
        } else {
          r.Add(p.value);
        }
        if (s->Kind() == SeriesKind::kVolume || s->Kind() == SeriesKind::kBar) {
          r.from_zero = true;
          r.marks = r.marks || s->Kind() == SeriesKind::kBar;
        }
      }
    }
    has_main_ = main.lo <= main.hi;
    has_lower_ = lower.lo <= lower.hi;
    auto settle = [](const Range& r, ValueScale& scale) {
      double lo = r.lo <= r.hi ? r.lo : 0, hi = r.lo <= r.hi ? r.hi : 1;
      if (r.from_zero) {
        lo = std::min(lo, 0.0);
        hi = std::max(hi, 0.0);
      }
      double span = hi - lo;
      if (span <= 0) span = std::max(std::fabs(hi) * 0.1, 1.0);
      const double head = r.marks ? 0.15 : 0.06;
      scale.lo = (r.from_zero && lo >= 0) ? lo : lo - span * 0.06;
      scale.hi = (r.from_zero && hi <= 0) ? hi : hi + span * head;
    };
    settle(main, main_);
    settle(lower, lower_);
  }

  void ChooseXMapping() {
    xs_.clear();
    for (const auto& s : chart_.series_) {
      for (const Point& p : s->Points()) {
        if (Drawn(*s, p)) xs_.push_back(p.x);
      }
    }
    std::sort(xs_.begin(), xs_.end());
    xs_.erase(std::unique(xs_.begin(), xs_.end()), xs_.end());
    const double width = plot_right_ - plot_left_;
    if (xs_.empty()) return;
    if (date_axis_) {
      slot_w_ = width / static_cast<double>(xs_.size());
      return;
    }
    spacing_ = 1;
    for (size_t i = 1; i < xs_.size(); ++i) {
      spacing_ = i == 1 ? xs_[1] - xs_[0] : std::min(spacing_, xs_[i] - xs_[i - 1]);
    }
    span_ = xs_.back() - xs_.front() + spacing_;
    slot_w_ = spacing_ / span_ * width;
  }

  double X(double x) const {
    if (date_axis_) {
      const auto idx = std::lower_bound(xs_.begin(), xs_.end(), x) - xs_.begin();
      return plot_left_ + (static_cast<double>(idx) + 0.5) * slot_w_;
    }
    return plot_left_ + (x - xs_.front() + spacing_ / 2) / span_ * (plot_right_ - plot_left_);
  }

  Color ColorOf(const Series& s, const Point& p) const {
    return p.color == kDefaultColor ? s.ColorOf() : p.color;
  }

  // A width in whole pixels, odd where the slots leave room, so that a body centres on its
  // one-pixel wick with a gap of at least a pixel between neighbours. A two-pixel body beats
  // a one-pixel body that would hide in its wick.
  double BodyWidth(double fraction) const {
    int width = static_cast<int>(std::floor(slot_w_ * fraction));
    if (width >= 2 && width % 2 == 0 && width + 1 <= slot_w_ - 1) ++width;
    return std::max(1, width);
  }

  void FillPane(const Rect& pane) {
    CairoPattern gradient(cairo_pattern_create_linear(0, pane.y, 0, pane.y + pane.h));
    const auto stop = [&](double offset, Color c) {
      cairo_pattern_add_color_stop_rgb(gradient.get(), offset, (c & 0xFF) / 255.0,
                                       ((c >> 8) & 0xFF) / 255.0, ((c >> 16) & 0xFF) / 255.0);
    };
    stop(0, chart_.plot_top_);
    stop(1, chart_.plot_bottom_);
    cairo_set_source(cr_, gradient.get());
    cairo_rectangle(cr_, pane.x, pane.y, pane.w, pane.h);
    cairo_fill(cr_);
  }

  void SetGridSource() {
    const Color plot_mid = Luminance(chart_.plot_top_) + Luminance(chart_.plot_bottom_) > 1.1
                               ? chart_.plot_top_
                               : chart_.plot_bottom_;
    SetSource(cr_, InkOn(plot_mid) == kWhite ? kWhite : kBlack, 0.13);
    cairo_set_line_width(cr_, 1);
  }

  void DrawYAxis(const ValueScale& scale, Color ink, double tick) {
    SetGridSource();
    for (double t : scale.ticks) {
      const double y = std::round(scale.Y(t)) + 0.5;
      cairo_move_to(cr_, plot_left_, y);
      cairo_line_to(cr_, plot_right_, y);
    }
    cairo_stroke(cr_);
    SetSource(cr_, ink, 0.55);
    for (double t : scale.ticks) {
      const double y = std::round(scale.Y(t)) + 0.5;
      cairo_move_to(cr_, plot_right_, y);
      cairo_line_to(cr_, plot_right_ + tick, y);
    }
    cairo_stroke(cr_);
    const double half = text_.Measure("0").height / 2;
    for (double t : scale.ticks) {
      const double y = scale.Y(t);
      // A label that would stick out of its band far enough to meet the next one is left out.
      if (y < scale.top - half * 0.2 || y > scale.bottom + half * 0.2) continue;
      if (&scale == &lower_ && t == 0 && Scales().size() > 1) continue;
      text_.Draw(scale.Label(t), plot_right_ + tick + 3, y, 0, 0.5, ink);
    }
  }

  struct XTick {
    double px;
    std::string label;
  };

  std::vector<XTick> XTicks() {
    std::vector<XTick> ticks;
    if (xs_.empty()) return ticks;
    const double width = plot_right_ - plot_left_;
    const double gap = font_px_ * 1.5;
    if (date_axis_) {
      const std::string& format = chart_.date_format_;
      const double sample = static_cast<double>(automation::DayNumberOfCode(20281228));
      const double label_w =
          text_.Measure(FormatDate(sample, format.empty() ? "MMM DD" : format)).width;
      const int room = std::max(1, static_cast<int>(width / (label_w + gap)));
      const DateTickStep step = ChooseDateTickStep(xs_.front(), xs_.back(), room);
      const std::string_view used = format.empty() ? DefaultDateFormat(step) : format;
      size_t last_idx = xs_.size();
      for (double t : DateTicks(std::floor(xs_.front()), xs_.back(), step)) {
        const size_t idx = std::lower_bound(xs_.begin(), xs_.end(), t) - xs_.begin();
        if (idx >= xs_.size() || idx == last_idx) continue;
        last_idx = idx;
        ticks.push_back({X(xs_[idx]), FormatDate(xs_[idx], used)});
      }
      return ticks;
    }
    std::map<double, const std::string*> labels;
    const std::string* longest = nullptr;
    for (const auto& s : chart_.series_) {
      for (const Point& p : s->Points()) {
        if (!Drawn(*s, p) || p.label.empty()) continue;
        labels.emplace(p.x, &p.label);
        if (!longest || p.label.size() > longest->size()) longest = &p.label;
      }
    }
    const int decimals = DecimalsFor(spacing_);
    const double label_w = std::max(text_.Measure(Grouped(xs_.back(), decimals)).width,
                                    longest ? text_.Measure(*longest).width : 0.0);
    const int room = std::max(1, static_cast<int>(width / (label_w + gap)));
    double step = std::max(NiceStep((xs_.back() - xs_.front()) / room), spacing_);
    if (spacing_ >= 1) step = std::ceil(step);
    const double first = std::ceil(xs_.front() / step - 1e-9);
    for (int k = 0; k < 1000; ++k) {
      const double t = (first + k) * step;
      if (t > xs_.back() + 1e-9 * step) break;
      const auto found = labels.find(t);
      ticks.push_back({X(t), found != labels.end() ? *found->second : Grouped(t, decimals)});
    }
    return ticks;
  }

  void DrawXAxis(const std::vector<Rect>& panes, Color ink, double tick) {
    const std::vector<XTick> ticks = XTicks();
    SetGridSource();
    for (const XTick& t : ticks) {
      const double x = std::round(t.px) + 0.5;
      for (const Rect& pane : panes) {
        cairo_move_to(cr_, x, pane.y);
        cairo_line_to(cr_, x, pane.y + pane.h);
      }
    }
    cairo_stroke(cr_);
    const double bottom = panes.back().y + panes.back().h;
    SetSource(cr_, ink, 0.55);
    for (const XTick& t : ticks) {
      cairo_move_to(cr_, std::round(t.px) + 0.5, bottom);
      cairo_line_to(cr_, std::round(t.px) + 0.5, bottom + tick);
    }
    cairo_stroke(cr_);
    // Labels are centred on their ticks, kept inside the picture, and one that would touch
    // the label before it is left out.
    double previous_right = -1e9;
    const double min_gap = font_px_ * 0.8;
    for (const XTick& t : ticks) {
      const double w = text_.Measure(t.label).width;
      double left = std::clamp(t.px - w / 2, 1.0, w_ - 1.0 - w);
      if (left < previous_right + min_gap) continue;
      text_.Draw(t.label, left, bottom + tick + 1, 0, 0, ink);
      previous_right = left + w;
    }
  }

  void DrawLine(const Series& s, const ValueScale& scale) {
    cairo_set_line_width(cr_, std::max(1.0, s.LineWidth() * std::max(scale_, 0.6)));
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
    const Point* previous = nullptr;
    Color run_color = 0;
    bool open_path = false;
    // Consecutive segments of one colour form one path; a segment takes its end's colour.
    for (const Point& p : s.Points()) {
      if (!Drawn(s, p)) continue;
      const Color c = ColorOf(s, p);
      const double x = X(p.x), y = scale.Y(p.value);
      if (previous && (!open_path || c != run_color)) {
        if (open_path) {
          SetSource(cr_, run_color);
          cairo_stroke(cr_);
        }
        cairo_move_to(cr_, X(previous->x), scale.Y(previous->value));
        open_path = true;
        run_color = c;
      }
      if (open_path) cairo_line_to(cr_, x, y);
      previous = &p;
    }
    if (open_path) {
      SetSource(cr_, run_color);
      cairo_stroke(cr_);
    }
  }

  void DrawCandles(const Series& s, const ValueScale& scale) {
    const double body = BodyWidth(0.7);
    cairo_set_line_width(cr_, 1);
    for (const bool up : {true, false}) {
      for (const Point& p : s.Points()) {
        if (!Drawn(s, p) || (p.value >= p.open) != up) continue;
        const double cx = std::floor(X(p.x));
        cairo_move_to(cr_, cx + 0.5, std::round(scale.Y(p.high)));
        cairo_line_to(cr_, cx + 0.5, std::round(scale.Y(p.low)));
      }
      SetSource(cr_, up ? s.UpColor() : s.DownColor());
      cairo_stroke(cr_);
      for (const Point& p : s.Points()) {
        if (!Drawn(s, p) || (p.value >= p.open) != up) continue;
        const double cx = std::floor(X(p.x));
        const double top = std::round(scale.Y(std::max(p.open, p.value)));
        const double bottom = std::round(scale.Y(std::min(p.open, p.value)));
        AddColumn(cx - std::floor((body - 1) / 2), top, std::max(1.0, bottom - top), body);
      }
      FillColumns(body);
      cairo_set_line_width(cr_, 1);
    }
  }

  // Boxes of one width are drawn as the vertical strokes of that width through their middles:
  // the same pixels as filled rectangles (the edges sit on whole pixels), but half the
  // coordinates in an SVG picture, whose size and writing time the numbers make up.
  void AddColumn(double left, double top, double height, double width) {
    cairo_move_to(cr_, left + width / 2, top);
    cairo_line_to(cr_, left + width / 2, top + height);
  }
  void FillColumns(double width) {
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_width(cr_, width);
    cairo_stroke(cr_);
  }

  void DrawBars(const Series& s, const ValueScale& scale) {
    const double width =
        s.Kind() == SeriesKind::kBar ? std::max(1.0, std::round(slot_w_ * 0.6)) : BodyWidth(0.7);
    const double base = std::round(scale.Y(std::clamp(0.0, scale.lo, scale.hi)));
    std::unordered_map<Color, std::vector<Rect>> by_color;
    for (const Point& p : s.Points()) {
      if (!Drawn(s, p)) continue;
      const double y = std::round(scale.Y(p.value));
      const double left = s.Kind() == SeriesKind::kBar
                              ? std::round(X(p.x) - width / 2)
                              : std::floor(X(p.x)) - std::floor((width - 1) / 2);
      by_color[ColorOf(s, p)].push_back(
          {left, std::min(y, base), width, std::max(1.0, std::fabs(base - y))});
    }
    for (const auto& [color, rects] : by_color) {
      for (const Rect& r : rects) AddColumn(r.x, r.y, r.h, width);
      SetSource(cr_, color);
      FillColumns(width);
    }
  }

  // Each bar's value in a small callout above it (below it for a negative value). A callout
  // that would cover the one before it moves clear of it, up or down.
  void DrawMarks(const Series& s, const ValueScale& scale) {
    Rect previous{0, 0, 0, 0};
    for (const Point& p : s.Points()) {
      if (!Drawn(s, p)) continue;
      const std::string mark =
          chart_.value_formatter_ ? chart_.value_formatter_(p.value) : Grouped(p.value, 2, true);
      const TextPainter::Extent e = text_.Measure(mark);
      const double box_w = e.width + 6, box_h = e.height + 2;
      const double x = std::round(X(p.x) - box_w / 2) + 0.5;
      double y = p.value >= 0 ? std::round(scale.Y(p.value) - box_h - 4) + 0.5
                              : std::round(scale.Y(p.value) + 4) + 0.5;
      const bool overlaps = x < previous.x + previous.w + 2 && y < previous.y + previous.h + 2 &&
                            previous.y < y + box_h + 2;
      if (overlaps) y = p.value >= 0 ? previous.y - box_h - 2 : previous.y + previous.h + 2;
      previous = {x, y, box_w, box_h};
      cairo_rectangle(cr_, x, y, box_w, box_h);
      SetSource(cr_, kWhite);
      cairo_fill_preserve(cr_);
      SetSource(cr_, kBlack);
      cairo_set_line_width(cr_, 1);
      cairo_stroke(cr_);
      text_.Draw(mark, x + 3, y + 1, 0, 0, kBlack);
    }
  }

  const Chart& chart_;
  cairo_t* cr_;
  int w_, h_;
  double scale_;
  double font_px_;
  TextPainter text_;
  bool date_axis_ = chart_.date_axis_;
  bool has_main_ = false, has_lower_ = false;
  ValueScale main_, lower_;
  double plot_left_ = 0, plot_right_ = 0;
  std::vector<double> xs_;
  double slot_w_ = 1, spacing_ = 1, span_ = 1;
};

void DrawChart(const Chart& chart, cairo_t* cr, bool image) { Renderer(chart, cr, image).Draw(); }

}  // namespace chart
