#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ado/DataSources.h"
#include "platform/ado/Driver.h"
#include "platform/automation/Dispatch.h"

namespace ado {

class Recordset;

// ADODB.Connection: a session with one data source, opened by its name alone.
// Released while a transaction is open, it rolls the transaction back.
class Connection : public automation::Dispatch {
 public:
  static std::shared_ptr<Connection> Create() { return std::make_shared<Connection>(); }
  // Creates and opens in one step.
  static std::shared_ptr<Connection> OpenDataSource(const std::string& name);

  ~Connection() override;

  std::string_view ClassName() const override { return "Connection"; }
  const automation::MemberTable& Members() const override;

  // Opens the data source of that name (see ResolveDataSource); an error names the data
  // source and carries the engine's message. A SQLite file at its default place is made on
  // first use (the system database with its tables, see CreateSqliteFile); one that
  // datasources.ini names elsewhere must exist already.
  void Open(const std::string& data_source_name);
  // Opens a resolved data source; `create` makes a missing SQLite file (and its folder).
  void OpenSource(const DataSource& source, bool create = false);
  void Close();
  // 1 when open, 0 when closed.
  int32_t State() const { return driver_ ? 1 : 0; }
  const std::string& ConnectionString() const { return name_; }

  // Runs a statement with bound values for its `?` placeholders; returns the rows changed.
  int64_t Execute(const std::string& sql, const std::vector<automation::Variant>& params = {});

  // Transactions nest: the outer level is the real transaction, inner levels are savepoints.
  // Each returns the nesting level it leaves.
  int32_t BeginTrans();
  int32_t CommitTrans();
  int32_t RollbackTrans();
  int32_t TransactionLevel() const { return transaction_level_; }

  Engine engine() const;
  // The open session; a closed connection is error 3709-like (automation error naming it).
  Driver& driver();

 private:
  std::unique_ptr<Driver> driver_;
  std::string name_;
  int32_t transaction_level_ = 0;
};

}  // namespace ado
