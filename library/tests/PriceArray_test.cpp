#include "library/PriceArray.h"

#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "library/tests/TestSeries.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/tests/TestEnvironment.h"

namespace thalmere {
namespace {

using automation::SafeArray;
using automation::Variant;
using testing_support::ErrorNumberOf;
namespace err = automation::err;

bool IsNothing(const Variant& v) {
  return v.IsObject() && !std::get<automation::ObjectRef>(v.storage());
}

// 2 June 2003 was a Monday.
constexpr int32_t kMon = 20030602, kTue = 20030603, kWed = 20030604, kThu = 20030605,
                  kFri = 20030606, kSat = 20030607, kNextMon = 20030609, kNextTue = 20030610,
                  kNextWed = 20030611;

// Elements 1..U of any numeric array are taken; a failed assignment changes nothing.
TEST(PriceArrayTest, AssignsElementsOneToUpperBound) {
  struct Case {
    Variant array;
    std::vector<float> values;  // what Prices holds afterwards
    int32_t error;
  };
  const Case cases[] = {
      {SafeArray(std::vector<float>{9, 1.5f, 2}, 0), {1.5f, 2}, 0},  // element 0 ignored
      {SafeArray(std::vector<Variant>{Variant(int16_t{4}), Variant(2.25), Variant("6")}, 1),
       {4, 2.25f, 6},
       0},
      {SafeArray(std::vector<float>{5}, 0), {}, 0},  // upper bound 0: element 0 only
      {SafeArray(std::vector<float>(32769), 0), {7, 8}, err::kOverflow},  // upper bound 32768
      {SafeArray(std::vector<float>{1, 2}, 2), {7, 8}, err::kSubscriptOutOfRange},
      {Variant(5.0f), {7, 8}, err::kTypeMismatch},
      {SafeArray(std::vector<Variant>{Variant(1), Variant::Null()}, 1),
       {7, 8},
       err::kInvalidUseOfNull},
  };
  for (const Case& c : cases) {
    auto series = MakeSeries({kMon, kTue}, {7, 8});
    EXPECT_EQ(ErrorNumberOf([&] { series->SetPrices(c.array); }), c.error);
    EXPECT_EQ(ValuesOf(*series), c.values);
    EXPECT_EQ(series->Size(), static_cast<int32_t>(c.values.size()));
    EXPECT_EQ(series->LastValue(), c.values.empty() ? 0 : c.values.back());
  }
  PriceArray series;
  series.SetDates(SafeArray(std::vector<int32_t>(32768), 0));
  EXPECT_EQ(series.Size(), PriceArray::kMaxEntries);
}

TEST(PriceArrayTest, ReadsByIndexAndFromTheEnd) {
  PriceArray empty;
  EXPECT_TRUE(IsNothing(empty.Ref(0)));
  EXPECT_EQ(ErrorNumberOf([&] { empty.ValueAt(0); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumberOf([&] { empty.LastDate(); }), err::kSubscriptOutOfRange);

  auto series = MakeSeries({kMon, kTue, kWed, kThu, kFri}, {10, 20, 30, 40, 50});
  EXPECT_EQ(series->ValueAt(0), 0);
  EXPECT_EQ(series->ValueAt(6), 0);
  EXPECT_EQ(series->DateAt(5), kFri);
  EXPECT_EQ(ErrorNumberOf([&] { series->DateAt(-1); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(series->Ref(0), Variant(50.0f));
  EXPECT_EQ(series->Ref(-4), Variant(10.0f));
  for (int32_t outside : {-5, 1, std::numeric_limits<int32_t>::min()}) {
    EXPECT_TRUE(IsNothing(series->Ref(outside))) << outside;
  }
  // Size follows the last assignment; Ref of an entry that has a date but no value fails.
  series->AssignDates(std::vector<int32_t>{kMon, kTue, kWed, kThu, kFri, kSat});
  EXPECT_EQ(ErrorNumberOf([&] { series->Ref(0); }), err::kSubscriptOutOfRange);
}

TEST(PriceArrayTest, SumsInSingles) {
  auto series = MakeSeries({1, 2, 3, 4, 5}, {1, 2, 3, 4, 5});
  EXPECT_EQ(series->Sum(), 15);
  EXPECT_EQ(series->SumRange(2, 4), 9);
  EXPECT_EQ(series->SumRange(-5, 100), 15);
  EXPECT_EQ(series->SumRange(4, 2), 0);
  EXPECT_EQ(MakeSeries({1, 2, 3}, {1e8f, 1, 1})->Sum(), 1e8f);  // 1e8 + 1 is 1e8 in a Single
  EXPECT_EQ(ErrorNumberOf([&] { MakeSeries({1, 2}, {3e38f, 3e38f})->Sum(); }), err::kOverflow);
}

TEST(PriceArrayTest, CompressesWeeksByEveryTypeLeavingTheSourceAlone) {
  auto daily = MakeSeries({kMon, kTue, kWed, kThu, kFri, kNextMon, kNextTue, kNextWed},
                          {3, 5, 1, 4, 2, 7, 6, 8});
  const std::vector<float> source = daily->prices();
  const std::vector<std::vector<float>> by_type = {{3, 7}, {5, 8}, {1, 6}, {2, 8}, {15, 21}};
  for (int16_t type = 1; type <= 5; ++type) {
    auto weekly = daily->Compress(1, type);
    EXPECT_EQ(ValuesOf(*weekly), by_type[type - 1]) << "type " << type;
    // The partial last week is dated by its last day.
    EXPECT_EQ(CodesOf(*weekly), (std::vector<int32_t>{kFri, kNextWed})) << "type " << type;
  }
  EXPECT_EQ(daily->prices(), source);
  EXPECT_EQ(daily->Size(), 8);
}

TEST(PriceArrayTest, WeeklyPeriodsEndOnFriday) {
  struct Case {
    const char* name;
    std::vector<int32_t> codes, weeks;
    std::vector<float> closes;  // the entries are valued 1, 2, 3, ...
  };
  const Case cases[] = {
      {"a single day", {kWed}, {kWed}, {1}},
      {"Thursday and Friday", {kThu, kFri}, {kFri}, {2}},
      {"Friday and Monday", {kFri, kNextMon}, {kFri, kNextMon}, {1, 2}},
      {"holiday Friday", {kWed, kThu, kNextMon}, {kFri, kNextMon}, {2, 3}},
      // A Saturday lies past its own week's Friday, so it forms a period of its own, dated
      // by that Friday; a series that starts on it has no empty period before it.
      {"starts on Saturday", {kSat, kNextMon, kNextTue}, {kFri, kNextTue}, {1, 3}},
      {"Friday then Saturday", {kFri, kSat, kNextMon}, {kFri, kFri, kNextMon}, {1, 2, 3}},
      {"across the year end", {20041230, 20041231, 20050103}, {20041231, 20050103}, {2, 3}},
      {"29 February 2000", {20000228, 20000301, 20000306}, {20000303, 20000306}, {2, 3}},
      {"no 29 February 1900", {19000226, 19000301, 19000305}, {19000302, 19000305}, {2, 3}},
      // Code 0 (a skipped entry of a ratio line) is day zero, before every period's end.
      {"trailing code 0", {kMon, kTue, 0, 0}, {18991230}, {4}},
  };
  for (const Case& c : cases) {
    std::vector<float> values;
    for (size_t i = 1; i <= c.codes.size(); ++i) values.push_back(static_cast<float>(i));
    auto weekly = MakeSeries(c.codes, values)->Compress(1, 4);
    EXPECT_EQ(CodesOf(*weekly), c.weeks) << c.name;
    EXPECT_EQ(ValuesOf(*weekly), c.closes) << c.name;
  }
  auto monthly = MakeSeries({20030130, 20030131, 20030203, 20040227, 20040301}, {1, 2, 3, 4, 5});
  EXPECT_EQ(CodesOf(*monthly->Compress(2, 5)),
            (std::vector<int32_t>{20030131, 20030228, 20040229, 20040301}));
  EXPECT_EQ(ValuesOf(*monthly->Compress(2, 5)), (std::vector<float>{3, 3, 4, 5}));
}

TEST(PriceArrayTest, CompressErrors) {
  auto week = MakeSeries({kMon, kTue}, {1, 2});
  EXPECT_EQ(ErrorNumberOf([&] { week->Compress(3, 4); }), err::kInvalidArgument);
  EXPECT_EQ(ErrorNumberOf([&] { week->Compress(1, 6); }), err::kInvalidArgument);
  EXPECT_EQ(ErrorNumberOf([&] { PriceArray().Compress(1, 4); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumberOf([&] { MakeSeries({}, {})->Compress(1, 4); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumberOf([&] {
              MakeSeries({kMon}, {1, 2})->Compress(1, 4);
            }),
            err::kSubscriptOutOfRange);
  EXPECT_EQ(ErrorNumberOf([&] {
              MakeSeries({kMon, 20030631}, {1, 2})->Compress(1, 4);
            }),
            err::kTypeMismatch);
  EXPECT_EQ(ErrorNumberOf([&] {
              MakeSeries({kMon, kTue}, {3e38f, 3e38f})->Compress(1, 5);
            }),
            err::kOverflow);
}

TEST(PriceArrayTest, WorksLateBoundThroughTheRegistry) {
  automation::ObjectRef series = automation::CreateObject("Thalmere.PriceArray");
  series->Let("Dates", Variant(SafeArray(std::vector<int32_t>{0, kThu, kFri, kNextMon}, 0)));
  series->Let("prices", Variant(SafeArray(std::vector<float>{0, 1, 2, 3}, 0)));
  EXPECT_EQ(series->Get("Size"), Variant(3));
  EXPECT_EQ(series->CallWith("Ref", -1), Variant(2.0f));
  EXPECT_EQ(series->CallWith("SumRange", 2, 3), Variant(5.0f));
  Variant weekly = series->CallWith("Compress", int16_t{1}, int16_t{5});
  EXPECT_EQ(weekly.Object()->CallWith("ValueAt", 1), Variant(3.0f));
  EXPECT_EQ(weekly.Object()->Call("LastDate"), Variant(kNextMon));
  series->Call("Class_Initialize");
  EXPECT_EQ(series->Get("Size"), Variant(0));
}

}  // namespace
}  // namespace thalmere
