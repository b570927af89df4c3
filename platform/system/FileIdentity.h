#pragma once

#include <filesystem>
#include <sys/stat.h>
#include <sys/types.h>

namespace kestrova_system {

// Which file a path leads to at the moment: its device and inode. Two readings differ when the
// file was replaced (written anew under a temporary name and renamed into place) or removed;
// a path that leads nowhere gives the empty identity.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

inline FileIdentity IdentityOf(const std::filesystem::path& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return {};
  return {info.st_dev, info.st_ino};
}

}  // namespace kestrova_system
