#include "ocx/ctlSettings.h"

#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "platform/automation/Convert.h"
#include "platform/automation/Regional.h"
#include "platform/automation/Registry.h"
#include "platform/ui/UiHost.h"

namespace kestrova {

namespace {

using automation::Variant;

constexpr std::string_view kNone = "None";

// A colour combo, its label and its setting, in the order the form fills and writes them.
struct ColorField {
  const char* child;
  const char* label;
  const char* setting;
};
constexpr std::array<ColorField, 9> kColorFields = {{
    {"cmbPriceColor", "Price", "ChartPriceColor"},
    {"cmbSMAColor", "Short MA", "ChartMAShortColor"},
    {"cmbMMAColor", "Medium MA", "ChartMAMediumColor"},
    {"cmbLMAColor", "Long MA", "ChartMALongColor"},
    {"cmbBGColor", "Background", "ChartBGColor"},
    {"cmbUCColor", "Up Candle", "ChartUpCandleColor"},
    {"cmbDCColor", "Down Candle", "ChartDownCandleColor"},
    {"cmbVUColor", "Volume Up", "ChartUpVolumeColor"},
    {"cmbVDColor", "Volume Down", "ChartDownVolumeColor"},
}};

// A moving average: its check box, its day-count box and their settings.
struct AverageField {
  const char* check;
  const char* caption;
  const char* days;
  const char* show_setting;
  const char* days_setting;
};
constexpr std::array<AverageField, 3> kAverageFields = {{
    {"chkShort", "Short Period", "txtShort", "ChartShowShortMA", "ChartMAShortDays"},
    {"chkMedium", "Medium Period", "txtMedium", "ChartShowMediumMA", "ChartMAMediumDays"},
    {"chkLong", "Long Period", "txtLong", "ChartShowLongMA", "ChartMALongDays"},
}};

// The text boxes of the form that map straight to a string setting, in the order the
// form fills and writes them.
struct TextField {
  const char* child;
  const char* label;
  const char* setting;
};
constexpr std::array<TextField, 5> kMailFields = {{
    {"txtSMTPServerName", "SMTP server name (or IP:)", "AlertEmailServer"},
    {"txtEmailSenderName", "Name:", "AlertEmailNameFrom"},
    {"txtEmaiSenderAddress", "E-mail:", "AlertEmailAddrFrom"},
    {"txtEmailRecipientName", "Name:", "AlertEmailNameTo"},
    {"txtEmailRecipientAddress", "Email:", "AlertEmailAddrTo"},
}};
constexpr std::array<TextField, 2> kFileFields = {{
    {"txtDatabaseInstance", "Database Instance Name", "SQLServerInstanceName"},
    {"txtDefaultBackupFile", "Default Backup File Name", "DefaultDatabaseBackupFile"},
}};

Variant StringList(std::vector<std::string> items) {
  return Variant(automation::SafeArray(std::move(items), 0));
}

// The day count a text box holds: the text as a number, written with the regional default
// count of decimals and read back as a whole number (so 12.5 becomes "12.50" and then 12,
// halves rounding to even). nullopt for a text that is no number or no 32-bit count.
std::optional<int32_t> DayCountOf(const std::string& text) {
  try {
    const double number = automation::CDbl(Variant(text));
    return automation::CLng(Variant(automation::FormatNumber(number)));
  } catch (const automation::Error&) {
    return std::nullopt;
  }
}

}  // namespace

ctlSettings::ctlSettings() {
  ui::ControlState form;
  form["SSTab1"] = {{"items", StringList({"Alerts", "Colors", "Charts", "Files"})},
                    {"value", Variant(int32_t{0})}};
  form["Frame1"] = {{"caption", Variant("E-mail Settings")}};
  form["Frame2"] = {{"caption", Variant("AIM Settings")}};
  form["Frame3"] = {{"caption", Variant("Moving Averages")}};
  form["Frame4"] = {{"caption", Variant("Database Properties")}};
  form["fraSender"] = {{"caption", Variant("Sender")}};
  form["fraRecipient"] = {{"caption", Variant("Recipient")}};
  for (const auto& f : kMailFields) form[f.child]["label"] = Variant(f.label);
  for (const auto& f : kFileFields) form[f.child]["label"] = Variant(f.label);
  form["cmbSMTPAuthMethod"] = {{"label", Variant("Authentication Method")},
                               {"items", StringList({"None", "User/Password", "CRAM-MD5"})}};
  form["txtSMTPUsername"] = {{"label", Variant("User name")}};
  form["txtSMTPPassword"] = {{"label", Variant("Password")}, {"passwordchar", Variant("*")}};
  for (const auto& f : kColorFields) form[f.child]["label"] = Variant(f.label);
  for (const auto& f : kAverageFields) {
    form[f.check]["caption"] = Variant(f.caption);
    form[f.days]["label"] = Variant("Periods");
  }
  SetMany(form);
  Initialise();
}

ctlSettings::~ctlSettings() { Close(); }

const automation::MemberTable& ctlSettings::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<ctlSettings>()
          .Method("ApplySettings", &ctlSettings::ApplySettings)
          .Method("ResetSettings", &ctlSettings::ResetSettings)
          .Build();
  return table;
}

