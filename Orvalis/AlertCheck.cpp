#include "Orvalis/AlertCheck.h"

#include <charconv>
#include <memory>
#include <string>

#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Convert.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/Error.h"
#include "platform/automation/Regional.h"
#include "platform/automation/Registry.h"
#include "platform/automation/Text.h"
#include "platform/helpers/library.h"
#include "platform/net/SmtpClient.h"
#include "platform/system/Installation.h"

namespace orvalis {

using automation::Variant;

namespace {

constexpr const char* kHead =
    "<table border=1><tr><th align=center>Symbol</th><th align=center>Company</th>"
    "<th align=center>Above / Below</th>"
    "<th align=center>Time</th><th align=center>Current Price</th>"
    "<th align=center>Volume</th><th colspan=2 align=center>Delta</th>"
    "<th align=center>Alert High</th><th align=center>Alert Low</th></tr>"
    "<tr><th colspan=6></th><th align=center>One Day</th><th align=center>vs. Alert</th>"
    "<th colspan=2></tr>";
constexpr const char* kTail = "</table>";
constexpr const char* kSubject = "Your Kestrova alerts";
constexpr const char* kProfilePath = "/Kestrova/profile.asp?ticker=";

// Runs one step; an automation error becomes the failure of that step.
template <class F>
auto Step(const char* step, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const automation::Error& e) {
    throw StepFailure{step, e.Description()};
  }
}

std::string RightTrimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// A limit has a value and is not 0.
bool IsLimit(const Variant& limit) { return !limit.IsNull() && automation::CDbl(limit) != 0; }

// A number as the decimal it was written as: a Single through its shortest decimal form,
// so that a price of 10.2 read as a Single (10.1999998...) equals a limit of 10.20 held in
// any numeric column type.
double AsWritten(float value) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  double decimal = 0;
  std::from_chars(buf, end, decimal);
  return decimal;
}

// A limit in its own precision. A Double that holds exactly a Single's value (a limit stored
// from a Single into a column that keeps binary doubles) is taken as that Single was written.
double AsWritten(const Variant& value) {
  if (value.Type() == automation::VarType::kSingle) return AsWritten(automation::CSng(value));
  const double number = automation::CDbl(value);
  const float single = static_cast<float>(number);
  return static_cast<double>(single) == number ? AsWritten(single) : number;
}

// NUMBER(x, d) of a database value in its own precision. A limit without a value means no
// limit, as 0 does, and shows as 0 does.
std::string NumberCell(const Variant& value, int digits) {
  if (value.IsNull()) return automation::FormatNumber(0.0, digits);
  if (value.Type() == automation::VarType::kSingle) {
    return automation::FormatNumber(automation::CSng(value), digits);
  }
  return automation::FormatNumber(automation::CDbl(value), digits);
}

struct QuoteValues {
  float last = 0, change = 0, previous = 0, volume = 0;
  std::string time;
};

// A symbol as the alert and the quote line are compared: without double quotes, trailing
// blanks or case.
std::string ComparableSymbol(std::string text) {
  std::erase(text, '"');
  return automation::UpperCase(RightTrimmed(std::move(text)));
}

// Fetches the quote of `ticker` into `q`. False when the answer holds no usable quote for it:
// no line for that symbol (an empty answer, or only other symbols' lines), more than one
// line for it, or a last price that is not above zero (the service's "N/A" reads as 0).
// Such an alert has nothing to be compared with; the run goes on with the next one. A
// failed transfer is an automation error and ends the run.
bool FetchQuote(automation::Dispatch& quote, const std::string& ticker, QuoteValues& q) {
  try {
    quote.Let("Symbol", Variant(ticker));
  } catch (const automation::Error& e) {
    // Two lines for one symbol: the answer does not say which one to believe.
    if (e.Number() == automation::err::kDuplicateKey) return false;
    throw;
  }
  const std::string wanted = ComparableSymbol(ticker);
  bool found = false;
  for (; !automation::CBool(quote.Get("EOF")); quote.Call("MoveNext")) {
    if (ComparableSymbol(automation::CStr(quote.Get("Symbol"))) != wanted) continue;
    if (found) return false;  // the same symbol again, spelt another way
    found = true;
    q.last = automation::CSng(quote.Get("LastPrice"));
    q.change = automation::CSng(quote.Get("PriceChange"));
    q.previous = automation::CSng(quote.Get("PreviousPrice"));
    q.volume = automation::CSng(quote.Get("Volume"));
    q.time = automation::CStr(quote.Get("TradeTime"));
  }
  return found && q.last > 0;
}

