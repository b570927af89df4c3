#include "library/PDFChart.h"

#include <string>
#include <utility>
#include <vector>

#include "library/Indicators.h"
#include "library/Quotes.h"
#include "library/Stats.h"
#include "platform/ado/Connection.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/chart/Chart.h"
#include "platform/helpers/library.h"

namespace thalmere {

namespace {

using automation::SafeArray;
using automation::Variant;

constexpr const char* kPdfEngineClassId = "{1DC59A34-1EDD-440A-B21F-CB8857C112E5}";

// The fixed look: a navy frame, which turns the title and the scales' labels white, and a
// plot shading from white at the top to a light grey at the bottom: grey 0xCCCCCC at 50
// percent strength, light enough that the yellow average stays readable down there.
constexpr chart::Color kFrame = chart::Rgb(35, 70, 128);
constexpr chart::Color kPlotTop = 0xFFFFFF;
constexpr chart::Color kShadingGrey = 0xCCCCCC;
constexpr int kShadingPercent = 50;

// `percent` of `color` over white, channel by channel.
constexpr chart::Color OverWhite(chart::Color color, int percent) {
  chart::Color mixed = 0;
  for (int shift : {0, 8, 16}) {
    const int channel = (color >> shift) & 0xFF;
    mixed |= (255 - (255 - channel) * percent / 100) << shift;
  }
  return mixed;
}

constexpr chart::Color kPlotBottom = OverWhite(kShadingGrey, kShadingPercent);

constexpr chart::Color kVolumeColor = chart::Rgb(255, 0, 0);
constexpr chart::Color kShortAverageColor = chart::Rgb(46, 118, 69);
constexpr chart::Color kLongAverageColor = chart::Rgb(255, 217, 0);
constexpr chart::Color kVolumeAverageColor = chart::Rgb(46, 118, 69);

// Where the PDF places the chart, in page units from the top left.
constexpr int32_t kPdfImageX = 50;
constexpr int32_t kPdfImageY = 150;

Variant ByteArray(std::vector<uint8_t> bytes) { return Variant(SafeArray(std::move(bytes), 0)); }

// A series compressed to weeks when the chart is weekly; a missing average stays missing.
std::shared_ptr<PriceArray> ForFrequency(const std::shared_ptr<PriceArray>& series,
                                         ShowChartFrequency frequency, int16_t type) {
  if (!series || frequency != scWeekly) return series;
  return series->Compress(1, type);
}

// Adds an average's entries as a line; an entry without a date is no point of the chart.
void AddLine(chart::Series& line, const PriceArray* average, chart::Color color) {
  if (!average) return;
  for (int32_t i = 1; i <= average->Size(); ++i) {
    const int32_t code = average->DateAt(i);
    if (code == 0) continue;
    line.AddPoint(helpers::DateFromLong(code).value, average->ValueAt(i), {}, color);
  }
}

// A ratio point's label: the date text without the blanks of its sign positions, so that
// " 2026/ 1/ 5" shows as "2026/1/5" under the axis.
std::string LabelOf(int32_t code) {
  std::string text = helpers::DateTextFromLong(code);
  std::erase(text, ' ');
  return text;
}

}  // namespace

PDFChart::PDFChart() = default;
PDFChart::~PDFChart() = default;

void PDFChart::SetSymbol(const std::string& symbol) {
  symbol_ = symbol;
  chart_ = std::make_unique<chart::Chart>();
  // Even an empty chart has the requested size, so its image is what the page laid out for.
  chart_->SetSize(width_, height_);
  if (symbol_.empty() || days_ == 0) return;

  chart_->SetBackdropColor(kFrame);
  chart_->SetPlotColors(kPlotTop, kPlotBottom);
  if (kind_ == "price") {
    updPriceChart();
  } else if (kind_ == "pc") {
    updPriceToCashFlow();
  } else if (kind_ == "pb") {
    updPriceToBook();
  } else if (kind_ == "ps") {
    updPriceToSales();
  }
}

void PDFChart::SetFrequency(const std::string& frequency) {
  if (frequency == "weekly") frequency_ = scWeekly;
  if (frequency == "daily") frequency_ = scDaily;
}

chart::Chart& PDFChart::Current(std::string_view call) const {
  if (!chart_) {
    throw automation::Error::WithDetail(automation::err::kObjectNotSet,
                                        std::string(call) + " needs a chart: assign Symbol first");
  }
  return *chart_;
}

Variant PDFChart::JPEG() const { return ByteArray(Current("JPEG").RenderJpeg()); }

Variant PDFChart::PNG() const { return ByteArray(Current("PNG").RenderPng()); }

Variant PDFChart::PDF() {
  engine_ = automation::CreateObject(kPdfEngineClassId);
  if (!symbol_.empty() && days_ != 0) {
    Variant jpeg = JPEG();
    const auto byte_count = static_cast<int32_t>(jpeg.Array().Size());
    engine_->Let("OutputToMemory", Variant(true));
    engine_->Call("BeginDocument");
    engine_->CallWith("DrawImageMem", kPdfImageX, kPdfImageY, std::move(jpeg), byte_count, 1);
    engine_->Call("EndDocument");
  }
  return engine_->Get("DocumentBytes");
}

void PDFChart::updPriceChart() {
  chart::Chart& c = Current("updPriceChart");
  Quotes quotes;
  const Indicators indicators;
  quotes.SetDays(days_);
  quotes.SetSymbol(symbol_);
  auto open = quotes.GetArray("O");
  auto high = quotes.GetArray("H");
  auto low = quotes.GetArray("L");
  auto close = quotes.GetArray("C");
  auto volume = quotes.GetArray("V");
  c.RemoveAllSeries();
  c.SetDateAxis();
  if (!open || open->Size() < 1) {
    c.SetHeader({"Unable to Pull Quotes from TC2000"});
    return;
  }

  auto short_average = indicators.MA(*close, 26);
  auto long_average = indicators.MA(*close, 50);
  auto volume_average = indicators.MA(*volume, 50);
  open = ForFrequency(open, frequency_, 1);
  high = ForFrequency(high, frequency_, 2);
  low = ForFrequency(low, frequency_, 3);
  close = ForFrequency(close, frequency_, 4);
  short_average = ForFrequency(short_average, frequency_, 4);
  long_average = ForFrequency(long_average, frequency_, 4);
  volume = ForFrequency(volume, frequency_, 5);
  volume_average = ForFrequency(volume_average, frequency_, 5);

  c.SetHeader({"Price Chart: " + symbol_ + " (" + quotes.companyname() + ")"});
  chart::Series& candles = c.AddSeries(chart::SeriesKind::kCandle, chart::Scale::kMain);
  chart::Series& volume_bars = c.AddSeries(chart::SeriesKind::kVolume, chart::Scale::kLower);
  chart::Series& short_line = c.AddSeries(chart::SeriesKind::kLine, chart::Scale::kMain);
  chart::Series& long_line = c.AddSeries(chart::SeriesKind::kLine, chart::Scale::kMain);
  chart::Series& volume_line = c.AddSeries(chart::SeriesKind::kLine, chart::Scale::kLower);
  short_line.SetColor(kShortAverageColor);
  long_line.SetColor(kLongAverageColor);
  volume_line.SetColor(kVolumeAverageColor);

  for (int32_t i = 1; i <= open->Size(); ++i) {
    const int32_t code = open->DateAt(i);
    if (code != 0) {
      candles.AddCandle(helpers::DateFromLong(code).value, open->ValueAt(i), high->ValueAt(i),
                        low->ValueAt(i), close->ValueAt(i));
    }
    const int32_t volume_code = volume->DateAt(i);
    if (volume_code != 0) {
      volume_bars.AddPoint(helpers::DateFromLong(volume_code).value, volume->ValueAt(i), {},
                           kVolumeColor);
    }
  }
  AddLine(short_line, short_average.get(), kShortAverageColor);
  AddLine(long_line, long_average.get(), kLongAverageColor);
  AddLine(volume_line, volume_average.get(), kVolumeAverageColor);
}

void PDFChart::updPriceToCashFlow() { DrawRatio(Ratio::kCashFlow); }
void PDFChart::updPriceToBook() { DrawRatio(Ratio::kBook); }
void PDFChart::updPriceToSales() { DrawRatio(Ratio::kSales); }

void PDFChart::DrawRatio(Ratio ratio) {
  static constexpr const char* kCalls[] = {"updPriceToCashFlow", "updPriceToBook",
                                           "updPriceToSales"};
  static constexpr const char* kTitles[] = {
      "Price to Cash Flow: ", "Price to Book: ", "Price to Sales: "};
  const auto which = static_cast<size_t>(ratio);
  chart::Chart& c = Current(kCalls[which]);
  const auto dbf = ado::Connection::OpenDataSource("SIPDbf");
  const auto fundamentals = ado::Connection::OpenDataSource("SIPStatic");
  Quotes quotes;
  quotes.SetDays(days_);
  quotes.SetSymbol(symbol_);
  const auto close = quotes.GetArray("C");

  const Stats stats;
  std::shared_ptr<PriceArray> series;
  switch (ratio) {
    case Ratio::kCashFlow:
      series = stats.PriceToCashFlow(dbf, fundamentals, symbol_, *close);
      break;
    case Ratio::kBook:
      series = stats.PriceToBook(dbf, fundamentals, symbol_, *close);
      break;
    case Ratio::kSales:
      series = stats.PriceToSales(dbf, fundamentals, symbol_, *close);
      break;
  }

  c.RemoveAllSeries();
  c.SetIndexAxis();
  c.SetHeader({kTitles[which] + symbol_ + " (" + quotes.companyname() + ")"});
  chart::Series& line = c.AddSeries(chart::SeriesKind::kLine, chart::Scale::kMain);
  // Skipped prices leave entries without a date at the end of a ratio series; they are no
  // ratios, so they are no points. The points left keep x = index - 1.
  for (int32_t i = 1; i <= series->Size(); ++i) {
    const int32_t code = series->DateAt(i);
    if (code == 0) continue;
    line.AddPoint(i - 1, series->ValueAt(i), LabelOf(code), chart::kDefaultColor);
  }
}

const automation::MemberTable& PDFChart::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<PDFChart>()
          .Let("Symbol", &PDFChart::SetSymbol)
          .Let("days", &PDFChart::SetDays)
          .Let("Chart", &PDFChart::SetChart)
          .Let("Width", &PDFChart::SetWidth)
          .Let("Height", &PDFChart::SetHeight)
          .Let("Frequency", &PDFChart::SetFrequency)
          .Get("JPEG", &PDFChart::JPEG)
          .Get("PNG", &PDFChart::PNG)
          .Get("PDF", &PDFChart::PDF)
          .Method("updPriceChart", &PDFChart::updPriceChart)
          .Method("updPriceToCashFlow", &PDFChart::updPriceToCashFlow)
          .Method("updPriceToBook", &PDFChart::updPriceToBook)
          .Method("updPriceToSales", &PDFChart::updPriceToSales)
          .Build();
  return table;
}

}  // namespace thalmere
