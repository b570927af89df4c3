#include "platform/system/Installation.h"

#include <charconv>
#include <string>

#include "platform/automation/Error.h"
#include "platform/automation/Text.h"
#include "platform/system/KeyFile.h"
#include "platform/system/Paths.h"

namespace kestrova_system {

std::filesystem::path InstallationFile() { return ConfigDirectory() / "kestrova.ini"; }

std::string InstallationSetting(const std::string& group, const std::string& key,
                                const std::string& fallback) {
  return KeyFile::Load(InstallationFile(), automation::err::kFileAccess)
      .String(group, key)
      .value_or(fallback);
}

long InstallationNumber(const std::string& group, const std::string& key, long fallback) {
  const std::string text = InstallationSetting(group, key, "");
  if (text.empty()) return fallback;
  long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) {
    throw automation::Error(automation::err::kTypeMismatch, InstallationFile().string() + ": [" +
                                                                group + "] " + key + " = \"" +
                                                                text + "\" is not a whole number");
  }
  return value;
}

std::string ServiceUrl(const std::string& group) {
  std::string url(automation::TrimBlanks(InstallationSetting(group, "url", kDefaultWebUrl)));
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

}  // namespace kestrova_system
