#include "tools/PriceImport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "platform/automation/DateTime.h"
#include "platform/tests/TestClock.h"
#include "platform/tests/TestEnvironment.h"

namespace tools {
namespace {

class PriceImportTest : public ::testing::Test {
 protected:
  PriceImportTest() { std::filesystem::create_directories(folder_); }

  void Write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ / name, std::ios::binary) << text;
  }
  std::string File(const std::string& name) const { return (folder_ / name).string(); }

  PriceImportSummary Import(const PriceImportOptions& options = {}) {
    messages_.str("");
    auto store = tc2000::PriceStore::OpenForWriting(store_path_);
    return ImportPrices(folder_, *store, messages_, options);
  }
  std::string Messages() const { return messages_.str(); }

  std::unique_ptr<tc2000::PriceStore> Store() {
    return tc2000::PriceStore::OpenForReading(store_path_);
  }
  // The bars of a symbol, oldest first.
  std::vector<tc2000::Bar> Bars(const std::string& symbol) {
    auto store = Store();
    std::vector<tc2000::Bar> bars = store->LatestBars(store->WordenNumFromSymbol(symbol), 100000);
    std::reverse(bars.begin(), bars.end());
    return bars;
  }
  std::vector<int32_t> Dates(const std::string& symbol) {
    std::vector<int32_t> dates;
    for (const tc2000::Bar& bar : Bars(symbol)) dates.push_back(bar.date);
    return dates;
  }

  testing_support::ScopedTempHome home_;
  // Today is Friday 28 June 2024, in the afternoon.
  testing_support::ScopedClock clock_{
      automation::Date{automation::DateOf(2024, 6, 28).value + 0.65}};
  std::filesystem::path folder_ = home_.root() / "csv";
  std::filesystem::path store_path_ = home_.root() / "store" / "tc2000.db";
  std::ostringstream messages_;
};

constexpr const char* kHeader = "Date,Open,High,Low,Close,Adj Close,Volume\n";

TEST_F(PriceImportTest, ReportsBadLinesWithFileAndLineAndSkipsThem) {
  struct Case {
    const char* line;
    const char* reason;
  };
  const std::vector<Case> cases{
      {"2024-01-03,null,11,9,10,10,100", "Open is null"},
      {"2024-01-04,10,11,9,10,10", "6 fields where the header has 7"},
      {"2024-01-05,10,11,9,,10,100", "missing Close"},
      {"2024-02-30,10,11,9,10,10,100", "bad date \"2024-02-30\""},
      {"Jan 5 2024,10,11,9,10,10,100", "bad date"},
      {"2024-01-02,10,11,9,10,10,100", "duplicate date 2024-01-02 (first on line 2)"},
      {"2024-01-08,10,9,11,10,10,100", "High 9 is below Low 11"},
      {"2024-01-09,10,11,9,1O,10,100", "Close is not a number: \"1O\""},
      {"2024-01-10,-10,11,9,10,10,100", "Open \"-10\" is out of range"},
      {"2024-01-11,10,11,9,10,10,-5", "Volume \"-5\" is negative"},
      {"2024-01-12,10,11,9,10,10,1e3x", "Volume is not a number"},
      {"2024-01-16,\"10,11,9,10,10,100", "a quoted field is not closed"},
      {"2024-01-18,10,11,0,10,10,100", "Low \"0\" is out of range"},
      {"2024-01-19,10,3e38,9,10,10,100", "High \"3e38\" is out of range"},
      {"2024-01-22,10,11,9,1e-50,10,100", "Close \"1e-50\" is out of range"},
      {"2024-01-23,10,11,9,nan,10,100", "Close is not a number: \"nan\""},
      {"2024-01-24,10,inf,9,10,10,100", "High is not a number: \"inf\""},
      {"2024-01-25,12,11,9,10,10,100", "Open 12 is outside Low 9 .. High 11"},
      {"2024-01-26,10,11,9,8.5,10,100", "Close 8.5 is outside Low 9 .. High 11"},
      {"2024-07-01,10,11,9,10,10,100", "date 2024-07-01 is after today"},
  };
  std::string text = std::string(kHeader) + "2024-01-02,10,11,9,10.5,10.4,1000\n";
  for (const Case& c : cases) text += std::string(c.line) + "\n";
  text += "2024-06-28,12,13,11,12.5,12.4,2000\n";  // today
  Write("aaa.csv", text);

  const PriceImportSummary summary = Import({.accept_bad_lines = true});
  EXPECT_EQ(summary.bad_lines, static_cast<int32_t>(cases.size()));
  EXPECT_EQ(summary.price_files, 1);
  EXPECT_EQ(summary.bars, 2);
  EXPECT_FALSE(summary.Failed());
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string expected =
        File("aaa.csv") + ":" + std::to_string(i + 3) + ": " + cases[i].reason;
    EXPECT_NE(Messages().find(expected), std::string::npos) << expected << "\n" << Messages();
  }
  EXPECT_EQ(Dates("AAA"), (std::vector<int32_t>{20240102, 20240628}));
}

