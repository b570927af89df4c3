#include "library/Backup.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/ado/SqliteHandles.h"
#include "platform/ui/UiHost.h"

extern char** environ;

namespace thalmere {

namespace {

namespace fs = std::filesystem;
using Failure = std::runtime_error;

// A failure whose cause is known: its text is the sentence that follows the step's reason.
class KnownCause : public std::runtime_error {
 public:
  explicit KnownCause(std::string_view sentence) : std::runtime_error(std::string(sentence)) {}
};

std::atomic<int64_t> lock_wait_ms{30'000};

std::chrono::milliseconds LockWaitNow() { return std::chrono::milliseconds(lock_wait_ms.load()); }

// The first `count` bytes of a file, fewer when it is shorter.
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

// What the first hundred bytes of a file say it is. A SQLite file starts with its 100-byte
// header; a PostgreSQL custom-format archive with "PGDMP".
bool IsSqliteFile(std::string_view head) {
  return head.size() >= 100 && head.substr(0, 16) == std::string_view("SQLite format 3\0", 16);
}
bool IsOurSqliteBackup(std::string_view head) {
  return IsSqliteFile(head) &&
         static_cast<int32_t>(BigEndian(head, 68, 4)) == Backup::kApplicationId;
}
bool IsPostgresArchive(std::string_view head) { return head.substr(0, 5) == "PGDMP"; }

// The new file of a backup, made beside its target so that the rename that puts it in
// place stays within one file system. Until Commit it is removed again on the way out,
// together with the companion files SQLite may have made for it.
class StagedFile {
 public:
  explicit StagedFile(const fs::path& target) {
    std::string pattern =
        (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
      throw Failure("cannot create a file beside " + target.string() + ": " + std::strerror(errno));
    }
    close(fd);
    path_ = pattern;
  }
  ~StagedFile() {
    if (committed_) return;
    std::error_code ignored;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
      fs::remove(path_.string() + suffix, ignored);
    }
  }
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  const fs::path& path() const { return path_; }

  // Flushes the file to disk, renames it over the target and flushes the folder, so that
  // after a crash the target is either the old file or the whole new one.
  void Commit(const fs::path& target) {
    SyncPath(path_, O_RDONLY);
    if (std::rename(path_.c_str(), target.c_str()) != 0) {
      throw Failure("cannot rename " + path_.string() + " to " + target.string() + ": " +
                    std::strerror(errno));
    }
    committed_ = true;
    SyncPath(target.parent_path(), O_RDONLY | O_DIRECTORY);
  }

 private:
  static void SyncPath(const fs::path& path, int flags) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) throw Failure("cannot open " + path.string() + ": " + std::strerror(errno));
    const int rc = fsync(fd);
    const int saved = errno;
    close(fd);
    if (rc != 0) throw Failure("cannot flush " + path.string() + ": " + std::strerror(saved));
  }

  fs::path path_;
  bool committed_ = false;
};

bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

// SQLite.

ado::SqliteDatabase OpenSqliteFile(const fs::path& path, int flags) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  ado::SqliteDatabase db(raw);
  if (rc != SQLITE_OK) {
    throw Failure("cannot open " + path.string() + ": " +
                  (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
  }
  sqlite3_busy_timeout(db.get(), static_cast<int>(LockWaitNow().count()));
  return db;
}

// The first column of the first row of a statement without parameters, as text.
std::string QueryText(sqlite3* db, const char* sql) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
    throw Failure(std::string(sql) + ": " + sqlite3_errmsg(db));
  }
  ado::SqliteStatement stmt(raw);
  const int rc = sqlite3_step(stmt.get());
  if (rc == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
    return text ? reinterpret_cast<const char*>(text) : "";
  }
  if (rc != SQLITE_DONE) throw Failure(std::string(sql) + ": " + sqlite3_errmsg(db));
  return "";
}

// Copies every page of `from` into `to` in one write transaction of `to`. Both connections
// wait for a lock that another session holds, within the lock wait; after it, the database
// is in use.
void CopyPages(sqlite3* from, sqlite3* to) {
  sqlite3_backup* copy = sqlite3_backup_init(to, "main", from, "main");
  if (!copy) throw Failure(std::string("cannot start the copy: ") + sqlite3_errmsg(to));
  const auto deadline = std::chrono::steady_clock::now() + LockWaitNow();
  int rc = SQLITE_OK;
  while (true) {
    rc = sqlite3_backup_step(copy, -1);
    if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    break;
  }
  const int finish = sqlite3_backup_finish(copy);
  if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) throw KnownCause(Backup::kInUse);
  if (rc != SQLITE_DONE) throw Failure(std::string("the copy failed: ") + sqlite3_errstr(rc));
  if (finish != SQLITE_OK) throw Failure(std::string("the copy failed: ") + sqlite3_errmsg(to));
}

