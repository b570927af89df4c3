#include "ocx/ctlSettings.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/automation/Convert.h"
#include "platform/automation/Registry.h"
#include "platform/tests/TestEnvironment.h"
#include "platform/ui/UiHost.h"

namespace kestrova {
namespace {

using automation::Variant;

class ctlSettingsTest : public ::testing::Test {
 protected:
  ctlSettingsTest() { control_->Connect(nullptr, host_); }

  Variant Prop(const std::string& child, const std::string& property) {
    control_->WaitIdle();
    return control_->State()[child][property];
  }
  std::string Stored(const char* setting) {
    return automation::CStr(automation::CreateObject("Thalmere.Settings")->Get(setting));
  }
  // As a page calls it: after the events sent before.
  void Apply() {
    control_->Invoke([this] {
      control_->ApplySettings();
      return Variant();
    });
  }
  // What a page does when the user edits a field.
  void Type(const std::string& child, const std::string& text) {
    control_->PostEvent(child, "change", Variant(text), "text");
  }

  testing_support::ScopedTempHome home_;
  testing_support::ScopedEnv locale_{"LC_ALL", "en_US.UTF-8"};
  std::shared_ptr<ui::ScriptedUiHost> host_ = std::make_shared<ui::ScriptedUiHost>();
  std::shared_ptr<ctlSettings> control_ = std::make_shared<ctlSettings>();
};

TEST_F(ctlSettingsTest, AFreshAccountShowsTheDefaults) {
  struct Case {
    const char* child;
    const char* property;
    Variant expected;
  };
  for (const Case& c : {
           Case{"cmbSMTPAuthMethod", "text", Variant("None")},
           Case{"txtSMTPUsername", "enabled", Variant(false)},
           Case{"txtSMTPPassword", "enabled", Variant(false)},
           Case{"cmbSMAColor", "backcolor", Variant(int32_t{255})},
           Case{"cmbMMAColor", "backcolor", Variant(int32_t{65280})},
           Case{"cmbLMAColor", "backcolor", Variant(int32_t{16711680})},
           Case{"cmbBGColor", "backcolor", Variant(int32_t{12237498})},
           Case{"txtShort", "text", Variant("12")},
           Case{"txtMedium", "text", Variant("26")},
           Case{"txtLong", "text", Variant("50")},
           Case{"chkShort", "value", Variant(int32_t{1})},
           Case{"chkLong", "value", Variant(int32_t{1})},
           Case{"txtDatabaseInstance", "text", Variant("KESTROVA")},
           Case{"txtSMTPServerName", "label", Variant("SMTP server name (or IP:)")},
           Case{"txtEmaiSenderAddress", "label", Variant("E-mail:")},
           Case{"txtEmailRecipientAddress", "label", Variant("Email:")},
       }) {
    EXPECT_EQ(Prop(c.child, c.property), c.expected) << c.child << "." << c.property;
  }
  // Nothing was written by opening; Apply then fixes the dated backup name.
  EXPECT_FALSE(std::filesystem::exists(home_.config() / "Kestrova" / "settings.ini"));
  const std::string shown = automation::CStr(Prop("txtDefaultBackupFile", "text"));
  Apply();
  EXPECT_EQ(Stored("DefaultDatabaseBackupFile"), shown);
}

TEST_F(ctlSettingsTest, TheMethodBringsBackOrClearsTheStoredLogin) {
  auto settings = automation::CreateObject("Thalmere.Settings");
  settings->Let("AlertEmailAuthUser", Variant("ann"));
  settings->Let("AlertEmailAuthPassword", Variant("secret"));

  Type("txtSMTPUsername", "typed but not applied");
  control_->PostEvent("cmbSMTPAuthMethod", "change", Variant("User/Password"), "text");
  EXPECT_EQ(Prop("txtSMTPUsername", "text"), Variant("ann"));
  EXPECT_EQ(Prop("txtSMTPPassword", "text"), Variant("secret"));
  EXPECT_EQ(Prop("txtSMTPUsername", "enabled"), Variant(true));

  control_->PostEvent("cmbSMTPAuthMethod", "click", Variant("None"), "text");
  EXPECT_EQ(Prop("txtSMTPUsername", "text"), Variant(""));
  EXPECT_EQ(Prop("txtSMTPPassword", "enabled"), Variant(false));
  Apply();
  EXPECT_EQ(Stored("AlertEmailAuthMethod"), "None");
  EXPECT_EQ(Stored("AlertEmailAuthUser"), "");
  EXPECT_EQ(Stored("AlertEmailAuthPassword"), "");
}

TEST_F(ctlSettingsTest, DayCountsAreRoundedAndABadOneWritesNothing) {
  Type("txtSMTPServerName", "mail.example:25");
  Type("txtShort", "12.5");
  Type("txtMedium", "27.5");
  Apply();
  EXPECT_EQ(Stored("ChartMAShortDays"), "12");
  EXPECT_EQ(Stored("ChartMAMediumDays"), "28");
  EXPECT_EQ(Stored("AlertEmailServer"), "mail.example:25");

  Type("txtSMTPServerName", "other.example");
  Type("txtShort", "20");
  Type("txtLong", "fifty");
  control_->PostEvent("chkShort", "click", Variant(int32_t{0}), "value");
  control_->WaitIdle();
  try {
    Apply();
    FAIL() << "a bad day count was accepted";
  } catch (const automation::Error& error) {
    EXPECT_EQ(error.Number(), automation::err::kTypeMismatch);
    EXPECT_NE(error.Description().find("Long Period"), std::string::npos) << error.Description();
  }
  EXPECT_NE(automation::CStr(Prop("txtLong", "error")), "");
  EXPECT_EQ(Prop("txtShort", "error"), Variant(""));
  // Nothing of this apply reached the store, not even the fields before the bad one.
  EXPECT_EQ(Stored("AlertEmailServer"), "mail.example:25");
  EXPECT_EQ(Stored("ChartMAShortDays"), "12");
  EXPECT_EQ(Stored("ChartShowShortMA"), "True");

  Type("txtLong", "60");
  Apply();
  EXPECT_EQ(Prop("txtLong", "error"), Variant(""));
  EXPECT_EQ(Stored("ChartMALongDays"), "60");
  EXPECT_EQ(Stored("ChartShowShortMA"), "False");
}

TEST_F(ctlSettingsTest, AColourIsPickedInTheDialogAndKeptUntilApply) {
  host_->AnswerColor(0x123456);
  host_->AnswerColor(std::nullopt);
  control_->PostEvent("cmbPriceColor", "dropdown");
  EXPECT_EQ(Prop("cmbPriceColor", "backcolor"), Variant(int32_t{0x123456}));
  control_->PostEvent("cmbBGColor", "dropdown");  // cancelled
  EXPECT_EQ(Prop("cmbBGColor", "backcolor"), Variant(int32_t{12237498}));
  ASSERT_EQ(host_->Dialogs().size(), 2u);
  EXPECT_EQ(host_->Dialogs()[0].initial_color, 0);
  EXPECT_EQ(Stored("ChartPriceColor"), "0");

  control_->ResetSettings();  // the pick is thrown away
  EXPECT_EQ(Prop("cmbPriceColor", "backcolor"), Variant(int32_t{0}));
}

}  // namespace
}  // namespace kestrova
