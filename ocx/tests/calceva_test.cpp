#include "ocx/calceva.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "ocx/tests/RecordingTasks.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/helpers/library.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/TestEnvironment.h"

namespace kestrova {
namespace {

using automation::DateOf;
using automation::Variant;
using testing_support::TestEngine;
using testing_support::Unpadded;

// The statement rows of a company, a line per table: "table column=value ...", dates as
// yyyy-mm-dd; columns not named are Null.
//
// C1: rows "12m" and "y1" only, because perend_y3 is Null (y4 and y5 are not: the years stop
// at the first gap). Negative equity makes coc small, so the levered and unlevered indexes differ.
// perend_q5 is a Sunday. The 999s must not be read.
const std::string kC1Dates =
    "si_date perend_q1=2026-06-30 perend_q5=2025-06-29 perend_y1=2025-12-31 "
    "perend_y2=2024-12-31 perend_y4=2022-12-30 perend_y5=2021-12-31\n";
const std::string kC1Isq = "si_isq sales_q1=1\n";
const std::string kC1 =
    "si_bsq ltdebt_q1=999 ltdebt_q2=240 ltdebt_q3=245 ltdebt_q4=255 ltdebt_q5=260 pref_q1=999 "
    "pref_q2=10 pref_q3=10 pref_q4=10 pref_q5=10 equity_q1=999 equity_q2=-190 equity_q3=-195 "
    "equity_q4=-205 equity_q5=-210\n"
    "si_bsa ltdebt_y1=999 equity_y1=999 ltdebt_y2=30 pref_y2=0 equity_y2=90\n"
    "si_isa int_12m=20 intno_12m=10 dep_12m=21 gopinc_12m=577.4 inctax_12m=30 pti_12m=120 "
    "int_y1=2 dep_y1=10 gopinc_y1=100 inctax_y1=40 pti_y1=100\n"
    "si_psd shr_aq1=0.5 shr_ay1=0.25\n";
// B'2: years y1 to y5 dated, so y1 to y4 are tried; its prices lack a day of y2, whose beta is
// then 0; perend_y3 is a Saturday; y3 has no tax, y4 no capital.
const std::string kB2 =
    "si_date perend_q1=2026-03-31 perend_q5=2025-03-31 perend_y1=2025-09-30 "
    "perend_y2=2024-09-30 perend_y3=2023-09-30 perend_y4=2022-09-30 perend_y5=2021-09-30\n"
    "si_bsq ltdebt_q2=100 ltdebt_q3=100 ltdebt_q4=100 ltdebt_q5=100 equity_q2=200 "
    "equity_q3=200 equity_q4=200 equity_q5=200\n"
    "si_bsa ltdebt_y2=50 pref_y2=10 equity_y2=140 ltdebt_y3=1 ltdebt_y4=70 pref_y4=0 "
    "equity_y4=100 ltdebt_y5=0 pref_y5=0 equity_y5=0\n"
    "si_isa int_12m=10 intno_12m=5 dep_12m=20 gopinc_12m=80 inctax_12m=10 pti_12m=50 int_y1=5 "
    "dep_y1=10 gopinc_y1=60 inctax_y1=15 pti_y1=60 int_y2=1 gopinc_y2=1 int_y3=4 intno_y3=1 "
    "dep_y3=8 gopinc_y3=30 inctax_y3=0 pti_y3=40 int_y4=3 dep_y4=5 gopinc_y4=20 inctax_y4=5 "
    "pti_y4=25\n"
    "si_isq sales_q1=1\n"
    "si_psd shr_aq1=1 shr_ay1=1 shr_ay2=1 shr_ay3=0.4 shr_ay4=1\n";
// C3: prices moving against the index (beta −1); the trailing year only.
const std::string kC3 =
    "si_date perend_q1=2026-06-30 perend_q5=2025-06-30\n"
    "si_bsq equity_q2=10 equity_q3=10 equity_q4=10 equity_q5=10\n"
    "si_bsa equity_y1=1\n"
    "si_isa gopinc_12m=5\n"
    "si_isq sales_q1=1\n"
    "si_psd shr_aq1=0\n";

// How a symbol's closes follow the calendar: the index at 1000 + day of month.
enum class Prices { kIndex, kDouble, kInverse, kTriple, kRate };

// Weekday bars from 1 June 2021 to 30 October 2026, leaving out the given days.
std::vector<tc2000::Bar> Bars(Prices kind, const std::set<int32_t>& missing = {}) {
  std::vector<tc2000::Bar> bars;
  for (automation::Date d = DateOf(2021, 6, 1); d.value <= DateOf(2026, 10, 30).value;
       d = automation::AddDays(d, 1)) {
    const int32_t code = helpers::LongFromDate(d);
    if (automation::IsoWeekday(d) > 5 || missing.count(code)) continue;
    const float day = static_cast<float>(automation::SplitDate(d).day);
    const float index = 1000 + day;
    const float close = kind == Prices::kDouble    ? 2 * index
                        : kind == Prices::kInverse ? 1e6f / index
                        : kind == Prices::kTriple  ? 3 * index
                        : kind == Prices::kRate    ? 40 + day
                                                   : index;
    bars.push_back({code, close, close, close, close, 1000});
  }
  return bars;
}

class CalcEVATest : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    if (!UseDataSources({"SIPStatic", "SIPDbf", "Ledra"})) {
      GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    }
    static_ = sources_->Open("SIPStatic");
    dbf_ = sources_->Open("SIPDbf");
    ledra_ = sources_->Open("Ledra");
    static_->Execute("create table si_ci (company_id varchar(10), ticker varchar(10))");
    CreateTable(*static_, "si_bsa", "double precision", "ltdebt_ pref_ equity_", kYears);
    CreateTable(*static_, "si_bsq", "double precision", "ltdebt_ pref_ equity_", "q1 q2 q3 q4 q5");
    CreateTable(*static_, "si_isa", "double precision", "int_ intno_ dep_ gopinc_ inctax_ pti_",
                "12m " + kYears);
    CreateTable(*static_, "si_isq", "double precision", "sales_", "q1");
    CreateTable(*static_, "si_date", "date", "perend_", "q1 q5 " + kYears);
    CreateTable(*dbf_, "si_psd", "double precision", "shr_a", "q1 " + kYears);

