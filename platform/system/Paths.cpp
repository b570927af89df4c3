#include "platform/system/Paths.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace kestrova_system {

namespace {

std::filesystem::path Home() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::filesystem::path FromEnvironment(const char* variable, const char* fallback_below_home) {
  // Relative values are ignored, as the base-directory convention asks.
  if (const char* value = std::getenv(variable); value && *value == '/') return value;
  return Home() / fallback_below_home;
}

}  // namespace

std::filesystem::path ConfigHome() { return FromEnvironment("XDG_CONFIG_HOME", ".config"); }
std::filesystem::path DataHome() { return FromEnvironment("XDG_DATA_HOME", ".local/share"); }
std::filesystem::path ConfigDirectory() { return ConfigHome() / "Kestrova"; }
std::filesystem::path DataDirectory() { return DataHome() / "kestrova"; }

}  // namespace kestrova_system
