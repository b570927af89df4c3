#include "platform/ado/DatabaseBackup.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>

#include <fmt/format.h>

#include "platform/ado/BackupFiles.h"
#include "platform/ado/PostgresModule.h"

namespace ado {

namespace backup_files {

namespace {

namespace fs = std::filesystem;
using Failure = std::runtime_error;

void SyncPath(const fs::path& path, int flags) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) throw Failure("cannot open " + path.string() + ": " + std::strerror(errno));
  const int rc = fsync(fd);
  const int saved = errno;
  close(fd);
  if (rc != 0) throw Failure("cannot flush " + path.string() + ": " + std::strerror(saved));
}

}  // namespace

std::string FileHead(const fs::path& file, size_t count) {
  std::string head(count, '\0');
  std::ifstream in(file, std::ios::binary);
  in.read(head.data(), static_cast<std::streamsize>(count));
  head.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return head;
}

uint32_t BigEndian(std::string_view bytes, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

bool IsSqliteFile(std::string_view head) {
  return head.size() >= 100 && head.substr(0, 16) == std::string_view("SQLite format 3\0", 16);
}
bool IsOurSqliteBackup(std::string_view head) {
  return IsSqliteFile(head) && static_cast<int32_t>(BigEndian(head, 68, 4)) == kBackupApplicationId;
}
bool IsPostgresArchive(std::string_view head) { return head.substr(0, 5) == "PGDMP"; }

bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

StagedFile::StagedFile(const fs::path& target) {
  std::string pattern =
      (target.parent_path() / fmt::format(".{}.XXXXXX", target.filename().string())).string();
  const int fd = mkstemp(pattern.data());
  if (fd < 0) {
    throw Failure("cannot create a file beside " + target.string() + ": " + std::strerror(errno));
  }
  close(fd);
  path_ = pattern;
}

StagedFile::~StagedFile() {
  if (committed_) return;
  std::error_code ignored;
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    fs::remove(path_.string() + suffix, ignored);
  }
}

void StagedFile::Commit(const fs::path& target) {
  SyncPath(path_, O_RDONLY);
  if (std::rename(path_.c_str(), target.c_str()) != 0) {
    throw Failure("cannot rename " + path_.string() + " to " + target.string() + ": " +
                  std::strerror(errno));
  }
  committed_ = true;
  SyncPath(target.parent_path(), O_RDONLY | O_DIRECTORY);
}

}  // namespace backup_files

void BackupDatabase(const DataSource& source, const std::filesystem::path& target,
                    std::chrono::milliseconds lock_wait) {
  if (source.driver == Engine::kSqlite) {
    backup_files::BackupSqlite(source.path, target, lock_wait);
  } else {
    PostgresModule().backup(source.conninfo, target, lock_wait);
  }
}

void RestoreDatabase(const DataSource& source, const std::filesystem::path& file,
                     std::chrono::milliseconds lock_wait) {
  if (source.driver == Engine::kSqlite) {
    backup_files::RestoreSqlite(source.path, file, lock_wait);
  } else {
    PostgresModule().restore(source.conninfo, file, lock_wait);
  }
}

}  // namespace ado
