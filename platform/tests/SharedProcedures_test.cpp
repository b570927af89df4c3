#include <functional>

#include <gtest/gtest.h>

#include "platform/ado/Errors.h"
#include "platform/automation/Convert.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/helpers/library.h"
#include "platform/tests/TestEnvironment.h"

namespace helpers {
namespace {

using automation::Date;
using automation::Variant;

Date Day(int y, int m, int d, int hour = 0, int minute = 0) {
  return *automation::MakeDate(y, m, d, hour, minute);
}

TEST(SharedProceduresTest, SafeRatioAndNullToSingle) {
  EXPECT_EQ(SafeRatio(Variant(10), Variant(4)), 2.5f);
  EXPECT_EQ(SafeRatio(Variant(10), Variant(0)), 0.0f);
  EXPECT_EQ(SafeRatio(Variant::Null(), Variant(4)), 0.0f);
  EXPECT_EQ(SafeRatio(Variant(10), Variant::Null()), 0.0f);
  EXPECT_EQ(SafeRatio(Variant(0), Variant(4)), 0.0f);
  EXPECT_EQ(SafeRatio(Variant(10), Variant()), 0.0f);
  EXPECT_EQ(SafeRatio(Variant(1.0f), Variant(3.0f)), 1.0f / 3.0f);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { SafeRatio(Variant(3e38), Variant(1e-3)); }),
            automation::err::kOverflow);
  EXPECT_EQ(NullToSingle(Variant::Null()), 0.0f);
  EXPECT_EQ(NullToSingle(Variant()), 0.0f);
  EXPECT_EQ(NullToSingle(Variant(2.5)), 2.5f);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { NullToSingle(Variant("n/a")); }),
            automation::err::kTypeMismatch);
}

TEST(SharedProceduresTest, ReorderDateText) {
  EXPECT_EQ(ReorderDateText(Variant("12/31/2002"), Variant("-"), Variant("-")),
            Variant("2002-12-31"));
  EXPECT_EQ(ReorderDateText(Variant("6/5/2003"), Variant("/"), Variant("/")), Variant("2003/6/5"));
  EXPECT_EQ(ReorderDateText(Variant(""), Variant("-"), Variant("-")), Variant(""));
  EXPECT_EQ(ReorderDateText(Variant("2003-06-05"), Variant("-"), Variant("-")),
            Variant("11 11 11"));
  EXPECT_EQ(testing_support::ErrorNumberOf(
                [] { ReorderDateText(Variant("6/2003"), Variant("-"), Variant("-")); }),
            automation::err::kInvalidArgument);
}

TEST(SharedProceduresTest, DateCodesBothWays) {
  EXPECT_EQ(LongFromDate(Day(2003, 6, 5, 14, 30)), 20030605);
  EXPECT_EQ(LongFromDate(Date{0}), 18991230);
  EXPECT_EQ(DateTextFromLong(20031231), " 2003/ 12/ 31");
  EXPECT_EQ(DateTextFromLong(20031231).size(), 13u);
  EXPECT_EQ(DateTextFromLong(20030605), " 2003/ 6/ 5");
  EXPECT_EQ(DateTextFromLong(0), "");
  EXPECT_EQ(DateTextFromLong(-5), "");
  EXPECT_EQ(testing_support::ErrorNumberOf([] { DateTextFromLong(400000101); }),
            automation::err::kOverflow);
  EXPECT_EQ(DateFromLong(0).value, 0.0);
  EXPECT_EQ(DateFromLong(20030605), Day(2003, 6, 5));
  EXPECT_EQ(DateFromLong(20000229), Day(2000, 2, 29));
  EXPECT_EQ(testing_support::ErrorNumberOf([] { DateFromLong(20031301); }),
            automation::err::kTypeMismatch);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { DateFromLong(20030600); }),
            automation::err::kTypeMismatch);
  for (int32_t code : {20030605, 19991231, 20240229, 18991230}) {
    EXPECT_EQ(LongFromDate(DateFromLong(code)), code);
  }
}

// Codes of four-digit years are read directly; they must land on the day their text names,
// and a code that is no day must still fail as the text does.
TEST(SharedProceduresTest, DateFromLongAgreesWithTheCodesText) {
  for (int32_t year : {1000, 1899, 1900, 2000, 2024, 2100, 9999}) {
    for (int32_t month = 0; month <= 13; ++month) {
      for (int32_t day = 0; day <= 32; ++day) {
        const int32_t code = year * 10000 + month * 100 + day;
        const Variant text(DateTextFromLong(code));
        Date expected{}, actual{};
        const int32_t text_error =
            testing_support::ErrorNumberOf([&] { expected = automation::CDate(text); });
        const int32_t code_error =
            testing_support::ErrorNumberOf([&] { actual = DateFromLong(code); });
        ASSERT_EQ(code_error, text_error) << code;
        ASSERT_EQ(actual.value, expected.value) << code;
      }
    }
  }
}

TEST(SharedProceduresTest, WeekAndMonthEnds) {
  EXPECT_EQ(WeekEndDate(Day(2003, 6, 2)), Day(2003, 6, 6));  // Monday
  EXPECT_EQ(WeekEndDate(Day(2003, 6, 6)), Day(2003, 6, 6));  // Friday
  EXPECT_EQ(WeekEndDate(Day(2003, 6, 7)), Day(2003, 6, 6));  // Saturday
  EXPECT_EQ(WeekEndDate(Day(2003, 6, 8)), Day(2003, 6, 6));  // Sunday
  EXPECT_EQ(WeekEndDate(Day(2003, 6, 2, 14, 30)), Day(2003, 6, 6, 14, 30));
  EXPECT_EQ(WeekEndDate(Date{-3}), Date{-1});  // before day zero
  EXPECT_EQ(MonthEndDate(Day(2003, 1, 15)), Day(2003, 1, 31));
  EXPECT_EQ(MonthEndDate(Day(2003, 1, 31)), Day(2003, 1, 31));
  EXPECT_EQ(MonthEndDate(Day(2004, 2, 1)), Day(2004, 2, 29));
  EXPECT_EQ(MonthEndDate(Day(2003, 12, 5, 9, 0)), Day(2003, 12, 31, 9, 0));
}

TEST(SharedProceduresTest, OpenRecordsetGivesAnExactCountAndEofOnNoRows) {
  testing_support::ScopedTempHome home;
  auto connection = ado::Connection::Create();
  connection->OpenSource({"Ledra", ado::Engine::kSqlite, (home.data() / "t.db").string(), ""},
                         true);
  connection->Execute("create table alert (symbol char(8), highprice real)");
  connection->Execute("insert into alert values (?, ?)", {Variant("ABC"), Variant(10.5f)});
  connection->Execute("insert into alert values (?, ?)", {Variant("O'NEIL"), Variant::Null()});
  auto all = OpenRecordset(connection, "select * from alert order by symbol");
  EXPECT_EQ(all->RecordCount(), 2);
  EXPECT_FALSE(all->EOF_());
  auto none = OpenRecordset(connection, "select * from alert where symbol = ?", {Variant("X")});
  EXPECT_EQ(none->RecordCount(), 0);
  EXPECT_TRUE(none->EOF_());
  EXPECT_EQ(
      testing_support::ErrorNumberOf([&] { OpenRecordset(connection, "select * from nowhere"); }),
      ado::errors::kDatabase);
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { OpenRecordset(nullptr, "select 1"); }),
            automation::err::kObjectNotSet);
}

}  // namespace
}  // namespace helpers
