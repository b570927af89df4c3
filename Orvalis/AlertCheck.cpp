#include "Orvalis/AlertCheck.h"

#include <charconv>
#include <memory>
#include <string>
#include <string_view>

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

// Runs one step; an automation error becomes the failure of that step. Its text may quote
// a file's bytes (a settings file that does not read), so it is made printable.
template <class F>
auto Step(const char* step, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const automation::Error& e) {
    throw StepFailure{step, PrintableText(e.Description())};
  }
}

constexpr char kHex[] = "0123456789ABCDEF";

// The ticker as it goes into the query of an address: everything but letters, digits and
// - . _ ~ as %XX.
std::string PercentEncoded(std::string_view text) {
  std::string encoded;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 15];
    }
  }
  return encoded;
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
  // The link names the ticker without the padding of its column, encoded for the address;
  // the link text shows the symbol as read.
  const std::string link = profile_base + kProfilePath + PercentEncoded(RightTrimmed(symbol));

  std::string row = "<tr><td><a href=" + link + ">" + s + "</a></td>";
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

// The mail settings of a run, read once before anything else is done, so that a settings
// file that does not read ends the run at its start.
struct MailSettings {
  std::string to, from, server, auth_method, user, password;
};

MailSettings ReadMailSettings(automation::Dispatch& settings) {
  auto text = [&](const char* name) { return automation::CStr(settings.Get(name)); };
  return {text("AlertEmailAddrTo"),     text("AlertEmailAddrFrom"), text("AlertEmailServer"),
          text("AlertEmailAuthMethod"), text("AlertEmailAuthUser"), text("AlertEmailAuthPassword")};
}

void SendReport(automation::Dispatch& settings, const MailSettings& mail, const std::string& html,
                RunSummary& summary) {
  net::MailMessage message;
  message.to = mail.to;
  if (message.to.empty()) {
    settings.Let("AlertEmailAddrTo", Variant(kFallbackRecipient));
    message.to = kFallbackRecipient;
  }
  net::SmtpServer server = net::ParseServerAddress(mail.server);
  server.auth_method = mail.auth_method;
  server.user = mail.user;
  server.password = mail.password;
  message.html = html;
  message.from = mail.from;
  if (message.from.empty()) message.from = kFallbackRecipient;
  message.subject = kSubject;
  net::SendMail(server, message);
  summary.mail_sent = true;
  summary.recipient = message.to;
}

}  // namespace

std::string AlertTable(const std::string& rows) { return kHead + rows + kTail; }

std::string PrintableText(std::string_view text) {
  std::string printable;
  auto escape = [&](unsigned char byte) {
    printable += "\\x";
    printable += kHex[byte >> 4];
    printable += kHex[byte & 15];
  };
  size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      if (byte < 0x20 || byte == 0x7F) {
        escape(byte);
      } else {
        printable += text[i];
      }
      ++i;
      continue;
    }
    // A whole UTF-8 sequence (no overlong forms, surrogates or code points past U+10FFFF)
    // stays, unless it is a C1 control character; anything else goes byte by byte.
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (byte >= 0xC2 && byte <= 0xDF) {
      length = 2;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
      length = 3;
      if (byte == 0xE0) low = 0xA0;
      if (byte == 0xED) high = 0x9F;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
      length = 4;
      if (byte == 0xF0) low = 0x90;
      if (byte == 0xF4) high = 0x8F;
    }
    bool whole = length > 0 && i + length <= text.size();
    for (size_t k = 1; whole && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      whole = next >= (k == 1 ? low : 0x80) && next <= (k == 1 ? high : 0xBF);
    }
    const bool c1_control = byte == 0xC2 && whole && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (whole && !c1_control) {
      printable += text.substr(i, length);
      i += length;
    } else {
      escape(byte);
      ++i;
    }
  }
  return printable;
}

RunSummary RunAlertCheck() {
  automation::ObjectRef settings =
      Step("settings", [] { return automation::CreateObject("thalmere.settings"); });
  const MailSettings mail = Step("configuration", [&] { return ReadMailSettings(*settings); });
  AlertReport report = BuildAlertReport();
  if (report.summary.alerts_read == 0) return report.summary;
  Step("mail", [&] { SendReport(*settings, mail, report.html, report.summary); });
  return report.summary;
}

AlertReport BuildAlertReport() {
  RunSummary summary;
  const std::string profile_base =
      Step("configuration", [] { return kestrova_system::ServiceUrl("web"); });
  auto system = Step("data source", [] { return OpenConnection("Ledra"); });
  auto fundamentals = Step("data source", [] { return OpenConnection("SIPStatic"); });
  auto alerts = Step("query", [&] {
    return helpers::OpenRecordset(system, "select * from alert order by symbol");
  });
  summary.alerts_read = alerts->RecordCount();
  if (summary.alerts_read == 0) return {summary, ""};

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
