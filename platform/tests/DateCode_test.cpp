#include "platform/automation/DateCode.h"

#include <gtest/gtest.h>

#include "platform/automation/DateTime.h"

namespace automation {
namespace {

TEST(DateCodeTest, SplitsAndJoinsItsParts) {
  struct Case {
    int32_t code;
    int year, month, day, weekday;
  };
  for (const Case& c : {Case{20030605, 2003, 6, 5, 4}, Case{20000229, 2000, 2, 29, 2},
                        Case{18991230, 1899, 12, 30, 6}, Case{1000101, 100, 1, 1, 5},
                        Case{99991231, 9999, 12, 31, 5}}) {
    const DateCode code(c.code);
    EXPECT_EQ(code.Year(), c.year) << c.code;
    EXPECT_EQ(code.Month(), c.month) << c.code;
    EXPECT_EQ(code.Day(), c.day) << c.code;
    EXPECT_EQ(DateCode::Of(c.year, c.month, c.day), code);
    ASSERT_TRUE(code.IsValid()) << c.code;
    EXPECT_EQ(code.Weekday(), c.weekday) << c.code;
    ASSERT_TRUE(code.ToDate().has_value());
    EXPECT_EQ(DateCode::OfDate(*code.ToDate()), code);
    EXPECT_EQ(DateCode::OfDayNumber(code.DayNumber()), code);
  }
}

TEST(DateCodeTest, StepsOverMonthYearAndLeapDayEnds) {
  struct Case {
    int32_t day, next;
  };
  for (const Case& c :
       {Case{20031231, 20040101}, Case{20040228, 20040229}, Case{20040229, 20040301},
        Case{19000228, 19000301}, Case{20030630, 20030701}, Case{18991231, 19000101}}) {
    EXPECT_EQ(DateCode(c.day).NextDay(), DateCode(c.next)) << c.day;
    EXPECT_EQ(DateCode(c.next).PreviousDay(), DateCode(c.day)) << c.next;
  }
  EXPECT_EQ(DateCode(20040115).AddDays(366), DateCode(20050115));
  EXPECT_EQ(DateCode(20040215).MonthEnd(), DateCode(20040229));
  EXPECT_EQ(DateCode(21000215).MonthEnd(), DateCode(21000228));
}

TEST(DateCodeTest, CodesOfNoRealDayAreInvalidAndHaveNoDate) {
  for (int32_t code : {0, -20030605, 20031301, 20030631, 20030600, 19000229, 991231, 100000101}) {
    EXPECT_FALSE(DateCode(code).IsValid()) << code;
    EXPECT_FALSE(DateCode(code).ToDate().has_value()) << code;
  }
}

TEST(DateCodeTest, OrdersLikeItsDaysAndPrintsIsoText) {
  EXPECT_LT(DateCode(20031231), DateCode(20040101));
  EXPECT_EQ(DateCode(20030605).IsoText(), "2003-06-05");
  EXPECT_EQ(DateCode(1000101).IsoText(), "0100-01-01");
  // The time of day never moves the day, before day zero as after it.
  EXPECT_EQ(DateCode::OfDate(Date{-1.25}), DateCode(18991229));
  EXPECT_EQ(DateCode::OfDate(Date{37777.99}), DateCode(20030605));
}

}  // namespace
}  // namespace automation
