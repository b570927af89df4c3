#include "platform/system/Installation.h"

#include <glib.h>

#include <charconv>
#include <memory>
#include <string>

#include "platform/automation/Error.h"
#include "platform/system/Paths.h"

namespace kestrova_system {

std::filesystem::path InstallationFile() { return ConfigDirectory() / "kestrova.ini"; }

std::string InstallationSetting(const std::string& group, const std::string& key,
                                const std::string& fallback) {
  const std::filesystem::path file = InstallationFile();
  std::unique_ptr<GKeyFile, decltype(&g_key_file_free)> keys(g_key_file_new(), g_key_file_free);
  GError* error = nullptr;
  if (!g_key_file_load_from_file(keys.get(), file.c_str(), G_KEY_FILE_NONE, &error)) {
    const bool missing = g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT);
    const std::string why = error->message;
    g_error_free(error);
    if (missing) return fallback;
    throw automation::Error(automation::err::kInvalidArgument,
                            "installation configuration " + file.string() + ": " + why);
  }
  char* value = g_key_file_get_string(keys.get(), group.c_str(), key.c_str(), nullptr);
  if (!value) return fallback;
  std::string text(value);
  g_free(value);
  return text;
}

long InstallationNumber(const std::string& group, const std::string& key, long fallback) {
  const std::string text = InstallationSetting(group, key, "");
  if (text.empty()) return fallback;
  long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) {
    throw automation::Error(automation::err::kInvalidArgument,
                            "installation configuration " + InstallationFile().string() + ": [" +
                                group + "] " + key + " = \"" + text + "\" is not a whole number");
  }
  return value;
}

}  // namespace kestrova_system
