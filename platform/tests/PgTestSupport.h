#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ado/Connection.h"

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

}  // namespace testing_support
