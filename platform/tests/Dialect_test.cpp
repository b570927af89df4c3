#include "platform/ado/Dialect.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/automation/DateTime.h"

namespace ado {
namespace {

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
}  // namespace ado
