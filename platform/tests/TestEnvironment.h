#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace testing_support {

// Gives a test its own settings and data folders: XDG_CONFIG_HOME and XDG_DATA_HOME point
// into a fresh temporary folder for the object's life, and the folder is removed after.
class ScopedTempHome {
 public:
  ScopedTempHome();
  ~ScopedTempHome();
  ScopedTempHome(const ScopedTempHome&) = delete;
  ScopedTempHome& operator=(const ScopedTempHome&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path config() const { return root_ / "config"; }
  std::filesystem::path data() const { return root_ / "data"; }

 private:
  std::filesystem::path root_;
  std::optional<std::string> old_config_, old_data_;
};

// Sets an environment variable for the object's life and restores it after.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Makes `dir` the current folder for the object's life and goes back to the one before after.
// Throws std::filesystem::filesystem_error when `dir` cannot be entered.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::filesystem::path& dir);
  ~ScopedCurrentDirectory();
  ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
  ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

 private:
  std::filesystem::path old_;
};

// The bytes of a file. Throws std::runtime_error naming the file when it cannot be read.
std::string FileBytes(const std::filesystem::path& path);

// Whether a library of that file name (or of a name that starts so, e.g. "libcurl.so") is
// mapped into this process.
bool IsMapped(std::string_view file);

// Runs `action` and returns the number of the automation error it raised, or 0.
int32_t ErrorNumberOf(const std::function<void()>& action);

}  // namespace testing_support
