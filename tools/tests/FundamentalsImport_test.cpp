#include "tools/FundamentalsImport.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ado/Connection.h"
#include "platform/automation/Convert.h"
#include "platform/automation/DateTime.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/TestEnvironment.h"

namespace tools {
namespace {

using automation::Variant;
namespace fs = std::filesystem;

// Each test imports into the three fundamentals data sources of its own home: SQLite files,
// or all three in one fresh PostgreSQL database.
class FundamentalsImportTest : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    if (!UseDataSources({"SIPStatic", "SIPDbf", "SIPUser"})) {
      GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    }
    fs::create_directories(folder_);
  }

  void Write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ / name, std::ios::binary) << text;
  }
  std::string File(const std::string& name) const { return (folder_ / name).string(); }

  FundamentalsImportSummary Import() {
    messages_.str("");
    return ImportFundamentals(folder_, messages_);
  }
  std::string Messages() const { return messages_.str(); }

  // The rows of a query, each as its values joined by "|": Null as "-", dates as
  // YYYY-MM-DD.
  std::vector<std::string> Rows(const std::string& source, const std::string& sql) {
    std::vector<std::string> rows;
    for (const auto& row : Open(source)->driver().Run(sql, {}).rows) {
      std::string text;
      for (size_t i = 0; i < row.size(); ++i) {
        if (i > 0) text += "|";
        if (row[i].IsNull()) {
          text += "-";
        } else if (row[i].Type() == automation::VarType::kDate) {
          text += automation::IsoDateTimeText(automation::CDate(row[i])).substr(0, 10);
        } else {
          text += automation::CStr(row[i]);
        }
      }
      rows.push_back(text);
    }
    return rows;
  }

  fs::path folder_ = home_.root() / "csv";
  std::ostringstream messages_;
};

INSTANTIATE_TEST_SUITE_P(Engines, FundamentalsImportTest, testing_support::BothEngines(),
                         testing_support::EngineParamName());

TEST_P(FundamentalsImportTest, StoresEachFileInItsTableOnItsSource) {
  // Header names in any case and with blanks; quoted fields with commas, quotes, an
  // apostrophe and a line break; columns the file leaves out stay Null.
  Write("si_ci.csv",
        " Company_ID ,TICKER,company,exchange,business\r\n"
        "C1,OBR,\"O'Brien & Sons, Inc.\",N,\"Makes \"\"things\"\".\nAnd more.\"\r\n"
        "\r\n"
        "C2,ABC,Abc Corp,M,\r\n");
  Write("si_date.csv",
        "company_id,perend_q1,perend_y1,perend_y2\n"
        "C1,2024-03-31,20231231,6/30/2022\n"
        "C2,,,\n");
  Write("si_psd.csv", "company_id,shr_aq1,shr_ay1\nC1,1.5e3,+12.25\nC2,-0.5,\n");
  Write("pfcomp.csv", "pfid,ticker\n2,OBR\n1,ABC\n1,OBR\n");

  const FundamentalsImportSummary summary = Import();
  EXPECT_EQ(Messages(), "");
  EXPECT_FALSE(summary.Failed());
  EXPECT_EQ(summary.rows, 9);
  ASSERT_EQ(summary.tables.size(), 4u);
  EXPECT_EQ(summary.tables[0].table, "si_ci");
  EXPECT_EQ(summary.tables[3].table, "pfcomp");
  EXPECT_EQ(summary.tables[3].source, "SIPUser");

  EXPECT_EQ(
      Rows("SIPStatic",
           "select company_id, ticker, company, exchange, ind_3_dig, business from si_ci "
           "order by company_id"),
      (std::vector<std::string>{"C1|OBR|O'Brien & Sons, Inc.|N|-|Makes \"things\".\nAnd more.",
                                "C2|ABC|Abc Corp|M|-|-"}));
  EXPECT_EQ(Rows("SIPStatic",
                 "select company_id, perend_q1, perend_q5, perend_y1, perend_y2 from si_date "
                 "order by company_id"),
            (std::vector<std::string>{"C1|2024-03-31|-|2023-12-31|2022-06-30", "C2|-|-|-|-"}));
  EXPECT_EQ(Rows("SIPDbf", "select shr_aq1, shr_ay1, shr_ay2 from si_psd order by company_id"),
            (std::vector<std::string>{"1500|12.25|-", "-0.5|-|-"}));
  EXPECT_EQ(Rows("SIPUser", "select pfid, ticker from pfcomp order by pfid, ticker"),
            (std::vector<std::string>{"1|ABC", "1|OBR", "2|OBR"}));
}

