#pragma once

#include <string>
#include <string_view>

#include "platform/automation/Dispatch.h"
#include "platform/ui/Control.h"

namespace kestrova {

// ctlSettings: the settings editor a settings page hosts. Four tabs (SSTab1: "Alerts",
// "Colors", "Charts", "Files") show every setting of a Thalmere.Settings object, created by
// ProgID and held for the control's life; edits stay in the children until ApplySettings
// writes them, and ResetSettings reloads them from the store.
//
// Children and their properties: text boxes "text" (and "enabled"), the method combo
// "text" + "items", the nine colour combos "backcolor" (a colour red + 256 × green + 65536 ×
// blue; their "dropdown" event opens the colour dialog of the UiHost), the moving-average
// check boxes "value" (1 ticked, 0 not), frames and check boxes "caption", inputs "label".
// A day count that ApplySettings refuses carries its reason in "error".
class ctlSettings : public automation::Dispatch, public ui::Control {
 public:
  static constexpr std::string_view kProgId = "Kestrova.ctlSettings";

  // Creates the Settings object and fills the form from it; errors of the store reach the
  // caller.
  ctlSettings();
  ~ctlSettings() override;

  std::string_view ClassName() const override { return "ctlSettings"; }
  const automation::MemberTable& Members() const override;

  // Writes every field to the settings store. The three day counts are checked first: one
  // that is not a whole number of days after rounding (not a number, or beyond the range of
  // a day count) is error 13 naming the field, with nothing written and the field's "error"
  // set; a fractional count is rounded half to even through its two-decimal regional form.
  void ApplySettings();
  // Throws the edits away: a new Settings object, every field reloaded.
  void ResetSettings();

 protected:
  void HandleEvent(const std::string& child, const std::string& event,
                   automation::Variant& value) override;

 private:
  void Initialise();
  void AuthMethodChanged();
  void ChooseColor(const std::string& combo);

  automation::ObjectRef settings_;
};

}  // namespace kestrova
