#include "web/CompanyPages.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdlib.h>
#include <string>
#include <vector>

#include <httplib.h>

#include "Orvalis/AlertCheck.h"
#include "library/CompositeMeasures.h"
#include "platform/ado/Connection.h"
#include "platform/automation/Convert.h"
#include "platform/automation/DateCode.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/helpers/library.h"
#include "platform/ui/UiHost.h"

namespace web {

namespace fs = std::filesystem;

namespace {

using automation::Variant;
using ConnectionRef = std::shared_ptr<ado::Connection>;

std::string RightTrimmed(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// Text of a field without the padding of fixed-width columns; Null is "".
std::string TextOf(const Variant& value) {
  return value.IsNull() || value.IsEmpty() ? std::string() : RightTrimmed(automation::CStr(value));
}

// The exchange of a company as the profile names it; other codes name none.
std::string ExchangeName(const std::string& code) {
  if (code == "M") return "Nasdaq";
  if (code == "N") return "NYSE";
  if (code == "O") return "OTC";
  if (code == "A") return "Amex";
  return "";
}

// A number, or null for a field without a value.
Json NumberOf(const Variant& value) {
  if (value.IsNull() || value.IsEmpty()) return nullptr;
  return automation::CDbl(value);
}

// A price as it was written: the Single's shortest decimal text, so 21.98 stays 21.98.
double AsWritten(float value) {
  return std::strtod(automation::SingleText(value).c_str(), nullptr);
}

// A limit of 0 or without a value is no limit. A limit is compared as the alert check compares
// it: a Double that holds exactly a Single's value (a column that keeps binary numbers) is
// taken as that Single was written, so a limit of 14.52 is reached by a price of 14.52.
std::optional<double> LimitOf(const Variant& value) {
  if (value.IsNull() || value.IsEmpty()) return std::nullopt;
  double limit = automation::CDbl(value);
  if (static_cast<double>(static_cast<float>(limit)) == limit) {
    limit = AsWritten(static_cast<float>(limit));
  }
  return limit == 0 ? std::nullopt : std::optional<double>(limit);
}

// A difference of such prices without the binary noise of the subtraction.
double Rounded(double value) { return std::round(value * 1e6) / 1e6; }

// The latest close of a symbol and its change from the close before, from the price server.
struct LastPrice {
  int32_t date = 0;
  double last = 0, change = 0, change_pct = 0;
};

class PriceServer {
 public:
  PriceServer() : server_(automation::CreateObject("TC2000Dev.cTC2000")) {}

  std::optional<LastPrice> Last(const std::string& symbol) {
    const int32_t worden = automation::CLng(server_->CallWith("WordenNumFromSymbol", symbol));
    if (worden == 0) return std::nullopt;
    Variant args[] = {Variant(worden), Variant(), Variant(), Variant(),
                      Variant(),       Variant(), Variant(), Variant(int32_t{2})};
    server_->Call("GetPrices", args);
    const Variant& close = args[4];
    const Variant& dates = args[6];
    if (!close.IsArray() || close.Array().UpperBound() < 1) return std::nullopt;
    LastPrice p;
    p.date = automation::CLng(dates.Array().Element(1));
    p.last = AsWritten(automation::CSng(close.Array().Element(1)));
    if (close.Array().UpperBound() >= 2) {
      const double previous = AsWritten(automation::CSng(close.Array().Element(2)));
      p.change = Rounded(p.last - previous);
      p.change_pct = previous != 0 ? Rounded(p.change / previous * 100) : 0;
    }
    return p;
  }

 private:
  automation::ObjectRef server_;
};

std::string DateCodeText(int32_t code) { return automation::DateCode(code).IsoText(); }

Json PriceJson(const std::optional<LastPrice>& price) {
  if (!price) return nullptr;
  return {{"date", DateCodeText(price->date)},
          {"last", price->last},
          {"change", price->change},
          {"change_pct", price->change_pct}};
}

// The composite ratings of a company, labelled as the profile's composite block labels them;
// null when the system database has no row (or no table) for it.
Json CompositeJson(const ConnectionRef& system, const std::string& company_id) {
  std::shared_ptr<ado::Recordset> row;
  try {
    row = helpers::OpenRecordset(system, "select * from si_composite where company_id = ?",
                                 {Variant(company_id)});
  } catch (const automation::Error&) {
    return nullptr;  // no composite run yet: the table is missing
  }
  if (row->EOF_()) return nullptr;
  Json labels = Json::array(), percentiles = Json::array(), scores = Json::array();
  for (const thalmere::CompositeMeasure& measure : thalmere::kCompositeMeasures) {
    labels.push_back(measure.label);
    percentiles.push_back(NumberOf(row->Field(measure.percentile)));
    scores.push_back(NumberOf(row->Field(measure.score)));
  }
  return {{"labels", labels}, {"percentiles", percentiles}, {"scores", scores}};
}

// The notes of the company, newest first, as the notes collection loads them: by the company
// identifier the price history source gives the symbol.
Json NotesJson(const std::string& ticker) {
  const automation::ObjectRef quotes = automation::CreateObject("Thalmere.Quotes");
  quotes->Let("Symbol", Variant(ticker));
  const std::string company_id = automation::CStr(quotes->Get("CompanyId"));
  Json notes = Json::array();
  if (company_id.empty()) return notes;
  const automation::ObjectRef collection = automation::CreateObject("Thalmere.StockNotes");
  collection->CallWith("Load", company_id);
  const int32_t count = automation::CLng(collection->Get("Count"));
  for (int32_t i = 1; i <= count; ++i) {
    const automation::ObjectRef note = collection->CallWith("item", i).Object();
    notes.push_back(
        {{"date", automation::IsoDateTimeText(automation::CDate(note->Get("NoteDate")))},
         {"type", TextOf(note->Get("NoteType"))},
         {"text", TextOf(note->Get("NoteText"))}});
  }
  return notes;
}

Json AlertRowJson(const ado::Recordset& row) {
  return {
      {"symbol", TextOf(row.Field("symbol"))},
      {"high", NumberOf(row.Field("highprice"))},
      {"low", NumberOf(row.Field("lowprice"))},
      {"aim", !row.Field("aimalert").IsNull() && automation::CBool(row.Field("aimalert"))},
      {"email", !row.Field("emailalert").IsNull() && automation::CBool(row.Field("emailalert"))}};
}

std::string CompanyName(const ConnectionRef& fundamentals, const std::string& ticker) {
  const auto row = helpers::OpenRecordset(
      fundamentals, "select company from si_ci where ticker = ?", {Variant(ticker)});
  return row->RecordCount() == 1 ? TextOf(row->Field("company")) : std::string();
}

// Answers the profile's Save dialog with one file and every message box with its default.
class TempFileHost : public ui::UiHost {
 public:
  explicit TempFileHost(std::string file) : file_(std::move(file)) {}
  int32_t MsgBox(std::string_view, int32_t buttons, std::string_view) override {
    return ui::msgbox::DefaultButton(buttons);
  }
  std::optional<std::string> SaveFileName(const ui::FileDialog&) override { return file_; }
  std::optional<std::string> OpenFileName(const ui::FileDialog&) override { return std::nullopt; }
  std::optional<int32_t> ChooseColor(int32_t) override { return std::nullopt; }

 private:
  std::string file_;
};

// A folder of its own under the temporary folder, removed with the object.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "kestrova-profile-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      throw automation::Error(automation::err::kFileAccess, "cannot make a temporary folder");
    }
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void SendJsonAnswer(httplib::Response& response, const Json& body, int status = 200) {
  response.status = status;
  response.set_header("Cache-Control", "no-store");
  response.set_content(body.dump(), "application/json");
}

template <class F>
void AnswerJson(httplib::Response& response, F&& work) {
  try {
    SendJsonAnswer(response, work());
  } catch (const automation::Error& error) {
    SendJsonAnswer(response,
                   {{"error", {{"number", error.Number()}, {"text", error.Description()}}}});
  } catch (const orvalis::StepFailure& failure) {
    SendJsonAnswer(response, {{"error",
                               {{"number", automation::err::kInvalidArgument},
                                {"text", "The alert check failed at its " + failure.step +
                                             " step: " + failure.message}}}});
  } catch (const Json::exception& error) {
    SendJsonAnswer(
        response,
        {{"error", {{"number", automation::err::kInvalidArgument}, {"text", error.what()}}}}, 400);
  }
}

// A file name for the download: the ticker's letters, digits, dots and dashes.
std::string DownloadName(const std::string& ticker) {
  std::string name;
  for (char c : ticker) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-') name += c;
  }
  return (name.empty() ? "company" : name) + "-profile.pdf";
}

}  // namespace

