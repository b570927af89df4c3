#include "ocx/ctlOHLCGraph.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "ocx/frmOHLCOptions.h"
#include "platform/ado/Connection.h"
#include "platform/automation/Convert.h"
#include "platform/automation/Regional.h"
#include "platform/automation/Registry.h"
#include "platform/automation/Text.h"
#include "platform/chart/DateAxis.h"
#include "platform/helpers/library.h"

namespace kestrova {

namespace {

using automation::ObjectRef;
using automation::Variant;

constexpr chart::Color kFrame = chart::Rgb(35, 70, 128);
// Alert limits: a colour apart from the candles' greens and reds and the averages'.
constexpr chart::Color kAlertColor = chart::Rgb(142, 68, 173);
// Line settings: the price averages drawn with 2, the volume average with 3.
constexpr double kPriceAverageWidth = 2;
constexpr double kVolumeAverageWidth = 1.5;
constexpr int32_t kVolumeAverageDays = 50;

// The object a member returned, or nullptr for Nothing (an average longer than the history).
ObjectRef ObjectOrNothing(const Variant& v) {
  if (!v.IsObject()) return nullptr;
  return std::get<ObjectRef>(v.storage());
}

// A PriceArray read once into plain vectors: its members are reached by name, so each entry
// is fetched once rather than at every use. Index 0 is unused, as in the series.
struct Series {
  std::vector<int32_t> dates{0};
  std::vector<float> values{0};