// The cells of a fired row; `above` chooses the ABOVE or the BELOW variant.
std::string FiredRow(bool above, const std::string& profile_base, const std::string& symbol,
                     const std::string& company, const QuoteValues& q, const Variant& high,
                     const Variant& low) {
  const float limit = automation::CSng(above ? high : low);
  const float amount = above ? q.last - limit : limit - q.last;
  const float fraction = automation::DivideSingle(amount, limit);
  const float one_day = q.previous != 0 ? automation::DivideSingle(q.change, q.previous) : 0;
  const std::string colour = q.change >= 0 ? "#339933" : "#993333";
  const std::string s = automation::MarkupEscaped(symbol);

  std::string row = "<tr><td><a href=" + profile_base + kProfilePath + s + ">" + s + "</a></td>";
  row += "<td align=center>" + automation::MarkupEscaped(company) + "</td>";
  row += std::string("<td align=center>") + (above ? "<b>ABOVE</b>" : "<b>BELOW</b>") + "</td>";
  row += "<td align=right>" + automation::MarkupEscaped(q.time) + "</td>";
  row += "<td align=right>" + automation::FormatNumber(q.last, 2) + "</td>";
  row += "<td align=right>" +
         (above ? automation::FormatNumber(q.volume, 2) : automation::CStr(Variant(q.volume))) +
         "</td>";
  row += "<td align=right><font color=" + colour + ">" + automation::FormatPercent(one_day, 1) +
         " (" + automation::FormatNumber(q.change, 2) + ")" + "</font></td>";
  row += std::string("<td align=right><font color=") + (above ? "#339933" : "#FF0000") + ">" +
         automation::FormatPercent(fraction, 1) + " (" + automation::FormatNumber(amount, 2) + ")" +
         "</font></td>";
  row += "<td align=right>" + NumberCell(high, above ? -1 : 2) + "</td>";
  row += "<td align=right>" + NumberCell(low, 2) + "</td>" + "</tr>";
  return row;
}

std::shared_ptr<ado::Connection> OpenConnection(const char* data_source) {
  auto connection =
      std::dynamic_pointer_cast<ado::Connection>(automation::CreateObject("ADODB.Connection"));
  if (!connection) {
    throw automation::Error::WithDetail(automation::err::kCannotCreateObject, "ADODB.Connection");
  }
  connection->Open(data_source);
  return connection;
}

void SendReport(automation::Dispatch& settings, const std::string& html, RunSummary& summary) {
  if (automation::CStr(settings.Get("AlertEmailAddrTo")).empty()) {
    settings.Let("AlertEmailAddrTo", Variant(kFallbackRecipient));
  }
  net::SmtpServer server =
      net::ParseServerAddress(automation::CStr(settings.Get("AlertEmailServer")));
  server.auth_method = automation::CStr(settings.Get("AlertEmailAuthMethod"));
  server.user = automation::CStr(settings.Get("AlertEmailAuthUser"));
  server.password = automation::CStr(settings.Get("AlertEmailAuthPassword"));
  net::MailMessage message;
  message.html = html;
  message.to = automation::CStr(settings.Get("AlertEmailAddrTo"));
  message.from = automation::CStr(settings.Get("AlertEmailAddrFrom"));
  if (message.from.empty()) message.from = kFallbackRecipient;
  message.subject = kSubject;
  net::SendMail(server, message);
  summary.mail_sent = true;
  summary.recipient = message.to;
}

}  // namespace

std::string AlertTable(const std::string& rows) { return kHead + rows + kTail; }

RunSummary RunAlertCheck() {
  automation::ObjectRef settings =
      Step("settings", [] { return automation::CreateObject("thalmere.settings"); });
  AlertReport report = BuildAlertReport();
  if (report.summary.alerts_read == 0) return report.summary;
  Step("mail", [&] { SendReport(*settings, report.html, report.summary); });
  return report.summary;
}

AlertReport BuildAlertReport() {
  RunSummary summary;
  auto system = Step("data source", [] { return OpenConnection("Ledra"); });
  auto fundamentals = Step("data source", [] { return OpenConnection("SIPStatic"); });
  auto alerts = Step("query", [&] {
    return helpers::OpenRecordset(system, "select * from alert order by symbol");
  });
  summary.alerts_read = alerts->RecordCount();
  if (summary.alerts_read == 0) return {summary, ""};

  const std::string profile_base =
      Step("configuration", [] { return kestrova_system::ServiceUrl("web"); });
  automation::ObjectRef quote =
      Step("quote transfer", [] { return automation::CreateObject("thalmere.quote"); });
  std::string rows;
  for (; !alerts->EOF_(); alerts->MoveNext()) {
    const std::string symbol =
        Step("query", [&] { return automation::CStr(alerts->Field("symbol")); });
    const std::string ticker = RightTrimmed(symbol);
    std::string company;
    Step("query", [&] {
      auto found = helpers::OpenRecordset(
          fundamentals, "select company from si_ci where ticker = ?", {Variant(ticker)});
      if (found->RecordCount() == 1 && !found->Field("company").IsNull()) {
        company = automation::CStr(found->Field("company"));
      }
    });

    QuoteValues q;
    const bool has_quote = Step("quote transfer", [&] { return FetchQuote(*quote, ticker, q); });
    if (!has_quote) {
      ++summary.skipped;
      continue;
    }

    Step("query", [&] {
      const Variant high = alerts->Field("highprice");
      const Variant low = alerts->Field("lowprice");
      const double price = AsWritten(q.last);
      if (IsLimit(high) && price >= AsWritten(high)) {
        rows += FiredRow(true, profile_base, symbol, company, q, high, low);
        ++summary.fired;
      }
      if (IsLimit(low) && price <= AsWritten(low)) {
        rows += FiredRow(false, profile_base, symbol, company, q, high, low);
        ++summary.fired;
      }
    });
  }

  return {summary, AlertTable(rows)};
}

}  // namespace orvalis
