#include "platform/tests/TestEnvironment.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "platform/automation/Error.h"

namespace testing_support {

namespace {

std::optional<std::string> Get(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

void Put(const char* name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

}  // namespace

ScopedTempHome::ScopedTempHome() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kestrova-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary home from " + pattern + ": " +
                             std::strerror(errno));
  }
  root_ = pattern;
  std::filesystem::create_directories(config());
  std::filesystem::create_directories(data());
  old_config_ = Get("XDG_CONFIG_HOME");
  old_data_ = Get("XDG_DATA_HOME");
  Put("XDG_CONFIG_HOME", config().string());
  Put("XDG_DATA_HOME", data().string());
}

ScopedTempHome::~ScopedTempHome() {
  Put("XDG_CONFIG_HOME", old_config_);
  Put("XDG_DATA_HOME", old_data_);
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value)
    : name_(name), old_(Get(name)) {
  Put(name, value);
}

ScopedEnv::~ScopedEnv() { Put(name_.c_str(), old_); }

ScopedCurrentDirectory::ScopedCurrentDirectory(const std::filesystem::path& dir)
    : old_(std::filesystem::current_path()) {
  std::filesystem::current_path(dir);
}

ScopedCurrentDirectory::~ScopedCurrentDirectory() {
  std::error_code ec;  // a destructor must not throw; the folder before was there
  std::filesystem::current_path(old_, ec);
}

std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool IsMapped(std::string_view file) {
  std::ifstream maps("/proc/self/maps");
  const std::string wanted = "/" + std::string(file);
  for (std::string line; std::getline(maps, line);) {
    if (line.find(wanted) != std::string::npos) return true;
  }
  return false;
}

int32_t ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const automation::Error& e) {
    return e.Number();
  }
  return 0;
}

}  // namespace testing_support
