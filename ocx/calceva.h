#pragma once

#include "platform/automation/Dispatch.h"

// The EVA run: economic-value-added figures for every company of the fundamentals database,
// one row for the trailing twelve months ("12m") and up to six for the last fiscal years
// ("y1" … "y6"), into the table si_eva of the system database.
namespace kestrova {

// Runs the whole calculation, reporting to `tasks` (updStatus, getProgressBar, Done; see
// TaskReporter). Reads si_ci, si_bsa, si_bsq, si_isa, si_isq and si_date on SIPStatic and
// si_psd on SIPDbf; prices from the price server (TC2000Dev.cTC2000), betas through
// Thalmere.Indicators, both created by ProgID. Each company's closes are read in one call
// over the span its rows need, the index's and the rate's once per run; windows and
// look-ups are then answered from memory. Beta is measured against "SP-500", and the
// risk-free rate is the close of "TNX--X" divided by 1000. A company whose own prices lack a
// day of a year gets no row for that year; a ticker the price source does not know gives no
// prices, never those of the symbol looked up before it.
//
// A run without its inputs ends with error 5 before si_eva is touched, naming what is
// missing: no companies in si_ci, "SP-500" or "TNX--X" without prices in the price source,
// or no company that could be calculated.
//
// Every row is computed first; then si_eva is dropped, created, filled and indexed inside one
// short transaction, so the system database is free for other writers while the figures are
// computed, and a run that fails leaves the previous table whole. A company_id that occurs
// under several tickers of si_ci is calculated once, for the first of them (by ticker) that
// gets rows; the final status counts the others. A company whose figures cannot be computed
// (a figure beyond the Single range, an index that does not move over a period) is left out
// with a status line and counted. Other errors (a data source that does not open, a failing
// query or statement) end the run and reach the caller; the status and progress bar stay
// where they were.
void CalcEVA(const automation::ObjectRef& tasks);

}  // namespace kestrova