void SqliteBackup(const fs::path& live, const fs::path& target) {
  if (SameFile(live, target)) throw KnownCause(Backup::kIsTheDatabase);
  StagedFile staged(target);
  {
    ado::SqliteDatabase source = OpenSqliteFile(live, SQLITE_OPEN_READWRITE);
    ado::SqliteDatabase copy = OpenSqliteFile(staged.path(), SQLITE_OPEN_READWRITE);
    CopyPages(source.get(), copy.get());
    // The copy takes over the live file's write-ahead-log mode; a backup is one file on its
    // own, so it goes back to a rollback journal, which also folds the log into the file.
    if (QueryText(copy.get(), "PRAGMA journal_mode=DELETE") != "delete") {
      throw Failure("the copy keeps its write-ahead log");
    }
    QueryText(copy.get(),
              ("PRAGMA application_id=" + std::to_string(Backup::kApplicationId)).c_str());
    if (sqlite3_close(copy.release()) != SQLITE_OK) throw Failure("the copy does not close");
  }
  staged.Commit(target);
}

// A backup whose header counts more pages than the file holds was cut short. The count is
// only kept up to date by writers that know it (the two words at 24 and 92 agree then).
bool IsCutShort(const fs::path& file, std::string_view head) {
  if (BigEndian(head, 24, 4) != BigEndian(head, 92, 4)) return false;
  uint64_t page_size = BigEndian(head, 16, 2);
  if (page_size == 1) page_size = 65536;
  std::error_code ec;
  const uintmax_t size = fs::file_size(file, ec);
  return !ec && size < page_size * BigEndian(head, 28, 4);
}

void SqliteRestore(const fs::path& live, const fs::path& file) {
  if (SameFile(live, file)) throw KnownCause(Backup::kIsTheDatabase);
  const std::string head = FileHead(file, 100);
  if (IsPostgresArchive(head)) throw KnownCause(Backup::kPostgresBackup);
  if (!IsOurSqliteBackup(head)) throw KnownCause(Backup::kNotABackup);
  if (IsCutShort(file, head)) throw KnownCause(Backup::kDamaged);
  ado::SqliteDatabase source = OpenSqliteFile(file, SQLITE_OPEN_READONLY);
  bool sound = false;
  try {
    sound = QueryText(source.get(), "PRAGMA quick_check") == "ok";
  } catch (const Failure&) {  // a page it cannot read at all
  }
  if (!sound) throw KnownCause(Backup::kDamaged);
  // The backup's pages carry its mark, which the live database must not take over (a copy of
  // it would pass for a backup then). The mark is cleared in a copy held in memory, so that
  // the live database changes once, in one write transaction, to the unmarked contents.
  ado::SqliteDatabase staged = OpenSqliteFile(":memory:", SQLITE_OPEN_READWRITE);
  // An in-memory copy takes the pages only at the size they have in the file.
  QueryText(staged.get(),
            ("PRAGMA page_size=" + QueryText(source.get(), "PRAGMA page_size")).c_str());
  CopyPages(source.get(), staged.get());
  source.reset();
  QueryText(staged.get(), "PRAGMA application_id=0");
  ado::SqliteDatabase target = OpenSqliteFile(live, SQLITE_OPEN_READWRITE);
  CopyPages(staged.get(), target.get());
}

// PostgreSQL, through its client tools.

struct PqOptionsDeleter {
  void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
};

