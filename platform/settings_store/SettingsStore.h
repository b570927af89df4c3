#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace settings_store {

// The per-user settings store: one text value per key, in a group named after the section,
// in $XDG_CONFIG_HOME/<application>/settings.ini. Every Read goes to the file, so all
// readers see the last write of any process. Every Write replaces the file atomically
// (a new file beside it, then a rename) with mode 0600, as it may hold a password; writers
// in several processes are serialised by a lock file, so no write is lost. When settings.ini
// is a symbolic link, a write replaces the file it leads to (beside that file) and the link
// stays.
class SettingsStore {
 public:
  SettingsStore(std::string application, std::string section);

  // The stored text, or nullopt when the key (or the file) does not exist. A file that
  // cannot be read or parsed is an automation::Error.
  std::optional<std::string> Read(const std::string& key) const;
  // Stores the text under the key, replacing what was there. Failures (no right to write,
  // disk full) are an automation::Error naming the file.
  void Write(const std::string& key, const std::string& value) const;

  std::filesystem::path File() const;

 private:
  std::string application_;
  std::string section_;
};

}  // namespace settings_store
