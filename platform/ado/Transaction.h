#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/ado/Connection.h"
#include "platform/automation/Variant.h"

namespace ado {

// One transaction, begun when the guard is made and rolled back when the guard goes without
// Commit having succeeded: on an exception, an early return, or a commit that failed. The
// session is borrowed and must outlive the guard.
//
// `Session` is anything with members to begin, commit and roll back (the three member
// pointers); Transaction below is the guard for a Connection. Inside another transaction
// the guard works on a savepoint, as the session nests them.
//
// The constructor and Commit throw what the session throws. The destructor never throws: a
// rollback that fails (the server went away, the engine ended the transaction itself) leaves
// nothing to undo.
template <class Session, auto kBegin, auto kCommit, auto kRollback>
class BasicTransaction {
 public:
  explicit BasicTransaction(Session& session) : session_(session) { (session_.*kBegin)(); }
  ~BasicTransaction() {
    if (!open_) return;
    try {
      (session_.*kRollback)();
    } catch (...) {
    }
  }
  BasicTransaction(const BasicTransaction&) = delete;
  BasicTransaction& operator=(const BasicTransaction&) = delete;

  void Commit() {
    (session_.*kCommit)();
    open_ = false;
  }

 private:
  Session& session_;
  bool open_ = true;
};

using Transaction = BasicTransaction<Connection, &Connection::BeginTrans, &Connection::CommitTrans,
                                     &Connection::RollbackTrans>;

// Runs a statement that may fail without harm (a drop of what may not be there, a row the
// table refuses) in a savepoint of its own, so that a failure leaves a transaction the caller
// has open usable on every engine. Returns the error's description when it failed, nothing
// when it ran; a connection that cannot begin the savepoint (closed) still throws.
std::optional<std::string> TryExecute(Connection& connection, const std::string& sql,
                                      const std::vector<automation::Variant>& params = {});

}  // namespace ado
