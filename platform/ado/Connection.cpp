#include "platform/ado/Connection.h"

#include <limits>
#include <string>
#include <vector>

#include "platform/ado/Errors.h"
#include "platform/ado/SystemDatabase.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"

namespace ado {

namespace {

using automation::Args;
using automation::Error;
using automation::Variant;
namespace err = automation::err;

std::string SavepointName(int32_t level) { return "kestrova_level_" + std::to_string(level); }

// "Ledra", or the DSN of a connection string "DSN=Ledra;UID=;PWD=".
std::string DataSourceNameOf(const std::string& text) {
  if (text.find('=') == std::string::npos) return text;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    const std::string part = text.substr(start, end - start);
    const size_t eq = part.find('=');
    if (eq != std::string::npos && automation::FoldCase(part.substr(0, eq)) == "dsn") {
      return part.substr(eq + 1);
    }
    start = end + 1;
  }
  return text;
}

Variant CountValue(int64_t count) {
  if (count <= std::numeric_limits<int32_t>::max()) return Variant(static_cast<int32_t>(count));
  return Variant(static_cast<double>(count));
}

const bool kRegistered = [] {
  automation::Registry::Instance().Register(
      {"ADODB.Connection", "", [] { return Connection::Create(); }});
  return true;
}();

}  // namespace

std::shared_ptr<Connection> Connection::OpenDataSource(const std::string& name) {
  auto connection = Create();
  connection->Open(name);
  return connection;
}

Connection::~Connection() { Close(); }

void Connection::Open(const std::string& data_source_name) {
  if (driver_) {
    throw Error(errors::kObjectOpen, "Connection to '" + name_ + "' is already open");
  }
  const DataSource source = ResolveDataSource(data_source_name);
  // A fresh installation has no database files yet: each default one is made on first use.
  if (HasDefaultLocation(source)) CreateSqliteFile(source);
  OpenSource(source, false);
}

void Connection::OpenSource(const DataSource& source, bool create) {
  if (driver_) {
    throw Error(errors::kObjectOpen, "Connection to '" + name_ + "' is already open");
  }
  std::unique_ptr<Driver> driver;
  try {
    if (source.driver == Engine::kSqlite) {
      driver = OpenSqlite(source.path, create);
    } else {
      driver = OpenPostgres(source.conninfo);
    }
  } catch (const Error& e) {
    // The engine's message says what failed; the caller also needs to know where.
    throw Error(e.Number(), "Cannot open data source '" + source.name + "': " + e.Description());
  }
  driver_ = std::move(driver);
  name_ = source.name;
  transaction_level_ = 0;
}

void Connection::Close() {
  if (!driver_) return;
  // Closing ends the session, and with it any open transaction; saying so explicitly keeps a
  // SQLite file from holding its write lock until the handle is gone. A rollback that fails
  // (the server went away) changes nothing: the transaction is lost either way.
  if (transaction_level_ > 0) {
    try {
      driver_->Run("ROLLBACK", {});
    } catch (...) {  // Close runs in the destructor, which must not throw
    }
  }
  transaction_level_ = 0;
  driver_.reset();
}

int64_t Connection::Execute(const std::string& sql, const std::vector<Variant>& params) {
  return driver().Run(sql, params).rows_affected;
}

int32_t Connection::BeginTrans() {
  Driver& d = driver();
  if (transaction_level_ == 0) {
    // SQLite: take the write lock now, so that two writers wait for each other at the start
    // instead of one failing half-way through its changes.
    d.Run(d.engine() == Engine::kSqlite ? "BEGIN IMMEDIATE" : "BEGIN", {});
  } else {
    d.Run("SAVEPOINT " + SavepointName(transaction_level_ + 1), {});
  }
  return ++transaction_level_;
}

