#include "platform/automation/Regional.h"

#include <gtest/gtest.h>

#include "platform/tests/TestEnvironment.h"

namespace automation {
namespace {

using testing_support::ScopedEnv;

TEST(RegionalTest, NumberAndPercentInEnglishAndGerman) {
  struct Case {
    const char* locale;
    double value;
    int digits;
    const char* number;
    const char* percent;
  };
  for (const Case& c : {
           Case{"en_US.UTF-8", 1234567.891, 2, "1,234,567.89", "123,456,789.10%"},
           Case{"de_DE.UTF-8", 1234567.891, 2, "1.234.567,89", "123.456.789,10%"},
           Case{"en_US.UTF-8", 0.25, 1, "0.3", "25.0%"},
           Case{"de_DE.UTF-8", 0.25, 1, "0,3", "25,0%"},
           Case{"en_US.UTF-8", -2.5, 2, "-2.50", "-250.00%"},
           Case{"en_US.UTF-8", -0.001, 2, "0.00", "-0.10%"},
           Case{"en_US.UTF-8", 0, 2, "0.00", "0.00%"},
           Case{"en_US.UTF-8", 999.995, 2, "1,000.00", "99,999.50%"},
           Case{"C", 1234567.5, 1, "1234567.5", "123456750.0%"},
       }) {
    ScopedEnv locale("LC_ALL", c.locale);
    EXPECT_EQ(FormatNumber(c.value, c.digits), c.number) << c.locale << " " << c.value;
    EXPECT_EQ(FormatPercent(c.value, c.digits), c.percent) << c.locale << " " << c.value;
  }
}

TEST(RegionalTest, SinglesRoundFromTheirShortestDecimalForm) {
  ScopedEnv locale("LC_ALL", "en_US.UTF-8");
  // 10.2 held as a Single is 10.19999980926...; it still shows as 10.20.
  EXPECT_EQ(FormatNumber(10.2f, 2), "10.20");
  EXPECT_EQ(FormatNumber(0.125f, 2), "0.13");  // half away from zero
  EXPECT_EQ(FormatNumber(5349200.0f, 2), "5,349,200.00");
  EXPECT_EQ(FormatNumber(12.5f, -1), "12.50");  // the regional default of two places
  EXPECT_EQ(FormatPercent(0.25f, 1), "25.0%");
  EXPECT_EQ(FormatPercent(1.25f / 124.25f, 1), "1.0%");
}

TEST(RegionalTest, LocaleIsReadFromTheEnvironmentAtEachCall) {
  ScopedEnv lang("LANG", "de_DE.UTF-8");
  ScopedEnv all("LC_ALL", std::nullopt);
  ScopedEnv numeric("LC_NUMERIC", "en_US.UTF-8");
  EXPECT_EQ(FormatNumber(1.5, 1), "1.5");  // LC_NUMERIC before LANG
  ScopedEnv no_numeric("LC_NUMERIC", std::nullopt);
  EXPECT_EQ(FormatNumber(1.5, 1), "1,5");
}

TEST(RegionalTest, GroupingFollowsTheLocaleRule) {
  NumberFormat indian{".", ",", {3, 2}};
  EXPECT_EQ(GroupDigits("1234567", indian), "12,34,567");
  NumberFormat none{".", "", {}};
  EXPECT_EQ(GroupDigits("1234567", none), "1234567");
  EXPECT_EQ(GroupDigits("123", NumberFormatOf("en_US.UTF-8")), "123");
  EXPECT_EQ(NumberFormatOf("xx_NOPE.UTF-8").decimal_point, ".");
}

}  // namespace
}  // namespace automation
