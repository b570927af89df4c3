#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/ado/Dialect.h"
#include "platform/ado/PostgresModule.h"
#include "platform/ado/Recordset.h"
#include "platform/ado/SystemDatabase.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/system/Paths.h"
#include "platform/tests/AdoTestSupport.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/TestEnvironment.h"

namespace ado {
namespace {

using namespace testing_ado;

INSTANTIATE_TEST_SUITE_P(Engines, AdoEngineTest,
                         ::testing::Values(Engine::kSqlite, Engine::kPostgres),
                         [](const auto& info) {
                           return info.param == Engine::kSqlite ? "Sqlite" : "Postgres";
                         });

TEST_P(AdoEngineTest, RecordCountAndCursorFollowTheRows) {
  for (int n : {0, 1, 25}) {
    SCOPED_TRACE(n);
    const std::string table = "t" + std::to_string(n);
    conn_->Execute("create table " + table + " (i integer)");
    conn_->BeginTrans();
    for (int i = 0; i < n; ++i) conn_->Execute("insert into " + table + " values (?)", {i});
    conn_->CommitTrans();

    auto rs = Query("select i from " + table + " order by i");
    EXPECT_EQ(rs->RecordCount(), n);
    EXPECT_EQ(rs->EOF_(), n == 0);
    EXPECT_EQ(rs->BOF_(), n == 0);
    int seen = 0;
    for (; !rs->EOF_(); rs->MoveNext()) EXPECT_EQ(rs->Field("I"), Variant(seen++));
    EXPECT_EQ(seen, n);
    ExpectError([&] { rs->MoveNext(); }, errors::kNoCurrentRecord, {});
    ExpectError([&] { rs->Field(0); }, errors::kNoCurrentRecord, {});
    if (n > 1) {
      rs->MoveLast();
      EXPECT_EQ(rs->AbsolutePosition(), n);
      rs->MovePrevious();
      EXPECT_EQ(rs->Field(0), Variant(n - 2));
      rs->MoveFirst();
      rs->MovePrevious();
      EXPECT_TRUE(rs->BOF_());
      EXPECT_EQ(rs->AbsolutePosition(), -1);
    }
  }
}

TEST_P(AdoEngineTest, ValuesReadBackInTheTypesOfTheirColumns) {
  conn_->Execute(
      "create table v (id integer, small smallint, big bigint, r real, d double precision, "
      "n numeric(10,2), b boolean, s varchar(20), dt datetime, day date, bin " +
      Pick("blob", "bytea") + ", missing varchar(5))");
  const Variant when(*automation::MakeDate(2003, 6, 5, 14, 30, 15));
  const Variant day(*automation::MakeDate(2003, 6, 5));
  conn_->Execute(
      "insert into v values (?, ?, ?, ?, ?, ?, true, ?, ?, ?, ?, ?)",
      {Variant(7), Variant(int16_t{3}), Variant(5e9), Variant(1.5f), Variant(0.1), Variant(12.34),
       Variant("hello"), when, day, Bytes({0, 1, 255}), Variant::Null()});

  const Result result = conn_->driver().Run("select * from v", {});
  ASSERT_EQ(result.rows.size(), 1u);
  const std::vector<Variant>& row = result.rows[0];
  const VarType bytes_type = Bytes({}).Type();
  struct Case {
    size_t column;
    Variant value;
    VarType type;
  };
  for (const Case& c :
       {Case{0, Variant(7), VarType::kLong}, Case{1, Variant(int16_t{3}), VarType::kInteger},
        Case{2, Variant(5e9), VarType::kLong},  // too big for a Long
        Case{3, Variant(1.5f), VarType::kSingle}, Case{4, Variant(0.1), VarType::kDouble},
        Case{5, Variant(12.34), VarType::kDouble}, Case{6, Variant(true), VarType::kBoolean},
        Case{7, Variant("hello"), VarType::kString}, Case{8, when, VarType::kDate},
        Case{9, day, VarType::kDate}, Case{10, Bytes({0, 1, 255}), bytes_type},
        Case{11, Variant::Null(), VarType::kString}}) {
    SCOPED_TRACE(result.columns[c.column].name);
    EXPECT_EQ(row[c.column], c.value) << row[c.column].TypeName();
    EXPECT_EQ(result.columns[c.column].type, c.type);
  }

  // A bound date finds its row again.
  EXPECT_EQ(Count("v", "dt = ?", {when}), 1);
  EXPECT_EQ(Count("v", "dt > ?", {day}), 1);
}

TEST_P(AdoEngineTest, PaddedCharColumnsMatchUnpaddedSymbols) {
  conn_->Execute("create table sym (ticker char(8), company varchar(30))");
  conn_->Execute("insert into sym values (?, ?)", {Variant("IBM"), Variant("Big Blue")});

  auto rs = Query("select * from sym where ticker = ?", {Variant("IBM")});
  ASSERT_EQ(rs->RecordCount(), 1);
  EXPECT_EQ(rs->Field("ticker"), Variant(pg() ? "IBM     " : "IBM"));

  // The row is found again by its padded value for a change.
  rs->SetField("company", Variant("International"));
  rs->Update();
  EXPECT_EQ(Count("sym", "company = ?", {Variant("International")}), 1);
}

TEST_P(AdoEngineTest, AddNewWritesTheRowAndShowsWhatTheTableFilledIn) {
  conn_->Execute(Pick("create table items (id integer primary key, ",
                      "create table items (id serial primary key, ") +
                 "name varchar(20), status varchar(10) default 'new', active boolean, "
                 "added datetime)");
  auto rs = Query("items");
  EXPECT_EQ(rs->TableName(), "items");
  EXPECT_TRUE(rs->EOF_());

  const Variant added(*automation::MakeDate(2024, 2, 29, 9, 15));
  rs->AddNew();
  rs->SetField(Variant("name"), Variant("first"));
  rs->SetField(Variant("active"), Variant(true));
  rs->SetField(Variant("added"), added);
  rs->Update();
  const int32_t first_id = CLng(rs->Field("id"));
  EXPECT_GT(first_id, 0);
  EXPECT_EQ(rs->Field("status"), Variant("new"));
  EXPECT_EQ(rs->Field("active"), Variant(true));
  EXPECT_EQ(rs->Field("added"), added);

  rs->AddNew();
  rs->SetField(Variant("name"), Variant("second"));
  rs->MoveFirst();  // a move writes the pending row
  EXPECT_EQ(rs->RecordCount(), 2);
  rs->MoveLast();
  EXPECT_GT(CLng(rs->Field("id")), first_id);

  // The row just added can be changed at once: its stored values came back with it.
  rs->SetField(Variant("status"), Variant("old"));
  rs->Update();
  EXPECT_EQ(Count("items", "status = ?", {Variant("old")}), 1);

  rs->AddNew();
  rs->SetField(Variant("name"), Variant("dropped"));
  rs->CancelUpdate();
  EXPECT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->Field("name"), Variant("second"));
  EXPECT_EQ(Count("items"), 2);
}

TEST_P(AdoEngineTest, ChangesGoToTheCurrentRowOnly) {
  conn_->Execute("create table q (k integer, name varchar(10), v double precision)");
  conn_->Execute(
      "insert into q values (1, 'a', null), (2, 'b', 1.5), (2, 'b', 1.5), (3, 'c', 0.1)");

  auto rs = Query("select * from q where k >= ? order by k", {Variant(1)});
  EXPECT_EQ(rs->TableName(), "q");
  rs->SetField(Variant("v"), Variant(9.5));  // a row found by its Null
  rs->MoveNext();                            // writes the change
  rs->SetField(Variant(1), Variant("x"));    // one of two equal rows
  rs->Update();
  rs->MoveLast();
  rs->SetField(Variant("v"), Variant(0.2));  // a float compared exactly
  rs->Update();
  rs->SetField(Variant("name"), Variant("z"));
  rs->CancelUpdate();
  EXPECT_EQ(rs->Field("name"), Variant("c"));

  EXPECT_EQ(Count("q", "k = 1 and v = 9.5"), 1);
  EXPECT_EQ(Count("q", "name = 'x'"), 1);
  EXPECT_EQ(Count("q", "name = 'b'"), 1);
  EXPECT_EQ(Count("q", "k = 3 and v = 0.2"), 1);

  // A row that another session deleted meanwhile cannot be changed.
  OpenAnother()->Execute("delete from q where k = 3");
  rs->SetField(Variant("name"), Variant("gone"));
  ExpectError([&] { rs->Update(); }, errors::kRowNotLocated, {"q"});
}

TEST_P(AdoEngineTest, OnlyOneTableRecordsetsCanChange) {
  conn_->Execute("create table a (k integer, x integer)");
  conn_->Execute("create table b (k integer, y integer)");
  conn_->Execute("insert into a values (1, 10)");
  conn_->Execute("insert into b values (1, 20)");
  for (const char* sql : {"select * from a join b on a.k = b.k", "select * from a, b",
                          "select * from (select * from a) s",
                          "select k from a union select k from b", "select count(*) + 1 as n"}) {
    SCOPED_TRACE(sql);
    auto rs = Query(sql);
    EXPECT_EQ(rs->TableName(), "");
    ExpectError([&] { rs->SetField(Variant(0), Variant(5)); }, errors::kNotUpdatable, {});
  }
  for (const char* sql : {"select x from a where k = 1", "SELECT * FROM a t ORDER BY k",
                          "select k, (select max(y) from b) as m from a"}) {
    EXPECT_EQ(Query(sql)->TableName(), "a") << sql;
  }
  // Comments and quoted text are read as the engine reads them: what they hold brings in no
  // other table, and what follows them may.
  std::vector<std::string> one_table = {"select * from a where 'x' <> 'join b' -- , b\n",
                                        "select * from a /* , b */ where k = 1"};
  std::vector<std::string> two_tables = {"select * from a /* , b */, b"};
  if (pg()) {
    one_table.push_back("select * from a /* a /* nested */ join b */ where k = 1");
    one_table.push_back("select * from a where 'x' <> E'\\' join b'");
    one_table.push_back("select * from a where 'x' <> $q$ ' join b $q$");
    two_tables.push_back("select * from a /* a /* nested */ */ join b on a.k = b.k");
  }
  for (const std::string& sql : one_table) EXPECT_EQ(Query(sql)->TableName(), "a") << sql;
  for (const std::string& sql : two_tables) EXPECT_EQ(Query(sql)->TableName(), "") << sql;
}

TEST_P(AdoEngineTest, DeleteRemovesTheCurrentRow) {
  conn_->Execute("create table d (k integer)");
  conn_->Execute("insert into d values (1), (2), (3)");
  auto rs = Query("select * from d order by k");
  rs->MoveNext();
  rs->Delete();
  EXPECT_EQ(rs->Field("k"), Variant(3));
  EXPECT_EQ(rs->RecordCount(), 2);
  rs->Delete();
  EXPECT_TRUE(rs->EOF_());
  ExpectError([&] { rs->Delete(); }, errors::kNoCurrentRecord, {});
  EXPECT_EQ(Count("d"), 1);
}

TEST_P(AdoEngineTest, RolledBackWorkLeavesNoTrace) {
  conn_->Execute("create table tx (name varchar(10))");
  auto insert = [&](const char* name) {
    conn_->Execute("insert into tx values (?)", {Variant(name)});
  };
  EXPECT_EQ(conn_->BeginTrans(), 1);
  insert("a");
  EXPECT_EQ(conn_->BeginTrans(), 2);
  insert("b");
  EXPECT_EQ(conn_->BeginTrans(), 3);
  insert("c");
  EXPECT_EQ(conn_->CommitTrans(), 2);  // c now belongs to level 2
  EXPECT_EQ(conn_->RollbackTrans(), 1);
  insert("d");
  EXPECT_EQ(conn_->CommitTrans(), 0);
  EXPECT_EQ(Count("tx"), 2);
  EXPECT_EQ(Count("tx", "name in ('a', 'd')"), 2);

  conn_->BeginTrans();
  insert("e");
  EXPECT_EQ(conn_->RollbackTrans(), 0);
  ExpectError([&] { conn_->CommitTrans(); }, errors::kDatabase, {"without an open transaction"});
  ExpectError([&] { conn_->RollbackTrans(); }, errors::kDatabase, {"transaction"});

  // A connection released in a transaction rolls it back.
  conn_->BeginTrans();
  insert("f");
  conn_.reset();
  conn_ = OpenAnother();
  EXPECT_EQ(Count("tx"), 2);
}

TEST_P(AdoEngineTest, ErrorsCarryTheEngineMessageAndTheStatement) {
  struct Case {
    std::string sql;
    std::string engine_text;
  };
  for (const Case& c :
       {Case{"selec 1", "syntax error"},
        Case{"select * from no_such_table", pg() ? "does not exist" : "no such table"},
        Case{"insert into", pg() ? "syntax error" : "incomplete input"}}) {
    ExpectError([&] { conn_->Execute(c.sql); }, errors::kDatabase,
                {c.engine_text, "[in: " + c.sql + "]"});
    ExpectError([&] { Query(c.sql); }, errors::kDatabase, {c.engine_text});
  }
  // The connection is still usable after a failed statement.
  EXPECT_EQ(CLng(Query("select 1 as one")->Field("one")), 1);
}

TEST_P(AdoEngineTest, OneTextMayHoldSeveralStatements) {
  conn_->Execute("create table m (a integer, b datetime);\n create index m_a on m (a);");
  conn_->Execute("insert into m (a) values (?)", {Variant(1)});
  EXPECT_EQ(Count("m"), 1);
  conn_->Execute("drop index m_a");  // fails unless the second statement ran
  EXPECT_EQ(conn_->Execute("update m set a = 2"), 1);
}

TEST_P(AdoEngineTest, FieldsAreFoundByNameOrIndex) {
  conn_->Execute("create table f (Price double precision, name varchar(5))");
  conn_->Execute("insert into f values (1.25, 'x')");
  auto rs = Query("select price, name from f");
  EXPECT_EQ(rs->Field("PRICE"), Variant(1.25));
  EXPECT_EQ(rs->Field(1), Variant("x"));
  ExpectError([&] { rs->Field("volume"); }, errors::kItemNotFound, {"volume"});
  ExpectError([&] { rs->Field(2); }, errors::kItemNotFound, {"2"});
}

TEST_P(AdoEngineTest, LateBoundCallersOpenByNameAndUseTheMembers) {
  WriteFile(kestrova_system::ConfigDirectory() / "datasources.ini",
            pg() ? "[Ledra]\ndriver = postgresql\nconninfo = " + source_.conninfo + "\n"
                 : "[Ledra]\ndriver = sqlite\npath = " + source_.path + "\n");
  automation::ObjectRef conn = automation::CreateObject("ADODB.Connection");
  conn->CallWith("Open", "ledra");
  EXPECT_EQ(CLng(conn->Get("State")), 1);
  EXPECT_EQ(CStr(conn->Get("ConnectionString")), "Ledra");
  conn->CallWith("Execute", "create table lb (a integer, b varchar(10))");
  EXPECT_EQ(CLng(conn->CallWith("Execute", "insert into lb values (?, ?)", 1, "x")), 1);
  EXPECT_EQ(CLng(conn->CallWith("Execute", "insert into lb values (?, ?)",
                                SafeArray(std::vector<Variant>{Variant(2), Variant("y")}, 0))),
            1);

  automation::ObjectRef rs = automation::CreateObject("ADODB.Recordset");
  rs->CallWith("Open", "select * from lb order by a", conn);
  EXPECT_EQ(CLng(rs->Get("RecordCount")), 2);
  EXPECT_EQ(rs->CallWith("Fields", "b"), Variant("x"));
  Variant name("b");
  rs->Let("Collect", Variant("z"), automation::Args(&name, 1));
  rs->Call("MoveNext");
  EXPECT_EQ(rs->CallWith("Collect", 0), Variant(2));
  rs->Call("MoveNext");
  EXPECT_TRUE(CBool(rs->Get("EOF")));
  rs->Call("Close");
  conn->Call("Close");
  EXPECT_EQ(CLng(conn->Get("State")), 0);
  EXPECT_EQ(Count("lb", "b = 'z'"), 1);
}

TEST(DataSourcesTest, ResolvesNamesFromTheFileOrTheDefaults) {
  struct Case {
    std::string ini;  // empty: no file
    std::string name;
    std::string driver, name_out, path_below_home, conninfo;
  };
  const std::string pg_server = "host=/run/pg port=5433 dbname=ledra";
  for (const Case& c : {
           Case{"", "Ledra", "sqlite", "Ledra", "data/kestrova/Ledra.db", ""},
           Case{"", "ledramaster", "sqlite", "LedraMaster", "data/kestrova/Ledra.db", ""},
           Case{"", "SIPUser", "sqlite", "SIPUser", "data/kestrova/SIPUser.db", ""},
           Case{"[SIPStatic]\ndriver=sqlite\npath=db/static.db\n", "sipstatic", "sqlite",
                "SIPStatic", "config/Kestrova/db/static.db", ""},
           Case{"[Ledra]\ndriver=postgresql\nconninfo=" + pg_server + "\n", "Ledra", "postgresql",
                "Ledra", "", pg_server},
           Case{"[Ledra]\ndriver=postgresql\nconninfo=" + pg_server + "\n", "LedraMaster",
                "postgresql", "LedraMaster", "", pg_server},
           Case{"[ledra]\ndriver=sqlite\npath=/srv/l.db\n[LedraMaster]\ndriver=postgresql\n"
                "conninfo=dbname=postgres\n",
                "LedraMaster", "postgresql", "LedraMaster", "", "dbname=postgres"},
           Case{"[Ledra]\ndriver=SQLite\npath=x.db\n", "LedraMaster", "sqlite", "LedraMaster",
                "config/Kestrova/x.db", ""},
       }) {
    SCOPED_TRACE(c.ini + " / " + c.name);
    testing_support::ScopedTempHome home;
    if (!c.ini.empty()) WriteFile(DataSourcesFile(), c.ini);
    const DataSource source = ResolveDataSource(c.name);
    EXPECT_EQ(EngineName(source.driver), c.driver);
    EXPECT_EQ(source.name, c.name_out);
    EXPECT_EQ(source.conninfo, c.conninfo);
    EXPECT_EQ(source.path,
              c.path_below_home.empty() ? "" : (home.root() / c.path_below_home).string());
  }
}

TEST(DataSourcesTest, ReportsUnknownNamesAndBadEntries) {
  struct Case {
    std::string ini, name;
    std::vector<std::string> parts;
  };
  for (const Case& c : {
           Case{"",
                "Nope",
                {"Data source name not found: 'Nope'", "Ledra, LedraMaster", "datasources.ini"}},
           Case{"[Ledra]\ndriver=odbc\n", "Ledra", {"[Ledra]", "datasources.ini", "'odbc'"}},
           Case{"[Ledra]\npath=x.db\n", "Ledra", {"[Ledra]", "no driver"}},
           Case{"[SIPDbf]\ndriver=sqlite\n", "SIPDbf", {"[SIPDbf]", "no path"}},
           Case{"[SIPDbf]\ndriver=postgresql\n", "SIPDbf", {"[SIPDbf]", "no conninfo"}},
           Case{"not an ini file\n", "Ledra", {"datasources.ini"}},
       }) {
    SCOPED_TRACE(c.ini);
    testing_support::ScopedTempHome home;
    if (!c.ini.empty()) WriteFile(DataSourcesFile(), c.ini);
    ExpectError([&] { ResolveDataSource(c.name); }, errors::kDatabaseConnection, c.parts);
  }
}

TEST(ConnectionTest, MakesDefaultFilesOnFirstUseAndOpensOnlyConfiguredOnesThatExist) {
  testing_support::ScopedTempHome home;
  const std::filesystem::path folder = home.data() / "kestrova";
  auto conn = Connection::OpenDataSource("SIPUser");
  EXPECT_EQ(conn->State(), 1);
  EXPECT_TRUE(std::filesystem::exists(folder / "SIPUser.db"));
  conn->Close();
  ExpectError([&] { conn->Execute("select 1"); }, errors::kConnectionUnusable,
              {"SIPUser", "closed"});
  EXPECT_EQ(Connection::OpenDataSource("sipuser")->State(), 1);
  // Nothing of the making is left beside the file.
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    files.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(files, std::vector<std::string>{"SIPUser.db"});

  // A file that datasources.ini names is the user's to make: a typing error must not leave
  // an empty database behind.
  const std::filesystem::path named = home.root() / "elsewhere" / "static.db";
  WriteFile(DataSourcesFile(), "[SIPStatic]\ndriver=sqlite\npath=" + named.string() + "\n");
  ExpectError([] { Connection::OpenDataSource("SIPStatic"); }, errors::kDatabaseConnection,
              {"'SIPStatic'", named.string(), "does not exist", "kestrova datasources --create"});
  EXPECT_FALSE(std::filesystem::exists(named));
  conn = Connection::Create();
  conn->OpenSource(ResolveDataSource("SIPStatic"), true);
  EXPECT_TRUE(std::filesystem::exists(named));
}

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

TEST_P(AdoEngineTest, CreatesOnlyTheMissingSystemTables) {
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

TEST(DialectTest, AdaptsStatementsForPostgres) {
  struct Case {
    std::string sql, postgres;
  };
  for (const Case& c : {
           Case{"select * from t where a = ? and b = ?", "select * from t where a = $1 and b = $2"},
           Case{"create table t (d DateTime, e datetime2, datetime_x int)",
                "create table t (d timestamp, e datetime2, datetime_x int)"},
           Case{"select 'why?', 'it''s ?', \"odd?col\", ? from t",
                "select 'why?', 'it''s ?', \"odd?col\", $1 from t"},
           Case{"select ? -- really?\n, ? /* what? /* nested? */ still? */ , ?",
                "select $1 -- really?\n, $2 /* what? /* nested? */ still? */ , $3"},
           Case{"select E'\\'?', ?, $$ a ? $$", "select E'\\'?', $1, $$ a ? $$"},
           Case{"select 'unterminated ?", "select 'unterminated ?"},
       }) {
    EXPECT_EQ(ToDialect(c.sql, Engine::kPostgres), c.postgres);
    EXPECT_EQ(ToDialect(c.sql, Engine::kSqlite), c.sql);
  }
}

TEST(DialectTest, ReadsStoredDateTexts) {
  struct Case {
    std::string text;
    std::optional<automation::Date> date;
  };
  for (const Case& c : {
           Case{"2003-06-05", automation::MakeDate(2003, 6, 5)},
           Case{"2003-06-05 14:30:15", automation::MakeDate(2003, 6, 5, 14, 30, 15)},
           Case{"2003-06-05T14:30:15.25+02", automation::MakeDate(2003, 6, 5, 14, 30, 15, 250)},
           Case{"14:30:00", automation::MakeDate(1899, 12, 30, 14, 30)},
           Case{"6/5/2003", automation::MakeDate(2003, 6, 5)},
           Case{"2003-02-30", std::nullopt},
           Case{"infinity", std::nullopt},
       }) {
    EXPECT_EQ(ParseStoredDate(c.text), c.date) << c.text;
  }
}

}  // namespace
namespace {

// Whether a library of that file name (or of a name that starts so) is mapped into this
// process.
bool IsMapped(std::string_view file) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find("/" + std::string(file)) != std::string::npos) return true;
  }
  return false;
}

// A program that only reaches SQLite loads neither libpq nor the PostgreSQL module; the first
// PostgreSQL data source loads both. Run in a fresh process of its own, so that no earlier
// test has loaded them.
TEST(PostgresModuleDeathTest, LoadedByTheFirstPostgresSourceOnly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        testing_support::ScopedTempHome home;
        auto sqlite = Connection::Create();
        sqlite->OpenSource({"Ledra", Engine::kSqlite, (home.data() / "t.db").string(), ""}, true);
        sqlite->Execute("create table t (a integer)");
        sqlite->Close();
        if (IsMapped("libpq.so") || IsMapped(kPostgresModuleFile)) std::_Exit(1);
        if (const std::optional<std::string> server = testing_support::PostgresServer()) {
          auto pg = Connection::Create();
          pg->OpenSource({"Ledra", Engine::kPostgres, "", *server}, false);
          pg->Close();
          if (!IsMapped("libpq.so") || !IsMapped(kPostgresModuleFile)) std::_Exit(2);
        }
        std::_Exit(0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace

}  // namespace ado
