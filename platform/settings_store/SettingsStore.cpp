#include "platform/settings_store/SettingsStore.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>

#include "platform/automation/Error.h"
#include "platform/system/KeyFile.h"
#include "platform/system/Paths.h"

namespace settings_store {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& file) {
  throw automation::Error(automation::err::kFileAccess,
                          "settings store: " + what + " (" + file.string() + ")");
}

// An exclusive lock on a file beside the settings, held for one read-modify-write, so that
// two processes writing different keys at once both keep their value.
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

// The file a write goes to: `file` itself, or, when it is a symbolic link, the file at the
// end of its links, so that the new file is renamed over the target and the link stays.
std::filesystem::path WriteTarget(const std::filesystem::path& file) {
  constexpr int kMostLinks = 40;  // as the kernel follows them
  std::filesystem::path target = file;
  for (int links = 0;; ++links) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec))) return target;
    if (links == kMostLinks) Fail("too many symbolic links", file);
    const std::filesystem::path next = std::filesystem::read_symlink(target, ec);
    if (ec) Fail("cannot read the link: " + ec.message(), target);
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
}

}  // namespace

SettingsStore::SettingsStore(std::string application, std::string section)
    : application_(std::move(application)), section_(std::move(section)) {}

std::filesystem::path SettingsStore::File() const {
  return kestrova_system::ConfigHome() / application_ / "settings.ini";
}

std::optional<std::string> SettingsStore::Read(const std::string& key) const {
  return kestrova_system::KeyFile::Load(File(), automation::err::kFileAccess).String(section_, key);
}

void SettingsStore::Write(const std::string& key, const std::string& value) const {
  const std::filesystem::path file = File();
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  if (ec) Fail("cannot create the folder: " + ec.message(), file.parent_path());
  WriteLock lock(file);
  // Settings kept elsewhere behind a link (a dotfiles folder, a shared drive) stay there.
  const std::filesystem::path target = WriteTarget(file);
  kestrova_system::KeyFile keys =
      kestrova_system::KeyFile::Load(target, automation::err::kFileAccess);
  keys.SetString(section_, key, value);
  keys.Save(0600);
}

}  // namespace settings_store