// A price file in which more than a tenth of the data lines are bad is refused as a whole
// and the stored bars stay, unless bad lines are accepted.
TEST_F(PriceImportTest, RefusesAFileWithTooManyBadLines) {
  struct Case {
    int good, bad;
    bool imported;
  };
  const Case cases[] = {
      {1, 20, false}, {9, 1, true}, {8, 1, false}, {18, 2, true}, {18, 3, false}, {5, 0, true},
  };
  auto file_with = [](int good, int bad) {
    std::string text = kHeader;
    for (int k = 0; k < good + bad; ++k) {
      const std::string day = fmt::format("2024-03-{:02}", k + 1);
      text += day + (k < bad ? ",10,11,9,10,10,-1\n" : ",20,21,19,20,20,100\n");
    }
    return text;
  };
  const std::string old_bars = std::string(kHeader) + "2023-01-03,10,11,9,10,10,100\n";
  for (const Case& c : cases) {
    const std::string label = std::to_string(c.good) + " good, " + std::to_string(c.bad) + " bad";
    Write("OLD.csv", old_bars);
    ASSERT_FALSE(Import().Failed()) << Messages();
    Write("OLD.csv", file_with(c.good, c.bad));
    const PriceImportSummary summary = Import();
    EXPECT_EQ(summary.bad_lines, c.bad) << label;
    if (c.imported) {
      EXPECT_FALSE(summary.Failed()) << label << "\n" << Messages();
      EXPECT_EQ(Dates("OLD").size(), static_cast<size_t>(c.good)) << label;
      continue;
    }
    EXPECT_TRUE(summary.Failed()) << label;
    EXPECT_EQ(summary.price_files, 0) << label;
    const std::string expected =
        File("OLD.csv") + fmt::format(
                              ": {} of {} data lines are bad (more than a tenth); the "
                              "bars of OLD are unchanged",
                              c.bad, c.good + c.bad);
    EXPECT_NE(Messages().find(expected), std::string::npos) << expected << "\n" << Messages();
    EXPECT_EQ(Dates("OLD"), (std::vector<int32_t>{20230103})) << label;

    // Accepted, the good lines replace the stored bars.
    const PriceImportSummary accepted = Import({.accept_bad_lines = true});
    EXPECT_FALSE(accepted.Failed()) << label << "\n" << Messages();
    EXPECT_EQ(accepted.bars, c.good) << label;
    EXPECT_EQ(Dates("OLD").size(), static_cast<size_t>(c.good)) << label;
  }
}

