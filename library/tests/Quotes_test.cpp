#include "library/Quotes.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/helpers/library.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/tc2000/tests/TestStore.h"
#include "platform/tests/TestEnvironment.h"

namespace thalmere {
namespace {

using automation::Date;
using automation::DateOf;
using automation::Variant;
using testing_support::ErrorNumberOf;
using testing_support::WeekdayBars;

// The latest trading day of every store here is Wednesday 2 December 2026.
constexpr int32_t kLatest = 20261202;

Date D(int32_t code) { return helpers::DateFromLong(code); }

class QuotesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto store = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    const Date first = DateOf(2025, 6, 2), last = D(kLatest);  // from a Monday
    wed_bars_ = WeekdayBars(first, last);
    store->ReplaceBars(store->UpsertSecurity("WED", "Wednesday Works", true), wed_bars_);
    // Thanksgiving (Thursday) and a holiday Friday the week before.
    store->ReplaceBars(store->UpsertSecurity("HOL", "Holiday Holdings", true),
                       WeekdayBars(first, last, {20261126, 20261120}, 10));
    store->ReplaceBars(store->UpsertSecurity("GONE", "Gone Away Corp", false),
                       WeekdayBars(first, last, {}, 7));
  }

  // A market that trades on Saturdays too, with one vendor's stray Sunday row, over the same
  // days as the others.
  void AddSixDayMarket() {
    auto store = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    const Date first = DateOf(2025, 6, 2), last = D(kLatest);
    std::vector<tc2000::Bar> six_days;
    for (Date d = first; d.value <= last.value; d = automation::AddDays(d, 1)) {
      const int32_t code = helpers::LongFromDate(d);
      if (automation::IsoWeekday(d) == 7 && code != 20261122) continue;
      const float close = 50 + static_cast<float>(six_days.size());
      six_days.push_back({code, close, close + 1, close - 1, close, 500});
    }
    store->ReplaceBars(store->UpsertSecurity("SAT", "Six Day Traders", true), six_days);
  }

  testing_support::ScopedTempHome home_;
  std::vector<tc2000::Bar> wed_bars_;
};

TEST_F(QuotesTest, RecentDaysLoadOldestFirstEndingWithTheLatestDay) {
  Quotes q;
  q.SetDays(250);
  q.SetSymbol("WED");
  ASSERT_EQ(q.Count(), 250);
  EXPECT_EQ(q.LastDate(), kLatest);
  EXPECT_EQ(q.dates()[1], wed_bars_[wed_bars_.size() - 250].date);
  EXPECT_EQ(q.companyname(), "Wednesday Works");

  const auto close = q.GetArray("C");
  ASSERT_EQ(close->Size(), 250);
  EXPECT_EQ(close->LastValue(), wed_bars_.back().close);
  EXPECT_EQ(close->DateAt(1), q.dates()[1]);
  const auto volume = q.GetArray("V");
  EXPECT_EQ(volume->LastValue(), static_cast<float>(wed_bars_.back().volume));
  EXPECT_EQ(q.GetArray("O")->LastValue(), wed_bars_.back().open);
  EXPECT_EQ(q.GetArray("H")->LastValue(), wed_bars_.back().high);
  EXPECT_EQ(q.GetArray("L")->LastValue(), wed_bars_.back().low);
  for (const char* other : {"c", "Close", "", "X"}) {
    EXPECT_EQ(q.GetArray(other)->Size(), 0) << other;
  }

  // A longer request than the history gives the whole history.
  q.SetDays(100000);
  EXPECT_EQ(q.Count(), static_cast<int32_t>(wed_bars_.size()));
}

