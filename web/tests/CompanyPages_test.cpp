#include "web/CompanyPages.h"

#include <cctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "demo/DemoFundamentals.h"
#include "demo/DemoWorld.h"
#include "platform/ado/Connection.h"
#include "platform/automation/Convert.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Registry.h"
#include "platform/helpers/library.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/TestEnvironment.h"

namespace web {
namespace {

using automation::Variant;
using testing_support::TestEngine;

// A small demo world; the system database on the engine under test.
class CompanyPagesTest : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    if (!UseDataSources({"Ledra"})) GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    demo::DemoOptions options;
    options.companies = 12;
    options.years = 1;
    options.end_date = 20261204;
    world_ = demo::MakeDemoWorld(options);
    demo::WriteDemoStore(world_, tc2000::PriceStore::DefaultPath());
    demo::WriteDemoFundamentals(world_);
    ledra_ = sources_->Open("Ledra");
    for (const char* progid : {"Thalmere.Alert", "Thalmere.StockNote"}) {
      const automation::ObjectRef maker = automation::CreateObject(progid);
      if (std::string(progid) == "Thalmere.Alert") {
        maker->Let("Connection", Variant(automation::ObjectRef(ledra_)));
        maker->Call("CreateTable");
      } else {
        maker->CallWith("CreateTable", automation::ObjectRef(ledra_));
      }
    }
  }

  // A company of the world with prices and a name, by its place among the companies.
  std::string Ticker(size_t i) const { return world_.companies.at(i).ticker; }
  double LastClose(const std::string& ticker) const {
    for (const demo::DemoSecurity& s : world_.securities) {
      if (s.symbol == ticker)
        return automation::CDbl(Variant(demo::DemoBars(world_, s).back().close));
    }
    ADD_FAILURE() << ticker;
    return 0;
  }
  void AddAlert(const std::string& symbol, double high, double low) {
    ledra_->Execute(
        "insert into alert (symbol, highprice, lowprice, aimalert, emailalert) "
        "values (?, ?, ?, 0, -1)",
        {Variant(symbol), Variant(high), Variant(low)});
  }

  demo::DemoWorld world_;
  std::shared_ptr<ado::Connection> ledra_;
};

TEST_P(CompanyPagesTest, ACompanyPageHoldsItsFiguresAlertsAndNotes) {
  const std::string ticker = Ticker(0);
  // Another company's alert, and this one's stored as typed with blanks (as char(10) pads).
  AddAlert(Ticker(1), 5, 1);
  AddAlert(ticker + "  ", 500, 2);
  for (const char* text : {"first", "second"}) {
    const automation::ObjectRef note = automation::CreateObject("Thalmere.StockNote");
    note->Let("Symbol", Variant(ticker));
    note->Let("NoteType", Variant("Note"));
    note->Let("NoteText", Variant(text));
    note->Call("Save");
    // Notes a second apart, so that newest first has one answer.
    ledra_->Execute(
        "update stocknotes set notedate = ? where notetext = ?",
        {Variant(automation::DateOf(2026, 1, 2, 10, 0, std::string(text) == "first" ? 0 : 1)),
         Variant(text)});
  }

  // The ticker as typed: blanks around it and small letters.
  std::string typed = ticker;
  for (char& c : typed) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const Json page = CompanyJson(" " + typed + " ");
  ASSERT_TRUE(page["found"]) << page.dump();
  EXPECT_EQ(page["ticker"], ticker);
  EXPECT_EQ(page["company"], world_.companies[0].name);
  EXPECT_FALSE(page["sector"].get<std::string>().empty());
  EXPECT_FALSE(page["industry"].get<std::string>().empty());
  EXPECT_NEAR(page["price"]["last"].get<double>(), LastClose(ticker), 1e-4);
  // No composite run yet: no ratings rather than an error.
  EXPECT_TRUE(page["composite"].is_null());
  ASSERT_EQ(page["alerts"].size(), 1u);
  EXPECT_EQ(page["alerts"][0]["symbol"], ticker);
  EXPECT_EQ(page["alerts"][0]["high"], 500.0);
  EXPECT_EQ(page["alerts"][0]["email"], true);
  ASSERT_EQ(page["notes"].size(), 2u);
  EXPECT_EQ(page["notes"][0]["text"], "second");
  EXPECT_EQ(page["notes"][1]["text"], "first");
}

TEST_P(CompanyPagesTest, AnUnknownTickerIsSaidToBeUnknown) {
  for (const char* ticker : {"NOSUCH", "", "   ", "A'B"}) {
    const Json page = CompanyJson(ticker);
    EXPECT_FALSE(page["found"]) << ticker;
    EXPECT_TRUE(ProfilePdf(ticker).empty()) << ticker;
  }
  // A known one gets its profile.
  EXPECT_EQ(ProfilePdf(Ticker(2)).substr(0, 5), "%PDF-");
}

TEST_P(CompanyPagesTest, AlertsShowHowFarEachLimitIs) {
  const std::string a = Ticker(3), b = Ticker(4), c = Ticker(5);
  const double last_a = LastClose(a), last_b = LastClose(b);
  AddAlert(a, last_a, 0);      // a high limit the price stands on: fired
  AddAlert(b, 0, last_b / 2);  // a low limit far below
  AddAlert(c + "X", 10, 5);    // a symbol without prices
  const Json alerts = AlertsJson()["alerts"];
  ASSERT_EQ(alerts.size(), 3u);
  std::map<std::string, Json> by_symbol;
  for (const Json& alert : alerts) by_symbol[alert["symbol"]] = alert;
  EXPECT_LT(alerts[0]["symbol"], alerts[1]["symbol"]);  // ordered by symbol
  EXPECT_LT(alerts[1]["symbol"], alerts[2]["symbol"]);
  struct Expect {
    std::string symbol;
    bool above, below, has_high, has_low, has_last;
  };
  for (const Expect& e :
       {Expect{a, true, false, true, false, true}, Expect{b, false, false, false, true, true},
        Expect{c + "X", false, false, true, true, false}}) {
    SCOPED_TRACE(e.symbol);
    const Json& alert = by_symbol[e.symbol];
    EXPECT_EQ(alert["above"], e.above);
    EXPECT_EQ(alert["below"], e.below);
    EXPECT_EQ(alert["last"].is_null(), !e.has_last);
    EXPECT_EQ(alert["to_high"].is_null(), !(e.has_high && e.has_last));
    EXPECT_EQ(alert["to_low"].is_null(), !(e.has_low && e.has_last));
  }
  EXPECT_EQ(by_symbol[a]["company"], world_.companies[3].name);
  EXPECT_NEAR(by_symbol[a]["to_high"].get<double>(), 0, 0.005);
  EXPECT_NEAR(by_symbol[b]["to_low"].get<double>(), last_b / 2, 0.01);
  EXPECT_NEAR(by_symbol[b]["to_low_pct"].get<double>(), 50, 0.1);
  EXPECT_EQ(by_symbol[c + "X"]["company"], "");
}

INSTANTIATE_TEST_SUITE_P(Engines, CompanyPagesTest, testing_support::BothEngines(),
                         testing_support::EngineParamName());

}  // namespace
}  // namespace web