    AddCompany("C1", "AAA", kC1Dates + kC1Isq + kC1);
    AddCompany("B'2", "BBB", kB2);
    AddCompany("C3", "CCC", kC3);
    AddCompany("C4", "DDD", kC1Dates + kC1Isq + kC1);  // not active in the price source
    AddCompany("C5", "EEE", kC1Dates + kC1);           // no si_isq row
    AddCompany("C6", "FFF",
               "si_date " + kC1Dates.substr(kC1Dates.find("perend_q5")) + kC1Isq + kC1);
    static_->Execute("insert into si_ci values ('C1', 'GGG')");  // C1 again
    static_->Execute("insert into si_ci values ('C4', 'HHH')");  // C4 again, active this time
  }

  // The price store, made anew; symbols in `left_out` are not in it.
  void MakePrices(const std::set<std::string>& left_out = {}) {
    std::filesystem::remove(tc2000::PriceStore::DefaultPath());
    auto store = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    auto add = [&](const std::string& symbol, std::vector<tc2000::Bar> bars, bool active = true) {
      if (!left_out.count(symbol)) {
        store->ReplaceBars(store->UpsertSecurity(symbol, symbol, active), bars);
      }
    };
    add("SP-500", Bars(Prices::kIndex));
    // No rate from 23 September to 14 October 2024: the first close after 30 September
    // comes 15 days later, one day too late.
    std::set<int32_t> gap;
    for (int32_t code = 20240923; code <= 20241014; ++code) gap.insert(code);
    add("TNX--X", Bars(Prices::kRate, gap));
    for (const char* symbol : {"AAA", "EEE", "FFF", "HHH"}) add(symbol, Bars(Prices::kIndex));
    add("BBB", Bars(Prices::kDouble, {20240315}));
    add("CCC", Bars(Prices::kInverse));
    add("DDD", Bars(Prices::kIndex), false);
    add("GGG", Bars(Prices::kTriple));
    for (const std::string& symbol : extra_symbols_) add(symbol, Bars(Prices::kIndex));
  }