// Window loads with Wednesday as the latest day: every trading day inside the window comes
// back, including days early in recent weeks and days up to the latest when the window
// reaches past it.
TEST_F(QuotesTest, WindowLoadsEveryTradingDayInside) {
  AddSixDayMarket();
  struct Case {
    const char* symbol;
    int32_t start, end;
    int32_t count, first, last;  // count 0: nothing loaded
  };
  const Case cases[] = {
      {"WED", 20261127, 20261127, 1, 20261127, 20261127},   // last week's Friday
      {"WED", 20261124, 20261124, 1, 20261124, 20261124},   // last week's Tuesday
      {"WED", 20261123, 20261125, 3, 20261123, 20261125},   // last week's Monday to Wednesday
      {"WED", 20261130, 20261130, 1, 20261130, 20261130},   // this week's Monday
      {"WED", 20261124, 20261127, 4, 20261124, 20261127},   // last week's Tuesday to Friday
      {"WED", 20261130, kLatest, 3, 20261130, kLatest},     // ends on the latest day
      {"WED", 20261125, 20261231, 6, 20261125, kLatest},    // ends after it
      {"WED", 20260302, 20260331, 22, 20260302, 20260331},  // a month long past
      {"WED", 20250501, 20250606, 5, 20250602, 20250606},   // starts before the history
      {"WED", 20261203, 20261210, 0, 0, 0},                 // starts after the latest day
      {"WED", 20261128, 20261129, 0, 0, 0},                 // a weekend
      {"WED", 20261127, 20261124, 0, 0, 0},                 // ends before it starts
      {"HOL", 20261123, 20261127, 4, 20261123, 20261127},   // Thanksgiving inside
      {"HOL", 20261116, 20261120, 4, 20261116, 20261119},   // ends on a holiday Friday
      {"HOL", 20261120, 20261120, 0, 0, 0},                 // only the holiday
      {"GONE", 20261123, 20261127, 0, 0, 0},                // inactive
      {"SAT", 20261128, 20261128, 1, 20261128, 20261128},   // a Saturday
      {"SAT", 20261121, 20261123, 3, 20261121, 20261123},   // Saturday, the stray Sunday, Monday
      {"SAT", 20261128, 20261231, 4, 20261128, kLatest},    // from a Saturday past the latest
      {"SAT", 20260302, 20260331, 26, 20260302, 20260331},  // a month: 22 weekdays, 4 Saturdays
      {"SAT", 20250601, 20250607, 6, 20250602, 20250607},   // the first week of the history
  };
  for (const Case& c : cases) {
    Quotes q;
    q.SetStartDate(D(c.start));
    q.SetEndDate(D(c.end));
    q.SetSymbol(c.symbol);
    const std::string label =
        std::string(c.symbol) + " " + std::to_string(c.start) + ".." + std::to_string(c.end);
    ASSERT_EQ(q.Count(), c.count) << label;
    if (c.count == 0) {
      EXPECT_EQ(q.GetArray("C")->Size(), 0) << label;
      continue;
    }
    EXPECT_EQ(q.dates()[1], c.first) << label;
    EXPECT_EQ(q.LastDate(), c.last) << label;
    const auto close = q.GetArray("C");
    ASSERT_EQ(close->Size(), c.count) << label;
    for (int32_t i = 2; i <= c.count; ++i) {
      ASSERT_LT(close->DateAt(i - 1), close->DateAt(i)) << label;
      ASSERT_LT(close->ValueAt(i - 1), close->ValueAt(i)) << label;  // closes rise day by day
    }
  }
}

TEST_F(QuotesTest, AssignmentsDecideWhatLoads) {
  Quotes q;
  EXPECT_EQ(ErrorNumberOf([&] { q.LastDate(); }), automation::err::kSubscriptOutOfRange);
  EXPECT_EQ(q.GetArray("C")->Size(), 0);

  // Dates alone load nothing; the symbol does.
  q.SetStartDate(D(20261123));
  q.SetEndDate(D(20261127));
  EXPECT_EQ(q.Count(), 0);
  q.SetSymbol("WED");
  EXPECT_EQ(q.Count(), 5);

  // days reloads at once and clears the window.
  q.SetDays(10);
  EXPECT_EQ(q.Count(), 10);
  EXPECT_EQ(q.StartDate().value, 0);
  EXPECT_EQ(q.EndDate().value, 0);
  EXPECT_EQ(q.LastDate(), kLatest);

  // An unknown symbol empties Symbol and keeps everything of the previous load.
  q.SetSymbol("NOSUCH");
  EXPECT_EQ(q.Symbol(), "");
  EXPECT_EQ(q.CompanyId(), "");
  EXPECT_EQ(q.Count(), 10);
  EXPECT_EQ(q.GetArray("C")->Size(), 10);

  // An inactive stock loads nothing, but the old arrays stay behind LastDate.
  q.SetSymbol("GONE");
  EXPECT_EQ(q.Symbol(), "GONE");
  EXPECT_EQ(q.Count(), 0);
  EXPECT_EQ(q.GetArray("C")->Size(), 0);
  EXPECT_EQ(q.LastDate(), kLatest);
}

