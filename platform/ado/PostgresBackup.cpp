#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <vector>

#include <libpq-fe.h>

#include "platform/ado/BackupFiles.h"
#include "platform/ado/DatabaseBackup.h"
#include "platform/ado/PostgresModule.h"

extern char** environ;

// The PostgreSQL half of backup and restore, through the server's client tools.
namespace ado::postgres {

namespace {

namespace fs = std::filesystem;
using Failure = std::runtime_error;
using backup_files::FileHead;
using backup_files::IsOurSqliteBackup;
using backup_files::IsPostgresArchive;
using backup_files::StagedFile;

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

}  // namespace

void BackupPostgres(const std::string& conninfo, const fs::path& target,
                    std::chrono::milliseconds lock_wait) {
  const ToolConnection connection = ToolConnectionOf(conninfo);
  StagedFile staged(target);
  try {
    RunTool("pg_dump",
            {"--format=custom", "--no-password",
             "--lock-wait-timeout=" + std::to_string(lock_wait.count()),
             "--file=" + staged.path().string(), connection.dbname_argument},
            connection.environment);
  } catch (const ToolFailed& failure) {
    if (WaitedForALock(failure)) throw BackupRefused(BackupCause::kInUse);
    throw;
  }
  staged.Commit(target);
}

void RestorePostgres(const std::string& conninfo, const fs::path& file,
                     std::chrono::milliseconds lock_wait) {
  const std::string head = FileHead(file, 100);
  if (!IsPostgresArchive(head)) {
    throw BackupRefused(IsOurSqliteBackup(head) ? BackupCause::kSqliteBackup
                                                : BackupCause::kNotABackup);
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
    throw BackupRefused(BackupCause::kDamaged);
  }

  ToolConnection connection = ToolConnectionOf(conninfo);
  // A table that another session holds makes the restore fail instead of wait for good.
  std::string& options = connection.environment["PGOPTIONS"];
  if (options.empty() && std::getenv("PGOPTIONS")) options = std::getenv("PGOPTIONS");
  options += " -c lock_timeout=" + std::to_string(lock_wait.count());
  options += " -c client_min_messages=warning";  // not a line per object the emptying drops
  try {
    RunTool("psql",
            {"--no-psqlrc", "--no-password", "--quiet", "--set=ON_ERROR_STOP=1",
             "--set=VERBOSITY=verbose", "--single-transaction",
             "--command=" + std::string(kEmptyDatabase), "--file=" + script.path().string(),
             connection.dbname_argument},
            connection.environment);
  } catch (const ToolFailed& failure) {
    if (WaitedForALock(failure)) throw BackupRefused(BackupCause::kInUse);
    throw;
  }
}

}  // namespace ado::postgres
