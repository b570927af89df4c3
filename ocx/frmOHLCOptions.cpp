#include "ocx/frmOHLCOptions.h"

#include <array>
#include <utility>
#include <vector>

#include "ocx/ctlOHLCGraph.h"
#include "platform/automation/Text.h"

namespace kestrova {

namespace {

using automation::Variant;

// Each chart entry carries its index into this list of codes.
constexpr std::string_view kChartCodes = "price,ps,pb,pe,pec,pc,pfc";

struct ChartEntry {
  std::string_view text;
  int index;
};
constexpr std::array<ChartEntry, 7> kCharts = {{
    {"Price", 0},
    {"Price to Sales", 1},
    {"Price to Book", 2},
    {"Price to Earnings", 3},
    {"Price to Earnings (Cont.)", 4},
    {"Price to Cash Flow", 5},
    {"Price to Free Cash Flow", 6},
}};

// Trading days: 65 to a quarter, 260 to a year.
struct DurationEntry {
  std::string_view text;
  int32_t days;
};
constexpr std::array<DurationEntry, 10> kDurations = {{
    {"3 Months", 65},
    {"6 Months", 130},
    {"1 Year", 260},
    {"2 Years", 520},
    {"3 Years", 780},
    {"4 Years", 1040},
    {"5 Years", 1300},
    {"6 Years", 1560},
    {"7 Years", 1820},
    {"8 Years", 2080},
}};

constexpr std::array<std::string_view, 2> kFrequencies = {"weekly", "daily"};

template <class Entries>
Variant ItemsOf(const Entries& entries) {
  std::vector<std::string> items;
  for (const auto& e : entries) items.emplace_back(e.text);
  return Variant(automation::SafeArray(std::move(items), 0));
}

std::string ChartCodeAt(int index) {
  return automation::SplitAt(std::string(kChartCodes), ',').at(static_cast<size_t>(index));
}

}  // namespace

frmOHLCOptions::frmOHLCOptions(ctlOHLCGraph& host) : host_(host) {}

std::string frmOHLCOptions::ChartCodeOf(std::string_view entry) {
  for (const ChartEntry& e : kCharts) {
    if (e.text == entry) return ChartCodeAt(e.index);
  }
  return {};
}

int32_t frmOHLCOptions::DaysOf(std::string_view entry) {
  for (const DurationEntry& e : kDurations) {
    if (e.text == entry) return e.days;
  }
  return 0;
}

void frmOHLCOptions::Load() {
  ui::ControlState form;
  form["frmOHLCOptions"]["caption"] = Variant(kCaption);
  form["Label3"]["caption"] = Variant("Chart");
  form["Label2"]["caption"] = Variant("Duration");
  form["Label1"]["caption"] = Variant("Frequency");
  form["cmdOK"]["caption"] = Variant("OK");
  form["cmdApply"]["caption"] = Variant("Apply");
  form["cmdCancel"]["caption"] = Variant("Cancel");
  std::vector<std::string> frequencies(kFrequencies.begin(), kFrequencies.end());
  form["cmbFrequency"]["items"] = Variant(automation::SafeArray(std::move(frequencies), 0));
  form["cmbDays"]["items"] = ItemsOf(kDurations);
  form["cmbChart"]["items"] = ItemsOf(kCharts);
  // Nothing is selected until the parent says what it shows.
  std::string caption, frequency, duration, chart;
  if (parent_) {
    caption = std::string(kCaptionPrefix) + parent_->Symbol();
    frequency = parent_->Frequency();
    for (const DurationEntry& e : kDurations) {
      if (e.days == parent_->Days()) {
        duration = e.text;
        break;
      }
    }
    for (const ChartEntry& e : kCharts) {
      if (ChartCodeAt(e.index) == parent_->Chart()) {
        chart = e.text;
        break;
      }
    }
  }
  form["lblCaption"]["caption"] = Variant(caption);
  form["cmbFrequency"]["text"] = Variant(frequency);
  form["cmbDays"]["text"] = Variant(duration);
  form["cmbChart"]["text"] = Variant(chart);
  host_.SetMany(form);
}

void frmOHLCOptions::Show() {
  Load();
  visible_ = true;
  host_.Set("frmOHLCOptions", "visible", Variant(true));
}

void frmOHLCOptions::Apply() {
  if (!parent_) return;
  parent_->SetFrequency(host_.Text("cmbFrequency"));
  // An entry the page sent that is no entry of the list counts as no selection.
  if (const int32_t days = DaysOf(host_.Text("cmbDays")); days != 0) parent_->SetDays(days);
  if (std::string code = ChartCodeOf(host_.Text("cmbChart")); !code.empty()) {
    parent_->SetChart(code);
  }
  parent_->ReDraw();
}

void frmOHLCOptions::OK() {
  Apply();
  Unload();
}

void frmOHLCOptions::Cancel() { Unload(); }

void frmOHLCOptions::Unload() {
  parent_ = nullptr;
  visible_ = false;
  host_.Set("frmOHLCOptions", "visible", Variant(false));
}

bool frmOHLCOptions::HandleEvent(const std::string& child, const std::string& event) {
  if (child == "cmdApply") {
    if (event == "click") Apply();
  } else if (child == "cmdOK") {
    if (event == "click") OK();
  } else if (child == "cmdCancel") {
    if (event == "click") Cancel();
  } else if (child == "frmOHLCOptions") {
    if (event == "cancel") Cancel();
  } else {
    // The lists keep their choice in their "text"; nothing runs until a button is pressed.
    return child == "cmbChart" || child == "cmbDays" || child == "cmbFrequency";
  }
  return true;
}

}  // namespace kestrova
