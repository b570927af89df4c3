#include "platform/ado/DataSources.h"

#include <memory>
#include <string>

#include "platform/ado/Errors.h"
#include "platform/automation/Error.h"
#include "platform/automation/Text.h"
#include "platform/system/KeyFile.h"
#include "platform/system/Paths.h"

namespace ado {

namespace {

using automation::Error;

std::string KnownNamesText() {
  std::string text;
  for (const std::string& name : KnownDataSourceNames()) {
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

using kestrova_system::KeyFile;

// The group whose name equals `name` without regard to case.
std::optional<std::string> FindGroup(const KeyFile& keys, const std::string& name) {
  for (const std::string& group : keys.Groups()) {
    if (automation::EqualsIgnoringCase(group, name)) return group;
  }
  return std::nullopt;
}

// The value as written: a connection string has its own backslash escapes, which the key
// file's escape rules would change or refuse.
std::string ReadKey(const KeyFile& keys, const std::string& group, const char* key) {
  return keys.RawValue(group, key).value_or("");
}

DataSource FromGroup(const KeyFile& key_file, const std::string& group,
                     const std::filesystem::path& file) {
  const std::string where = "[" + group + "] in " + file.string();
  DataSource source;
  source.name = group;
  const std::string driver = automation::FoldCase(ReadKey(key_file, group, "driver"));
  if (driver == EngineName(Engine::kSqlite)) {
    source.driver = Engine::kSqlite;
    const std::string path = ReadKey(key_file, group, "path");
    if (path.empty()) {
      throw Error(errors::kDatabaseConnection,
                  "Data source " + where + " has driver = sqlite but no path");
    }
    std::filesystem::path p(path);
    if (p.is_relative()) p = file.parent_path() / p;
    source.path = p.lexically_normal().string();
  } else if (driver == EngineName(Engine::kPostgres)) {
    source.driver = Engine::kPostgres;
    source.conninfo = ReadKey(key_file, group, "conninfo");
    if (source.conninfo.empty()) {
      throw Error(errors::kDatabaseConnection,
                  "Data source " + where + " has driver = postgresql but no conninfo");
    }
  } else {
    const std::string given = ReadKey(key_file, group, "driver");
    throw Error(errors::kDatabaseConnection,
                "Data source " + where + " has " +
                    (given.empty() ? std::string("no driver") : "driver = '" + given + "'") +
                    "; use driver = sqlite or driver = postgresql");
  }
  return source;
}

DataSource Resolve(const KeyFile& key_file, const std::string& name,
                   const std::filesystem::path& file) {
  if (auto group = FindGroup(key_file, name)) return FromGroup(key_file, *group, file);

  const std::string folded = automation::FoldCase(name);
  if (folded == "ledramaster") {
    // The server-level connection reaches the same database server as the system database.
    DataSource source = Resolve(key_file, "Ledra", file);
    source.name = "LedraMaster";
    return source;
  }
  for (const std::string& known : KnownDataSourceNames()) {
    if (automation::FoldCase(known) == folded) {
      DataSource source;
      source.name = known;
      source.driver = Engine::kSqlite;
      source.path = (kestrova_system::DataDirectory() / (known + ".db")).string();
      return source;
    }
  }
  throw Error(errors::kDatabaseConnection, "Data source name not found: '" + name +
                                               "' (known: " + KnownNamesText() + "; define it in " +
                                               file.string() + ")");
}

}  // namespace

const std::vector<std::string>& KnownDataSourceNames() {
  static const std::vector<std::string> names = {"Ledra", "LedraMaster", "SIPStatic", "SIPDbf",
                                                 "SIPUser"};
  return names;
}

std::filesystem::path DataSourcesFile() {
  return kestrova_system::ConfigDirectory() / "datasources.ini";
}

DataSource ResolveDataSource(const std::string& name) {
  const std::filesystem::path file = DataSourcesFile();
  return Resolve(KeyFile::Load(file, errors::kDatabaseConnection), name, file);
}

}  // namespace ado
