#include "platform/automation/Convert.h"

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "platform/automation/Error.h"
#include "platform/tests/TestEnvironment.h"

namespace automation {
namespace {

using testing_support::ScopedEnv;

class ConvertTest : public ::testing::Test {
 protected:
  ScopedEnv locale_{"LC_ALL", "en_US.UTF-8"};
};

TEST_F(ConvertTest, IntegerConversionsRoundHalfToEven) {
  struct Case {
    double value;
    int32_t expected;
  };
  for (const Case& c : {Case{2.5, 2}, Case{3.5, 4}, Case{-2.5, -2}, Case{-3.5, -4}, Case{0.5, 0},
                        Case{1.5, 2}, Case{2.4999, 2}, Case{2.5001, 3}}) {
    EXPECT_EQ(CLng(Variant(c.value)), c.expected) << c.value;
    EXPECT_EQ(CInt(Variant(c.value)), c.expected) << c.value;
  }
  EXPECT_EQ(CLng(Variant("2.5")), 2);
  EXPECT_EQ(CLng(Variant(2.5f)), 2);
  EXPECT_EQ(CLng(Variant(true)), -1);
}

TEST_F(ConvertTest, OutOfRangeIsOverflow) {
  EXPECT_EQ(CInt(Variant(32767.4)), 32767);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CInt(Variant(32767.5)); }), err::kOverflow);
  EXPECT_EQ(CInt(Variant(-32768.5)), -32768);  // half to even keeps it in range
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CInt(Variant(-32769)); }), err::kOverflow);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CLng(Variant(2147483647.5)); }), err::kOverflow);
  EXPECT_EQ(CLng(Variant(-2147483648.0)), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CSng(Variant(1e39)); }), err::kOverflow);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CByte(Variant(256)); }), err::kOverflow);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CByte(Variant(-1)); }), err::kOverflow);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CDbl(Variant("1e999")); }), err::kOverflow);
  EXPECT_EQ(CSng(Variant(1e-50)), 0.0f);  // underflow is not an error
}

TEST_F(ConvertTest, NullEmptyAndMismatch) {
  for (auto f : std::vector<std::function<void()>>{
           [] { CLng(Variant::Null()); }, [] { CDbl(Variant::Null()); },
           [] { CStr(Variant::Null()); }, [] { CBool(Variant::Null()); },
           [] { CSng(Variant::Null()); }, [] { CDate(Variant::Null()); }}) {
    EXPECT_EQ(testing_support::ErrorNumberOf(f), err::kInvalidUseOfNull);
  }
  EXPECT_EQ(CLng(Variant()), 0);
  EXPECT_EQ(CStr(Variant()), "");
  EXPECT_FALSE(CBool(Variant()));
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CLng(Variant("abc")); }), err::kTypeMismatch);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CLng(Variant("")); }), err::kTypeMismatch);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CBool(Variant("maybe")); }), err::kTypeMismatch);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CDbl(Variant(SafeArray())); }), err::kTypeMismatch);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CDate(Variant("not a date")); }),
            err::kTypeMismatch);
}

TEST_F(ConvertTest, TextToNumbers) {
  EXPECT_EQ(CDbl(Variant("  12.5 ")), 12.5);
  EXPECT_EQ(CDbl(Variant("-1,234.5")), -1234.5);
  EXPECT_EQ(CDbl(Variant("+1E3")), 1000.0);
  EXPECT_EQ(CDbl(Variant(".5")), 0.5);
  EXPECT_EQ(CLng(Variant("&HFF")), 255);
  EXPECT_EQ(CLng(Variant("&HFFFFFFFF")), -1);
  EXPECT_EQ(CLng(Variant("&O17")), 15);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CDbl(Variant("1.2.3")); }), err::kTypeMismatch);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CDbl(Variant("12abc")); }), err::kTypeMismatch);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CDbl(Variant("1e")); }), err::kTypeMismatch);
}

TEST_F(ConvertTest, BooleansAreMinusOneAndZero) {
  EXPECT_TRUE(CBool(Variant("True")));
  EXPECT_TRUE(CBool(Variant(" true ")));
  EXPECT_FALSE(CBool(Variant("FALSE")));
  EXPECT_TRUE(CBool(Variant("-1")));
  EXPECT_TRUE(CBool(Variant(7)));
  EXPECT_FALSE(CBool(Variant("0")));
  EXPECT_EQ(CDbl(Variant(true)), -1.0);
  EXPECT_EQ(CStr(Variant(true)), "True");
  EXPECT_EQ(CStr(Variant(false)), "False");
}

