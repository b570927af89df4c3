#pragma once

#include <string_view>

namespace ado {

// The database engines a data source can lead to.
enum class Engine { kSqlite, kPostgres };

// The engine's name as a data-source entry gives it (`driver = sqlite`).
constexpr std::string_view EngineName(Engine engine) {
  return engine == Engine::kSqlite ? "sqlite" : "postgresql";
}

}  // namespace ado