  int32_t Size() const { return static_cast<int32_t>(dates.size()) - 1; }
};

Series Read(const ObjectRef& array) {
  Series s;
  if (!array) return s;
  const int32_t size = automation::CLng(array->Get("Size"));
  s.dates.reserve(static_cast<size_t>(size) + 1);
  s.values.reserve(static_cast<size_t>(size) + 1);
  Variant at[1];
  for (int32_t i = 1; i <= size; ++i) {
    at[0] = Variant(i);
    s.dates.push_back(automation::CLng(array->Get("DateAt", at)));
    at[0] = Variant(i);
    s.values.push_back(automation::CSng(array->Get("ValueAt", at)));
  }
  return s;
}

ObjectRef Compressed(const ObjectRef& array, int16_t type) {
  if (!array) return nullptr;
  return ObjectOrNothing(array->CallWith("Compress", int16_t{1}, type));
}

double DayOf(int32_t code) { return helpers::DateFromLong(code).value; }

// A colour as the chart takes it: below black is black.
chart::Color ColorSetting(const ObjectRef& settings, const char* name) {
  return std::max(0, automation::CLng(settings->Get(name)));
}

// A ratio series without the entries of skipped prices (date code 0, all at its end). Their
// zeros would otherwise fold into the last week when the series is compressed, which would
// then read 0 and be dated 30 December 1899. nullptr when no entry is left.
ObjectRef WithoutSkippedEntries(const ObjectRef& ratio) {
  Series s = Read(ratio);
  int32_t kept = s.Size();
  while (kept > 0 && s.dates[static_cast<size_t>(kept)] == 0) --kept;
  if (kept == 0) return nullptr;
  if (kept == s.Size()) return ratio;
  s.dates.resize(static_cast<size_t>(kept) + 1);
  s.values.resize(static_cast<size_t>(kept) + 1);
  ObjectRef trimmed = automation::CreateObject("Thalmere.PriceArray");
  trimmed->Let("Dates", Variant(automation::SafeArray(std::move(s.dates), 0)));
  trimmed->Let("Prices", Variant(automation::SafeArray(std::move(s.values), 0)));
  return trimmed;
}

// The alert table keeps symbols without their trailing blanks.
std::string WithoutTrailingBlanks(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string DateText(double day) { return chart::FormatDate(day, "MMM D, YYYY"); }

const chart::Point* PointAt(const chart::Series& series, double x) {
  const auto& points = series.Points();
  const auto found =
      std::find_if(points.begin(), points.end(), [x](const chart::Point& p) { return p.x == x; });
  return found == points.end() ? nullptr : &*found;
}

}  // namespace

ui::ChildState ChartPicture(const chart::Chart& chart) {
  const std::string caption = chart.Header().empty() ? std::string() : chart.Header().front();
  return {{"image", Variant(automation::SafeArray(chart.RenderSvg(), 0))},
          {"imagetype", Variant("image/svg+xml")},
          {"width", Variant(int32_t{chart.Width()})},
          {"height", Variant(int32_t{chart.Height()})},
          {"visible", Variant(chart.Visible())},
          {"caption", Variant(caption)}};
}

ctlOHLCGraph::ctlOHLCGraph() {
  settings_ = automation::CreateObject("Thalmere.Settings");
  chart_.SetHeader({std::string(kInitialHeader)});
  chart_.SetSize(width_, height_);
  SetMany({{"UserControl", {{"width", Variant(width_)}, {"height", Variant(height_)}}},
           {"lblReadout", {{"caption", Variant("")}, {"visible", Variant(false)}}},
           {"frmOHLCOptions",
            {{"caption", Variant(frmOHLCOptions::kCaption)}, {"visible", Variant(false)}}}});
  ShowPicture();
}

ctlOHLCGraph::~ctlOHLCGraph() { Close(); }

const automation::MemberTable& ctlOHLCGraph::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<ctlOHLCGraph>()
          .Let("Symbol", &ctlOHLCGraph::SetSymbol)
          .Let("Days", &ctlOHLCGraph::SetDays)
          .Let("Chart", &ctlOHLCGraph::SetChart)
          .Let("Width", &ctlOHLCGraph::SetWidth)
          .Let("Height", &ctlOHLCGraph::SetHeight)
          .Let("Frequency", &ctlOHLCGraph::SetFrequency)
          .Get("JPEG", &ctlOHLCGraph::JPEG)
          .Method("updPriceToCashFlow", &ctlOHLCGraph::updPriceToCashFlow)
          .Method("updPriceToBook", &ctlOHLCGraph::updPriceToBook)
          .Method("updPriceToSales", &ctlOHLCGraph::updPriceToSales)
          .Method("updPriceChart", &ctlOHLCGraph::updPriceChart)
          .Get("Days", &ctlOHLCGraph::Days)
          .Get("Frequency", &ctlOHLCGraph::Frequency)
          .Method("ReDraw", &ctlOHLCGraph::ReDraw)
          .Get("Chart", &ctlOHLCGraph::Chart)
          .Get("Symbol", &ctlOHLCGraph::Symbol)
          .Method("updPriceToEarnings", &ctlOHLCGraph::updPriceToEarnings)
          .Method("updPriceToEarningsCont", &ctlOHLCGraph::updPriceToEarningsCont)
          .Method("updPriceToFreeCashFlow", &ctlOHLCGraph::updPriceToFreeCashFlow)
          .Method("ReadoutAt", &ctlOHLCGraph::ReadoutAt)
          .Build();
  return table;
}

void ctlOHLCGraph::SetSymbol(const std::string& symbol) {
  symbol_ = symbol;
  DrawAndShow([this] { updChart(); });
}

void ctlOHLCGraph::SetFrequency(const std::string& frequency) {
  if (frequency == "weekly") frequency_ = 2;
  if (frequency == "daily") frequency_ = 1;
}

std::string ctlOHLCGraph::Frequency() const {
  return frequency_ == 2 ? "weekly" : frequency_ == 1 ? "daily" : "";
}

Variant ctlOHLCGraph::JPEG() const {
  return Variant(automation::SafeArray(chart_.RenderJpeg(), 0));
}

void ctlOHLCGraph::ReDraw() {
  DrawAndShow([this] { updChart(); });
}

void ctlOHLCGraph::updPriceChart() {
  DrawAndShow([this] { DrawPriceChart(); });
}

namespace {
constexpr const char* kCashFlow[] = {"PriceToCashFlow", "Price to Cash Flow: "};
constexpr const char* kFreeCashFlow[] = {"PriceToFreeCashFlow", "Price to Free Cash Flow: "};
constexpr const char* kBook[] = {"PriceToBook", "Price to Book: "};
constexpr const char* kSales[] = {"PriceToSales", "Price to Sales: "};
constexpr const char* kEarnings[] = {"PriceToEarnings", "Price to Earnings: "};
constexpr const char* kEarningsCont[] = {"PriceToEarningsCont",
                                         "Price to Earnings from Continuing Ops.: "};
}  // namespace

void ctlOHLCGraph::updPriceToCashFlow() {
  DrawAndShow([this] { DrawRatioChart({kCashFlow[0], kCashFlow[1]}); });
}
void ctlOHLCGraph::updPriceToFreeCashFlow() {
  DrawAndShow([this] { DrawRatioChart({kFreeCashFlow[0], kFreeCashFlow[1]}); });
}
void ctlOHLCGraph::updPriceToBook() {
  DrawAndShow([this] { DrawRatioChart({kBook[0], kBook[1]}); });
}
void ctlOHLCGraph::updPriceToSales() {
  DrawAndShow([this] { DrawRatioChart({kSales[0], kSales[1]}); });
}
void ctlOHLCGraph::updPriceToEarnings() {
  DrawAndShow([this] { DrawRatioChart({kEarnings[0], kEarnings[1]}); });
}
void ctlOHLCGraph::updPriceToEarningsCont() {
  DrawAndShow([this] { DrawRatioChart({kEarningsCont[0], kEarningsCont[1]}); });
}

template <class F>
void ctlOHLCGraph::DrawAndShow(F&& draw) {
  try {
    draw();
  } catch (...) {
    // The page sees the chart as far as it was drawn, and the error.
    ShowPicture();
    throw;
  }
  ShowPicture();
}

void ctlOHLCGraph::ShowPicture() {
  ui::ControlState patch{{"tchChart", ChartPicture(chart_)},
                         {"lblReadout", {{"visible", Variant(false)}}}};
  SetMany(patch);
}

void ctlOHLCGraph::SetHeaderLine(std::string text) {
  std::vector<std::string> header = chart_.Header();
  if (header.empty()) header.emplace_back();
  header.front() = std::move(text);
  chart_.SetHeader(std::move(header));
}

void ctlOHLCGraph::updChart() {
  // The frame's darker shade: the colour integer less RGB(32, 32, 32), taken as a whole (a
  // borrow runs into the next channel). Below black it is black.
  const int32_t bg = automation::CLng(settings_->Get("ChartBGColor"));
  const int32_t shade =
      bg - chart::Rgb(15, 15, 15) > 0 ? std::max(0, bg - chart::Rgb(32, 32, 32)) : 0;
  chart_.RemoveAllSeries();
  chart_.SetLevels({});
  // An empty chart names no stock: the header of the one drawn before goes too.
  SetHeaderLine(std::string(kInitialHeader));
  if (symbol_.empty() || days_ == 0) return;

  chart_.SetBackdropColor(kFrame);
  chart_.SetPlotColors(shade, std::max(0, bg));
  chart_.SetDateAxis();
  chart_.SetSize(width_, height_);
  if (chart_code_ == "price") {
    DrawPriceChart();
  } else if (chart_code_ == "ps") {
    DrawRatioChart({kSales[0], kSales[1]});
  } else if (chart_code_ == "pc") {
    DrawRatioChart({kCashFlow[0], kCashFlow[1]});
  } else if (chart_code_ == "pfc") {
    DrawRatioChart({kFreeCashFlow[0], kFreeCashFlow[1]});
  } else if (chart_code_ == "pb") {
    DrawRatioChart({kBook[0], kBook[1]});
  } else if (chart_code_ == "pec") {
    DrawRatioChart({kEarningsCont[0], kEarningsCont[1]});
  } else if (chart_code_ == "pe") {
    DrawRatioChart({kEarnings[0], kEarnings[1]});
  }
}

void ctlOHLCGraph::DrawPriceChart() {
  const ObjectRef& s = settings_;
  const chart::Color short_color = ColorSetting(s, "ChartMAShortColor");
  const chart::Color medium_color = ColorSetting(s, "ChartMAMediumColor");
  const chart::Color long_color = ColorSetting(s, "ChartMALongColor");
  const chart::Color price_color = ColorSetting(s, "ChartPriceColor");
  const chart::Color up_volume = ColorSetting(s, "ChartUpVolumeColor");
  const chart::Color down_volume = ColorSetting(s, "ChartDownVolumeColor");
  const chart::Color down_candle = ColorSetting(s, "ChartDownCandleColor");
  const chart::Color up_candle = ColorSetting(s, "ChartUpCandleColor");
  const bool show_short = automation::CBool(s->Get("ChartShowShortMA"));
  const bool show_medium = automation::CBool(s->Get("ChartShowMediumMA"));
  const bool show_long = automation::CBool(s->Get("ChartShowLongMA"));
  const int32_t short_days = automation::CLng(s->Get("ChartMAShortDays"));
  const int32_t medium_days = automation::CLng(s->Get("ChartMAMediumDays"));
  const int32_t long_days = automation::CLng(s->Get("ChartMALongDays"));

  const ObjectRef quotes = automation::CreateObject("Thalmere.Quotes");
  const ObjectRef indicators = automation::CreateObject("Thalmere.Indicators");
  // The extra history lets the long average cover the whole visible window.
  quotes->Let("days", Variant(days_ + long_days));
  quotes->Let("Symbol", Variant(symbol_));
  ObjectRef o = ObjectOrNothing(quotes->CallWith("GetArray", "O"));
  if (!o || automation::CLng(o->Get("Size")) <= 0) {
    SetHeaderLine(std::string(kNoQuotes));
    return;
  }
  ObjectRef h = ObjectOrNothing(quotes->CallWith("GetArray", "H"));
  ObjectRef l = ObjectOrNothing(quotes->CallWith("GetArray", "L"));
  ObjectRef c = ObjectOrNothing(quotes->CallWith("GetArray", "C"));
  ObjectRef v = ObjectOrNothing(quotes->CallWith("GetArray", "V"));

  // The first visible day, from the daily series before any weekly compression: a weekly
  // chart starts with the whole week that holds it.
  const int32_t loaded = automation::CLng(o->Get("Size"));
  const int32_t first_index = loaded >= days_ ? loaded - days_ + 1 : 1;
  const int32_t first = automation::CLng(o->CallWith("DateAt", first_index));

  auto average = [&](const ObjectRef& of, int32_t length) {
    return ObjectOrNothing(indicators->CallWith("MA", of, length));
  };
  ObjectRef ma_short = average(c, short_days);
  ObjectRef ma_medium = average(c, medium_days);
  ObjectRef ma_long = average(c, long_days);
  ObjectRef ma_volume = average(v, kVolumeAverageDays);

  if (frequency_ == 2) {
    o = Compressed(o, 1);
    h = Compressed(h, 2);
    l = Compressed(l, 3);
    c = Compressed(c, 4);
    v = Compressed(v, 5);
    ma_short = Compressed(ma_short, 4);
    ma_medium = Compressed(ma_medium, 4);
    ma_long = Compressed(ma_long, 4);
    ma_volume = Compressed(ma_volume, 5);
  }

  SetHeaderLine(symbol_ + " (" + automation::CStr(quotes->Get("companyname")) + ")");
  chart::Series& candles = chart_.AddSeries(chart::SeriesKind::kCandle, chart::Scale::kMain);
  chart::Series& volume = chart_.AddSeries(chart::SeriesKind::kVolume, chart::Scale::kLower);
  chart::Series& short_line = chart_.AddSeries(chart::SeriesKind::kLine, chart::Scale::kMain);
  chart::Series& medium_line = chart_.AddSeries(chart::SeriesKind::kLine, chart::Scale::kMain);
  chart::Series& long_line = chart_.AddSeries(chart::SeriesKind::kLine, chart::Scale::kMain);
  chart::Series& volume_line = chart_.AddSeries(chart::SeriesKind::kLine, chart::Scale::kLower);
  for (chart::Series* line : {&short_line, &medium_line, &long_line}) {
    line->SetLineWidth(kPriceAverageWidth);
  }
  volume_line.SetLineWidth(kVolumeAverageWidth);
  candles.SetUpColor(up_candle);
  candles.SetDownColor(down_candle);

  const Series open = Read(o), high = Read(h), low = Read(l), close = Read(c), vol = Read(v);
  for (int32_t i = 1; i <= open.Size(); ++i) {
    if (open.dates[i] < first) continue;
    candles.AddCandle(DayOf(open.dates[i]), open.values[i], high.values[i], low.values[i],
                      close.values[i]);
    // A day closing level with the day before counts as up.
    const bool down = i > 1 && close.values[i] < close.values[i - 1];
    volume.AddPoint(DayOf(vol.dates[i]), vol.values[i], {}, down ? down_volume : up_volume);
  }

  auto draw_average = [&](const ObjectRef& of, bool show, chart::Series& line, chart::Color color) {
    if (!of || !show) return;
    const Series a = Read(of);
    for (int32_t i = 1; i <= a.Size(); ++i) {
      if (a.dates[i] >= first) line.AddPoint(DayOf(a.dates[i]), a.values[i], {}, color);
    }
  };
  draw_average(ma_short, show_short, short_line, short_color);
  draw_average(ma_medium, show_medium, medium_line, medium_color);
  draw_average(ma_long, show_long, long_line, long_color);
  draw_average(ma_volume, true, volume_line, price_color);
  for (chart::Series* line : {&short_line, &medium_line, &long_line, &volume_line}) {
    if (!line->Points().empty()) line->SetColor(line->Points().front().color);
  }
  DrawAlertLimits();
}

void ctlOHLCGraph::DrawAlertLimits() {
  std::vector<chart::Level> levels;
  try {
    const auto ledra = ado::Connection::OpenDataSource("Ledra");
    auto rows =
        helpers::OpenRecordset(ledra, "select highprice, lowprice from alert where symbol = ?",
                               {Variant(WithoutTrailingBlanks(symbol_))});
    for (; !rows->EOF_(); rows->MoveNext()) {
      const double high = helpers::NullToSingle(rows->Field("highprice"));
      const double low = helpers::NullToSingle(rows->Field("lowprice"));
      // A limit of 0 is no limit.
      if (high != 0) {
        levels.push_back({high, kAlertColor, "Alert high " + automation::FormatNumber(high, 2)});
      }
      if (low != 0) {
        levels.push_back({low, kAlertColor, "Alert low " + automation::FormatNumber(low, 2)});
      }
    }
  } catch (const automation::Error&) {
    // The limits only add to the price chart: a system database that cannot be read (no
    // alert table yet, say) leaves them out rather than the chart.
    levels.clear();
  }
  chart_.SetLevels(std::move(levels));
}

void ctlOHLCGraph::DrawRatioChart(const Ratio& ratio) {
  const auto dbf = ado::Connection::OpenDataSource("SIPDbf");
  const auto fundamentals = ado::Connection::OpenDataSource("SIPStatic");
  const ObjectRef quotes = automation::CreateObject("Thalmere.Quotes");
  quotes->Let("days", Variant(days_));
  quotes->Let("Symbol", Variant(symbol_));
  const ObjectRef closes = ObjectOrNothing(quotes->CallWith("GetArray", "C"));
  const ObjectRef stats = automation::CreateObject("Thalmere.Stats");
  ObjectRef series = ObjectOrNothing(stats->CallWith(ratio.stats_member, ObjectRef(dbf),
                                                     ObjectRef(fundamentals), symbol_, closes));
  if (frequency_ == 2) series = Compressed(WithoutSkippedEntries(series), 4);

  SetHeaderLine(ratio.title + symbol_ + " (" + automation::CStr(quotes->Get("companyname")) + ")");
  chart_.SetDateAxis("MM/DD/YY");
  chart::Series& line = chart_.AddSeries(chart::SeriesKind::kLine, chart::Scale::kMain);
  // Entries dated 0 (skipped prices) are handed to the chart too; it leaves them out.
  const Series r = Read(series);
  for (int32_t i = 1; i <= r.Size(); ++i) {
    line.AddPoint(DayOf(r.dates[i]), r.values[i], {}, chart::kDefaultColor);
  }
}

void ctlOHLCGraph::Resize(int32_t width, int32_t height) {
  if (width < 16 || height < 16 || width > 10000 || height > 10000) return;
  width_ = width;
  height_ = height;
  chart_.SetSize(width, height);
  chart_.SetVisible(true);
  SetMany({{"UserControl", {{"width", Variant(width)}, {"height", Variant(height)}}}});
  ShowPicture();
}

std::string ctlOHLCGraph::ReadoutAt(double x) const {
  const std::optional<double> at = chart_.XAtPixel(x);
  if (!at || chart_.SeriesCount() == 0) return {};
  auto& chart = const_cast<chart::Chart&>(chart_);
  const chart::Series& first = chart.SeriesAt(0);
  const chart::Point* p = PointAt(first, *at);
  std::string text = (frequency_ == 2 ? "Week to " : "") + DateText(*at);
  if (first.Kind() == chart::SeriesKind::kCandle) {
    if (!p) return text;
    text += "   O " + automation::FormatNumber(p->open, 2) + "   H " +
            automation::FormatNumber(p->high, 2) + "   L " + automation::FormatNumber(p->low, 2) +
            "   C " + automation::FormatNumber(p->value, 2);
    if (chart.SeriesCount() > 1) {
      if (const chart::Point* volume = PointAt(chart.SeriesAt(1), *at)) {
        text += "   V " + automation::FormatNumber(volume->value, 0);
      }
    }
    return text;
  }
  if (!p) return text;
  // The ratio's name is the title without its trailing ": ".
  std::string name = chart_.Header().empty() ? std::string() : chart_.Header().front();
  name = name.substr(0, name.find(": "));
  return text + "   " + name + " " + automation::FormatNumber(p->value, 2);
}

void ctlOHLCGraph::ShowReadout(double x) {
  const std::string text = ReadoutAt(x);
  if (text.empty()) {
    Set("lblReadout", "visible", Variant(false));
    return;
  }
  const chart::PlotLayout& layout = chart_.LastLayout();
  const double column = chart_.PixelOfX(*chart_.XAtPixel(x)).value_or(x);
  SetMany({{"lblReadout",
            {{"caption", Variant(text)},
             {"visible", Variant(true)},
             {"x", Variant(std::round(column * 10) / 10)},
             {"top", Variant(layout.top)},
             {"bottom", Variant(layout.bottom)}}}});
}

void ctlOHLCGraph::ShowOptions() {
  if (!options_) options_ = std::make_unique<frmOHLCOptions>(*this);
  options_->SetParent(this);
  options_->Show();
}

void ctlOHLCGraph::HandleEvent(const std::string& child, const std::string& event, Variant& value) {
  // The first number of an [x, y] or [width, height] pair, and the second.
  auto coordinate = [&](int32_t index) -> double {
    if (value.IsArray())
      return automation::CDbl(value.Array().Element(value.Array().LowerBound() + index));
    return index == 0 ? automation::CDbl(value) : 0;
  };
  if (child == "tchChart") {
    if (event == "click") {
      ShowOptions();
    } else if (event == "mousemove") {
      ShowReadout(coordinate(0));
    } else if (event == "mouseleave") {
      Set("lblReadout", "visible", Variant(false));
    }
    return;
  }
  if (child == "UserControl" && event == "resize") {
    Resize(static_cast<int32_t>(std::lround(coordinate(0))),
           static_cast<int32_t>(std::lround(coordinate(1))));
    return;
  }
  if (options_) options_->HandleEvent(child, event);
}

}  // namespace kestrova
