#include "platform/tests/PgTestSupport.h"

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>

#include <fmt/format.h>

#include "platform/ado/DataSources.h"
#include "platform/ado/Driver.h"
#include "platform/automation/Convert.h"

namespace testing_support {

namespace {

void RunOnServer(const std::string& server, const std::string& sql) {
  std::unique_ptr<ado::Driver> session = ado::OpenPostgres(server);
  session->Run(sql, {});
}

// The same server and user with another database: a URI takes it as a parameter, a
// key=value string as a later keyword, which wins over an earlier one.
std::string WithDatabase(const std::string& server, const std::string& database) {
  if (server.rfind("postgresql://", 0) == 0 || server.rfind("postgres://", 0) == 0) {
    return server + (server.find('?') == std::string::npos ? "?" : "&") + "dbname=" + database;
  }
  return server + " dbname=" + database;
}

}  // namespace

std::optional<std::string> PostgresServer() {
  const char* value = std::getenv("KESTROVA_TEST_PG");
  if (!value) return std::nullopt;
  return std::string(value);
}

ScopedPgDatabase::ScopedPgDatabase(const std::string& server_conninfo) : server_(server_conninfo) {
  std::random_device random;
  name_ = fmt::format("kt_{}_{:08x}", getpid(), random());
  RunOnServer(server_, "CREATE DATABASE " + name_);
  conninfo_ = WithDatabase(server_, name_);
}

ScopedPgDatabase::~ScopedPgDatabase() {
  try {
    // FORCE ends sessions a failed test left behind.
    RunOnServer(server_, "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
  } catch (const std::exception& e) {
    std::cerr << "could not drop test database " << name_ << ": " << e.what() << "\n";
  }
}

std::string EngineName(TestEngine engine) {
  return engine == TestEngine::kSqlite ? "SQLite" : "PostgreSQL";
}

ScopedTestDataSources::ScopedTestDataSources(TestEngine engine,
                                             const std::vector<std::string>& names) {
  if (engine == TestEngine::kSqlite) return;
  const auto server = PostgresServer();
  if (!server) {
    available_ = false;
    return;
  }
  pg_ = std::make_unique<ScopedPgDatabase>(*server);
  std::filesystem::create_directories(ado::DataSourcesFile().parent_path());
  std::ofstream file(ado::DataSourcesFile());
  for (const std::string& name : names) {
    file << "[" << name << "]\ndriver = postgresql\nconninfo = " << pg_->conninfo() << "\n";
  }
}

ScopedTestDataSources::~ScopedTestDataSources() = default;

std::shared_ptr<ado::Connection> ScopedTestDataSources::Open(const std::string& name) const {
  auto connection = ado::Connection::Create();
  connection->OpenSource(ado::ResolveDataSource(name), true);
  return connection;
}

std::string Unpadded(const automation::Variant& value) {
  std::string text = automation::CStr(value);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool EngineTest::UseDataSources(const std::vector<std::string>& names) {
  sources_ = std::make_unique<ScopedTestDataSources>(GetParam(), names);
  return sources_->available();
}

std::shared_ptr<ado::Connection> EngineTest::Open(const std::string& name) const {
  return sources_->Open(name);
}

}  // namespace testing_support