int32_t Connection::CommitTrans() {
  Driver& d = driver();
  if (transaction_level_ == 0) {
    throw Error(errors::kDatabase, "CommitTrans without an open transaction on '" + name_ + "'");
  }
  if (transaction_level_ == 1) {
    // A commit that fails leaves no transaction behind on either engine that can still be
    // trusted; it is rolled back so that the level stays true.
    try {
      d.Run("COMMIT", {});
    } catch (const Error&) {
      transaction_level_ = 0;
      try {
        d.Run("ROLLBACK", {});
      } catch (const Error&) {
      }
      throw;
    }
  } else {
    d.Run("RELEASE SAVEPOINT " + SavepointName(transaction_level_), {});
  }
  return --transaction_level_;
}

int32_t Connection::RollbackTrans() {
  Driver& d = driver();
  if (transaction_level_ == 0) {
    throw Error(errors::kDatabase, "RollbackTrans without an open transaction on '" + name_ + "'");
  }
  if (transaction_level_ == 1) {
    transaction_level_ = 0;  // whatever the outcome, the transaction is over
    d.Run("ROLLBACK", {});
    return 0;
  }
  // A nested level that cannot be undone leaves work in the transaction that the caller
  // asked to drop: the whole transaction goes, so that an outer commit fails loudly instead
  // of committing it (or releasing a savepoint in place of the commit and losing the rest).
  const std::string savepoint = SavepointName(transaction_level_);
  try {
    d.Run("ROLLBACK TO SAVEPOINT " + savepoint, {});
    d.Run("RELEASE SAVEPOINT " + savepoint, {});
  } catch (const Error&) {
    transaction_level_ = 0;
    try {
      d.Run("ROLLBACK", {});
    } catch (const Error&) {
    }
    throw;
  }
  return --transaction_level_;
}

Engine Connection::engine() const {
  if (!driver_) {
    throw Error(
        errors::kConnectionUnusable,
        "The connection" + (name_.empty() ? std::string() : " to '" + name_ + "'") + " is closed");
  }
  return driver_->engine();
}

Driver& Connection::driver() {
  engine();  // throws when closed
  return *driver_;
}

// Late-bound members. Open takes the data-source name (or "DSN=name;..."); a user name,
// password and options may follow and are not used. Execute takes the statement text and
// then its values: either one array of Variants holding them all, or one argument per value
// (a Byte array is a single value); it returns the number of rows changed.
const automation::MemberTable& Connection::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<Connection>()
          .Raw("Open",
               [](Connection& c, Args args) {
                 if (args.size() > 4) {
                   throw Error::WithDetail(err::kWrongArguments,
                                           "Connection.Open takes at most 4 arguments");
                 }
                 c.Open(DataSourceNameOf(args.empty() ? c.name_ : CStr(args[0])));
                 return Variant();
               })
          .Method("Close", &Connection::Close)
          .Raw("Execute",
               [](Connection& c, Args args) {
                 if (args.empty()) {
                   throw Error::WithDetail(err::kWrongArguments,
                                           "Connection.Execute needs the statement text");
                 }
                 std::vector<Variant> params;
                 if (args.size() == 2 && args[1].IsArray() &&
                     args[1].Array().ElementType() == automation::VarType::kVariant) {
                   const auto& values = std::get<std::vector<Variant>>(args[1].Array().storage());
                   params = values;
                 } else {
                   params.assign(args.begin() + 1, args.end());
                 }
                 return CountValue(c.Execute(CStr(args[0]), params));
               })
          .Method("BeginTrans", &Connection::BeginTrans)
          .Method("CommitTrans", &Connection::CommitTrans)
          .Method("RollbackTrans", &Connection::RollbackTrans)
          .Get("State", &Connection::State)
          .Raw(
              "ConnectionString", [](Connection& c, Args) { return Variant(c.name_); },
              [](Connection& c, Args, Variant& value) {
                if (c.driver_) {
                  throw Error(errors::kObjectOpen, "ConnectionString cannot change while open");
                }
                c.name_ = CStr(value);
              })
          .Build();
  return table;
}

}  // namespace ado
