#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/DataSources.h"

// The system's own database (data source Ledra) and the tables it keeps: their statements in
// one place, so that the objects that recreate a table and the first start of a fresh
// installation make the same shape. They live in the data layer because the data layer is
// what creates a fresh system database, for whichever program opens it first.
namespace ado {

class Connection;

namespace system_schema {

// Price alerts.
inline constexpr std::string_view kCreateAlert =
    "create TABLE alert (symbol char (10), highprice numeric (11,2), lowprice numeric(11,2), "
    "aimalert int, emailalert int) ";
inline constexpr std::string_view kCreateAlertIndex = " create index alertMain on alert (symbol) ";

// Stock notes.
inline constexpr std::string_view kCreateStockNotes =
    "create TABLE stocknotes (company_id char(12), symbol char (10), notedate datetime, "
    "notetype varchar(12), notetext varchar(1024)) ";
inline constexpr std::string_view kCreateStockNotesCompanyIndex =
    " create index notesMain on stocknotes (company_id) ";
inline constexpr std::string_view kCreateStockNotesSymbolIndex =
    " create index notesSymbol on stocknotes (symbol) ";

// Composite ratings, rebuilt whole by each composite run.
inline constexpr std::string_view kCreateComposite =
    "create TABLE si_composite  (company_id CHAR(10), ticker CHAR(10), indcode CHAR(10), "
    "composite NUMERIC(10,0), rscore NUMERIC(10,0), epswavg NUMERIC(10,0), "
    "compeps NUMERIC(10,0), rswavg NUMERIC(10,0), comprs NUMERIC(10,0), "
    "saleswavg NUMERIC(10,0), opmwavg NUMERIC(10,0), npmwavg NUMERIC(10,0), "
    "roewavg NUMERIC(10,0), smrwavg NUMERIC(10,0), compsmr NUMERIC(10,0), "
    "instwavg NUMERIC(10,0), compinst NUMERIC(10,0), instpratio NUMERIC(10,0), "
    "compipurch NUMERIC(10,0), accdist NUMERIC(10,0), compacdst NUMERIC(10,0), "
    "indrs NUMERIC(10,0), compindrs NUMERIC(10,0))";
inline constexpr std::string_view kCreateCompositeMainIndex =
    "create INDEX si_compositeMain on  si_composite  (company_id)";
inline constexpr std::string_view kCreateCompositeTickerIndex =
    "create INDEX si_compositeTicker on si_composite (ticker)";

// EVA figures, rebuilt whole by each EVA run.
inline constexpr std::string_view kCreateEva =
    "create table si_eva (company_id CHAR(10), period CHAR(3), perend DATETIME, "
    "leva NUMERIC(12,2), ueva NUMERIC(12,2), mrp NUMERIC(12,3), rfr NUMERIC(12,3), "
    "beta NUMERIC(12,3),evaequity NUMERIC(12,2), totcap NUMERIC(12,2), "
    "evalnopat NUMERIC(12,2), evaunopat NUMERIC(12,2),interest NUMERIC(12,2), "
    "coe_rate NUMERIC(12,2), coe NUMERIC(12,2), coc NUMERIC(12,2), coc_rate NUMERIC(12,2), "
    "lroc NUMERIC(12,2), uroc NUMERIC(12,2), lpi NUMERIC(12,2), upi NUMERIC(12,2), "
    "evavi NUMERIC(12,2) )";
inline constexpr std::string_view kCreateEvaMainIndex =
    "create UNIQUE INDEX si_EVAMain on si_eva (company_id, period)";

// Chart lists and their members, copied in by the list run.
inline constexpr std::string_view kCreateList =
    "create TABLE tc2klist  (listidx    INT, listsrc    CHAR(4), listtype   INT, "
    "listprnt   INT, listname   VARCHAR(128))";
inline constexpr std::string_view kCreateListMainIndex =
    "create index tc2klistMain on tc2klist (listidx)";
inline constexpr std::string_view kCreateListNameIndex =
    "create index tc2klistName on tc2klist (listname)";
inline constexpr std::string_view kCreateListMembers =
    "create TABLE listmbrs  (listidx    INT, symbol    CHAR(12))";
inline constexpr std::string_view kCreateListMembersMainIndex =
    "create index listmbrsMain on listmbrs (listidx)";
inline constexpr std::string_view kCreateListMembersSymbolIndex =
    "create index listmbrsSymbol on listmbrs (symbol)";
// The next free index of the lists made inside the system; those copied in stay below 1000.
inline constexpr std::string_view kCreateNextList = "create TABLE nxtlstid  (listidx    INT) ";
inline constexpr std::string_view kFirstNextList = "insert into nxtlstid (listidx) values (1001)";

}  // namespace system_schema

// One table of the system database and the statements, in order, that make it empty with its
// indexes (and, for nxtlstid, its one row).
struct SystemTable {
  std::string_view name;
  std::span<const std::string_view> statements;
};

// Every table of the system database: alert, stocknotes, si_composite, si_eva, tc2klist,
// listmbrs, nxtlstid. The batch runs drop and recreate theirs in the same shape.
std::span<const SystemTable> SystemTables();

// Creates, in one transaction, each system table that the connection does not see yet
// (a table of that name, found as an unqualified statement would find it); tables that exist
// are left alone, whatever they hold. Returns the names created, in order. Errors of the
// engine reach the caller, with nothing created.
std::vector<std::string> CreateMissingSystemTables(Connection& connection);

// Whether a data source names the system database: Ledra, or LedraMaster, which without an
// entry of its own shares Ledra's.
bool IsSystemDatabase(const DataSource& source);

// Whether a data source is a SQLite file at its default place $XDG_DATA_HOME/kestrova/<name>.db
// (LedraMaster: Ledra's): such a file is made when it is first opened.
bool HasDefaultLocation(const DataSource& source);

// Makes the SQLite file of a data source when it does not exist yet, with its folder; the
// system database gets every system table. The file appears complete or not at all: it is
// built under a temporary name and linked into place, so a process that opens it meanwhile
// never sees it half made, and one made by another process in the meantime is kept.
// Returns true when this call made the file. Errors are automation errors naming the file.
bool CreateSqliteFile(const DataSource& source);

}  // namespace ado
