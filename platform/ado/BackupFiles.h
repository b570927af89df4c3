#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// What the engines' backups share: the look of a backup file and the staging of a new one.
namespace ado::backup_files {

// The first `count` bytes of a file, fewer when it is shorter.
std::string FileHead(const std::filesystem::path& file, size_t count);

// The unsigned big-endian number of `width` bytes at `at`.
uint32_t BigEndian(std::string_view bytes, size_t at, size_t width);

// What the first hundred bytes of a file say it is. A SQLite file starts with its 100-byte
// header; a PostgreSQL custom-format archive with "PGDMP".
bool IsSqliteFile(std::string_view head);
bool IsOurSqliteBackup(std::string_view head);
bool IsPostgresArchive(std::string_view head);

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// The new file of a backup, made beside its target so that the rename that puts it in
// place stays within one file system. Until Commit it is removed again on the way out,
// together with the companion files SQLite may have made for it.
class StagedFile {
 public:
  explicit StagedFile(const std::filesystem::path& target);
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Flushes the file to disk, renames it over the target and flushes the folder, so that
  // after a crash the target is either the old file or the whole new one.
  void Commit(const std::filesystem::path& target);

 private:
  std::filesystem::path path_;
  bool committed_ = false;
};

// The engines' own halves.
void BackupSqlite(const std::filesystem::path& live, const std::filesystem::path& target,
                  std::chrono::milliseconds lock_wait);
void RestoreSqlite(const std::filesystem::path& live, const std::filesystem::path& file,
                   std::chrono::milliseconds lock_wait);

}  // namespace ado::backup_files
