#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Dispatch.h"
#include "platform/chart/Chart.h"
#include "platform/ui/Control.h"

namespace kestrova {

// UserControl1: a small bar chart for a page. The page hands it comma-separated values and
// labels and a title (XLegend), then asks it to draw (ReDraw): red bars at x = 0, 1, ...,
// each with its value as a mark above it, the value scale written "#,##0.##" in the
// regional number format, no legend.
//
// The title is a persisted property: ReadProperties takes a page's saved properties (pairs
// [name, value]; a missing "XLegend" keeps the current title) and WriteProperties hands them
// back. Setting XLegend, BarValues or BarLabels raises the control event "PropertyChanged"
// with the property's name, so the page knows to save the title again.
//
// Children a host draws: "tchChart" (the picture, see ChartPicture); the event "resize" of
// "UserControl" with [width, height] in pixels sizes the chart.
class UserControl1 : public automation::Dispatch, public ui::Control {
 public:
  static constexpr std::string_view kProgId = "Kestrova.UserControl1";

  // Eight empty bars (values 0, labels ""), drawn once.
  UserControl1();
  ~UserControl1() override;

  std::string_view ClassName() const override { return "UserControl1"; }
  const automation::MemberTable& Members() const override;

  // Stores the title; nothing changes on screen until ReDraw.
  void SetXLegend(const std::string& title);
  const std::string& XLegend() const { return title_; }
  // Splits the text at every comma (no trimming): field k becomes the height of bar k, an
  // empty field or a single blank 0, any other field a number in the regional format
  // (leading blanks allowed). A field that is no number is error 13; the fields before it
  // keep their values and the rest read 0.
  void SetBarValues(const std::string& values);
  // Splits the text at every comma: field k labels bar k, unchanged.
  void SetBarLabels(const std::string& labels);
  // Draws the bars anew with the title. A bar without a label is error 9; the bars before
  // it are drawn. Returns Empty.
  automation::Variant ReDraw();

  void ReadProperties(const automation::Variant& bag);
  automation::Variant WriteProperties() const;

  void Resize(int32_t width, int32_t height);

  // A value as the scale and the marks write it: "#,##0.##" in the regional number format.
  static std::string ValueText(double value);

  const std::vector<double>& Values() const { return values_; }
  const std::vector<std::string>& Labels() const { return labels_; }
  const chart::Chart& CurrentChart() const { return chart_; }

 protected:
  void HandleEvent(const std::string& child, const std::string& event,
                   automation::Variant& value) override;

 private:
  void PropertyChanged(std::string_view name);
  void ShowPicture();

  std::string title_;
  std::vector<double> values_;
  std::vector<std::string> labels_;
  chart::Chart chart_;
};

}  // namespace kestrova