TEST_F(PriceImportTest, ReadsTheCommonLayouts) {
  struct Case {
    const char* symbol;
    const char* text;
  };
  const std::vector<Case> cases{
      {"ADJ", "Date,Open,High,Low,Close,Adj Close,Volume\n2024-03-01,10,11,9,10.5,99,1234\n"},
      {"NOADJ", "Date,Open,High,Low,Close,Volume\r\n2024-03-01,10,11,9,10.5,1234\r\n"},
      {"ORDER", "volume,CLOSE,date,low,High,open\n1234,10.5,2024-03-01,9,11,10\n"},
      {"COMPACT",
       "\xEF\xBB\xBF"
       "Date,Open,High,Low,Close,Volume\n20240301,10,11,9,10.5,1234.0\n"},
      {"USDATE", "Date,Open,High,Low,Close,Volume\n3/1/2024,\"10\",11,9,10.50,1234\n\n"},
  };
  for (const Case& c : cases) Write(std::string(c.symbol) + ".csv", c.text);
  const PriceImportSummary summary = Import();
  EXPECT_EQ(summary.price_files, static_cast<int32_t>(cases.size())) << Messages();
  EXPECT_EQ(summary.bad_lines, 0) << Messages();
  for (const Case& c : cases) {
    const std::vector<tc2000::Bar> bars = Bars(c.symbol);
    ASSERT_EQ(bars.size(), 1u) << c.symbol;
    EXPECT_EQ(bars[0].date, 20240301) << c.symbol;
    EXPECT_EQ(bars[0].open, 10.0f) << c.symbol;
    EXPECT_EQ(bars[0].high, 11.0f) << c.symbol;
    EXPECT_EQ(bars[0].low, 9.0f) << c.symbol;
    EXPECT_EQ(bars[0].close, 10.5f) << c.symbol;
    EXPECT_EQ(bars[0].volume, 1234) << c.symbol;
  }
  // A security that securities.csv did not name is added under its symbol, active.
  auto store = Store();
  const auto security = store->FindSecurity(store->WordenNumFromSymbol("usdate"));
  ASSERT_TRUE(security.has_value());
  EXPECT_EQ(security->name, "USDATE");
  EXPECT_TRUE(security->active);
}

TEST_F(PriceImportTest, SortsBarsAndClampsHugeVolumes) {
  Write("NEWEST.csv", std::string(kHeader) +
                          "2024-01-04,10,11,9,10,10,3000000000\n"
                          "2024-01-03,10,11,9,10,10,2147483647\n"
                          "2024-01-02,10,11,9,10,10,0\n");
  const PriceImportSummary summary = Import();
  EXPECT_EQ(summary.clamped_volumes, 1);
  EXPECT_EQ(summary.bad_lines, 0);
  EXPECT_NE(
      Messages().find(File("NEWEST.csv") + ":2: volume 3000000000 is beyond the 32-bit range"),
      std::string::npos)
      << Messages();
  const std::vector<tc2000::Bar> bars = Bars("NEWEST");
  ASSERT_EQ(bars.size(), 3u);
  EXPECT_EQ(bars[0].date, 20240102);
  EXPECT_EQ(bars[2].date, 20240104);
  EXPECT_EQ(bars[2].volume, 2147483647);
}

TEST_F(PriceImportTest, SkipsFilesThatCannotBeImportedAndSaysSo) {
  Write("GOOD.csv", std::string(kHeader) + "2024-01-02,10,11,9,10,10,100\n");
  Write("NOHEAD.csv", "2024-01-02,10,11,9,10,10,100\n");
  Write("NOVOL.csv", "Date,Open,High,Low,Close\n2024-01-02,10,11,9,10\n");
  Write("ALLBAD.csv", std::string(kHeader) + "2024-01-02,null,11,9,10,10,100\n");
  Write("good.CSV", std::string(kHeader) + "2024-01-03,10,11,9,10,10,100\n");
  Write("two words.csv", std::string(kHeader) + "2024-01-02,10,11,9,10,10,100\n");
  Write("notes.txt", "not a price file");

  const PriceImportSummary summary = Import();
  EXPECT_TRUE(summary.Failed());
  EXPECT_EQ(summary.failed_files, 5) << Messages();
  EXPECT_EQ(summary.price_files, 1);
  EXPECT_EQ(Dates("GOOD"), (std::vector<int32_t>{20240102}));
  for (const std::string& expected :
       {File("NOHEAD.csv") + ": no header row Date,Open,High,Low,Close,Volume",
        File("NOVOL.csv") + ": no header row Date,Open,High,Low,Close,Volume (missing Volume)",
        File("ALLBAD.csv") + ": no good bars; the bars of ALLBAD are unchanged",
        File("good.CSV") + ": the bars of GOOD come from GOOD.csv already",
        File("two words.csv") + ": \"two words\" is no symbol"}) {
    EXPECT_NE(Messages().find(expected), std::string::npos) << expected << "\n" << Messages();
  }
  auto store = Store();
  EXPECT_EQ(store->WordenNumFromSymbol("NOHEAD"), 0);
  EXPECT_EQ(store->WordenNumFromSymbol("ALLBAD"), 0);
}

