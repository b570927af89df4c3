#include "library/Alert.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "library/StockNote.h"
#include "library/StockNotes.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Convert.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/system/Clock.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/TestClock.h"
#include "platform/tests/TestEnvironment.h"

namespace thalmere {
namespace {

using automation::Variant;
using testing_support::ErrorNumberOf;
using testing_support::TestEngine;
using testing_support::TickingClock;

class AlertTest : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    if (!UseDataSources({"Ledra"})) GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    ledra_ = sources_->Open("Ledra");
    StockNote().CreateTable(ledra_);
    alert_.SetConnection(ledra_);
    alert_.CreateTable();
    auto store = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    store->UpsertSecurity("ABC", "Abc Inc", true);
    store->UpsertSecurity("O'NEIL", "O'Neil & Sons", true);
    kestrova_system::SetClock(std::make_shared<TickingClock>());
  }
  void TearDown() override { kestrova_system::SetClock(nullptr); }

  // The rows of alert as "symbol high low aim email", sorted, without the engine's padding.
  std::vector<std::string> Rows() const {
    auto rows = ado::Recordset::Create();
    rows->Open("select * from alert", ledra_);
    std::vector<std::string> result;
    for (; !rows->EOF_(); rows->MoveNext()) {
      std::string row(automation::TrimBlanks(automation::CStr(rows->Field("symbol"))));
      for (const char* column : {"highprice", "lowprice", "aimalert", "emailalert"}) {
        row += " " + automation::CStr(rows->Field(column));
      }
      result.push_back(row);
    }
    std::sort(result.begin(), result.end());
    return result;
  }

  // The note texts of a symbol's company, newest first.
  std::vector<std::string> Notes(const std::string& symbol) const {
    StockNotes notes;
    notes.Load(CompanyIdForSymbol(symbol));
    std::vector<std::string> texts;
    for (const auto& note : notes) {
      EXPECT_EQ(note->NoteType(), "Alert");
      texts.push_back(note->NoteText());
    }
    return texts;
  }

  void Set(const std::string& symbol, float high, float low, bool aim, bool email) {
    alert_.SetSymbol(symbol);
    alert_.SetHighPrice(high);
    alert_.SetLowPrice(low);
    alert_.SetAimAlert(aim);
    alert_.SetEmailAlert(email);
  }

  static std::vector<std::string> Empty() { return {}; }

  testing_support::ScopedEnv locale_{"LC_ALL", "en_US.UTF-8"};
  std::shared_ptr<ado::Connection> ledra_;
  Alert alert_;
};

TEST_P(AlertTest, WithoutSymbolOrConnectionNothingHappens) {
  Set("", 10, 5, true, true);
  auto unconnected = std::make_shared<Alert>();
  unconnected->Let("Symbol", Variant("ABC"));
  unconnected->Let("Connection", Variant(automation::ObjectRef()));
  for (Alert* alert : {&alert_, unconnected.get()}) {
    alert->AddAlert();
    alert->UpdateAlert();
    alert->GetAlert();
    alert->DeleteAlert();
  }
  unconnected->CreateTable();
  EXPECT_EQ(Rows(), Empty());
  EXPECT_EQ(Notes("ABC"), std::vector<std::string>{});
  EXPECT_EQ(alert_.HighPrice(), 10);  // GetAlert did not reset either
  EXPECT_EQ(unconnected->Symbol(), "ABC");
  EXPECT_EQ(ErrorNumberOf([&] { unconnected->Let("Connection", Variant(unconnected)); }),
            automation::err::kTypeMismatch);
}

