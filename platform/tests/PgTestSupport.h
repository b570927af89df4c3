#pragma once

#include <optional>
#include <string>

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

}  // namespace testing_support