  // Columns stem + period for every stem and period (blank-separated lists).
  static void CreateTable(ado::Connection& db, const std::string& table, const std::string& type,
                          const std::string& stems, const std::string& periods) {
    std::string sql = "create table " + table + " (company_id varchar(10)";
    std::istringstream stem_words(stems);
    for (std::string stem; stem_words >> stem;) {
      std::istringstream period_words(periods);
      for (std::string period; period_words >> period;) sql += ", " + stem + period + " " + type;
    }
    db.Execute(sql + ")");
  }

  void AddCompany(const std::string& company_id, const std::string& ticker,
                  const std::string& rows) {
    static_->Execute("insert into si_ci values (?, ?)", {Variant(company_id), Variant(ticker)});
    std::istringstream lines(rows);
    for (std::string line; std::getline(lines, line);) {
      std::istringstream words(line);
      std::string table, columns = "company_id", marks = "?";
      words >> table;
      std::vector<Variant> values{Variant(company_id)};
      for (std::string word; words >> word;) {
        const size_t eq = word.find('=');
        const std::string value = word.substr(eq + 1);
        columns += ", " + word.substr(0, eq);
        marks += ", ?";
        if (value.size() == 10 && value[4] == '-') {
          values.push_back(DateOf(std::stoi(value.substr(0, 4)), std::stoi(value.substr(5, 2)),
                                  std::stoi(value.substr(8, 2))));
        } else {
          values.push_back(std::strtod(value.c_str(), nullptr));
        }
      }
      (table == "si_psd" ? dbf_ : static_)
          ->Execute("insert into " + table + " (" + columns + ") values (" + marks + ")", values);
    }
  }

  // The stored rows by unpadded company_id and period.
  using StoredRow = std::map<std::string, Variant>;
  std::map<std::pair<std::string, std::string>, StoredRow> StoredRows() {
    auto rows = helpers::OpenRecordset(ledra_, "select * from si_eva");
    std::map<std::pair<std::string, std::string>, StoredRow> result;
    for (; !rows->EOF_(); rows->MoveNext()) {
      StoredRow row;
      for (int32_t i = 0; i < rows->FieldCount(); ++i) row[rows->FieldName(i)] = rows->Field(i);
      result[{Unpadded(row.at("company_id")), Unpadded(row.at("period"))}] = row;
    }
    return result;
  }

  inline static const std::string kYears = "y1 y2 y3 y4 y5 y6 y7";
  std::vector<std::string> extra_symbols_;  // more companies' symbols, priced as the index
  std::shared_ptr<ado::Connection> static_, dbf_, ledra_;
};

constexpr const char* kFigureColumns[] = {
    "leva",      "ueva",      "mrp",      "rfr",      "beta", "evaequity", "totcap",
    "evalnopat", "evaunopat", "interest", "coe_rate", "coe",  "coc",       "coc_rate",
    "lroc",      "uroc",      "lpi",      "upi",      "evavi"};

