#include "ocx/UserControl1.h"

#include <cmath>
#include <utility>

#include "ocx/ctlOHLCGraph.h"
#include "platform/automation/Convert.h"
#include "platform/automation/Regional.h"
#include "platform/automation/Text.h"

namespace kestrova {

namespace {

using automation::Variant;

constexpr chart::Color kBarColor = chart::Rgb(255, 0, 0);
constexpr chart::Color kWhite = chart::Rgb(255, 255, 255);
constexpr size_t kInitialBars = 8;
constexpr std::string_view kTitleProperty = "XLegend";

}  // namespace

// "#,##0.##": grouped, up to two decimals, none shown when they are zeros.
std::string UserControl1::ValueText(double value) {
  std::string text = automation::FormatNumber(value, 2);
  const std::string& point = automation::CurrentNumberFormat().decimal_point;
  if (const size_t at = text.rfind(point); at != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.size() == at + point.size()) text.resize(at);
  }
  return text;
}

UserControl1::UserControl1() : values_(kInitialBars, 0.0), labels_(kInitialBars) {
  chart_.SetBackdropColor(kWhite);
  chart_.SetPlotColors(kWhite, kWhite);
  chart_.SetIndexAxis();
  chart_.SetValueFormatter(&UserControl1::ValueText);
  chart_.SetSize(400, 300);
  chart_.AddSeries(chart::SeriesKind::kBar, chart::Scale::kMain);
  ReDraw();
}

UserControl1::~UserControl1() { Close(); }

const automation::MemberTable& UserControl1::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<UserControl1>()
          .Let("XLegend", &UserControl1::SetXLegend)
          .Get("XLegend", &UserControl1::XLegend)
          .Let("BarValues", &UserControl1::SetBarValues)
          .Let("BarLabels", &UserControl1::SetBarLabels)
          .Method("ReDraw", &UserControl1::ReDraw)
          .Method("ReadProperties", &UserControl1::ReadProperties)
          .Method("WriteProperties", &UserControl1::WriteProperties)
          .Build();
  return table;
}

void UserControl1::SetXLegend(const std::string& title) {
  title_ = title;
  PropertyChanged(kTitleProperty);
}

void UserControl1::SetBarValues(const std::string& values) {
  const std::vector<std::string> fields = automation::SplitAt(values, ',');
  // Sized first, so that a field that is no number leaves the rest at 0.
  values_.assign(fields.size(), 0.0);
  PropertyChanged("BarValues");
  for (size_t k = 0; k < fields.size(); ++k) {
    const std::string& field = fields[k];
    values_[k] = field.empty() || field == " " ? 0.0 : automation::CDbl(Variant(field));
  }
}

void UserControl1::SetBarLabels(const std::string& labels) {
  labels_ = automation::SplitAt(labels, ',');
  PropertyChanged("BarLabels");
}

Variant UserControl1::ReDraw() {
  chart::Series& bars = chart_.SeriesAt(0);
  bars.Clear();
  chart_.SetHeader({title_});
  try {
    for (size_t i = 0; i < values_.size(); ++i) {
      if (i >= labels_.size()) {
        throw automation::Error::WithDetail(
            automation::err::kSubscriptOutOfRange,
            "bar " + std::to_string(i) + " has no label: " + std::to_string(labels_.size()) +
                " label(s) for " + std::to_string(values_.size()) + " value(s)");
      }
      bars.AddPoint(static_cast<double>(i), values_[i], labels_[i], kBarColor);
    }
  } catch (...) {
    ShowPicture();
    throw;
  }
  ShowPicture();
  return Variant();
}

void UserControl1::ReadProperties(const Variant& bag) {
  if (!bag.IsArray()) return;
  const automation::SafeArray& pairs = bag.Array();
  for (int32_t i = pairs.LowerBound(); i <= pairs.UpperBound(); ++i) {
    const Variant pair = pairs.Element(i);
    if (!pair.IsArray() || pair.Array().Size() != 2) continue;
    const automation::SafeArray& p = pair.Array();
    const Variant name = p.Element(p.LowerBound());
    const Variant value = p.Element(p.LowerBound() + 1);
    if (automation::CStr(name) == kTitleProperty && !value.IsEmpty() && !value.IsNull()) {
      title_ = automation::CStr(value);
    }
  }
}

Variant UserControl1::WriteProperties() const {
  std::vector<Variant> pair{Variant(kTitleProperty), Variant(title_)};
  std::vector<Variant> bag{Variant(automation::SafeArray(std::move(pair), 0))};
  return Variant(automation::SafeArray(std::move(bag), 0));
}

void UserControl1::Resize(int32_t width, int32_t height) {
  if (width < 16 || height < 16 || width > 10000 || height > 10000) return;
  chart_.SetSize(width, height);
  ShowPicture();
}

void UserControl1::PropertyChanged(std::string_view name) {
  RaiseControlEvent("PropertyChanged", {Variant(name)});
}

void UserControl1::ShowPicture() { SetMany({{"tchChart", ChartPicture(chart_)}}); }

void UserControl1::HandleEvent(const std::string& child, const std::string& event, Variant& value) {
  if (child != "UserControl" || event != "resize" || !value.IsArray()) return;
  const automation::SafeArray& size = value.Array();
  if (size.Size() != 2) return;
  Resize(static_cast<int32_t>(std::lround(automation::CDbl(size.Element(size.LowerBound())))),
         static_cast<int32_t>(std::lround(automation::CDbl(size.Element(size.LowerBound() + 1)))));
}

}  // namespace kestrova