TEST_P(AlertTest, AddGetUpdateDeleteWithAnApostrophe) {
  Set("O'NEIL", 12.5f, 10, true, false);
  alert_.SetNoteText("it's near");
  alert_.AddAlert();
  EXPECT_EQ(Rows(), std::vector<std::string>{"O'NEIL 12.5 10 -1 0"});

  Set("O'NEIL", 0, 0, false, false);
  alert_.GetAlert();
  EXPECT_EQ(automation::TrimBlanks(alert_.Symbol()), "O'NEIL");
  EXPECT_EQ(alert_.HighPrice(), 12.5f);
  EXPECT_EQ(alert_.LowPrice(), 10);
  EXPECT_TRUE(alert_.AimAlert());
  EXPECT_FALSE(alert_.EmailAlert());

  alert_.SetHighPrice(1234.3f);  // a Single's neighbour of 1234.3 is stored as 1234.3
  alert_.SetEmailAlert(true);
  alert_.UpdateAlert();
  EXPECT_EQ(Rows(), std::vector<std::string>{"O'NEIL 1234.3 10 -1 -1"});

  alert_.SetNoteText("gone");
  alert_.DeleteAlert();
  EXPECT_EQ(Rows(), Empty());
  EXPECT_EQ(Notes("O'NEIL"),
            (std::vector<std::string>{
                "Alert Deleted Highprice: 1,234.30  LowPrice: 10.00  Note: gone",
                "Alert Updated Highprice: 1,234.30  LowPrice: 10.00  Note: it's near",
                "Alert Added Highprice: 12.50  LowPrice: 10.00  Note: it's near"}));

  // No row: an update does nothing and notes nothing.
  alert_.UpdateAlert();
  EXPECT_EQ(Rows(), Empty());
  EXPECT_EQ(Notes("O'NEIL").size(), 3u);
}

TEST_P(AlertTest, TwoAlertsOnOneSymbol) {
  Set("ABC", 20, 10, true, true);
  alert_.AddAlert();
  Set("ABC", 30, 15, false, false);
  alert_.AddAlert();
  EXPECT_EQ(Rows().size(), 2u);

  // Two rows are no alert to read: the object is reset.
  alert_.SetNoteText("kept");
  alert_.GetAlert();
  EXPECT_EQ(alert_.Symbol(), "");
  EXPECT_EQ(alert_.HighPrice(), 0);
  EXPECT_EQ(alert_.LowPrice(), 0);
  EXPECT_FALSE(alert_.AimAlert());
  EXPECT_FALSE(alert_.EmailAlert());
  EXPECT_EQ(alert_.Connection(), ledra_);

  // An update changes the first row alone; a delete takes both and notes once, with the
  // object's limits.
  Set("ABC", 25, 12, true, false);
  alert_.UpdateAlert();
  EXPECT_EQ(Rows(), (std::vector<std::string>{"ABC 25 12 -1 0", "ABC 30 15 0 0"}));
  Set("ABC", 1, 2, false, false);
  alert_.DeleteAlert();
  EXPECT_EQ(Rows(), Empty());
  const auto notes = Notes("ABC");
  ASSERT_EQ(notes.size(), 4u);
  EXPECT_EQ(notes[0], "Alert Deleted Highprice: 1.00  LowPrice: 2.00  Note: kept");
  EXPECT_EQ(notes[1], "Alert Updated Highprice: 25.00  LowPrice: 12.00  Note: kept");
}

TEST_P(AlertTest, APaddedSymbolFindsItsRow) {
  Set("ABC", 20, 10, false, true);
  alert_.AddAlert();
  alert_.GetAlert();
  // PostgreSQL pads the fixed-width column as the system database always has; SQLite keeps
  // the text as written.
  EXPECT_EQ(alert_.Symbol(), GetParam() == TestEngine::kPostgres ? "ABC       " : "ABC");
  alert_.SetSymbol("ABC       ");
  alert_.SetLowPrice(11);
  alert_.UpdateAlert();
  EXPECT_EQ(Rows(), std::vector<std::string>{"ABC 20 11 0 -1"});
  alert_.GetAlert();
  EXPECT_EQ(alert_.LowPrice(), 11);
  alert_.DeleteAlert();
  EXPECT_EQ(Rows(), Empty());
  // The padded symbol still leads to the company, so no note is lost.
  EXPECT_EQ(Notes("ABC").size(), 3u);
}