TEST_P(CalcEVATest, ComputesTheHandBuiltWorld) {
  MakePrices();
  auto tasks = std::make_shared<testing_support::RecordingTasks>();
  CalcEVA(tasks);

  // Worked out by hand. The index closes at 1000 + day of month, AAA and HHH with it, BBB at
  // twice it, CCC at 10^6 / it (betas 1, 1, −1); the rate closes at 40 + day of month.
  //
  // C1 12m: debt = (240+245+255+260)/4 = 250, pref 10, equity −200, totcap 60; interest
  // 20+10 = 30; rfr at Monday 30 June 2025 (q5 is a Sunday) = 70/1000; coe_rate =
  // 1·0.07+0.07 = 0.14; coe = −28; coc = 2; coc_rate = 2/60·100 = 3.33; t = 30/120 = 0.25;
  // evaunopat = (21+577.4+30)·0.75 + 21·0.25 = 476.55; evalnopat = 30·0.25 + 476.55 =
  // 484.05; leva 482.05, ueva 474.55; lroc 484.05/60 = 8.0675, uroc 7.9425; lpi
  // 8.0675/3.3333 = 2.42, upi 2.38; evavi = (0.5·1030 − 60)/60 = 7.58.
  // C1 y1: capital of y2: 30 + 0 + 90 = 120; interest 2 (intno Null); rfr 71/1000 (31 Dec
  // 2024); coe_rate 0.141 (stored 0.14), coe = 0.141·90 = 12.69, coc 14.69, coc_rate 12.24;
  // t 0.4: evaunopat = 112·0.6 + 4 = 71.2, evalnopat 72; evavi = (0.25·1031 − 120)/120.
  // B'2 12m: capital 100 + 0 + 200; interest 15; rfr 71/1000; coe 0.141·200 = 28.2;
  // coc 43.2 → 14.4 %; t 0.2: evaunopat = 115·0.8 + 4 = 96, evalnopat 99; evavi =
  // (2062 − 300)/300. B'2 y1: no rate within 14 days of 30 Sep 2024: rfr 0, coe_rate 0.07.
  // B'2 y2 is skipped (a day missing from its prices). B'2 y3: perend a Saturday, so the
  // price is Monday's (2·1002); capital 70 + 0 + 100; t = 0 makes evalnopat = evaunopat =
  // 8 + 30 + 5 = 43. B'2 y4: no capital, so coe 0, coc = interest 3 and every ratio 0.
  // C3 12m: |−1|·0.07 + 0.07 = 0.14; coe 1.4 on equity 10; no shares: evavi −1.
  struct ExpectedRow {
    const char* company_id;
    const char* period;
    automation::Date perend;
    double figures[19];  // in the order of kFigureColumns
  };
  const ExpectedRow expected[] = {
      {"C1",
       "12m",
       DateOf(2026, 6, 30),
       {482.05, 474.55, 0.07, 0.07, 1, -200, 60, 484.05, 476.55, 30, 0.14, -28, 2, 3.33, 8.07, 7.94,
        2.42, 2.38, 7.58}},
      {"C1",
       "y1",
       DateOf(2025, 12, 31),
       {57.31, 56.51, 0.07, 0.071, 1, 90, 120, 72, 71.2, 2, 0.14, 12.69, 14.69, 12.24, 0.6, 0.59,
        0.05, 0.05, 1.15}},
      {"B'2",
       "12m",
       DateOf(2026, 3, 31),
       {55.8, 52.8, 0.07, 0.071, 1, 200, 300, 99, 96, 15, 0.14, 28.2, 43.2, 14.4, 0.33, 0.32, 0.02,
        0.02, 5.87}},
      {"B'2",
       "y1",
       DateOf(2025, 9, 30),
       {45.2, 43.95, 0.07, 0, 1, 140, 200, 60, 58.75, 5, 0.07, 9.8, 14.8, 7.4, 0.3, 0.29, 0.04,
        0.04, 9.3}},
      {"B'2",
       "y3",
       DateOf(2023, 9, 30),
       {24, 24, 0.07, 0.07, 1, 100, 170, 43, 43, 5, 0.14, 14, 19, 11.18, 0.25, 0.25, 0.02, 0.02,
        3.72}},
      {"B'2",
       "y4",
       DateOf(2022, 9, 30),
       {21, 20.4, 0.07, 0.07, 1, 0, 0, 24, 23.4, 3, 0.14, 0, 3, 0, 0, 0, 0, 0, 0}},
      {"C3",
       "12m",
       DateOf(2026, 6, 30),
       {3.6, 3.6, 0.07, 0.07, -1, 10, 10, 5, 5, 0, 0.14, 1.4, 1.4, 14, 0.5, 0.5, 0.04, 0.04, -1}},
  };

  auto rows = StoredRows();
  // C4 came first under DDD, not active; HHH, with C1's statements and prices, gives it C1's
  // rows. No rows for C5 (no si_isq row) or C6 (no perend_q1); C1 once, though GGG has it too.
  for (const char* period : {"12m", "y1"}) {
    auto c4 = rows.extract({"C4", period});
    ASSERT_FALSE(c4.empty()) << period;
    c4.mapped()["company_id"] = rows.at({"C1", period}).at("company_id");
    EXPECT_EQ(c4.mapped(), rows.at({"C1", period})) << period;
  }
  std::set<std::pair<std::string, std::string>> keys, expected_keys;
  for (const auto& [key, row] : rows) keys.insert(key);
  for (const ExpectedRow& e : expected) expected_keys.insert({e.company_id, e.period});
  EXPECT_EQ(keys, expected_keys);
  for (const ExpectedRow& e : expected) {
    if (!rows.count({e.company_id, e.period})) continue;
    const StoredRow& row = rows.at({e.company_id, e.period});
    const std::string where = std::string(e.company_id) + " " + e.period;
    EXPECT_EQ(automation::CDate(row.at("perend")).value, e.perend.value) << where;
    for (size_t k = 0; k < std::size(kFigureColumns); ++k) {
      EXPECT_NEAR(automation::CDbl(row.at(kFigureColumns[k])), e.figures[k], 1e-9)
          << where << " " << kFigureColumns[k];
    }
  }

  EXPECT_EQ(tasks->statuses.back(),
            "EVA Update Done. 1 ticker skipped: its company_id was calculated under another "
            "ticker.");
  EXPECT_TRUE(tasks->Said("Skipping GGG: company C1 was calculated for AAA"));
  for (const char* quiet : {"DDD", "EEE", "FFF"}) {
    EXPECT_FALSE(tasks->Said(std::string("Calculating EVA for ") + quiet)) << quiet;
  }
  EXPECT_EQ(tasks->done, 1);
  EXPECT_EQ(tasks->bar->max(), 10);   // 8 tickers + 2
  EXPECT_EQ(tasks->bar->value(), 9);  // one step per ticker from 1
  EXPECT_FALSE(tasks->bar->visible());
  EXPECT_NE(testing_support::ErrorNumberOf([&] {  // the unique index is in place
              ledra_->Execute("insert into si_eva (company_id, period) values ('C3', '12m')");
            }),
            0);
}

