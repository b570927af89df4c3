#include "platform/settings_store/SettingsStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <glib.h>

#include <memory>
#include <string>

#include "platform/automation/Error.h"
#include "platform/system/Paths.h"

namespace settings_store {

namespace {

struct KeyFileDeleter {
  void operator()(GKeyFile* f) const { g_key_file_free(f); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

struct GErrorDeleter {
  void operator()(GError* e) const { g_error_free(e); }
};
using ErrorHolder = std::unique_ptr<GError, GErrorDeleter>;

struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};
using GString_ = std::unique_ptr<char, GFreeDeleter>;

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& file) {
  throw automation::Error(automation::err::kDatabaseConnection,
                          "settings store: " + what + " (" + file.string() + ")");
}

// Loads the file; a missing file gives an empty key file.
KeyFile Load(const std::filesystem::path& file) {
  KeyFile keys(g_key_file_new());
  GError* raw = nullptr;
  if (!g_key_file_load_from_file(keys.get(), file.c_str(), G_KEY_FILE_KEEP_COMMENTS, &raw)) {
    ErrorHolder error(raw);
    if (!g_error_matches(raw, G_FILE_ERROR, G_FILE_ERROR_NOENT)) Fail(raw->message, file);
  }
  return keys;
}

// An exclusive lock on a file beside the settings, held for one read-modify-write.
class WriteLock {
 public:
  explicit WriteLock(const std::filesystem::path& file) {
    const std::string lock_path = file.string() + ".lock";
    fd_ = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) Fail("cannot create the lock file", lock_path);
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(fd_);
        Fail("cannot lock", lock_path);
      }
    }
  }
  ~WriteLock() { close(fd_); }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

SettingsStore::SettingsStore(std::string application, std::string section)
    : application_(std::move(application)), section_(std::move(section)) {}

std::filesystem::path SettingsStore::File() const {
  return kestrova_system::ConfigHome() / application_ / "settings.ini";
}

std::optional<std::string> SettingsStore::Read(const std::string& key) const {
  const std::filesystem::path file = File();
  KeyFile keys = Load(file);
  GError* raw = nullptr;
  GString_ value(g_key_file_get_string(keys.get(), section_.c_str(), key.c_str(), &raw));
  if (!value) {
    ErrorHolder error(raw);
    return std::nullopt;  // no such group or key
  }
  return std::string(value.get());
}

void SettingsStore::Write(const std::string& key, const std::string& value) const {
  const std::filesystem::path file = File();
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  if (ec) Fail("cannot create the folder: " + ec.message(), file.parent_path());
  WriteLock lock(file);
  KeyFile keys = Load(file);
  g_key_file_set_string(keys.get(), section_.c_str(), key.c_str(), value.c_str());
  gsize length = 0;
  GString_ contents(g_key_file_to_data(keys.get(), &length, nullptr));
  GError* raw = nullptr;
  if (!g_file_set_contents_full(file.c_str(), contents.get(), static_cast<gssize>(length),
                                G_FILE_SET_CONTENTS_CONSISTENT, 0600, &raw)) {
    ErrorHolder error(raw);
    Fail(raw->message, file);
  }
}

}  // namespace settings_store
