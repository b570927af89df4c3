#include "platform/ado/SystemDatabase.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include <fmt/format.h>

#include "platform/ado/Connection.h"
#include "platform/ado/Errors.h"
#include "platform/ado/Transaction.h"
#include "platform/automation/Convert.h"
#include "platform/automation/Error.h"
#include "platform/automation/Text.h"
#include "platform/system/Paths.h"

namespace ado {

namespace {

namespace fs = std::filesystem;
using automation::Error;
using automation::Variant;
using namespace system_schema;

constexpr std::string_view kAlertStatements[] = {kCreateAlert, kCreateAlertIndex};
constexpr std::string_view kStockNotesStatements[] = {
    kCreateStockNotes, kCreateStockNotesCompanyIndex, kCreateStockNotesSymbolIndex};

// The batch runs rebuild these tables whole with the same statements; the tables made up
// front are empty ones of that shape, so that pages reading them before the first run find
// no rows rather than no table.
constexpr std::string_view kCompositeStatements[] = {kCreateComposite, kCreateCompositeMainIndex,
                                                     kCreateCompositeTickerIndex};
constexpr std::string_view kEvaStatements[] = {kCreateEva, kCreateEvaMainIndex};
constexpr std::string_view kListStatements[] = {kCreateList, kCreateListMainIndex,
                                                kCreateListNameIndex};
constexpr std::string_view kListMemberStatements[] = {
    kCreateListMembers, kCreateListMembersMainIndex, kCreateListMembersSymbolIndex};
constexpr std::string_view kNextListStatements[] = {kCreateNextList, kFirstNextList};

constexpr std::array<SystemTable, 7> kTables = {{
    {"alert", kAlertStatements},
    {"stocknotes", kStockNotesStatements},
    {"si_composite", kCompositeStatements},
    {"si_eva", kEvaStatements},
    {"tc2klist", kListStatements},
    {"listmbrs", kListMemberStatements},
    {"nxtlstid", kNextListStatements},
}};

bool TableExists(Connection& connection, std::string_view table) {
  // PostgreSQL: resolved through the search path, as the unqualified statements of the
  // system are; SQLite names are matched without regard to case, as SQLite does.
  const char* sql = connection.engine() == Engine::kPostgres
                        ? "select count(*) from pg_catalog.pg_class where oid = to_regclass(?)"
                        : "select count(*) from sqlite_master where type = 'table' and "
                          "name = ? collate nocase";
  const std::vector<Variant> params = {Variant(std::string(table))};
  const Result result = connection.driver().Run(sql, params);
  return !result.rows.empty() && automation::CLng(result.rows[0][0]) > 0;
}

// The file name a known data source has at its default place.
std::string DefaultFileName(const std::string& name) {
  const std::string folded = automation::FoldCase(name);
  if (folded == "ledramaster") return "Ledra.db";
  for (const std::string& known : KnownDataSourceNames()) {
    if (automation::FoldCase(known) == folded) return known + ".db";
  }
  return "";
}

// A file beside the target, removed on the way out with the companions SQLite may have
// left, whether or not it was linked into place.
class StagedDatabaseFile {
 public:
  explicit StagedDatabaseFile(const fs::path& target) {
    std::string pattern =
        (target.parent_path() / fmt::format(".{}.XXXXXX", target.filename().string())).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
      throw Error(errors::kDatabaseConnection,
                  "Cannot create a file beside " + target.string() + ": " + std::strerror(errno));
    }
    close(fd);
    path_ = pattern;
  }
  ~StagedDatabaseFile() {
    std::error_code ignored;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
      fs::remove(path_.string() + suffix, ignored);
    }
  }
  StagedDatabaseFile(const StagedDatabaseFile&) = delete;
  StagedDatabaseFile& operator=(const StagedDatabaseFile&) = delete;

  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

}  // namespace

std::span<const SystemTable> SystemTables() { return kTables; }

std::vector<std::string> CreateMissingSystemTables(Connection& connection) {
  std::vector<std::string> created;
  Transaction transaction(connection);
  for (const SystemTable& table : kTables) {
    if (TableExists(connection, table.name)) continue;
    // One statement per call: PostgreSQL takes no more.
    for (std::string_view sql : table.statements) connection.Execute(std::string(sql));
    created.emplace_back(table.name);
  }
  transaction.Commit();
  return created;
}

bool IsSystemDatabase(const DataSource& source) {
  const std::string folded = automation::FoldCase(source.name);
  return folded == "ledra" || folded == "ledramaster";
}

bool HasDefaultLocation(const DataSource& source) {
  if (source.driver != Engine::kSqlite) return false;
  const std::string file = DefaultFileName(source.name);
  if (file.empty()) return false;
  return fs::path(source.path).lexically_normal() ==
         (kestrova_system::DataDirectory() / file).lexically_normal();
}

bool CreateSqliteFile(const DataSource& source) {
  const fs::path target(source.path);
  std::error_code ec;
  if (fs::exists(target, ec)) return false;
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  if (ec) {
    throw Error(errors::kDatabaseConnection,
                "Cannot create the folder " + target.parent_path().string() + " of data source '" +
                    source.name + "': " + ec.message());
  }

  StagedDatabaseFile staged(target);
  {
    DataSource building = source;
    building.path = staged.path().string();
    const auto connection = Connection::Create();
    connection->OpenSource(building, true);
    if (IsSystemDatabase(source)) CreateMissingSystemTables(*connection);
    connection->Close();
  }
  // A link, unlike a rename, never replaces a file that another process made meanwhile.
  if (link(staged.path().c_str(), target.c_str()) != 0) {
    if (errno == EEXIST) return false;
    throw Error(errors::kDatabaseConnection, "Cannot create the database file " + target.string() +
                                                 " of data source '" + source.name +
                                                 "': " + std::strerror(errno));
  }
  return true;
}

}  // namespace ado
