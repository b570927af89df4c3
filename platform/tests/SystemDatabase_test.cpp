#include "platform/ado/SystemDatabase.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/ado/Recordset.h"
#include "platform/tests/AdoTestSupport.h"
#include "platform/tests/TestEnvironment.h"

namespace ado {
namespace {

using namespace testing_ado;

class SystemTablesTest : public AdoEngineTest {};

INSTANTIATE_TEST_SUITE_P(Engines, SystemTablesTest, BothEngines(), EngineParamName());

TEST(SystemDatabaseTest, KnowsTheDefaultPlaces) {
  testing_support::ScopedTempHome home;
  const std::string ledra = (home.data() / "kestrova" / "Ledra.db").string();
  struct Case {
    DataSource source;
    bool default_place, system;
  };
  for (const Case& c : {
           Case{{"Ledra", Engine::kSqlite, ledra, ""}, true, true},
           Case{{"LedraMaster", Engine::kSqlite, ledra, ""}, true, true},
           Case{{"ledra", Engine::kSqlite, (home.data() / "kestrova/./Ledra.db").string(), ""},
                true,
                true},
           Case{{"SIPDbf", Engine::kSqlite, (home.data() / "kestrova" / "SIPDbf.db").string(), ""},
                true,
                false},
           Case{{"SIPDbf", Engine::kSqlite, ledra, ""}, false, false},
           Case{{"Ledra", Engine::kSqlite, (home.root() / "mine.db").string(), ""}, false, true},
           Case{{"Ledra", Engine::kPostgres, "", "dbname=ledra"}, false, true},
           Case{{"Other", Engine::kSqlite, (home.data() / "kestrova" / "Other.db").string(), ""},
                false,
                false},
       }) {
    SCOPED_TRACE(c.source.name + " " + c.source.path);
    EXPECT_EQ(HasDefaultLocation(c.source), c.default_place);
    EXPECT_EQ(IsSystemDatabase(c.source), c.system);
  }
  EXPECT_TRUE(HasDefaultLocation(ResolveDataSource("LedraMaster")));
}

// The system tables as a fresh system database has them: names, and what each one holds.
std::vector<std::string> SystemTableContents(const std::shared_ptr<Connection>& conn) {
  std::vector<std::string> contents;
  for (const SystemTable& table : SystemTables()) {
    auto rs = Recordset::Create();
    rs->Open("select * from " + std::string(table.name), conn);
    std::string text = std::string(table.name) + ":" + std::to_string(rs->RecordCount());
    if (!rs->EOF_()) text += "=" + CStr(rs->Field(0));
    contents.push_back(text);
  }
  return contents;
}

const std::vector<std::string> kFreshSystemTables = {
    "alert:0",    "stocknotes:0", "si_composite:0", "si_eva:0",
    "tc2klist:0", "listmbrs:0",   "nxtlstid:1=1001"};

TEST(SystemDatabaseTest, AFreshSystemDatabaseHasEveryTable) {
  testing_support::ScopedTempHome home;
  // Whichever name the first program opens it by.
  auto master = Connection::OpenDataSource("LedraMaster");
  EXPECT_EQ(SystemTableContents(master), kFreshSystemTables);
  master->Close();

  // Made once, when the file is made: an existing file is left as it is.
  auto ledra = Connection::OpenDataSource("Ledra");
  ledra->Execute("insert into alert (symbol, highprice) values ('ABC', 10)");
  ledra->Execute("drop table si_eva");
  ledra->Close();
  ledra = Connection::OpenDataSource("Ledra");
  auto rs = Recordset::Create();
  rs->Open("select count(*) from sqlite_master where name = 'si_eva'", ledra);
  EXPECT_EQ(CLng(rs->Field(0)), 0);
  rs->Close();

  // Its indexes come with it; the unique one keeps one row per company and period.
  EXPECT_EQ(CreateMissingSystemTables(*ledra), std::vector<std::string>{"si_eva"});
  rs->Open("select lower(name) from sqlite_master where type = 'index' order by 1", ledra);
  std::vector<std::string> indexes;
  for (; !rs->EOF_(); rs->MoveNext()) indexes.push_back(CStr(rs->Field(0)));
  EXPECT_EQ(indexes,
            (std::vector<std::string>{"alertmain", "listmbrsmain", "listmbrssymbol", "notesmain",
                                      "notessymbol", "si_compositemain", "si_compositeticker",
                                      "si_evamain", "tc2klistmain", "tc2klistname"}));
}

TEST_P(SystemTablesTest, CreatesOnlyTheMissingSystemTables) {
  conn_->Execute(
      "create table alert (symbol char(10), highprice numeric(11,2), "
      "lowprice numeric(11,2), aimalert int, emailalert int)");
  conn_->Execute("insert into alert (symbol, highprice) values ('ABC', 10)");
  conn_->Execute(pg() ? "create table \"TC2KLIST\" (x int)" : "create table TC2KLIST (x int)");
  const std::vector<std::string> first = CreateMissingSystemTables(*conn_);
  EXPECT_EQ(first, pg() ? (std::vector<std::string>{"stocknotes", "si_composite", "si_eva",
                                                    "tc2klist", "listmbrs", "nxtlstid"})
                        : (std::vector<std::string>{"stocknotes", "si_composite", "si_eva",
                                                    "listmbrs", "nxtlstid"}));
  EXPECT_EQ(CreateMissingSystemTables(*conn_), std::vector<std::string>{});
  EXPECT_EQ(Count("alert"), 1);  // left alone, rows and all
  EXPECT_EQ(Count("nxtlstid", "listidx = 1001"), 1);
  EXPECT_EQ(conn_->TransactionLevel(), 0);

  // In a fresh database on either engine, every table comes, empty but for nxtlstid's row.
  for (const SystemTable& table : SystemTables()) {
    conn_->Execute("drop table " + std::string(table.name));
  }
  EXPECT_EQ(CreateMissingSystemTables(*conn_).size(), SystemTables().size());
  EXPECT_EQ(SystemTableContents(conn_), kFreshSystemTables);
}

}  // namespace
}  // namespace ado