// A run without its inputs as a whole ends before it touches si_eva, naming what is missing;
// a company missing only some of its own prices still gets its other rows (B'2 above).
TEST_P(CalcEVATest, ARunWithoutItsInputsKeepsThePreviousTable) {
  MakePrices();
  CalcEVA(std::make_shared<testing_support::RecordingTasks>());
  const auto before = StoredRows();
  ASSERT_EQ(before.size(), 9u);

  struct Case {
    const char* what;
    std::set<std::string> left_out;  // from the price store
    const char* emptied;             // a table of SIPStatic, emptied for the case
    const char* named;               // in the error's text
  };
  const Case cases[] = {
      {"no index", {"SP-500"}, nullptr, "SP-500"},
      {"no rate", {"TNX--X"}, nullptr, "TNX--X"},
      {"neither", {"SP-500", "TNX--X"}, nullptr, "SP-500"},
      {"no companies", {}, "si_ci", "si_ci has no companies"},
      {"no period dates", {}, "si_date", "no company of si_ci could be calculated"},
  };
  for (const Case& c : cases) {
    MakePrices(c.left_out);
    if (c.emptied) {
      static_->Execute(std::string("create table kept as select * from ") + c.emptied);
      static_->Execute(std::string("delete from ") + c.emptied);
    }
    auto tasks = std::make_shared<testing_support::RecordingTasks>();
    try {
      CalcEVA(tasks);
      ADD_FAILURE() << c.what << ": the run did not fail";
    } catch (const automation::Error& e) {
      EXPECT_EQ(e.Number(), automation::err::kInvalidArgument) << c.what;
      EXPECT_NE(e.Description().find(c.named), std::string::npos) << c.what << ": " << e.what();
      EXPECT_NE(e.Description().find("si_eva is left as it was"), std::string::npos) << c.what;
    }
    EXPECT_EQ(tasks->done, 0) << c.what;
    EXPECT_EQ(StoredRows(), before) << c.what;
    if (c.emptied) {
      static_->Execute(std::string("insert into ") + c.emptied + " select * from kept");
      static_->Execute("drop table kept");
    }
  }

  // An index the price source knows but does not trade counts as missing too.
  MakePrices();
  tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath())
      ->UpsertSecurity("SP-500", "SP-500", false);
  EXPECT_EQ(testing_support::ErrorNumberOf(
                [&] { CalcEVA(std::make_shared<testing_support::RecordingTasks>()); }),
            automation::err::kInvalidArgument);
  EXPECT_EQ(StoredRows(), before);
}

