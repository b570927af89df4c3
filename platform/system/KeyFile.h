#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct _GKeyFile;

namespace kestrova_system {

// A key file (groups of "key = value" lines, as the settings and configuration files are
// kept) read or written whole.
class KeyFile {
 public:
  // Reads `file`; a missing file gives an empty key file. A file that exists but cannot be
  // read or parsed is an automation::Error with `error_number`, naming the file: falling
  // back to defaults then would send data or mail to the wrong place.
  static KeyFile Load(const std::filesystem::path& file, int32_t error_number);

  KeyFile(KeyFile&& other) noexcept;
  KeyFile& operator=(KeyFile&&) = delete;
  ~KeyFile();

  // The value with the file's escapes undone; nullopt when the group or key is missing.
  // A value that cannot be undone (bad escape, not UTF-8) is an error.
  std::optional<std::string> String(const std::string& group, const std::string& key) const;
  // The value exactly as written (for texts such as connection strings that carry
  // backslashes of their own); nullopt when missing.
  std::optional<std::string> RawValue(const std::string& group, const std::string& key) const;
  // Stores the text (escaped as the format needs); text that is not UTF-8 is error 5.
  void SetString(const std::string& group, const std::string& key, const std::string& value);
  std::vector<std::string> Groups() const;

  // Replaces the file atomically (a new file beside it, then a rename) with the given mode.
  void Save(unsigned mode) const;

  const std::filesystem::path& file() const { return file_; }

 private:
  KeyFile(_GKeyFile* keys, std::filesystem::path file, int32_t error_number);
  [[noreturn]] void Fail(const std::string& why) const;

  _GKeyFile* keys_;
  std::filesystem::path file_;
  int32_t error_number_;
};

}  // namespace kestrova_system
