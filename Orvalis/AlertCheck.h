#pragma once

#include <string>
#include <string_view>

namespace orvalis {

// What one alert check run did, for the line the program prints at its end.
struct RunSummary {
  int alerts_read = 0;
  int fired = 0;    // rows in the mail (an alert can give an ABOVE and a BELOW row)
  int skipped = 0;  // alerts without a usable quote: no line or several for the symbol, or a
                    // price not above zero
  bool mail_sent = false;
  std::string recipient;
};

// A failed step of the run: which one ("data source", "query", "quote transfer", "mail")
// and why.
struct StepFailure {
  std::string step;
  std::string message;
};

// The recipient written into the settings when none is set, so the mail has somewhere to go
// and the settings show where it went.
inline constexpr const char* kFallbackRecipient = "kestrova-alerts@localhost";

// One alert check run: reads every alert of the system database (data source Ledra), looks up
// each company in the fundamentals database (SIPStatic), fetches a quote per alert through
// Thalmere.Quote, and mails the HTML table of the alerts whose high limit the price reached or
// whose low limit it fell to. No alerts: no quote is fetched and no mail is sent. A quote
// is taken only from the answer line of the symbol asked for (compared without quotes,
// trailing blanks or case) and only with a price above zero; an alert without one is
// skipped and the run goes on. The mail settings are read first, before any database is
// opened (a settings file that does not read is a failure of the "configuration" step).
// Throws StepFailure on the first failure, its message printable (PrintableText); nothing
// is mailed then.
RunSummary RunAlertCheck();

// The mail a run would send, made without sending it: the same reads, lookups and quotes as
// RunAlertCheck, for a page that shows the mail first. `html` is empty when there are no
// alerts (a run would send nothing then). Throws StepFailure as RunAlertCheck does.
struct AlertReport {
  RunSummary summary;  // mail_sent false, recipient empty
  std::string html;
};
AlertReport BuildAlertReport();

// The HTML document of the mail for the rows built by the run.
std::string AlertTable(const std::string& rows);

// Text fit for one terminal line, whatever bytes it quotes: control characters and bytes
// that are no UTF-8 as \xNN; the rest, including whole UTF-8 characters, unchanged.
std::string PrintableText(std::string_view text);

}  // namespace orvalis
