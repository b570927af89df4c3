#include "ocx/calclists.h"

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "ocx/tests/RecordingTasks.h"
#include "platform/automation/Error.h"
#include "platform/helpers/library.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/tc2000/tests/TestStore.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/TestEnvironment.h"

namespace kestrova {
namespace {

using automation::Variant;
using testing_support::TestEngine;
using testing_support::Unpadded;

// listidx, listsrc, listtype, listprnt, listname
using ListRow = std::tuple<int32_t, std::string, int32_t, int32_t, std::string>;
using MemberRow = std::pair<int32_t, std::string>;

class CalcListsTest : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    if (!UseDataSources({"Ledra"})) GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    ledra_ = sources_->Open("Ledra");
    store_ = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    for (const char* symbol : {"IBM", "MSFT", "O'NEIL", "XOM"}) {
      worden_[symbol] = store_->UpsertSecurity(symbol, symbol, true);
    }
  }

  void SetLists(const testing_support::ChartListsBySymbol& lists) {
    testing_support::ReplaceChartLists(*store_, worden_, lists);
  }

  // Types 5, 4, 4, 5, 4: two groups; names and symbols with apostrophes; an empty list.
  void SetFirstLists() {
    SetLists({{"Technology", 5, {"IBM", "MSFT"}},
              {"Software", 4, {"MSFT"}},
              {"Hardware", 4, {"IBM", "O'NEIL"}},
              {"Energy", 5, {}},
              {"Analysts' Picks", 4, {"XOM", "O'NEIL"}}});
  }

  std::vector<ListRow> Lists() {
    auto rows = helpers::OpenRecordset(
        ledra_,
        "select listidx, listsrc, listtype, listprnt, listname from tc2klist "
        "order by listidx");
    std::vector<ListRow> result;
    for (; !rows->EOF_(); rows->MoveNext()) {
      result.emplace_back(
          automation::CLng(rows->Field("listidx")), Unpadded(rows->Field("listsrc")),
          automation::CLng(rows->Field("listtype")), automation::CLng(rows->Field("listprnt")),
          automation::CStr(rows->Field("listname")));
    }
    return result;
  }

  std::vector<MemberRow> Members() {
    auto rows = helpers::OpenRecordset(
        ledra_, "select listidx, symbol from listmbrs order by listidx, symbol");
    std::vector<MemberRow> result;
    for (; !rows->EOF_(); rows->MoveNext()) {
      result.emplace_back(automation::CLng(rows->Field("listidx")),
                          Unpadded(rows->Field("symbol")));
    }
    return result;
  }

  int32_t NextListId() {
    auto rows = helpers::OpenRecordset(ledra_, "select listidx from nxtlstid");
    EXPECT_EQ(rows->RecordCount(), 1);
    return automation::CLng(rows->Field("listidx"));
  }

  std::shared_ptr<ado::Connection> ledra_;
  std::unique_ptr<tc2000::PriceStore> store_;
  std::map<std::string, int32_t> worden_;
};

TEST_P(CalcListsTest, CopiesTheChartListsAndReplacesThemNextTime) {
  SetFirstLists();
  auto tasks = std::make_shared<testing_support::RecordingTasks>();
  CalcLists(tasks);

  // A type-5 list heads the type-4 lists after it: parents 0, 1, 1, 0, 4.
  EXPECT_EQ(Lists(), (std::vector<ListRow>{{1, "TC", 5, 0, "Technology"},
                                           {2, "TC", 4, 1, "Software"},
                                           {3, "TC", 4, 1, "Hardware"},
                                           {4, "TC", 5, 0, "Energy"},
                                           {5, "TC", 4, 4, "Analysts' Picks"}}));
  EXPECT_EQ(Members(), (std::vector<MemberRow>{{1, "IBM"},
                                               {1, "MSFT"},
                                               {2, "MSFT"},
                                               {3, "IBM"},
                                               {3, "O'NEIL"},
                                               {5, "O'NEIL"},
                                               {5, "XOM"}}));
  EXPECT_EQ(NextListId(), 1001);
  EXPECT_EQ(tasks->statuses,
            (std::vector<std::string>{"Copying TC2000 lists to Kestrova Database",
                                      "Adding List: Technology", "Adding List: Software",
                                      "Adding List: Hardware", "Adding List: Energy",
                                      "Adding List: Analysts' Picks", "Done. "}));
  EXPECT_EQ(tasks->done, 1);
  EXPECT_FALSE(tasks->bar->visible());  // the progress bar was never asked for
  EXPECT_NE(testing_support::ErrorNumberOf(
                [&] { ledra_->Execute("create index listmbrsSymbol on listmbrs (symbol)"); }),
            0);  // the indexes are there

  // A second run replaces the copied lists and keeps the system's own.
  ledra_->Execute(
      "insert into tc2klist (listidx, listsrc, listtype, listprnt, listname) "
      "values (1001, 'US', 7, 0, 'My picks')");
  ledra_->Execute("insert into listmbrs (listidx, symbol) values (1001, 'IBM')");
  ledra_->Execute("update nxtlstid set listidx = 1002");

  // A type-4 list before any type-5 list has no parent.
  SetLists({{"Orphans", 4, {"MSFT"}}, {"New Highs", 1, {}}});
  tasks = std::make_shared<testing_support::RecordingTasks>();
  CalcLists(tasks);

  EXPECT_EQ(Lists(), (std::vector<ListRow>{{1, "TC", 4, 0, "Orphans"},
                                           {2, "TC", 1, 0, "New Highs"},
                                           {1001, "US", 7, 0, "My picks"}}));
  EXPECT_EQ(Members(), (std::vector<MemberRow>{{1, "MSFT"}, {1001, "IBM"}}));
  EXPECT_EQ(NextListId(), 1002);  // the tables existed: nothing is created or reset
  EXPECT_EQ(tasks->statuses.back(), "Done. ");
}

