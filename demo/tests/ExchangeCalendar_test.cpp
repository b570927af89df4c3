#include "demo/ExchangeCalendar.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "platform/automation/Error.h"
#include "platform/tests/TestEnvironment.h"

namespace demo {
namespace {

TEST(TradingCalendarTest, KnowsTheHolidaysAndTheirObservedDays) {
  struct Case {
    int32_t day;
    bool holiday;
    const char* what;
  };
  for (const Case& c : {
           Case{20240101, true, "New Year's Day"},
           Case{20230102, true, "New Year's Day on a Sunday, Monday after"},
           Case{20211231, false, "New Year's Day 2022 on a Saturday is not made up"},
           Case{20240115, true, "Martin Luther King Day"},
           Case{19970120, false, "Martin Luther King Day before 1998"},
           Case{20240219, true, "Presidents' Day"},
           Case{20240329, true, "Good Friday"},
           Case{20230407, true, "Good Friday"},
           Case{20240527, true, "Memorial Day"},
           Case{20220620, true, "Juneteenth on a Sunday, Monday after"},
           Case{20210618, false, "Juneteenth before 2022"},
           Case{20240619, true, "Juneteenth"},
           Case{20200703, true, "Independence Day on a Saturday, Friday before"},
           Case{20240704, true, "Independence Day"},
           Case{20240902, true, "Labor Day"},
           Case{20241128, true, "Thanksgiving"},
           Case{20241129, false, "the day after Thanksgiving"},
           Case{20241224, false, "Christmas Eve"},
           Case{20241225, true, "Christmas"},
           Case{20211224, true, "Christmas on a Saturday, Friday before"},
           Case{20221226, true, "Christmas on a Sunday, Monday after"},
       }) {
    EXPECT_EQ(IsMarketHoliday(c.day), c.holiday) << c.day << " " << c.what;
    EXPECT_EQ(IsTradingDay(c.day), !c.holiday) << c.day << " " << c.what;
  }
}

TEST(TradingCalendarTest, CountsTradingDaysAndFindsTheLatest) {
  struct Case {
    int year;
    size_t days;
  };
  for (const Case& c : {Case{2022, 251}, Case{2023, 250}, Case{2024, 252}}) {
    EXPECT_EQ(TradingDays(c.year * 10000 + 101, c.year * 10000 + 1231).size(), c.days) << c.year;
  }
  EXPECT_EQ(LatestTradingDay(20241130), 20241129);  // Saturday
  EXPECT_EQ(LatestTradingDay(20241225), 20241224);  // Christmas
  EXPECT_EQ(LatestTradingDay(20240102), 20240102);
  EXPECT_TRUE(TradingDays(20240105, 20240104).empty());
  EXPECT_EQ(AddCalendarDays(20240228, 2), 20240301);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { IsTradingDay(20230229); }),
            automation::err::kInvalidArgument);
}

TEST(TradingCalendarTest, FindsEasterAcrossTheCycleAndItsExtremes) {
  struct Case {
    int year;
    int32_t easter;
  };
  for (const Case& c : {Case{2024, 20240331}, Case{2025, 20250420}, Case{2000, 20000423},
                        Case{1818, 18180322}, Case{2285, 22850322}, Case{1943, 19430425},
                        Case{2038, 20380425}, Case{1954, 19540418}, Case{1981, 19810419}}) {
    EXPECT_EQ(EasterSunday(c.year), c.easter) << c.year;
  }
}

TEST(TradingCalendarTest, ListsAYearsHolidaysInOrder) {
  EXPECT_EQ(MarketHolidays(2024),
            (std::vector<int32_t>{20240101, 20240115, 20240219, 20240329, 20240527, 20240619,
                                  20240704, 20240902, 20241128, 20241225}));
  // 2022: New Year's Day on a Saturday is dropped; Juneteenth and Christmas on Sundays move on.
  EXPECT_EQ(MarketHolidays(2022),
            (std::vector<int32_t>{20220117, 20220221, 20220415, 20220530, 20220620, 20220704,
                                  20220905, 20221124, 20221226}));
}

}  // namespace
}  // namespace demo