// Single-quoted for a connection string.
std::string QuotedValue(const std::string& value) {
  std::string quoted = "'";
  for (char c : value) {
    if (c == '\'' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "'";
}

// How a tool reaches the database: every parameter that libpq reads from the environment
// goes there; the database name and any parameter without a variable go into the short
// connection string given as --dbname.
struct ToolConnection {
  std::map<std::string, std::string> environment;
  std::string dbname_argument;
};

ToolConnection ToolConnectionOf(const std::string& conninfo) {
  char* error = nullptr;
  std::unique_ptr<PQconninfoOption, PqOptionsDeleter> options(
      PQconninfoParse(conninfo.c_str(), &error));
  if (!options) {
    const std::string message = error ? error : "out of memory";
    PQfreemem(error);
    throw Failure("bad connection string: " + message);
  }
  ToolConnection tool;
  std::string dbname;
  for (PQconninfoOption* o = options.get(); o->keyword; ++o) {
    if (!o->val) continue;
    if (std::strcmp(o->keyword, "dbname") == 0) {
      dbname += "dbname=" + QuotedValue(o->val) + " ";
    } else if (o->envvar) {
      tool.environment[o->envvar] = o->val;
    } else {
      dbname += std::string(o->keyword) + "=" + QuotedValue(o->val) + " ";
    }
  }
  // Parameters the string leaves out come from our own environment, as they do for our own
  // connections. A server that does not answer must not hang the backup.
  if (!tool.environment.count("PGCONNECT_TIMEOUT") && !std::getenv("PGCONNECT_TIMEOUT")) {
    tool.environment["PGCONNECT_TIMEOUT"] = "10";
  }
  tool.dbname_argument = "--dbname=" + (dbname.empty() ? std::string("dbname=postgres") : dbname);
  return tool;
}

// The tool in PATH, else in the newest server version's folder.
fs::path FindTool(const std::string& name) {
  if (const char* path = std::getenv("PATH")) {
    std::string_view rest = path;
    while (true) {
      const size_t colon = rest.find(':');
      const fs::path dir(std::string(rest.substr(0, colon)));
      if (!dir.empty() && access((dir / name).c_str(), X_OK) == 0) return dir / name;
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  int newest = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    const int version = std::atoi(entry.path().filename().c_str());
    if (version > newest && access((entry.path() / "bin" / name).c_str(), X_OK) == 0) {
      newest = version;
    }
  }
  if (newest == 0) throw Failure(name + " is not installed (Debian package postgresql-client)");
  return fs::path("/usr/lib/postgresql") / std::to_string(newest) / "bin" / name;
}

// A private temporary file, removed on the way out.
class TemporaryFile {
 public:
  TemporaryFile() {
    std::string pattern = (fs::temp_directory_path() / "kestrova-restore.XXXXXX").string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
      throw Failure(std::string("cannot create a temporary file: ") + std::strerror(errno));
    close(fd);
    path_ = pattern;
  }
  ~TemporaryFile() {
    std::error_code ignored;
    fs::remove(path_, ignored);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// A tool that did not end with status 0, and what it wrote on its stderr.
class ToolFailed : public Failure {
 public:
  ToolFailed(const std::string& what, std::string messages)
      : Failure(what), messages_(std::move(messages)) {}
  const std::string& messages() const { return messages_; }

 private:
  std::string messages_;
};

// Runs a tool with our environment plus `extra`, its input and output on /dev/null; its
// messages are passed on to our stderr when it ends. Throws ToolFailed unless it exits with
// status 0.
void RunTool(const std::string& name, const std::vector<std::string>& arguments,
             const std::map<std::string, std::string>& extra) {
  const fs::path program = FindTool(name);
  std::vector<std::string> args{program.string()};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (!extra.count(entry.substr(0, entry.find('=')))) env.push_back(entry);
  }
  for (const auto& [key, value] : extra) env.push_back(key + "=" + value);

  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  TemporaryFile messages_file;
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, messages_file.path().c_str(),
                                   O_WRONLY | O_TRUNC, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw Failure("cannot start " + program.string() + ": " + std::strerror(rc));
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw Failure("lost " + name + ": " + std::strerror(errno));
  }
  std::ostringstream messages;
  messages << std::ifstream(messages_file.path(), std::ios::binary).rdbuf();
  std::cerr << messages.str() << std::flush;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw ToolFailed(name + " failed (status " + std::to_string(status) + ")", messages.str());
  }
}

// Whether a tool gave up waiting for a lock that another session holds: pg_dump's lock wait
// ends its LOCK TABLE with a statement timeout, psql (verbose) names the lock timeout's
// SQLSTATE 55P03.
bool WaitedForALock(const ToolFailed& failure) {
  const std::string& m = failure.messages();
  return m.find("55P03") != std::string::npos || m.find("lock timeout") != std::string::npos ||
         (m.find("LOCK TABLE") != std::string::npos &&
          m.find("statement timeout") != std::string::npos);
}

void PgBackup(const std::string& conninfo, const fs::path& target) {
  const ToolConnection connection = ToolConnectionOf(conninfo);
  StagedFile staged(target);
  try {
    RunTool("pg_dump",
            {"--format=custom", "--no-password",
             "--lock-wait-timeout=" + std::to_string(LockWaitNow().count()),
             "--file=" + staged.path().string(), connection.dbname_argument},
            connection.environment);
  } catch (const ToolFailed& failure) {
    if (WaitedForALock(failure)) throw KnownCause(Backup::kInUse);
    throw;
  }
  staged.Commit(target);
}

// Empties the database before a restore, so that it ends up holding exactly what the backup
// holds: every schema of its own other than public goes whole; public stays (its owner and
// privileges are the database's, not the backup's) and loses its extensions, tables, views,
// sequences, routines and types. Anything else left behind that the backup holds too makes
// the restore fail as a whole, with the database as it was.
constexpr const char* kEmptyDatabase = R"sql(DO $kestrova$
DECLARE
  r record;
BEGIN
  FOR r IN SELECT e.extname FROM pg_catalog.pg_extension e
           JOIN pg_catalog.pg_namespace n ON n.oid = e.extnamespace
           WHERE n.nspname = 'public' LOOP
    EXECUTE format('DROP EXTENSION IF EXISTS %I CASCADE', r.extname);
  END LOOP;
  FOR r IN SELECT nspname FROM pg_catalog.pg_namespace
           WHERE nspname NOT LIKE 'pg\_%' AND nspname NOT IN ('information_schema', 'public') LOOP
    EXECUTE format('DROP SCHEMA %I CASCADE', r.nspname);
  END LOOP;
  FOR r IN SELECT format('%I.%I', n.nspname, c.relname) AS name,
                  CASE c.relkind WHEN 'v' THEN 'VIEW' WHEN 'm' THEN 'MATERIALIZED VIEW'
                                 WHEN 'f' THEN 'FOREIGN TABLE' WHEN 'S' THEN 'SEQUENCE'
                                 ELSE 'TABLE' END AS kind
           FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace
           WHERE n.nspname = 'public' AND c.relkind IN ('r', 'p', 'v', 'm', 'f', 'S') LOOP
    EXECUTE format('DROP %s IF EXISTS %s CASCADE', r.kind, r.name);
  END LOOP;
  FOR r IN SELECT format('%I.%I(%s)', n.nspname, p.proname,
                         pg_catalog.pg_get_function_identity_arguments(p.oid)) AS name
           FROM pg_catalog.pg_proc p JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace
           WHERE n.nspname = 'public' LOOP
    EXECUTE format('DROP ROUTINE IF EXISTS %s CASCADE', r.name);
  END LOOP;
  FOR r IN SELECT format('%I.%I', n.nspname, t.typname) AS name
           FROM pg_catalog.pg_type t JOIN pg_catalog.pg_namespace n ON n.oid = t.typnamespace
           LEFT JOIN pg_catalog.pg_class c ON c.oid = t.typrelid
           WHERE n.nspname = 'public'
             AND (t.typtype IN ('d', 'e', 'r') OR (t.typtype = 'c' AND c.relkind = 'c')) LOOP
    EXECUTE format('DROP TYPE IF EXISTS %s CASCADE', r.name);
  END LOOP;
END
$kestrova$)sql";

void PgRestore(const std::string& conninfo, const fs::path& file) {
  const std::string head = FileHead(file, 100);
  if (!IsPostgresArchive(head)) {
    throw KnownCause(IsOurSqliteBackup(head) ? Backup::kSqliteBackup : Backup::kNotABackup);
  }
  // The archive as statements, then run after the emptying in one transaction: a restore
  // that fails part of the way leaves the database as it was. An archive that pg_restore
  // cannot read through (its table of contents, then every part) is damaged.
  TemporaryFile script;
  try {
    RunTool("pg_restore", {"--list", file.string()}, {});
    RunTool("pg_restore",
            {"--no-owner", "--no-privileges", "--file=" + script.path().string(), file.string()},
            {});
  } catch (const ToolFailed&) {
    throw KnownCause(Backup::kDamaged);
  }

  ToolConnection connection = ToolConnectionOf(conninfo);
  // A table that another session holds makes the restore fail instead of wait for good.
  std::string& options = connection.environment["PGOPTIONS"];
  if (options.empty() && std::getenv("PGOPTIONS")) options = std::getenv("PGOPTIONS");
  options += " -c lock_timeout=" + std::to_string(LockWaitNow().count());
  options += " -c client_min_messages=warning";  // not a line per object the emptying drops
  try {
    RunTool("psql",
            {"--no-psqlrc", "--no-password", "--quiet", "--set=ON_ERROR_STOP=1",
             "--set=VERBOSITY=verbose", "--single-transaction",
             "--command=" + std::string(kEmptyDatabase), "--file=" + script.path().string(),
             connection.dbname_argument},
            connection.environment);
  } catch (const ToolFailed& failure) {
    if (WaitedForALock(failure)) throw KnownCause(Backup::kInUse);
    throw;
  }
}

void ShowFailure(std::string_view prefix, const std::string& reason) {
  try {
    ui::CurrentUiHost()->MsgBox(std::string(prefix) + reason, ui::msgbox::kOkOnly);
  } catch (...) {  // the message is the only report there is; the caller gets none
  }
}

// The server's connection, opened to show that the server is there, and where the system
// database lives.
struct Server {
  std::shared_ptr<ado::Connection> master;
  ado::DataSource ledra;
};

Server OpenServer() {
  Server server;
  server.master = ado::Connection::OpenDataSource("LedraMaster");
  server.ledra = ado::ResolveDataSource("Ledra");
  return server;
}

}  // namespace