TEST_P(FundamentalsImportTest, ReportsBadLinesWithFileAndLineAndSkipsThem) {
  // Each case: a file with a good row on line 2 and a bad one on line 3.
  struct Case {
    const char* table;
    const char* header;
    const char* good;
    std::string bad;
    const char* reason;
  };
  const char* kCi = "company_id,ticker,company,exchange";
  const std::vector<Case> cases{
      {"si_isa", "company_id,sales_12m", "C1,1", "C2,12x", "sales_12m is not a number: \"12x\""},
      {"si_isa", "company_id,sales_12m", "C1,1", "C2,nan", "sales_12m is not a number: \"nan\""},
      {"si_isa", "company_id,sales_12m", "C1,1", "C2,1,5", "3 fields where the header has 2"},
      {"si_date", "company_id,perend_y1", "C1,2024-01-31", "C2,2024-02-30",
       "perend_y1 is not a date (YYYY-MM-DD, YYYYMMDD or M/D/YYYY): \"2024-02-30\""},
      {"si_date", "company_id,perend_y1", "C1,2024-01-31", "C2,31.01.2024",
       "perend_y1 is not a date"},
      {"si_ci", kCi, "C1,X1,One,N", "C2,ABCDEFGHIJK,Two,N",
       "ticker \"ABCDEFGHIJK\" is longer than 10 characters"},
      // PostgreSQL would refuse the whole file for a name beyond its column.
      {"si_ci", kCi, "C1,X1,One,N", "C2,X2," + std::string(81, 'n') + ",N",
       "company \"nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn...\" is longer than 80 characters"},
      {"si_ci", kCi, "C1,X1,One,N", "C2,X2,Two,NYSEX",
       "exchange \"NYSEX\" is longer than 4 characters"},
      {"si_ci", kCi, "C1,X1,One,N", "C2,X2,T\xC3\x28o,N", "company is not UTF-8 text"},
      {"si_ci", kCi, "C1,X1,One,N", ",X2,Two,N", "missing company_id"},
      {"si_ci", kCi, "C1,X1,One,N", "C2,,Two,N", "missing ticker"},
      {"si_ci", kCi, "C1,X1,One,N", "C1,X2,Two,N", "company_id \"C1\" again (first on line 2)"},
      {"si_ci", kCi, "C1,X1,One,N", "C2,X1,Two,N", "ticker \"X1\" again (first on line 2)"},
      {"prtflio", "pfid,portfolio", "1,Mine", "1.5,Yours", "pfid is not a whole number: \"1.5\""},
      {"pfcomp", "pfid,ticker", "1,ABC", "01,ABC",
       "pfid \"1\", ticker \"ABC\" again (first on line 2)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bad);
    const std::string name = std::string(c.table) + ".csv";
    Write(name, std::string(c.header) + "\n" + c.good + "\n" + c.bad + "\n");
    const FundamentalsImportSummary summary = Import();
    fs::remove(folder_ / name);
    EXPECT_FALSE(summary.Failed());
    EXPECT_EQ(summary.bad_lines, 1);
    EXPECT_EQ(summary.rows, 1);
    EXPECT_EQ(Messages().rfind(File(name) + ":3: " + c.reason, 0), 0u) << Messages();
  }
}

TEST_P(FundamentalsImportTest, RefusesAFileItCannotTakeAndKeepsTheOldRows) {
  Write("si_mgdsc.csv", "mg_code,mg_desc\n10,Energy\n101,Oil & Gas\n");
  ASSERT_FALSE(Import().Failed()) << Messages();

  struct Case {
    const char* text;
    const char* reason;
  };
  for (const Case& c : {
           Case{"mg_code,mg_desc\n", "no data rows"},
           Case{"mg_code,mg_desc,x\n\n", "no data rows"},
           Case{"mg_desc\nEnergy\n", "the header lacks the key column mg_code"},
           Case{"mg_code,MG_CODE\n", "the header names mg_code twice"},
           Case{"mg_code,,mg_desc\n", "header column 2 has no name"},
           Case{"", "empty (no header row)"},
           Case{"mg_code,mg_desc\n10,Energy\n11,\"Materials\n12,Utilities\n",
                "line 3: a quoted field is not closed"},
           Case{"mg_code,mg_desc\n10,Energy,x\n,Nothing\n", "no good rows"},
       }) {
    SCOPED_TRACE(c.text);
    Write("si_mgdsc.csv", c.text);
    const FundamentalsImportSummary summary = Import();
    EXPECT_TRUE(summary.Failed());
    EXPECT_EQ(summary.failed_files, 1);
    EXPECT_NE(Messages().find(File("si_mgdsc.csv") + ": "), std::string::npos) << Messages();
    EXPECT_NE(Messages().find(c.reason), std::string::npos) << Messages();
    EXPECT_NE(Messages().find("the rows of si_mgdsc are unchanged"), std::string::npos);
    EXPECT_EQ(Rows("SIPStatic", "select * from si_mgdsc order by mg_code"),
              (std::vector<std::string>{"10|Energy", "101|Oil & Gas"}));
  }
}

TEST_P(FundamentalsImportTest, SkipsFilesNamedAfterNoTableAndImportsTheRest) {
  Write("si_cix.csv", "company_id\nC1\n");
  Write("prices.CSV", "a,b\n");
  Write("notes.txt", "not a table, not a CSV file");
  Write("SI_CI.csv", "company_id,ticker\nC1,ABC\n");
  const FundamentalsImportSummary summary = Import();
  EXPECT_TRUE(summary.Failed());
  EXPECT_EQ(summary.unknown_files, 2);
  EXPECT_EQ(summary.failed_files, 0);
  EXPECT_NE(Messages().find(File("si_cix.csv") + ": \"si_cix\" is no fundamentals table"),
            std::string::npos)
      << Messages();
  EXPECT_EQ(Messages().find("notes.txt"), std::string::npos);
  EXPECT_EQ(Rows("SIPStatic", "select company_id, ticker from si_ci"),
            std::vector<std::string>{"C1|ABC"});
}

TEST_P(FundamentalsImportTest, ReimportReplacesTheRowsOfThatTableOnly) {
  Write("si_ci.csv", "company_id,ticker\nC1,AAA\nC2,BBB\nC3,CCC\n");
  Write("si_mgdsc.csv", "mg_code,mg_desc\n10,Energy\n");
  ASSERT_FALSE(Import().Failed()) << Messages();
  fs::remove(folder_ / "si_mgdsc.csv");

  Write("si_ci.csv", "company_id,company,ticker\nC4,Four,DDD\nC2,Two,BBB\n");
  FundamentalsImportSummary summary = Import();
  EXPECT_FALSE(summary.Failed()) << Messages();
  EXPECT_EQ(Rows("SIPStatic", "select company_id, ticker, company from si_ci order by company_id"),
            (std::vector<std::string>{"C2|BBB|Two", "C4|DDD|Four"}));
  EXPECT_EQ(Rows("SIPStatic", "select * from si_mgdsc"), std::vector<std::string>{"10|Energy"});

  // A header alone is more likely a failed export than a wish for an empty table.
  Write("si_ci.csv", "company_id,ticker\n");
  summary = Import();
  EXPECT_TRUE(summary.Failed());
  EXPECT_TRUE(summary.tables.empty());
  EXPECT_EQ(Messages(), File("si_ci.csv") + ": no data rows; the rows of si_ci are unchanged\n");
  EXPECT_EQ(Rows("SIPStatic", "select company_id from si_ci order by company_id"),
            (std::vector<std::string>{"C2", "C4"}));
}

// A full export carries figures the tables do not keep: their columns are skipped, with one
// line naming the first twenty and the count, and the rest of the file goes in.
TEST_P(FundamentalsImportTest, SkipsColumnsTheTableLacksWithOneWarning) {
  std::string header = "company_id", first = "C1", second = "C2";
  for (int i = 1; i <= 25; ++i) {
    header += ",x" + std::to_string(i);
    first += ",junk";
    second += ",";
    if (i == 3) header += ",sales_y7", first += ",7.5", second += ",1";  // a period nothing reads
    if (i == 10) header += ",Sales_12M", first += ",12.5", second += ",2";
  }
  Write("si_isa.csv", header + "\n" + first + "\n" + second + "\n");
  Write("si_mgdsc.csv", "mg_code,mg_sector,mg_desc\n10,1,Energy\n");
  const FundamentalsImportSummary summary = Import();
  EXPECT_FALSE(summary.Failed()) << Messages();
  EXPECT_EQ(summary.skipped_columns, 26);
  EXPECT_EQ(summary.bad_lines, 0) << Messages();
  std::string names;
  for (int i = 1; i <= 20; ++i) names += (i > 1 ? ", \"x" : "\"x") + std::to_string(i) + "\"";
  EXPECT_EQ(Messages(),
            File("si_mgdsc.csv") +
                ": 1 header name is no column of si_mgdsc and its field is skipped: "
                "\"mg_sector\"\n" +
                File("si_isa.csv") +
                ": 25 header names are no column of si_isa and their fields are skipped: " + names +
                " and 5 more\n");
  EXPECT_EQ(Rows("SIPStatic", "select company_id, sales_12m, sales_y7 from si_isa order by 1"),
            (std::vector<std::string>{"C1|12.5|7.5", "C2|2|1"}));
  EXPECT_EQ(Rows("SIPStatic", "select * from si_mgdsc"), std::vector<std::string>{"10|Energy"});
}

// A table made when the schema had fewer columns gets the missing ones, and its rows are
// replaced as usual; a failed file adds nothing.
TEST_P(FundamentalsImportTest, ATableWithFewerColumnsTakesAFullExport) {
  Open("SIPStatic")->Execute("create table si_date (company_id varchar(10), perend_q1 date)");
  Write("si_date.csv", "company_id,perend_q8\n");
  EXPECT_TRUE(Import().Failed());
  EXPECT_EQ(Open("SIPStatic")->driver().Run("select * from si_date", {}).columns.size(), 2u);

  Write("si_date.csv", "company_id,perend_q1,perend_q8,perend_y7\nC1,2024-03-31,2022-06-30,\n");
  EXPECT_FALSE(Import().Failed()) << Messages();
  EXPECT_EQ(Rows("SIPStatic", "select company_id, perend_q1, perend_q8, perend_y7 from si_date"),
            std::vector<std::string>{"C1|2024-03-31|2022-06-30|-"});
  EXPECT_EQ(Open("SIPStatic")->driver().Run("select * from si_date", {}).columns.size(),
            fundamentals::FindFundamentalsTable("si_date")->columns.size());
}

TEST_P(FundamentalsImportTest, AFailurePartWayLeavesTheOldRows) {
  Write("si_ci.csv", "company_id,ticker,company\nOLD1,O1,Old One\nOLD2,O2,Old Two\n");
  ASSERT_FALSE(Import().Failed()) << Messages();
  // The database refuses one company name; the rows before it have gone in by then (more
  // than one insert statement's worth).
  auto connection = Open("SIPStatic");
  if (pg()) {
    connection->Execute("alter table si_ci add constraint no_boom check (company <> 'BOOM')");
  } else {
    connection->Execute(
        "create trigger no_boom before insert on si_ci when new.company = 'BOOM' "
        "begin select raise(abort, 'no BOOM here'); end");
  }
  connection.reset();

  std::string text = "company_id,ticker,company\n";
  for (int i = 0; i < 1200; ++i)
    text += "N" + std::to_string(i) + ",T" + std::to_string(i) + ",Name\n";
  text += "N9999,BOOM,BOOM\n";
  Write("si_ci.csv", text);
  const FundamentalsImportSummary summary = Import();
  EXPECT_TRUE(summary.Failed());
  EXPECT_EQ(summary.rows, 0);
  EXPECT_TRUE(summary.tables.empty());
  EXPECT_EQ(
      Messages().rfind(File("si_ci.csv") + ": not stored, the rows of si_ci are unchanged: ", 0),
      0u)
      << Messages();
  EXPECT_LT(Messages().size(), 600u);  // the long insert statement is not repeated in full
  EXPECT_EQ(Rows("SIPStatic", "select company_id, company from si_ci order by company_id"),
            (std::vector<std::string>{"OLD1|Old One", "OLD2|Old Two"}));
}

TEST_P(FundamentalsImportTest, ManyRowsGoInWhole) {
  // More rows than one statement takes, with every column of the widest table.
  const fundamentals::FundamentalsTable& table = *fundamentals::FindFundamentalsTable("si_isa");
  std::string text;
  for (const fundamentals::FundamentalsColumn& column : table.columns) {
    text += (text.empty() ? "" : ",") + column.name;
  }
  text += "\n";
  constexpr int kRows = 1234;
  for (int i = 0; i < kRows; ++i) {
    text += "C" + std::to_string(i);
    for (size_t c = 1; c < table.columns.size(); ++c) text += "," + std::to_string(i + c * 0.5);
    text += "\n";
  }
  Write("si_isa.csv", text);
  const FundamentalsImportSummary summary = Import();
  EXPECT_FALSE(summary.Failed()) << Messages();
  EXPECT_EQ(summary.rows, kRows);
  size_t dep = 0;
  while (table.columns[dep].name != "dep_y6") ++dep;
  EXPECT_EQ(
      Rows("SIPStatic", "select count(*), sum(sales_12m), max(dep_y6) from si_isa"),
      std::vector<std::string>{"1234|761378|" + automation::CStr(Variant(kRows - 1 + dep * 0.5))});
}

// A data source that cannot be opened fails its own files; the others go in.
TEST(FundamentalsImportSourceTest, ReportsASourceThatCannotBeOpened) {
  testing_support::ScopedTempHome home;
  fs::create_directories(home.config() / "Kestrova");
  std::ofstream(home.root() / "not-a-folder") << "x";
  std::ofstream(home.config() / "Kestrova" / "datasources.ini")
      << "[SIPDbf]\ndriver = sqlite\npath = " << (home.root() / "not-a-folder" / "dbf.db").string()
      << "\n";
  const fs::path folder = home.root() / "csv";
  fs::create_directories(folder);
  std::ofstream(folder / "si_psd.csv") << "company_id,shr_aq1\nC1,10\n";
  std::ofstream(folder / "si_rat.csv") << "company_id,roe_12m\nC1,10\n";
  std::ofstream(folder / "si_ci.csv") << "company_id,ticker\nC1,ABC\n";

  std::ostringstream messages;
  const FundamentalsImportSummary summary = ImportFundamentals(folder, messages);
  EXPECT_TRUE(summary.Failed());
  EXPECT_EQ(summary.failed_files, 2);
  ASSERT_EQ(summary.tables.size(), 1u);
  EXPECT_EQ(summary.tables[0].table, "si_ci");
  EXPECT_NE(
      messages.str().find((folder / "si_psd.csv").string() + ": Cannot open data source 'SIPDbf'"),
      std::string::npos)
      << messages.str();
}

}  // namespace
}  // namespace tools