// Makes every insert or update of the store fail, as a full disk would, through a second
// connection, until the object goes.
class FailingWrites {
 public:
  explicit FailingWrites(const std::filesystem::path& path) {
    EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db_,
                       "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                       "'sqlite%'",
                       -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW) {
      tables_.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    }
    sqlite3_finalize(statement);
    for (const std::string& table : tables_) {
      for (const char* event : {"INSERT", "UPDATE"}) {
        Exec("CREATE TRIGGER fail_" + std::string(event) + "_" + table + " BEFORE " + event +
             " ON " + table + " BEGIN SELECT RAISE(ABORT, 'disk full'); END");
      }
    }
  }
  ~FailingWrites() {
    for (const std::string& table : tables_) {
      for (const char* event : {"INSERT", "UPDATE"}) {
        Exec("DROP TRIGGER fail_" + std::string(event) + "_" + table);
      }
    }
    sqlite3_close(db_);
  }

 private:
  void Exec(const std::string& sql) {
    EXPECT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(db_);
  }

  sqlite3* db_ = nullptr;
  std::vector<std::string> tables_;
};

TEST_F(PriceImportTest, AFileThatFailsToWriteLeavesThePreviousBars) {
  Write("OLD.csv",
        std::string(kHeader) + "2024-01-02,10,11,9,10,10,100\n" + "2024-01-03,10,11,9,10,10,100\n");
  Write("chartlists.csv", "List,Type,Symbol\nMine,7,OLD\n");
  ASSERT_FALSE(Import().Failed()) << Messages();

  Write("OLD.csv", std::string(kHeader) + "2024-02-01,20,21,19,20,20,100\n");
  Write("NEW.csv", std::string(kHeader) + "2024-02-01,20,21,19,20,20,100\n");
  Write("chartlists.csv", "List,Type,Symbol\nOther,0,OLD\n");
  {
    FailingWrites failing(store_path_);
    const PriceImportSummary summary = Import();
    EXPECT_EQ(summary.failed_files, 3) << Messages();
    EXPECT_EQ(summary.price_files, 0);
    EXPECT_NE(Messages().find(File("OLD.csv") + ": not stored, the bars of OLD are unchanged"),
              std::string::npos)
        << Messages();
  }
  EXPECT_EQ(Dates("OLD"), (std::vector<int32_t>{20240102, 20240103}));
  auto store = Store();
  EXPECT_EQ(store->WordenNumFromSymbol("NEW"), 0);
  ASSERT_EQ(store->AllChartLists().size(), 1u);
  EXPECT_EQ(store->AllChartLists()[0].name, "Mine");

  const PriceImportSummary again = Import();
  EXPECT_FALSE(again.Failed()) << Messages();
  EXPECT_EQ(Dates("OLD"), (std::vector<int32_t>{20240201}));
}