void ctlSettings::Initialise() {
  settings_ = automation::CreateObject("thalmere.settings");
  ui::ControlState form;
  auto text_of = [&](const char* setting) {
    return Variant(automation::CStr(settings_->Get(setting)));
  };

  for (const auto& f : kMailFields) form[f.child]["text"] = text_of(f.setting);

  const std::string method = automation::CStr(settings_->Get("AlertEmailAuthMethod"));
  const bool with_login = method != kNone;
  form["cmbSMTPAuthMethod"]["text"] = Variant(with_login ? method : std::string(kNone));
  form["txtSMTPUsername"] = {{"enabled", Variant(with_login)},
                             {"text", with_login ? text_of("AlertEmailAuthUser") : Variant("")}};
  form["txtSMTPPassword"] = {
      {"enabled", Variant(with_login)},
      {"text", with_login ? text_of("AlertEmailAuthPassword") : Variant("")}};

  for (const auto& f : kColorFields) {
    form[f.child]["backcolor"] = Variant(automation::CLng(settings_->Get(f.setting)));
  }
  for (const auto& f : kAverageFields) {
    const bool show = automation::CBool(settings_->Get(f.show_setting));
    form[f.check]["value"] = Variant(int32_t{show ? 1 : 0});
  }
  for (const auto& f : kAverageFields) {
    form[f.days]["text"] = Variant(automation::CStr(settings_->Get(f.days_setting)));
    form[f.days]["error"] = Variant("");
  }
  for (const auto& f : kFileFields) form[f.child]["text"] = text_of(f.setting);
  SetMany(form);
}

void ctlSettings::HandleEvent(const std::string& child, const std::string& event, Variant&) {
  if (child == "cmbSMTPAuthMethod" && (event == "change" || event == "click")) {
    AuthMethodChanged();
    return;
  }
  if (event == "dropdown") {
    for (const auto& f : kColorFields) {
      if (child == f.child) ChooseColor(child);
    }
  }
}

void ctlSettings::AuthMethodChanged() {
  if (Text("cmbSMTPAuthMethod") != kNone) {
    // The stored login comes back, replacing what was typed and not applied.
    SetMany({{"txtSMTPUsername",
              {{"enabled", Variant(true)},
               {"text", Variant(automation::CStr(settings_->Get("AlertEmailAuthUser")))}}},
             {"txtSMTPPassword",
              {{"enabled", Variant(true)},
               {"text", Variant(automation::CStr(settings_->Get("AlertEmailAuthPassword")))}}}});
  } else {
    SetMany({{"txtSMTPUsername", {{"enabled", Variant(false)}, {"text", Variant("")}}},
             {"txtSMTPPassword", {{"enabled", Variant(false)}, {"text", Variant("")}}}});
  }
}

void ctlSettings::ChooseColor(const std::string& combo) {
  const int32_t current = automation::CLng(Property(combo, "backcolor"));
  // A cancelled dialog still holds the colour it was given.
  const int32_t chosen = ui::CurrentUiHost()->ChooseColor(current).value_or(current);
  Set(combo, "backcolor", Variant(chosen));
}

void ctlSettings::ApplySettings() {
  // Every day count is checked before anything is written, so a bad one leaves the stored
  // settings as they were instead of half written.
  std::array<int32_t, kAverageFields.size()> days{};
  ui::ControlState marks;
  std::string first_bad;
  for (size_t i = 0; i < kAverageFields.size(); ++i) {
    const AverageField& f = kAverageFields[i];
    const std::string text = Text(f.days);
    const std::optional<int32_t> count = DayCountOf(text);
    std::string reason;
    if (count) {
      days[i] = *count;
    } else {
      reason = std::string(f.caption) + ": \"" + text + "\" is not a number of days";
      if (first_bad.empty()) first_bad = reason;
    }
    marks[f.days]["error"] = Variant(reason);
  }
  if (!first_bad.empty()) marks["SSTab1"]["value"] = Variant(int32_t{2});  // "Charts"
  SetMany(marks);
  if (!first_bad.empty()) {
    throw automation::Error(automation::err::kTypeMismatch, first_bad + "; nothing was saved");
  }

  auto write = [&](const char* setting, Variant value) { settings_->Let(setting, value); };
  for (const auto& f : kMailFields) write(f.setting, Variant(Text(f.child)));
  const std::string method = Text("cmbSMTPAuthMethod");
  write("AlertEmailAuthMethod", Variant(method));
  if (method != kNone) {
    write("AlertEmailAuthUser", Variant(Text("txtSMTPUsername")));
    write("AlertEmailAuthPassword", Variant(Text("txtSMTPPassword")));
  } else {
    write("AlertEmailAuthUser", Variant(""));
    write("AlertEmailAuthPassword", Variant(""));
  }
  for (const auto& f : kColorFields) write(f.setting, Property(f.child, "backcolor"));
  for (const auto& f : kAverageFields) {
    write(f.show_setting, Variant(automation::CLng(Property(f.check, "value")) == 1));
  }
  for (size_t i = 0; i < kAverageFields.size(); ++i) {
    write(kAverageFields[i].days_setting, Variant(days[i]));
  }
  for (const auto& f : kFileFields) write(f.setting, Variant(Text(f.child)));
}

void ctlSettings::ResetSettings() {
  settings_.reset();
  Initialise();
}

}  // namespace kestrova
