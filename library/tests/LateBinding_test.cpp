// This program links against the platform alone: every Thalmere class it uses comes from
// the library that the registry loads through its registration file.
#include <fstream>

#include <gtest/gtest.h>

#include "platform/automation/Dispatch.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/tests/TestEnvironment.h"

namespace {

using automation::Variant;

TEST(LateBindingTest, CreatesThalmereSettingsByProgIdAndClassId) {
  testing_support::ScopedTempHome home;
  automation::ObjectRef settings = automation::CreateObject("thalmere.settings");
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->ClassName(), "Settings");
  EXPECT_EQ(settings->Get("ChartMAShortDays"), Variant(12));
  settings->Let("chartmashortdays", Variant(20));
  automation::ObjectRef other = automation::CreateObject("{5B0A3C61-7E2D-4F1A-9C38-2D6E1B4A7F01}");
  EXPECT_EQ(other->Get("ChartMAShortDays"), Variant(20));
}

TEST(LateBindingTest, UnknownProgIdAndMember) {
  try {
    automation::CreateObject("Thalmere.NoSuchClass");
    FAIL();
  } catch (const automation::Error& e) {
    EXPECT_EQ(e.Number(), automation::err::kCannotCreateObject);
  }
  testing_support::ScopedTempHome home;
  automation::ObjectRef settings = automation::CreateObject("Thalmere.Settings");
  try {
    settings->Get("NoSuchMember");
    FAIL();
  } catch (const automation::Error& e) {
    EXPECT_EQ(e.Number(), automation::err::kNoSuchMember);
  }
}

TEST(LateBindingTest, ARegistrationPointingNowhereIsACleanError) {
  testing_support::ScopedTempHome home;
  const auto dir = home.root() / "registry.d";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "broken.reg") << "Broken.Thing - /nonexistent/libbroken.so\n";
  testing_support::ScopedEnv env("KESTROVA_REGISTRY_DIR", dir.string());
  automation::Registry registry;
  try {
    registry.CreateObject("Broken.Thing");
    FAIL();
  } catch (const automation::Error& e) {
    EXPECT_EQ(e.Number(), automation::err::kCannotCreateObject);
    EXPECT_NE(e.Description().find("libbroken.so"), std::string::npos);
  }
}

}  // namespace