TEST_P(AlertTest, CreateTableEmptiesTheTableAndMakesTheIndex) {
  Set("ABC", 20, 10, false, false);
  alert_.AddAlert();
  alert_.CreateTable();
  // In a transaction of the caller's, a drop that fails leaves the transaction usable.
  ledra_->BeginTrans();
  ledra_->Execute("drop table alert");
  alert_.CreateTable();
  ledra_->CommitTrans();
  EXPECT_EQ(Rows(), Empty());
  auto index = ado::Recordset::Create();
  index->Open(GetParam() == TestEngine::kSqlite
                  ? "select name from sqlite_master where type = 'index' and tbl_name = 'alert'"
                  : "select indexname from pg_indexes where tablename = 'alert'",
              ledra_);
  ASSERT_EQ(index->RecordCount(), 1);
  EXPECT_EQ(automation::FoldCase(automation::CStr(index->Field(0))), "alertmain");

  // A symbol longer than the column is refused on every engine.
  Set("ABCDEFGHIJK", 1, 1, false, false);
  EXPECT_EQ(ErrorNumberOf([&] { alert_.AddAlert(); }), ado::errors::kDatabase);
  EXPECT_EQ(Rows(), Empty());
}

TEST_P(AlertTest, LimitsAreKeptAsTheDecimalColumnKeepsThem) {
  // Two places, rounded half away from zero from the Single's shortest decimal form, as the
  // server database rounds; the same row reads back on both engines.
  struct Case {
    float limit;
    const char* stored;
  };
  for (const Case& c :
       {Case{10.125f, "10.13"}, Case{-10.125f, "-10.13"}, Case{1.005f, "1.01"},
        Case{2.675f, "2.68"}, Case{0.004f, "0"}, Case{-0.004f, "0"}, Case{99.995f, "100"},
        Case{123456.789f, "123456.79"}, Case{999999936.0f, "999999936"}}) {
    SCOPED_TRACE(c.stored);
    alert_.CreateTable();
    Set("ABC", c.limit, c.limit, false, false);
    alert_.AddAlert();
    EXPECT_EQ(Rows(),
              std::vector<std::string>{"ABC " + std::string(c.stored) + " " + c.stored + " 0 0"});
    // Compared as stored: the alert check sees the same limit on either engine.
    auto rows = ado::Recordset::Create();
    rows->Open("select count(*) from alert where highprice = ?", ledra_,
               {Variant(std::strtod(c.stored, nullptr))});
    EXPECT_EQ(automation::CLng(rows->Field(0)), 1);
    alert_.GetAlert();
    EXPECT_EQ(alert_.HighPrice(), static_cast<float>(std::strtod(c.stored, nullptr)));
  }

  // What the column cannot hold is refused with one error on both engines, before anything
  // is written: no row, no note, and an update leaves the row as it was.
  alert_.CreateTable();
  Set("ABC", 20, 10, false, false);
  alert_.AddAlert();
  const size_t notes = Notes("ABC").size();
  for (float limit : {1e9f, -1e9f, 3e38f, std::numeric_limits<float>::infinity(),
                      std::numeric_limits<float>::quiet_NaN()}) {
    SCOPED_TRACE(limit);
    for (bool high : {true, false}) {
      Set("ABC", high ? limit : 20, high ? 10 : limit, false, false);
      try {
        alert_.AddAlert();
        ADD_FAILURE() << "accepted";
      } catch (const automation::Error& e) {
        EXPECT_EQ(e.Number(), ado::errors::kDatabase);
        EXPECT_NE(e.Description().find(high ? "highprice" : "lowprice"), std::string::npos)
            << e.Description();
      }
      EXPECT_EQ(ErrorNumberOf([&] { alert_.UpdateAlert(); }), ado::errors::kDatabase);
    }
  }
  EXPECT_EQ(Rows(), std::vector<std::string>{"ABC 20 10 0 0"});
  EXPECT_EQ(Notes("ABC").size(), notes);
}

INSTANTIATE_TEST_SUITE_P(Engines, AlertTest, testing_support::BothEngines(),
                         testing_support::EngineParamName());

}  // namespace
}  // namespace thalmere
