#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/ado/Driver.h"

// The PostgreSQL engine lives in a module of its own, libkestrova_ado_postgres.so beside the
// platform library, loaded on the first use of a PostgreSQL data source: a program that never
// reaches one does not load libpq and the libraries it pulls in.
namespace ado {

struct PostgresEngine {
  std::unique_ptr<Driver> (*open)(const std::string& conninfo);
  void (*backup)(const std::string& conninfo, const std::filesystem::path& target,
                 std::chrono::milliseconds lock_wait);
  void (*restore)(const std::string& conninfo, const std::filesystem::path& file,
                  std::chrono::milliseconds lock_wait);
};

// The module's file name, and the name of its entry point (extern "C", returning a
// `const PostgresEngine*`).
inline constexpr const char* kPostgresModuleFile = "libkestrova_ado_postgres.so";
inline constexpr const char* kPostgresModuleEntry = "kestrova_postgres_engine";

// Loads the module on the first call (once for the process) and gives its operations. A
// module that is missing or broken is an automation::Error (kDatabaseConnection), every call.
const PostgresEngine& PostgresModule();

// What the module itself defines.
namespace postgres {
std::unique_ptr<Driver> OpenSession(const std::string& conninfo);
void BackupPostgres(const std::string& conninfo, const std::filesystem::path& target,
                    std::chrono::milliseconds lock_wait);
void RestorePostgres(const std::string& conninfo, const std::filesystem::path& file,
                     std::chrono::milliseconds lock_wait);
}  // namespace postgres

}  // namespace ado