std::string Backup::MissingFileReason(const fs::path& p) {
  return "The Backup File [" + p.string() + "] does not exist.";
}

std::string Backup::BackupErrorReason(const fs::path& p) {
  return "An error occurred while writing the backup to [" + p.string() + "].";
}

std::string Backup::RestoreErrorReason(const fs::path& p) {
  return "An error occurred while restoring the backup from [" + p.string() + "].";
}

std::string Backup::MissingFolderCause(const fs::path& folder) {
  return "The folder [" + folder.string() + "] does not exist.";
}

void Backup::SetLockWait(std::chrono::milliseconds wait) { lock_wait_ms = wait.count(); }

std::chrono::milliseconds Backup::LockWait() { return LockWaitNow(); }

fs::path Backup::AbsolutePath(const std::string& name) {
  fs::path p = name.empty() ? fs::current_path() : fs::absolute(name).lexically_normal();
  if (!p.has_filename() && p != p.root_path()) p = p.parent_path();
  return p;
}

namespace {

// A name of blanks alone would be taken for a file of that name in the current folder.
bool IsBlank(const std::string& name) {
  return name.find_first_not_of(" \t\r\n\v\f") == std::string::npos;
}

}  // namespace

void Backup::BackupDatabase() {
  std::string reason;
  try {
    reason = kNoServer;
    const Server server = OpenServer();
    reason = kNoFileSystem;
    const fs::path p = AbsolutePath(backup_path_);
    reason = BackupErrorReason(p);
    if (IsBlank(backup_path_)) throw KnownCause(kBlankName);
    if (fs::is_directory(p)) throw KnownCause(kIsAFolder);
    if (!fs::is_directory(p.parent_path())) throw KnownCause(MissingFolderCause(p.parent_path()));
    if (server.ledra.driver == "sqlite") {
      SqliteBackup(server.ledra.path, p);
    } else {
      PgBackup(server.ledra.conninfo, p);
    }
    server.master->Close();
  } catch (const KnownCause& cause) {
    ShowFailure(kBackupFailed, reason + " " + cause.what());
  } catch (...) {
    ShowFailure(kBackupFailed, reason);
  }
}