TEST_F(PriceImportTest, ImportsSecuritiesAndChartListsWithApostrophes) {
  Write("securities.csv",
        "Symbol,Name,Active\n"
        "mc'd,\"McDonnell's Diner, Inc\",Y\n"
        "OLDCO,Old Company,no\n"
        "OLDCO,Old Company Again,yes\n"
        "TRUE,Truthful Corp,maybe\n"
        ",Nameless,1\n"
        "KEEP,,false\n");
  Write("MC'D.csv", std::string(kHeader) + "2024-01-02,10,11,9,10,10,100\n");
  Write("KEEP.csv", std::string(kHeader) + "2024-01-02,10,11,9,10,10,100\n");
  Write("chartlists.csv",
        "List,Type,Symbol\n"
        "Analysts' Picks,0,MC'D\n"
        "Analysts' Picks,0,oldco\n"
        "Empty For Now,7,\n"
        "Analysts' Picks,0,NOPE\n"
        "Analysts' Picks,5,KEEP\n"
        "Odd,seven,KEEP\n"
        "Analysts' Picks,0,KEEP\n"
        "Analysts' Picks,0,KEEP\n"
        "Scan,1,KEEP\n");

  const PriceImportSummary summary = Import();
  EXPECT_FALSE(summary.Failed()) << Messages();
  EXPECT_EQ(summary.securities, 3);
  EXPECT_EQ(summary.chart_lists, 3);
  EXPECT_EQ(summary.list_members, 4);
  const std::string securities = File("securities.csv"), lists = File("chartlists.csv");
  for (const std::string& expected :
       {securities + ":4: OLDCO again (first on line 3)",
        securities + ":5: Active must be 1/0, true/false, yes/no or Y/N, not \"maybe\"",
        securities + ":6: missing Symbol", lists + ":5: unknown symbol \"NOPE\"",
        lists + ":6: list \"Analysts' Picks\" has type 0 (line 2), not 5",
        lists + ":7: Type must be a whole number, not \"seven\"",
        lists + ":9: KEEP is in list \"Analysts' Picks\" already (line 8)"}) {
    EXPECT_NE(Messages().find(expected), std::string::npos) << expected << "\n" << Messages();
  }
  EXPECT_EQ(summary.bad_lines, 7);

  auto store = Store();
  const auto mcd = store->FindSecurity(store->WordenNumFromSymbol("MC'D"));
  ASSERT_TRUE(mcd.has_value());
  EXPECT_EQ(mcd->name, "McDonnell's Diner, Inc");
  EXPECT_TRUE(mcd->active);
  EXPECT_EQ(mcd->bar_count, 1);
  const auto oldco = store->FindSecurity(store->WordenNumFromSymbol("OLDCO"));
  ASSERT_TRUE(oldco.has_value());
  EXPECT_FALSE(oldco->active);
  const auto keep = store->FindSecurity(store->WordenNumFromSymbol("KEEP"));
  ASSERT_TRUE(keep.has_value());
  EXPECT_EQ(keep->name, "KEEP");
  EXPECT_FALSE(keep->active);

  const std::vector<tc2000::ChartList> stored = store->AllChartLists();
  ASSERT_EQ(stored.size(), 3u);
  EXPECT_EQ(stored[0].name, "Analysts' Picks");
  EXPECT_EQ(stored[1].name, "Empty For Now");
  EXPECT_EQ(stored[1].type, 7);
  EXPECT_EQ(stored[2].name, "Scan");
  std::vector<std::string> members;
  for (const tc2000::Security& member : store->ChartListMembers(1))
    members.push_back(member.symbol);
  EXPECT_EQ(members, (std::vector<std::string>{"MC'D", "OLDCO", "KEEP"}));
  EXPECT_TRUE(store->ChartListMembers(2).empty());

  // A second import keeps a stored name that securities.csv leaves empty.
  Write("securities.csv", "Symbol,Name\nMC'D,\n");
  EXPECT_FALSE(Import().Failed()) << Messages();
  EXPECT_EQ(Store()->FindSecurity(mcd->worden)->name, "McDonnell's Diner, Inc");
}

}  // namespace
}  // namespace tools
