#include "platform/ado/Recordset.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ado/Connection.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/tests/AdoTestSupport.h"

namespace ado {
namespace {

using namespace testing_ado;

class RecordsetTest : public AdoEngineTest {};

INSTANTIATE_TEST_SUITE_P(Engines, RecordsetTest, BothEngines(), EngineParamName());

TEST_P(RecordsetTest, RecordCountAndCursorFollowTheRows) {
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

TEST_P(RecordsetTest, ValuesReadBackInTheTypesOfTheirColumns) {
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

TEST_P(RecordsetTest, PaddedCharColumnsMatchUnpaddedSymbols) {
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

TEST_P(RecordsetTest, AddNewWritesTheRowAndShowsWhatTheTableFilledIn) {
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

TEST_P(RecordsetTest, ChangesGoToTheCurrentRowOnly) {
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

TEST_P(RecordsetTest, OnlyOneTableRecordsetsCanChange) {
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

TEST_P(RecordsetTest, DeleteRemovesTheCurrentRow) {
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

TEST_P(RecordsetTest, FieldsAreFoundByNameOrIndex) {
  conn_->Execute("create table f (Price double precision, name varchar(5))");
  conn_->Execute("insert into f values (1.25, 'x')");
  auto rs = Query("select price, name from f");
  EXPECT_EQ(rs->Field("PRICE"), Variant(1.25));
  EXPECT_EQ(rs->Field(1), Variant("x"));
  ExpectError([&] { rs->Field("volume"); }, errors::kItemNotFound, {"volume"});
  ExpectError([&] { rs->Field(2); }, errors::kItemNotFound, {"2"});
}

}  // namespace
}  // namespace ado