// The figures are computed before the system database is written to: while a run works
// through a few hundred companies, a note saved through another connection, which gives up
// after a second of waiting for a lock, goes in, and the previous table can be read.
TEST_P(CalcEVATest, OtherWritersAreNotHeldUpWhileTheFiguresAreComputed) {
  for (int i = 0; i < 300; ++i) {
    const std::string ticker = fmt::format("T{:03}", i);
    extra_symbols_.push_back(ticker);
    AddCompany(fmt::format("X{:03}", i), ticker, kC1Dates + kC1Isq + kC1);
  }
  MakePrices();
  CalcEVA(std::make_shared<testing_support::RecordingTasks>());
  const size_t rows_before = StoredRows().size();
  ASSERT_EQ(rows_before, 9u + 2 * 300);
  auto creator = automation::CreateObject("Thalmere.StockNote");
  creator->CallWith("CreateTable", ledra_);

  auto tasks = std::make_shared<testing_support::RecordingTasks>();
  int32_t note_error = -1;
  double rows_seen = -1;
  tasks->bar->on_value = [&](int32_t value) {
    if (value != 150) return;  // half way through the companies
    auto other = sources_->Open("Ledra");
    other->Execute(GetParam() == TestEngine::kSqlite ? "PRAGMA busy_timeout = 1000"
                                                     : "SET lock_timeout = '1s'");
    note_error = testing_support::ErrorNumberOf([&] {
      auto note = automation::CreateObject("Thalmere.StockNote");
      note->Let("CompanyId", Variant("X007"));
      note->Let("Symbol", Variant("T007"));
      note->Let("NoteText", Variant("saved during the run"));
      note->CallWith("Save", other);
      rows_seen = automation::CDbl(
          helpers::OpenRecordset(other, "select count(*) as n from si_eva")->Field("n"));
    });
  };
  CalcEVA(tasks);

  EXPECT_EQ(note_error, 0);
  EXPECT_EQ(rows_seen, static_cast<double>(rows_before));
  EXPECT_EQ(tasks->done, 1);
  EXPECT_EQ(StoredRows().size(), rows_before);
  const auto notes = helpers::OpenRecordset(ledra_, "select notetext from stocknotes");
  ASSERT_EQ(notes->RecordCount(), 1);
  EXPECT_EQ(automation::CStr(notes->Field("notetext")), "saved during the run");
}

TEST_P(CalcEVATest, AFailedRunLeavesThePreviousTable) {
  MakePrices();
  CalcEVA(std::make_shared<testing_support::RecordingTasks>());
  const auto before = StoredRows();
  ASSERT_EQ(before.size(), 9u);

  // The second company's value index now leaves the Single range (3·10^38 shares at 2062),
  // after the first company's rows are in: that company is left out, the run goes on.
  dbf_->Execute("update si_psd set shr_aq1 = 3e38 where company_id = 'B''2'");
  auto tasks = std::make_shared<testing_support::RecordingTasks>();
  CalcEVA(tasks);
  EXPECT_TRUE(tasks->Said("Calculating EVA for BBB"));
  EXPECT_EQ(tasks->statuses.back(),
            "EVA Update Done. 1 ticker skipped: its company_id was calculated under another "
            "ticker. 1 company could not be calculated.");
  const auto without = StoredRows();
  for (const auto& [key, row] : before) {
    EXPECT_EQ(without.count(key), key.first == "B'2" ? 0u : 1u) << key.first << " " << key.second;
  }

  // A run whose last statement fails (the index name is taken by a table) keeps the table
  // it found.
  dbf_->Execute("update si_psd set shr_aq1 = 2 where company_id = 'B''2'");
  ledra_->Execute("drop index si_EVAMain");
  ledra_->Execute("create table si_EVAMain (x int)");
  auto failing = std::make_shared<testing_support::RecordingTasks>();
  EXPECT_NE(testing_support::ErrorNumberOf([&] { CalcEVA(failing); }), 0);
  EXPECT_EQ(failing->done, 0);
  EXPECT_EQ(StoredRows(), without);

  // With the obstacle gone, a run replaces the table: (2·2062 − 300)/300 = 12.75.
  ledra_->Execute("drop table si_EVAMain");
  CalcEVA(std::make_shared<testing_support::RecordingTasks>());
  EXPECT_NEAR(automation::CDbl(StoredRows().at({"B'2", "12m"}).at("evavi")), 12.75, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Engines, CalcEVATest, testing_support::BothEngines(),
                         testing_support::EngineParamName());

}  // namespace
}  // namespace kestrova