std::string NormalisedTicker(const std::string& ticker) {
  const size_t first = ticker.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  std::string text = ticker.substr(first, ticker.find_last_not_of(" \t") - first + 1);
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

Json CompanyJson(const std::string& requested) {
  const std::string ticker = NormalisedTicker(requested);
  Json page = {{"ticker", ticker}, {"found", false}};
  if (ticker.empty()) return page;
  const ConnectionRef fundamentals = ado::Connection::OpenDataSource("SIPStatic");
  const auto company = helpers::OpenRecordset(fundamentals, "select * from si_ci where ticker = ?",
                                              {Variant(ticker)});
  if (company->RecordCount() != 1) return page;

  auto Description = [&](const char* code) {
    const auto row =
        helpers::OpenRecordset(fundamentals, "select mg_desc from si_mgdsc where mg_code = ?",
                               {Variant(TextOf(company->Field(code)))});
    return row->EOF_() ? std::string() : TextOf(row->Field("mg_desc"));
  };
  page["found"] = true;
  page["company"] = TextOf(company->Field("company"));
  page["exchange"] = ExchangeName(TextOf(company->Field("exchange")));
  page["sector"] = Description("ind_2_dig");
  page["industry"] = Description("ind_3_dig");
  page["description"] = TextOf(company->Field("business"));

  PriceServer prices;
  page["price"] = PriceJson(prices.Last(ticker));

  const ConnectionRef system = ado::Connection::OpenDataSource("Ledra");
  page["composite"] = CompositeJson(system, TextOf(company->Field("company_id")));
  page["notes"] = NotesJson(ticker);
  Json alerts = Json::array();
  const auto rows = helpers::OpenRecordset(
      system, "select * from alert where rtrim(symbol) = ? order by highprice, lowprice",
      {Variant(ticker)});
  for (; !rows->EOF_(); rows->MoveNext()) alerts.push_back(AlertRowJson(*rows));
  page["alerts"] = alerts;
  return page;
}

Json AlertsJson() {
  const ConnectionRef system = ado::Connection::OpenDataSource("Ledra");
  const ConnectionRef fundamentals = ado::Connection::OpenDataSource("SIPStatic");
  PriceServer prices;
  Json alerts = Json::array();
  const auto rows = helpers::OpenRecordset(system, "select * from alert order by symbol");
  for (; !rows->EOF_(); rows->MoveNext()) {
    Json alert = AlertRowJson(*rows);
    const std::string symbol = alert["symbol"];
    alert["company"] = CompanyName(fundamentals, symbol);
    const std::optional<LastPrice> price = prices.Last(symbol);
    alert["last"] = price ? Json(price->last) : Json(nullptr);
    alert["change"] = price ? Json(price->change) : Json(nullptr);
    const std::optional<double> high = LimitOf(rows->Field("highprice"));
    const std::optional<double> low = LimitOf(rows->Field("lowprice"));
    // How far the price still has to go to each limit; negative once it went past it.
    alert["to_high"] = price && high ? Json(*high - price->last) : Json(nullptr);
    alert["to_high_pct"] = price && high && price->last != 0
                               ? Json((*high - price->last) / price->last * 100)
                               : Json(nullptr);
    alert["to_low"] = price && low ? Json(price->last - *low) : Json(nullptr);
    alert["to_low_pct"] = price && low && price->last != 0
                              ? Json((price->last - *low) / price->last * 100)
                              : Json(nullptr);
    alert["above"] = price && high && price->last >= *high;
    alert["below"] = price && low && price->last <= *low;
    alerts.push_back(alert);
  }
  return {{"alerts", alerts}};
}

std::string ProfilePdf(const std::string& ticker) {
  // One profile at a time: the drawing libraries keep process-wide font caches.
  static std::mutex one_at_a_time;
  std::lock_guard lock(one_at_a_time);
  TempFolder folder;
  const fs::path file = folder.path() / "profile.pdf";
  const automation::ObjectRef profile = automation::CreateObject("Thalmere.PDFProfile");
  {
    ui::ScopedUiHost host(std::make_shared<TempFileHost>(file.string()));
    profile->CallWith("OpenProfile", NormalisedTicker(ticker));
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void AddCompanyRoutes(httplib::Server& server) {
  server.Get("/api/company", [](const httplib::Request& request, httplib::Response& response) {
    AnswerJson(response, [&] { return CompanyJson(request.get_param_value("ticker")); });
  });
  server.Get("/api/alerts", [](const httplib::Request&, httplib::Response& response) {
    AnswerJson(response, [] { return AlertsJson(); });
  });
  server.Post("/api/alert-check", [](const httplib::Request& request, httplib::Response& response) {
    AnswerJson(response, [&] {
      const Json body = request.body.empty() ? Json::object() : Json::parse(request.body);
      const bool send = body.is_object() && body.value("send", false);
      // The mail is built first either way, so the page shows what was sent.
      const orvalis::AlertReport report = orvalis::BuildAlertReport();
      Json answer = {{"html", report.html},
                     {"alerts", report.summary.alerts_read},
                     {"fired", report.summary.fired},
                     {"skipped", report.summary.skipped},
                     {"sent", false}};
      if (send && report.summary.alerts_read > 0) {
        const orvalis::RunSummary run = orvalis::RunAlertCheck();
        answer["sent"] = run.mail_sent;
        answer["recipient"] = run.recipient;
      }
      return answer;
    });
  });
  server.Get(
      "/Kestrova/profile.pdf", [](const httplib::Request& request, httplib::Response& response) {
        const std::string ticker = NormalisedTicker(request.get_param_value("ticker"));
        std::string pdf;
        try {
          pdf = ProfilePdf(ticker);
        } catch (const automation::Error& error) {
          response.status = 500;
          response.set_content("The profile could not be made: " + error.Description() + "\n",
                               "text/plain; charset=utf-8");
          return;
        }
        if (pdf.empty()) {
          response.status = 404;
          response.set_content("No company has the ticker " + ticker + ".\n",
                               "text/plain; charset=utf-8");
          return;
        }
        response.set_header("Cache-Control", "no-store");
        response.set_header("X-Content-Type-Options", "nosniff");
        response.set_header("Content-Disposition",
                            "attachment; filename=\"" + DownloadName(ticker) + "\"");
        response.set_content(pdf, "application/pdf");
      });
}

}  // namespace web
