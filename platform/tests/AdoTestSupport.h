#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Convert.h"
#include "platform/automation/Error.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/TestEnvironment.h"

// What the tests of the data layer share: error checks and a connection on either engine.
namespace ado::testing_ado {

using automation::Error;
using automation::SafeArray;
using automation::Variant;
using automation::VarType;
namespace err = automation::err;

// Runs `action`, which must throw an automation error of that number whose description
// holds every one of `parts`.
template <class F>
inline void ExpectError(F&& action, int32_t number, const std::vector<std::string>& parts) {
  try {
    action();
    ADD_FAILURE() << "no error; expected error " << number;
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), number) << e.Description();
    for (const std::string& part : parts) {
      EXPECT_NE(e.Description().find(part), std::string::npos)
          << "'" << part << "' not in: " << e.Description();
    }
  }
}

inline void WriteFile(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << text;
}

inline Variant Bytes(std::vector<uint8_t> bytes) { return Variant(SafeArray(std::move(bytes), 0)); }

// Every case runs on SQLite and on PostgreSQL: a fresh file, or a fresh database on the
// server named by KESTROVA_TEST_PG. Unlike testing_support::EngineTest, it opens its data
// source directly, without datasources.ini, as the data layer's own tests need. Instances:
//   INSTANTIATE_TEST_SUITE_P(Engines, SomeTest, BothEngines(), EngineParamName());
class AdoEngineTest : public ::testing::TestWithParam<testing_support::TestEngine> {
 protected:
  void SetUp() override {
    if (pg()) {
      const auto server = testing_support::PostgresServer();
      if (!server) GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
      try {
        database_ = std::make_unique<testing_support::ScopedPgDatabase>(*server);
      } catch (const std::exception& e) {
        FAIL() << "KESTROVA_TEST_PG is set, but its server cannot be used: " << e.what();
      }
      source_ = DataSource{"Test", Engine::kPostgres, "", database_->conninfo()};
    } else {
      source_ = DataSource{"Test", Engine::kSqlite, (home_.data() / "test.db").string(), ""};
    }
    conn_ = OpenAnother();
  }

  void TearDown() override {
    conn_.reset();
    database_.reset();
  }

  bool pg() const { return GetParam() == testing_support::TestEngine::kPostgres; }
  std::string Pick(const char* sqlite, const char* postgres) const {
    return pg() ? postgres : sqlite;
  }

  std::shared_ptr<Connection> OpenAnother() {
    auto conn = Connection::Create();
    conn->OpenSource(source_, true);
    return conn;
  }

  std::shared_ptr<Recordset> Query(const std::string& source,
                                   const std::vector<Variant>& params = {}) {
    auto rs = Recordset::Create();
    rs->Open(source, conn_, params);
    return rs;
  }

  int32_t Count(const std::string& table, const std::string& where = "1 = 1",
                const std::vector<Variant>& params = {}) {
    return CLng(
        Query("select count(*) as n from " + table + " where " + where, params)->Field("n"));
  }

  testing_support::ScopedTempHome home_;
  std::unique_ptr<testing_support::ScopedPgDatabase> database_;
  DataSource source_;
  std::shared_ptr<Connection> conn_;
};

using testing_support::BothEngines;
using testing_support::EngineParamName;

}  // namespace ado::testing_ado
