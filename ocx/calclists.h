#pragma once

#include "platform/automation/Dispatch.h"

// The chart list import: copies every chart list of the price server, with its members, into
// the tables tc2klist and listmbrs of the system database.
namespace kestrova {

// Runs the import, reporting to `tasks` through updStatus and Done (late-bound; the progress
// bar is not used). The price server is TC2000Dev.cTC2000, created by ProgID.
//
// Lists copied from the server have source "TC" and their position in the server's list of
// chart lists as index (from 1); a list of type 4 gets the most recent type-5 list before it
// as parent. Lists from index 1001 up belong to the system's own lists and are left alone.
// The tables (and nxtlstid, starting at 1001) are created when missing.
//
// A server without any chart list ends the run with error 5 before the tables are touched.
// The old "TC" rows are replaced inside one transaction. An error up to the insert of the
// first list (server, connection, deletes, the list query, that insert) ends the run, leaves
// the previous rows and reaches the caller. After it, a statement that fails (a list or
// member insert, an index) or a member query that fails is skipped with a status line
// ("Could not …") and counted: the final status is "Done. " followed by the count when there
// is one. Errors raised by the tasks object end the run at any point.
void CalcLists(const automation::ObjectRef& tasks);

}  // namespace kestrova
