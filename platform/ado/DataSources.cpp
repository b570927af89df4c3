#include "platform/ado/DataSources.h"

#include <glib.h>

#include <memory>
#include <string>

#include "platform/automation/Dispatch.h"
#include "platform/automation/Error.h"
#include "platform/system/Paths.h"

namespace ado {

namespace {

using automation::Error;
namespace err = automation::err;

struct KeyFileDeleter {
  void operator()(GKeyFile* f) const { g_key_file_free(f); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

struct ErrorDeleter {
  void operator()(GError* e) const { g_error_free(e); }
};
using GErrorOwner = std::unique_ptr<GError, ErrorDeleter>;

struct StrvDeleter {
  void operator()(gchar** v) const { g_strfreev(v); }
};

std::string KnownNamesText() {
  std::string text;
  for (const std::string& name : KnownDataSourceNames()) {
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

// The file, or nothing when there is none. A file that exists but cannot be read or parsed
// is an error: silently falling back to the defaults would send data to the wrong place.
KeyFile LoadFile(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return nullptr;
  KeyFile key_file(g_key_file_new());
  GError* raw_error = nullptr;
  if (!g_key_file_load_from_file(key_file.get(), file.c_str(), G_KEY_FILE_NONE, &raw_error)) {
    GErrorOwner error(raw_error);
    throw Error(err::kDatabaseConnection, "Cannot read the data-source file " + file.string() +
                                              ": " + (error ? error->message : "unknown error"));
  }
  return key_file;
}

// The group whose name equals `name` without regard to case.
std::optional<std::string> FindGroup(GKeyFile* key_file, const std::string& name) {
  if (!key_file) return std::nullopt;
  std::unique_ptr<gchar*, StrvDeleter> groups(g_key_file_get_groups(key_file, nullptr));
  const std::string folded = automation::FoldCase(name);
  for (gchar** g = groups.get(); g && *g; ++g) {
    if (automation::FoldCase(*g) == folded) return std::string(*g);
  }
  return std::nullopt;
}

// The value as written: a connection string has its own backslash escapes, which the key
// file's escape rules would change or refuse.
std::string ReadKey(GKeyFile* key_file, const std::string& group, const char* key) {
  GError* raw_error = nullptr;
  gchar* value = g_key_file_get_value(key_file, group.c_str(), key, &raw_error);
  GErrorOwner error(raw_error);
  if (!value) return {};
  std::string text(value);
  g_free(value);
  return text;
}

DataSource FromGroup(GKeyFile* key_file, const std::string& group,
                     const std::filesystem::path& file) {
  const std::string where = "[" + group + "] in " + file.string();
  DataSource source;
  source.name = group;
  source.driver = automation::FoldCase(ReadKey(key_file, group, "driver"));
  if (source.driver == "sqlite") {
    const std::string path = ReadKey(key_file, group, "path");
    if (path.empty()) {
      throw Error(err::kDatabaseConnection,
                  "Data source " + where + " has driver = sqlite but no path");
    }
    std::filesystem::path p(path);
    if (p.is_relative()) p = file.parent_path() / p;
    source.path = p.lexically_normal().string();
  } else if (source.driver == "postgresql") {
    source.conninfo = ReadKey(key_file, group, "conninfo");
    if (source.conninfo.empty()) {
      throw Error(err::kDatabaseConnection,
                  "Data source " + where + " has driver = postgresql but no conninfo");
    }
  } else {
    const std::string driver = ReadKey(key_file, group, "driver");
    throw Error(err::kDatabaseConnection,
                "Data source " + where + " has " +
                    (driver.empty() ? std::string("no driver") : "driver = '" + driver + "'") +
                    "; use driver = sqlite or driver = postgresql");
  }
  return source;
}

DataSource Resolve(GKeyFile* key_file, const std::string& name, const std::filesystem::path& file) {
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
      source.driver = "sqlite";
      source.path = (kestrova_system::DataDirectory() / (known + ".db")).string();
      return source;
    }
  }
  throw Error(err::kDatabaseConnection, "Data source name not found: '" + name +
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
  KeyFile key_file = LoadFile(file);
  return Resolve(key_file.get(), name, file);
}

}  // namespace ado
