#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ado/Connection.h"
#include "platform/tests/TestEnvironment.h"

namespace testing_support {

// The PostgreSQL server that tests may use: KESTROVA_TEST_PG, a libpq connection string of a
// user who may create databases. nullopt when it is not set; tests that need the server are
// skipped then, and fail when it is set but the server cannot be reached.
std::optional<std::string> PostgresServer();

// A fresh, empty database on that server for one test (kt_<random>), dropped with the object.
// The constructor throws automation::Error when the server cannot be reached.
class ScopedPgDatabase {
 public:
  explicit ScopedPgDatabase(const std::string& server_conninfo);
  ~ScopedPgDatabase();
  ScopedPgDatabase(const ScopedPgDatabase&) = delete;
  ScopedPgDatabase& operator=(const ScopedPgDatabase&) = delete;

  const std::string& name() const { return name_; }
  // The server's connection string, leading to the new database.
  const std::string& conninfo() const { return conninfo_; }

 private:
  std::string server_;
  std::string name_;
  std::string conninfo_;
};

// The engine a test's data sources run on, for tests that run on both.
enum class TestEngine { kSqlite, kPostgres };
// "SQLite" or "PostgreSQL", for naming the instances of a parameterised test.
std::string EngineName(TestEngine engine);

// The data sources of one test on one engine: SQLite files in the test's data folder (the
// default without datasources.ini), or, for PostgreSQL, one fresh database that every named
// data source leads to (a datasources.ini in the test's config folder says so). Construct it
// after the test's ScopedTempHome.
class ScopedTestDataSources {
 public:
  ScopedTestDataSources(TestEngine engine, const std::vector<std::string>& names);
  ~ScopedTestDataSources();

  // False for PostgreSQL when KESTROVA_TEST_PG is not set: the test should skip.
  bool available() const { return available_; }
  // A connection to a data source, created (SQLite) when missing.
  std::shared_ptr<ado::Connection> Open(const std::string& name) const;

 private:
  bool available_ = true;
  std::unique_ptr<ScopedPgDatabase> pg_;
};

// The text of a value read from a char(n) column, without the blanks that PostgreSQL pads it
// with (SQLite keeps the text as written).
std::string Unpadded(const automation::Variant& value);

// Both engines, with their names for the instances: a test that runs on both says
//   INSTANTIATE_TEST_SUITE_P(Engines, SomeTest, BothEngines(), EngineParamName());
inline auto BothEngines() { return ::testing::Values(TestEngine::kSqlite, TestEngine::kPostgres); }
struct EngineParamName {
  std::string operator()(const ::testing::TestParamInfo<TestEngine>& info) const {
    return EngineName(info.param);
  }
};

// The base of a test that runs on both engines: its own temporary home (home_), and the data
// sources it names on the instance's engine (sources_). Its SetUp starts with
//   if (!UseDataSources({"Ledra"})) GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
class EngineTest : public ::testing::TestWithParam<TestEngine> {
 protected:
  // Makes the data sources `names` lead to; false when the instance needs PostgreSQL and
  // KESTROVA_TEST_PG is not set. Throws automation::Error when the server cannot be reached.
  bool UseDataSources(const std::vector<std::string>& names);
  // A connection to one of them, created (SQLite) when missing.
  std::shared_ptr<ado::Connection> Open(const std::string& name) const;
  bool pg() const { return GetParam() == TestEngine::kPostgres; }

  ScopedTempHome home_;
  std::unique_ptr<ScopedTestDataSources> sources_;
};

}  // namespace testing_support
