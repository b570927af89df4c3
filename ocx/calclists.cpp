#include "ocx/calclists.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "ocx/TaskReporter.h"
#include "platform/ado/Connection.h"
#include "platform/ado/SystemDatabase.h"
#include "platform/ado/Transaction.h"
#include "platform/automation/Convert.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"

namespace kestrova {

namespace {

using automation::Variant;

namespace schema = ado::system_schema;

constexpr std::string_view kCreateTableStatements[] = {
    schema::kCreateList,
    schema::kCreateListMembers,
    schema::kCreateNextList,
    schema::kFirstNextList,
};

constexpr const char* kInsertList =
    "insert into tc2klist (listidx, listsrc, listtype, listprnt, listname) values (?, 'TC', ?, "
    "?, ?)";
constexpr const char* kInsertMember = " insert into listmbrs (listidx, symbol) values(?, ?)";

constexpr const char* kDropIndexStatements[] = {
    "drop index tc2klistMain",
    "drop index tc2klistName",
    "drop index listmbrsMain",
    "drop index listmbrsSymbol",
};
constexpr std::string_view kCreateIndexStatements[] = {
    schema::kCreateListMainIndex,
    schema::kCreateListNameIndex,
    schema::kCreateListMembersMainIndex,
    schema::kCreateListMembersSymbolIndex,
};

// The list types that build the hierarchy: a type-4 list belongs to the type-5 list before it.
constexpr int32_t kGroupHead = 5;
constexpr int32_t kGroupMember = 4;

class ListRun {
 public:
  explicit ListRun(automation::ObjectRef tasks) : tasks_(std::move(tasks)) {}

  void Run() {
    Status("Copying TC2000 lists to Kestrova Database");
    server_ = automation::CreateObject("TC2000Dev.cTC2000");
    ledra_ = ado::Connection::OpenDataSource("Ledra");
    // Without any list the copy would only delete the previous one.
    server_->Call("getAllChartLists", lists_);
    if (lists_[0].Array().UpperBound() < 1) {
      RefuseRun("the price server has no chart lists; tc2klist and listmbrs are left as they were");
    }

    // The deletes and inserts are one transaction: a run that ends early keeps the old rows.
    {
      ado::Connection& db = *ledra_;
      ado::Transaction transaction(db);
      CreateListTables(db);
      db.Execute("delete from listmbrs where listidx < 1000");
      db.Execute("delete from tc2klist where listsrc = 'TC'");
      CopyLists(db);
      CreateListIndexes(db);
      transaction.Commit();
    }

    server_.reset();
    ledra_.reset();
    Status(FinalStatus());
    tasks_->Call("Done");
  }

 private:
  void Status(const std::string& text) { tasks_->CallWith("updStatus", text); }

  void Failed(const std::string& what) {
    ++failed_;
    Status(what);
  }

  // Creates the tables and the next free index of the system's own lists, stopping silently
  // at the first statement that fails: once tc2klist exists, nothing is created and
  // nxtlstid keeps its value.
  static void CreateListTables(ado::Connection& db) {
    for (std::string_view sql : kCreateTableStatements) {
      if (ado::TryExecute(db, std::string(sql))) return;
    }
  }

  void CopyLists(ado::Connection& db) {
    const automation::SafeArray& names = lists_[0].Array();
    const automation::SafeArray& types = lists_[1].Array();
    int32_t group = 0;  // the most recent type-5 list
    for (int32_t i = 1; i <= names.UpperBound(); ++i) {
      const int32_t type = automation::CLng(types.Element(i));
      int32_t parent = 0;
      if (type == kGroupHead) {
        group = i;
      } else if (type == kGroupMember) {
        parent = group;
      }
      const std::string name = automation::CStr(names.Element(i));
      Status("Adding List: " + name);
      const std::vector<Variant> row{Variant(i), Variant(type), Variant(parent), Variant(name)};
      if (i == 1) {
        db.Execute(kInsertList, row);  // up to here, a failure ends the run
      } else if (auto error = ado::TryExecute(db, kInsertList, row)) {
        Failed("Could not add list " + name + ": " + *error);
      }
      CopyMembers(db, i, name);
    }
  }

  void CopyMembers(ado::Connection& db, int32_t index, const std::string& name) {
    std::vector<std::string> symbols;
    try {
      Variant members[3] = {Variant(index), Variant(), Variant()};
      server_->Call("GetSymbolsForChartList", members);
      if (members[2].Array().UpperBound() < 1) return;
      const automation::SafeArray& returned = members[1].Array();
      for (int32_t k = returned.LowerBound(); k <= returned.UpperBound(); ++k) {
        symbols.push_back(automation::CStr(returned.Element(k)));
      }
    } catch (const automation::Error& e) {
      Failed("Could not read the members of list " + name + ": " + e.Description());
      return;
    }
    // A savepoint per member would cost two more round trips each on a server, so the
    // members go in under one savepoint, and only a list with a refused member is redone
    // member by member.
    {
      ado::Transaction savepoint(db);
      try {
        for (const std::string& symbol : symbols) {
          db.Execute(kInsertMember, {Variant(index), Variant(symbol)});
        }
        savepoint.Commit();
        return;
      } catch (const automation::Error&) {
        // rolled back as the savepoint goes; the members are tried one by one below
      }
    }
    for (const std::string& symbol : symbols) {
      if (auto error = ado::TryExecute(db, kInsertMember, {Variant(index), Variant(symbol)})) {
        Failed("Could not add " + symbol + " to list " + name + ": " + *error);
      }
    }
  }

  void CreateListIndexes(ado::Connection& db) {
    for (const char* sql : kDropIndexStatements) ado::TryExecute(db, sql);
    for (std::string_view sql : kCreateIndexStatements) {
      if (auto error = ado::TryExecute(db, std::string(sql)))
        Failed(fmt::format("Could not {}: {}", sql, *error));
    }
  }

  std::string FinalStatus() const {
    if (failed_ == 0) return "Done. ";
    return fmt::format("Done. {} {} failed.", failed_, failed_ == 1 ? "statement" : "statements");
  }

  automation::ObjectRef tasks_;
  automation::ObjectRef server_;
  Variant lists_[2];  // the server's list names and types, from index 1
  std::shared_ptr<ado::Connection> ledra_;
  int failed_ = 0;
};

}  // namespace

void CalcLists(const automation::ObjectRef& tasks) { ListRun(tasks).Run(); }

}  // namespace kestrova
