#include "library/Settings.h"

#include <fstream>
#include <memory>

#include <gtest/gtest.h>

#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/settings_store/SettingsStore.h"
#include "platform/system/Clock.h"
#include "platform/tests/TestEnvironment.h"

namespace thalmere {
namespace {

using automation::Variant;
using testing_support::ScopedEnv;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kestrova_system::SetClock(
        std::make_shared<kestrova_system::FixedClock>(*automation::MakeDate(2003, 6, 5, 9)));
  }
  void TearDown() override { kestrova_system::SetClock(nullptr); }

  std::optional<std::string> Stored(const std::string& key) {
    return settings_store::SettingsStore("Kestrova", "1.0").Read(key);
  }

  testing_support::ScopedTempHome home_;
  ScopedEnv install_{"Kestrova", "/opt/kestrova"};
  Settings settings_;
};

// Every property: its default on a fresh account, then a value written through the
// late-bound interface, the text it leaves under its key, and the value a new object reads.
TEST_F(SettingsTest, EveryPropertyDefaultsRoundTripsAndUsesItsKey) {
  struct Case {
    const char* property;
    const char* key;
    Variant default_value;
    Variant written;
    const char* stored_text;
  };
  const Case cases[] = {
      {"AlertEmailAddrTo", "AlertEmailAddrTo", Variant(""), Variant("me@example.test"),
       "me@example.test"},
      {"AlertEmailAddrFrom", "AlertEmailAddrFrom", Variant(""), Variant("k@example.test"),
       "k@example.test"},
      {"AlertEmailNameTo", "AlertEmailNameTo", Variant(""), Variant("Me"), "Me"},
      {"AlertEmailNameFrom", "AlertEmailNameFrom", Variant(""), Variant("Kestrova"), "Kestrova"},
      {"AlertEmailServer", "SMTP Server", Variant(""), Variant("mail:2525"), "mail:2525"},
      {"AlertEmailAuthMethod", "SMTP Auth Method", Variant("None"), Variant("Login"), "Login"},
      {"AlertEmailAuthUser", "SMTP Auth User", Variant(""), Variant("u"), "u"},
      {"AlertEmailAuthPassword", "SMTP Auth Password", Variant(""), Variant("p w"), "p w"},
      {"ChartShowShortMA", "Chart Show Short MA", Variant(true), Variant(false), "False"},
      {"ChartShowMediumMA", "Chart Show Medium MA", Variant(true), Variant(0), "False"},
      {"ChartShowLongMA", "Chart Show Long MA", Variant(true), Variant("False"), "False"},
      {"ChartMAShortColor", "Chart MA Short Color", Variant(255), Variant(1), "1"},
      {"ChartMAMediumColor", "Chart MA Medium Color", Variant(65280), Variant(2), "2"},
      {"ChartMALongColor", "Chart MA Long Color", Variant(16711680), Variant(3), "3"},
      {"ChartMAShortDays", "Chart MA Short Days", Variant(12), Variant(20), "20"},
      {"ChartMAMediumDays", "Chart MA Medium Days", Variant(26), Variant("30"), "30"},
      {"ChartMALongDays", "Chart MA Long Days", Variant(50), Variant(200.5), "200"},
      {"ChartPriceColor", "Chart Price Color", Variant(0), Variant(4), "4"},
      {"ChartBGColor", "Chart BG Color", Variant(12237498), Variant(16777215), "16777215"},
      {"ChartUpCandleColor", "Chart UpCandle Color", Variant(47616), Variant(5), "5"},
      {"ChartDownCandleColor", "Chart DownCandle Color", Variant(186), Variant(6), "6"},
      {"ChartUpVolumeColor", "Chart UpVolume Color", Variant(47616), Variant(7), "7"},
      {"ChartDownVolumeColor", "Chart DownVolume Color", Variant(186), Variant(8), "8"},
      {"SQLServerInstanceName", "SQLServerInstanceName", Variant("KESTROVA"), Variant("X1"), "X1"},
      {"DefaultDatabaseBackupFile", "DefaultDatabaseBackupFile",
       Variant("/opt/kestrova/backup/Kestrova20030605.bkp"), Variant("/b/k.bkp"), "/b/k.bkp"},
  };
  ASSERT_EQ(std::size(cases), Settings::Definitions().size());
  for (const Case& c : cases) {
    EXPECT_EQ(settings_.Get(c.property), c.default_value) << c.property;
  }
  EXPECT_FALSE(std::filesystem::exists(home_.config() / "Kestrova" / "settings.ini"));
  for (const Case& c : cases) {
    Variant value = c.written;
    settings_.Let(c.property, value);
    EXPECT_EQ(Stored(c.key), c.stored_text) << c.property;
    EXPECT_EQ(Settings().Get(c.property), settings_.Read(c.property)) << c.property;
    EXPECT_EQ(settings_.Get(c.property).Type(), c.default_value.Type()) << c.property;
  }
}