TEST_P(CalcListsTest, FailingStatementsAreCountedAndTheRunGoesOn) {
  SetFirstLists();
  CalcLists(std::make_shared<testing_support::RecordingTasks>());
  // Rules of the database that some rows of the next run break.
  ledra_->Execute("create unique index tc2klistOnce on tc2klist (listname)");
  ledra_->Execute("create unique index listmbrsOnce on listmbrs (listidx, symbol)");

  SetLists({{"Tech", 5, {"IBM"}}, {"Tech", 4, {"IBM", "MSFT", "IBM"}}, {"Other", 4, {}}});
  auto tasks = std::make_shared<testing_support::RecordingTasks>();
  CalcLists(tasks);

  // The second "Tech" and the second IBM of list 2 are refused; everything else is there.
  EXPECT_EQ(Lists(), (std::vector<ListRow>{{1, "TC", 5, 0, "Tech"}, {3, "TC", 4, 1, "Other"}}));
  EXPECT_EQ(Members(), (std::vector<MemberRow>{{1, "IBM"}, {2, "IBM"}, {2, "MSFT"}}));
  EXPECT_EQ(tasks->statuses.back(), "Done. 2 statements failed.");
  EXPECT_EQ(tasks->done, 1);
  int reported = 0;
  for (const std::string& status : tasks->statuses) {
    if (status.rfind("Could not add list Tech: ", 0) == 0) ++reported;
    if (status.rfind("Could not add IBM to list Tech: ", 0) == 0) ++reported;
  }
  EXPECT_EQ(reported, 2);
}

// The first list's row cannot go in, after the old rows were deleted (a list of the system
// holds index 1 under a unique index): the run ends there, and the deleted rows are back.
TEST_P(CalcListsTest, ARunThatEndsEarlyKeepsThePreviousRows) {
  SetFirstLists();
  CalcLists(std::make_shared<testing_support::RecordingTasks>());
  ledra_->Execute("update tc2klist set listsrc = 'US', listname = 'Mine' where listidx = 1");
  ledra_->Execute("create unique index tc2klistIndex on tc2klist (listidx)");
  const auto lists = Lists();
  const auto members = Members();

  auto tasks = std::make_shared<testing_support::RecordingTasks>();
  EXPECT_NE(testing_support::ErrorNumberOf([&] { CalcLists(tasks); }), 0);
  EXPECT_EQ(tasks->done, 0);
  EXPECT_EQ(Lists(), lists);
  EXPECT_EQ(Members(), members);
}

// Only a type-4 list has a parent: the type-5 list most recently before it, whatever other
// lists come between.
TEST_P(CalcListsTest, ATypeFourListBelongsToTheLatestTypeFiveList) {
  const std::vector<std::pair<std::vector<int32_t>, std::vector<int32_t>>> cases = {
      {{5, 4, 4, 5, 4}, {0, 1, 1, 0, 4}},
      {{4, 5, 4}, {0, 0, 2}},
      {{5, 1, 4}, {0, 0, 1}},  // a list of another type right after a sector
      {{5, 1, 5, 3, 4, 4}, {0, 0, 0, 0, 3, 3}},
  };
  for (const auto& [types, parents] : cases) {
    std::vector<std::tuple<std::string, int32_t, std::vector<std::string>>> lists;
    for (size_t i = 0; i < types.size(); ++i) {
      lists.emplace_back("L" + std::to_string(i + 1), types[i], std::vector<std::string>{"IBM"});
    }
    SetLists(lists);
    CalcLists(std::make_shared<testing_support::RecordingTasks>());
    std::vector<int32_t> stored;
    for (const ListRow& row : Lists()) stored.push_back(std::get<3>(row));
    EXPECT_EQ(stored, parents) << ::testing::PrintToString(types);
    EXPECT_EQ(Members().size(), types.size());
  }
}

// A server without chart lists leaves the copied lists as they were, with an error.
TEST_P(CalcListsTest, NoChartListsKeepsThePreviousCopy) {
  SetFirstLists();
  CalcLists(std::make_shared<testing_support::RecordingTasks>());
  const auto lists = Lists();
  const auto members = Members();

  SetLists({});
  auto tasks = std::make_shared<testing_support::RecordingTasks>();
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { CalcLists(tasks); }),
            automation::err::kInvalidArgument);
  EXPECT_EQ(tasks->done, 0);
  EXPECT_EQ(Lists(), lists);
  EXPECT_EQ(Members(), members);
}

INSTANTIATE_TEST_SUITE_P(Engines, CalcListsTest, testing_support::BothEngines(),
                         testing_support::EngineParamName());

}  // namespace
}  // namespace kestrova