TEST_F(ConvertTest, SingleTextHasAtMostSevenSignificantDigits) {
  struct Case {
    float value;
    const char* text;
  };
  for (const Case& c : {Case{125.5f, "125.5"}, Case{10.2f, "10.2"}, Case{1.0f / 3, "0.3333333"},
                        Case{5349200.0f, "5349200"}, Case{1e7f, "1E+07"}, Case{0.0001f, "0.0001"},
                        Case{0.00001f, "1E-05"}, Case{-2.5f, "-2.5"}, Case{0.0f, "0"},
                        Case{123456789.0f, "1.234568E+08"}}) {
    EXPECT_EQ(CStr(Variant(c.value)), c.text) << c.value;
  }
  EXPECT_EQ(CStr(Variant(0.1 + 0.2)), "0.3");  // a Double shows 15 digits
  EXPECT_EQ(CStr(Variant(1e15)), "1E+15");
  EXPECT_EQ(CStr(Variant(int16_t{-7})), "-7");
}

TEST_F(ConvertTest, StrPutsABlankBeforeNonNegativeNumbers) {
  EXPECT_EQ(Str(Variant(6)), " 6");
  EXPECT_EQ(Str(Variant(int16_t{2003})), " 2003");
  EXPECT_EQ(Str(Variant(0)), " 0");
  EXPECT_EQ(Str(Variant(-2.5)), "-2.5");
  EXPECT_EQ(Str(Variant(125.5f)), " 125.5");
  EXPECT_EQ(Str(Variant("12")), " 12");
  EXPECT_EQ(Str(Variant(0.5)), " .5");
  EXPECT_EQ(Str(Variant(-0.25f)), "-.25");
}

TEST_F(ConvertTest, GermanLocaleUsesCommaForTheDecimalPoint) {
  ScopedEnv german("LC_ALL", "de_DE.UTF-8");
  EXPECT_EQ(CStr(Variant(2.5)), "2,5");
  EXPECT_EQ(CDbl(Variant("1.234,5")), 1234.5);
  EXPECT_EQ(CDbl(Variant("2,5")), 2.5);
  EXPECT_EQ(Str(Variant(2.5)), " 2.5");                   // Str is not regional
  EXPECT_EQ(CSng(Variant(CStr(Variant(10.2f)))), 10.2f);  // round trip in the same locale
}

TEST_F(ConvertTest, DatesConvert) {
  EXPECT_EQ(CDate(Variant("2003/6/5")).value, 37777.0);
  EXPECT_EQ(CDate(Variant(" 2003/ 6/ 5")).value, 37777.0);
  EXPECT_EQ(CDate(Variant("6/5/2003")).value, 37777.0);
  EXPECT_EQ(CDate(Variant(37777.5)).value, 37777.5);
  EXPECT_EQ(CDbl(Variant(Date{37777.25})), 37777.25);
  EXPECT_EQ(CStr(Variant(Date{37777.0})), "6/5/2003");
  EXPECT_EQ(CStr(Variant(Date{37777.75})), "6/5/2003 6:00:00 PM");
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CDate(Variant("2003/13/1")); }),
            err::kTypeMismatch);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { CDate(Variant(1e7)); }), err::kOverflow);
}

TEST_F(ConvertTest, SingleDivisionRaisesLikeTheRunTime) {
  EXPECT_EQ(DivideSingle(2.5f, 10.0f), 0.25f);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { DivideSingle(1.0f, 0.0f); }), err::kDivisionByZero);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { DivideSingle(0.0f, 0.0f); }), err::kOverflow);
  EXPECT_EQ(testing_support::ErrorNumberOf([] { DivideSingle(3e38f, 0.1f); }), err::kOverflow);
}

TEST(ErrorTest, MessageNamesTheNumberAndDetail) {
  const Error e = Error::WithDetail(err::kSubscriptOutOfRange, "subscript 0 out of range 1..250");
  EXPECT_EQ(e.Number(), 9);
  EXPECT_EQ(e.Description(), "Subscript out of range: subscript 0 out of range 1..250");
  EXPECT_STREQ(e.what(), "Subscript out of range: subscript 0 out of range 1..250 (9)");
}

}  // namespace
}  // namespace automation
