#pragma once

#include <string>

#include "web/VariantJson.h"

namespace httplib {
class Server;
}

// What the company page and the alerts page read from the server, beside the objects they
// create by ProgID: one answer per page view, computed here from the fundamentals, the price
// server and the system database, so the pages only draw it.
namespace web {

// The company page of a ticker (blanks around it ignored, letters taken as capitals; the
// exchange by name, "" for a code of no exchange):
//   {"ticker", "found": false}  when si_ci does not hold the ticker exactly once, else
//   {"ticker", "found": true, "company", "exchange", "sector", "industry", "description",
//    "price": {"date", "last", "change", "change_pct"} or null,
//    "composite": {"labels", "percentiles", "scores"} or null (no si_composite row),
//    "notes": [{"date", "type", "text"}] newest first, "alerts": [{"symbol", "high", "low",
//    "aim", "email"}]}
// Errors of the data sources reach the caller as automation errors.
Json CompanyJson(const std::string& ticker);

// Every alert, ordered by symbol, with its company, the last price and the distance to each
// limit: {"alerts": [{"symbol", "company", "high", "low", "last", "change", "to_high",
// "to_high_pct", "to_low", "to_low_pct", "above", "below"}]}. A limit of 0 is no limit: its
// distance is null. A symbol without prices has a null last price and distances.
Json AlertsJson();

// The ticker as the pages look it up: without surrounding blanks, in capitals.
std::string NormalisedTicker(const std::string& ticker);

// The one-page profile PDF of a ticker as bytes; empty when si_ci does not know the ticker.
std::string ProfilePdf(const std::string& ticker);

// The routes of the two pages (all /api ones pass the server's token check first):
//   GET  /api/company?ticker=T        CompanyJson
//   GET  /api/alerts                  AlertsJson
//   POST /api/alert-check {"send"}    the mail the alert check would send (send false:
//                                     {"html", "alerts", "fired", "skipped"}), or the check run
//                                     with its mail sent (send true: also "sent", "recipient")
//   GET  /Kestrova/profile.pdf?ticker=T   the profile as a download; 404 for an unknown ticker
void AddCompanyRoutes(httplib::Server& server);

}  // namespace web
