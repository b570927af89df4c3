#include "platform/automation/DateTime.h"

#include <gtest/gtest.h>

namespace automation {
namespace {

TEST(DateTimeTest, DayNumbersMatchTheAutomationCalendar) {
  struct Case {
    int y, m, d;
    double day;
  };
  for (const Case& c :
       {Case{1899, 12, 30, 0}, Case{1899, 12, 31, 1}, Case{1900, 1, 1, 2}, Case{1900, 3, 1, 61},
        Case{2003, 6, 5, 37777}, Case{2000, 2, 29, 36585}, Case{1899, 12, 29, -1},
        Case{100, 1, 1, -657434}, Case{9999, 12, 31, 2958465}}) {
    ASSERT_TRUE(MakeDate(c.y, c.m, c.d).has_value());
    EXPECT_EQ(MakeDate(c.y, c.m, c.d)->value, c.day) << c.y << "-" << c.m << "-" << c.d;
    const DateParts p = SplitDate(Date{c.day});
    EXPECT_EQ(p.year * 10000 + p.month * 100 + p.day, c.y * 10000 + c.m * 100 + c.d);
  }
  EXPECT_FALSE(MakeDate(2003, 2, 29).has_value());
  EXPECT_FALSE(MakeDate(2003, 13, 1).has_value());
  EXPECT_FALSE(MakeDate(2003, 1, 0).has_value());
}

TEST(DateTimeTest, TimeOfDayBeforeDayZeroCountsForward) {
  const DateParts p = SplitDate(Date{-1.25});
  EXPECT_EQ(p.day, 29);
  EXPECT_EQ(p.hour, 6);
  EXPECT_EQ(MakeDate(1899, 12, 29, 6)->value, -1.25);
  EXPECT_EQ(AddDays(Date{-1.25}, 2).value, 1.25);
}

TEST(DateTimeTest, WeekdaysAreMondayBased) {
  EXPECT_EQ(IsoWeekday(*MakeDate(2003, 6, 2)), 1);  // Monday
  EXPECT_EQ(IsoWeekday(*MakeDate(2003, 6, 8)), 7);  // Sunday
  EXPECT_EQ(IsoWeekday(Date{0}), 6);                // 30 Dec 1899 was a Saturday
  EXPECT_EQ(IsoWeekday(Date{-1}), 5);
}

TEST(DateTimeTest, ParsesTheTextsTheSystemMeets) {
  struct Case {
    const char* text;
    double expected;
  };
  const double day = 37777;  // 5 June 2003
  for (const Case& c :
       {Case{"2003/6/5", day}, Case{"2003-06-05", day}, Case{"6/5/2003", day},
        Case{" 2003/ 6/ 5", day}, Case{"2003-06-05 18:00:00", day + 0.75},
        Case{"2003-06-05T18:00:00.000+02", day + 0.75}, Case{"6/5/2003 6:00 PM", day + 0.75},
        Case{"4:01pm", 16 / 24.0 + 1 / 1440.0}, Case{"6/5/03", day}}) {
    auto parsed = ParseDate(c.text);
    ASSERT_TRUE(parsed.has_value()) << c.text;
    EXPECT_NEAR(parsed->value, c.expected, 1e-9) << c.text;
  }
  for (const char* bad : {"", "abc", "2003/13/5", "2003/2/30", "6/5", "25:00", "2003/6/5 x"}) {
    EXPECT_FALSE(ParseDate(bad).has_value()) << bad;
  }
}

TEST(DateTimeTest, TextForms) {
  EXPECT_EQ(IsoDateTimeText(*MakeDate(2003, 6, 5, 14, 30, 15)), "2003-06-05 14:30:15");
  EXPECT_EQ(DateText(*MakeDate(2003, 6, 5, 0, 0, 0)), "6/5/2003");
  EXPECT_EQ(DateText(Date{0.5}), "12:00:00 PM");
  EXPECT_EQ(DateText(Date{0}), "12:00:00 AM");
  // Rounding to the millisecond carries into the next day, also before day zero.
  EXPECT_EQ(SplitDate(Date{-1.99999999999}).day, 30);
  EXPECT_EQ(SplitDate(Date{1.99999999999}).day, 1);
}

// Day numbers and date codes by integer arithmetic agree with the automation dates, across
// leap days, century years and day zero.
TEST(DateTimeTest, DateCodesAndDayNumbersAgreeWithDates) {
  for (Date d = *MakeDate(1899, 1, 1); d.value <= MakeDate(2101, 3, 1)->value; d = AddDays(d, 1)) {
    const DateParts p = SplitDate(d);
    const int32_t code = p.year * 10000 + p.month * 100 + p.day;
    ASSERT_TRUE(IsDateCode(code)) << code;
    ASSERT_EQ(DayNumberOfCode(code), static_cast<int64_t>(d.value)) << code;
    ASSERT_EQ(CodeOfDayNumber(static_cast<int64_t>(d.value)), code);
    ASSERT_EQ(WeekdayOfDayNumber(static_cast<int64_t>(d.value)), IsoWeekday(d)) << code;
  }
  for (int32_t code : {19000229, 20230229, 20231301, 20230100, 20230431, 991231, 0, -20230101}) {
    EXPECT_FALSE(IsDateCode(code)) << code;
  }
  EXPECT_TRUE(IsDateCode(20000229));
}

}  // namespace
}  // namespace automation
