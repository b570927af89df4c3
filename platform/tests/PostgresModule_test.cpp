#include "platform/ado/PostgresModule.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/TestEnvironment.h"

namespace ado {
namespace {

using testing_support::IsMapped;

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
