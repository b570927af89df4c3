#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/automation/Variant.h"

namespace kestrova {

class ctlOHLCGraph;

// frmOHLCOptions: the "Chart Options" dialog the chart control opens when its chart is
// clicked. It picks the chart, the duration and the frequency and applies them to its
// parent control, which redraws; it changes nothing else.
//
// The dialog is drawn as children of the control that shows it (its host): the form
// "frmOHLCOptions" ("caption", "visible": the page shows it as a modal dialog), the label
// "lblCaption", the captions "Label1".."Label3", the drop-down lists "cmbChart", "cmbDays"
// and "cmbFrequency" ("items", and "text": the selected entry, "" for none) and the buttons
// "cmdOK", "cmdApply" and "cmdCancel". The form's "cancel" event (Escape) is Cancel.
//
// Without a parent, Load fills nothing and Apply does nothing. A list without a selection
// (the parent's Days or Chart matched no entry) leaves the parent's value as it is. Errors of
// the parent's redraw are not trapped: they reach the caller of Apply or OK.
class frmOHLCOptions {
 public:
  static constexpr std::string_view kCaption = "Chart Options";
  static constexpr std::string_view kCaptionPrefix = "Adjust Settings for Chart: ";

  explicit frmOHLCOptions(ctlOHLCGraph& host);

  // The control to work on; nullptr releases it.
  void SetParent(ctlOHLCGraph* parent) { parent_ = parent; }
  ctlOHLCGraph* Parent() const { return parent_; }

  // Loads (fills the lists from the parent) and shows the dialog.
  void Show();
  // Applies the selection to the parent and redraws it; the dialog stays.
  void Apply();
  // Apply, then unload.
  void OK();
  // Unloads without applying.
  void Cancel();
  bool Visible() const { return visible_; }

  // Runs the handler of a user event on one of the dialog's children; false when the child
  // is none of the dialog's.
  bool HandleEvent(const std::string& child, const std::string& event);

  // The chart code and the day count an entry text carries; "" and 0 for no entry.
  static std::string ChartCodeOf(std::string_view entry);
  static int32_t DaysOf(std::string_view entry);

 private:
  void Load();
  void Unload();

  ctlOHLCGraph& host_;
  ctlOHLCGraph* parent_ = nullptr;
  bool visible_ = false;
};

}  // namespace kestrova
