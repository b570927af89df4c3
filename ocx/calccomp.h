#pragma once

#include <string>

#include "platform/automation/Dispatch.h"

// The composite rating run: rates every company of the fundamentals database against all
// others and rebuilds the table si_composite of the system database.
namespace kestrova {

// Runs the whole calculation, reporting to `tasks` (updStatus, getProgressBar, Done; see
// TaskReporter). Reads si_mgav2, si_perc and si_psd on SIPDbf and si_ci on SIPStatic; prices
// through Thalmere.Quotes and Thalmere.Indicators, created by ProgID.
//
// The table is rebuilt inside one transaction, so a run that fails leaves the previous
// si_composite whole. A company without prices for more than 65 days, or that the price
// source does not know, is left out ("No quotes found for " + ticker); one without a row in
// si_perc or si_psd is rated with those figures Null (its weighted figures then come out 0),
// and one whose industry is unknown gets industry strength 0; the final status counts them.
// A run without its inputs (no industries in si_mgav2, no companies in si_ci, or no company
// that can be rated) ends with error 5 naming what is missing, before the table is touched.
// Other errors (a data source that does not open, a failing query or statement) end the run and
// reach the caller; the status and progress bar stay where they were.
void CalcComposites(const automation::ObjectRef& tasks);

}  // namespace kestrova
