#include "platform/ado/DataSources.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/automation/Error.h"
#include "platform/tests/AdoTestSupport.h"
#include "platform/tests/TestEnvironment.h"

namespace ado {
namespace {

using namespace testing_ado;

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

}  // namespace
}  // namespace ado