TEST_F(SettingsTest, AnEmptyStoredTextIsNotTheDefault) {
  settings_.Let("AlertEmailAuthMethod", Variant(""));
  EXPECT_EQ(settings_.Get("AlertEmailAuthMethod"), Variant(""));
}

TEST_F(SettingsTest, AStoredTextThatDoesNotConvertIsATypeMismatch) {
  settings_store::SettingsStore("Kestrova", "1.0").Write("Chart MA Short Color", "abc");
  settings_store::SettingsStore("Kestrova", "1.0").Write("Chart Show Long MA", "perhaps");
  for (const char* property : {"ChartMAShortColor", "ChartShowLongMA"}) {
    try {
      settings_.Get(property);
      FAIL() << property;
    } catch (const automation::Error& e) {
      EXPECT_EQ(e.Number(), automation::err::kTypeMismatch) << property;
    }
  }
  EXPECT_EQ(Stored("Chart MA Short Color"), "abc");  // left unchanged
}

TEST_F(SettingsTest, WritingAValueOfTheWrongTypeChangesNothing) {
  EXPECT_THROW(settings_.Let("ChartMAShortDays", Variant("many")), automation::Error);
  EXPECT_THROW(settings_.Let("ChartMAShortDays", Variant(3e10)), automation::Error);
  EXPECT_FALSE(Stored("Chart MA Short Days").has_value());
}

TEST_F(SettingsTest, DefaultBackupFileFollowsTheDayAndTheInstallationFolder) {
  EXPECT_EQ(Settings::DefaultBackupFile(), "/opt/kestrova/backup/Kestrova20030605.bkp");
  {
    ScopedEnv slash("Kestrova", "/opt/apps/");
    EXPECT_EQ(Settings::DefaultBackupFile(), "/opt/apps/backup/Kestrova20030605.bkp");
  }
  {
    ScopedEnv unset("Kestrova", std::nullopt);
    EXPECT_EQ(Settings::DefaultBackupFile(),
              (home_.data() / "kestrova/backup/Kestrova20030605.bkp").string());
  }
  kestrova_system::SetClock(
      std::make_shared<kestrova_system::FixedClock>(*automation::MakeDate(2003, 6, 6)));
  EXPECT_EQ(settings_.Get("DefaultDatabaseBackupFile"),
            Variant("/opt/kestrova/backup/Kestrova20030606.bkp"));
  settings_.Let("DefaultDatabaseBackupFile", Variant("/keep/this.bkp"));
  kestrova_system::SetClock(
      std::make_shared<kestrova_system::FixedClock>(*automation::MakeDate(2004, 1, 1)));
  EXPECT_EQ(settings_.Get("DefaultDatabaseBackupFile"), Variant("/keep/this.bkp"));
}

TEST_F(SettingsTest, UnknownMembersAndArguments) {
  try {
    settings_.Get("ChartColour");
    FAIL();
  } catch (const automation::Error& e) {
    EXPECT_EQ(e.Number(), automation::err::kNoSuchMember);
  }
  EXPECT_THROW(settings_.CallWith("ChartBGColor", 1), automation::Error);
}

}  // namespace
}  // namespace thalmere
