#include "platform/ado/PostgresModule.h"

#include <dlfcn.h>
#include <mutex>
#include <string>

#include "platform/ado/Errors.h"
#include "platform/automation/Error.h"

namespace ado {

namespace {

// The folder of the library this code is part of: the module is installed beside it.
std::filesystem::path OwnFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&PostgresModule), &info) == 0 || !info.dli_fname) {
    return {};
  }
  return std::filesystem::path(info.dli_fname).parent_path();
}

struct Loaded {
  const PostgresEngine* engine = nullptr;
  std::string failure;
};

Loaded Load() {
  const std::filesystem::path folder = OwnFolder();
  const std::string path =
      folder.empty() ? kPostgresModuleFile : (folder / kPostgresModuleFile).string();
  // Stays loaded for the life of the process, as the server libraries do.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    return {nullptr, "Cannot load the PostgreSQL driver: " + std::string(why ? why : path)};
  }
  using Entry = const PostgresEngine* (*)();
  auto entry = reinterpret_cast<Entry>(dlsym(handle, kPostgresModuleEntry));
  if (!entry || !entry()) {
    return {nullptr,
            "Cannot load the PostgreSQL driver: " + path + " has no " + kPostgresModuleEntry};
  }
  return {entry(), ""};
}

}  // namespace

const PostgresEngine& PostgresModule() {
  static const Loaded loaded = Load();
  if (!loaded.engine) throw automation::Error(errors::kDatabaseConnection, loaded.failure);
  return *loaded.engine;
}

std::unique_ptr<Driver> OpenPostgres(const std::string& conninfo) {
  return PostgresModule().open(conninfo);
}

}  // namespace ado
