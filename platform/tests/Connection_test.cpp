#include "platform/ado/Connection.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ado/DataSources.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/system/Paths.h"
#include "platform/tests/AdoTestSupport.h"
#include "platform/tests/TestEnvironment.h"

namespace ado {
namespace {

using namespace testing_ado;

class ConnectionTest : public AdoEngineTest {};

INSTANTIATE_TEST_SUITE_P(Engines, ConnectionTest, BothEngines(), EngineParamName());

TEST_P(ConnectionTest, RolledBackWorkLeavesNoTrace) {
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

TEST_P(ConnectionTest, ErrorsCarryTheEngineMessageAndTheStatement) {
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

TEST_P(ConnectionTest, OneTextMayHoldSeveralStatements) {
  conn_->Execute("create table m (a integer, b datetime);\n create index m_a on m (a);");
  conn_->Execute("insert into m (a) values (?)", {Variant(1)});
  EXPECT_EQ(Count("m"), 1);
  conn_->Execute("drop index m_a");  // fails unless the second statement ran
  EXPECT_EQ(conn_->Execute("update m set a = 2"), 1);
}

TEST_P(ConnectionTest, LateBoundCallersOpenByNameAndUseTheMembers) {
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

TEST(ConnectionFilesTest, MakesDefaultFilesOnFirstUseAndOpensOnlyConfiguredOnesThatExist) {
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

}  // namespace
}  // namespace ado
