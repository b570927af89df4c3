#include "library/Backup.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
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

// How long a backup or restore waits for a lock that another session holds before it gives
// up: long enough for an ordinary write to finish, short enough not to hang a page.
constexpr int kLockWaitSeconds = 30;

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
  sqlite3_busy_timeout(db.get(), kLockWaitSeconds * 1000);
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
// wait for a lock that another session holds, within the lock wait.
void CopyPages(sqlite3* from, sqlite3* to) {
  sqlite3_backup* copy = sqlite3_backup_init(to, "main", from, "main");
  if (!copy) throw Failure(std::string("cannot start the copy: ") + sqlite3_errmsg(to));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kLockWaitSeconds);
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
  if (rc != SQLITE_DONE) throw Failure(std::string("the copy failed: ") + sqlite3_errstr(rc));
  if (finish != SQLITE_OK) throw Failure(std::string("the copy failed: ") + sqlite3_errmsg(to));
}

void SqliteBackup(const fs::path& live, const fs::path& target) {
  if (SameFile(live, target)) throw Failure("the backup file is the database itself");
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

void SqliteRestore(const fs::path& live, const fs::path& file) {
  if (SameFile(live, file)) throw Failure("the backup file is the database itself");
  ado::SqliteDatabase source = OpenSqliteFile(file, SQLITE_OPEN_READONLY);
  if (QueryText(source.get(), "PRAGMA application_id") != std::to_string(Backup::kApplicationId)) {
    throw Failure(file.string() + " is no backup of the system database");
  }
  if (QueryText(source.get(), "PRAGMA quick_check") != "ok") {
    throw Failure(file.string() + " is damaged");
  }
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

// Runs a tool with our environment plus `extra`, its input and output on /dev/null and its
// messages on our stderr; fails unless it exits with status 0.
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
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw Failure("cannot start " + program.string() + ": " + std::strerror(rc));
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw Failure("lost " + name + ": " + std::strerror(errno));
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw Failure(name + " failed (status " + std::to_string(status) + ")");
  }
}

void PgBackup(const std::string& conninfo, const fs::path& target) {
  const ToolConnection connection = ToolConnectionOf(conninfo);
  StagedFile staged(target);
  RunTool("pg_dump",
          {"--format=custom", "--no-password",
           "--lock-wait-timeout=" + std::to_string(kLockWaitSeconds * 1000),
           "--file=" + staged.path().string(), connection.dbname_argument},
          connection.environment);
  staged.Commit(target);
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
  char magic[5] = {};
  std::ifstream(file, std::ios::binary).read(magic, sizeof magic);
  if (std::string_view(magic, sizeof magic) != "PGDMP") {
    throw Failure(file.string() + " is no backup of the system database");
  }
  RunTool("pg_restore", {"--list", file.string()}, {});  // reads the whole table of contents

  // The archive as statements, then run after the emptying in one transaction: a restore
  // that fails part of the way leaves the database as it was.
  TemporaryFile script;
  RunTool("pg_restore",
          {"--no-owner", "--no-privileges", "--file=" + script.path().string(), file.string()}, {});

  ToolConnection connection = ToolConnectionOf(conninfo);
  // A table that another session holds makes the restore fail instead of wait for good.
  std::string& options = connection.environment["PGOPTIONS"];
  if (options.empty() && std::getenv("PGOPTIONS")) options = std::getenv("PGOPTIONS");
  options += " -c lock_timeout=" + std::to_string(kLockWaitSeconds * 1000);
  options += " -c client_min_messages=warning";  // not a line per object the emptying drops
  RunTool("psql",
          {"--no-psqlrc", "--no-password", "--quiet", "--set=ON_ERROR_STOP=1",
           "--single-transaction", "--command=" + std::string(kEmptyDatabase),
           "--file=" + script.path().string(), connection.dbname_argument},
          connection.environment);
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

fs::path Backup::AbsolutePath(const std::string& name) {
  fs::path p = name.empty() ? fs::current_path() : fs::absolute(name).lexically_normal();
  if (!p.has_filename() && p != p.root_path()) p = p.parent_path();
  return p;
}

void Backup::BackupDatabase() {
  std::string reason;
  try {
    reason = kNoServer;
    const Server server = OpenServer();
    reason = kNoFileSystem;
    const fs::path p = AbsolutePath(backup_path_);
    reason = BackupErrorReason(p);
    if (server.ledra.driver == "sqlite") {
      SqliteBackup(server.ledra.path, p);
    } else {
      PgBackup(server.ledra.conninfo, p);
    }
    server.master->Close();
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
    reason = MissingFileReason(p);
    if (!fs::is_regular_file(p)) throw Failure("no such file");
    reason = RestoreErrorReason(p);
    if (server.ledra.driver == "sqlite") {
      SqliteRestore(server.ledra.path, p);
    } else {
      PgRestore(server.ledra.conninfo, p);
    }
    server.master->Close();
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