// A store that fails under a load (here its bar table is gone) ends the load quietly: Count
// 0, and the arrays of the previous load stay for LastDate.
TEST_F(QuotesTest, ALoadThatFailsInsideKeepsThePreviousArrays) {
  Quotes q;
  q.SetDays(10);
  q.SetSymbol("WED");
  ASSERT_EQ(q.Count(), 10);

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(tc2000::PriceStore::DefaultPath().c_str(), &db), SQLITE_OK);
  // The price server keeps its read transaction for a moment after a load: a writer waits
  // for it, as the store's own writers do.
  sqlite3_busy_timeout(db, 10000);
  const int dropped = sqlite3_exec(db, "DROP TABLE bar_chunks", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  ASSERT_EQ(dropped, SQLITE_OK);

  for (bool window : {false, true}) {
    if (window) {
      q.SetStartDate(D(20261123));
      q.SetEndDate(D(20261127));
      q.SetSymbol("WED");
    } else {
      q.SetDays(20);
    }
    EXPECT_EQ(q.Count(), 0) << window;
    EXPECT_EQ(q.GetArray("C")->Size(), 0) << window;
    EXPECT_EQ(q.LastDate(), kLatest) << window;
    ASSERT_EQ(q.close().size(), 11u) << window;
    EXPECT_EQ(q.close()[10], wed_bars_.back().close) << window;
  }
}

TEST_F(QuotesTest, IsActiveTrimsTheCallersText) {
  auto q = automation::CreateObject("Thalmere.Quotes");
  Variant symbol("WED   ");
  Variant args[] = {symbol};
  EXPECT_EQ(q->Call("isActive", args), Variant(true));
  EXPECT_EQ(args[0], Variant("WED"));

  Variant gone[] = {Variant("GONE ")};
  EXPECT_EQ(q->Call("isActive", gone), Variant(false));
  Variant unknown[] = {Variant("NOSUCH")};
  EXPECT_EQ(q->Call("isActive", unknown), Variant(false));
}

TEST_F(QuotesTest, LateBoundCallersGetSeries) {
  auto q = automation::CreateObject("Thalmere.Quotes");
  q->Let("days", Variant(int32_t{20}));
  q->Let("Symbol", Variant("wed"));
  EXPECT_EQ(q->Get("Symbol"), Variant("wed"));
  EXPECT_EQ(q->Get("Count"), Variant(int32_t{20}));
  EXPECT_EQ(q->Get("CompanyId"), Variant("1"));
  auto close = q->CallWith("GetArray", "C").Object();
  EXPECT_EQ(close->Get("Size"), Variant(int32_t{20}));
  EXPECT_EQ(close->Call("LastDate"), Variant(kLatest));
}

TEST_F(QuotesTest, CompanyIdIsTheWordenNumberInRegionalFormat) {
  {
    auto store = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    store->Begin();
    for (int i = 0; i < 1300; ++i) store->UpsertSecurity("X" + std::to_string(i), "", true);
    store->Commit();
    store->ReplaceBars(store->WordenNumFromSymbol("X1299"), wed_bars_);
  }
  Quotes q;
  q.SetSymbol("X1299");
  testing_support::ScopedEnv english("LC_ALL", "en_US.UTF-8");
  EXPECT_EQ(q.CompanyId(), "1,303");
  testing_support::ScopedEnv german("LC_ALL", "de_DE.UTF-8");
  EXPECT_EQ(q.CompanyId(), "1.303");
}

TEST_F(QuotesTest, AReplacedStoreIsPickedUpByIsActive) {
  Quotes q;
  q.SetDays(5);
  q.SetSymbol("WED");
  const auto path = tc2000::PriceStore::DefaultPath();
  const auto fresh = home_.data() / "fresh.db";
  tc2000::PriceStore::OpenForWriting(fresh)->UpsertSecurity("FRESH", "Fresh Foods", true);
  std::filesystem::rename(fresh, path);

  std::string symbol = "FRESH";
  EXPECT_TRUE(q.isActive(symbol));
  // The fresh server came with a fresh start.
  EXPECT_EQ(q.Symbol(), "");
}

TEST(QuotesCreationTest, FailsWithoutAPriceStore) {
  testing_support::ScopedTempHome home;
  EXPECT_EQ(ErrorNumberOf([] { automation::CreateObject("Thalmere.Quotes"); }),
            automation::err::kCannotCreateObject);
}

}  // namespace
}  // namespace thalmere