void Backup::RestoreDatabase() {
  std::string reason;
  try {
    reason = kNoServer;
    const Server server = OpenServer();
    reason = kNoFileSystem;
    const fs::path p = AbsolutePath(backup_path_);
    if (IsBlank(backup_path_)) {
      reason = RestoreErrorReason(p);
      throw KnownCause(kBlankName);
    }
    reason = MissingFileReason(p);
    if (fs::is_directory(p)) throw KnownCause(kIsAFolder);
    if (!fs::is_regular_file(p)) throw Failure("no such file");
    reason = RestoreErrorReason(p);
    if (server.ledra.driver == "sqlite") {
      SqliteRestore(server.ledra.path, p);
    } else {
      PgRestore(server.ledra.conninfo, p);
    }
    server.master->Close();
  } catch (const KnownCause& cause) {
    ShowFailure(kRestoreFailed, reason + " " + cause.what());
  } catch (...) {
    ShowFailure(kRestoreFailed, reason);
  }
}

const automation::MemberTable& Backup::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<Backup>()
          .Method("BackupDatabase", &Backup::BackupDatabase)
          .Method("RestoreDatabase", &Backup::RestoreDatabase)
          .Property("BackupPath", &Backup::BackupPath, &Backup::SetBackupPath)
          .Build();
  return table;
}

}  // namespace thalmere
