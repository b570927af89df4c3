#include "Orvalis/AlertCheck.h"

#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

#include "platform/ado/Connection.h"
#include "platform/automation/Registry.h"
#include "platform/net/LocalHttpServer.h"
#include "platform/net/tests/SmtpSink.h"
#include "platform/tc2000/QuoteService.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/Shell.h"
#include "platform/tests/TestEnvironment.h"

namespace orvalis {
namespace {

using automation::Variant;
namespace fs = std::filesystem;

// The local quote service, in this process, on a free loopback port. A symbol text given a
// raw answer gets that text, as a faulty service might send it, instead of the book's lines.
class QuoteServer {
 public:
  explicit QuoteServer(std::shared_ptr<tc2000::QuoteBook> book) : book_(std::move(book)) {
    http_.server().set_tcp_nodelay(true);
    http_.server().Get("/d/quotes.csv", [this](const httplib::Request& request,
                                               httplib::Response& response) {
      const std::string symbols = request.get_param_value("s");
      std::lock_guard lock(mutex_);
      const auto raw = raw_.find(symbols);
      response.set_content(
          raw != raw_.end() ? raw->second : tc2000::QuotesCsvAnswer(*book_, symbols), "text/csv");
    });
    http_.Start();
  }
  int port() const { return http_.port(); }

  void Answer(const std::string& symbols, std::string text) {
    std::lock_guard lock(mutex_);
    raw_[symbols] = std::move(text);
  }

 private:
  std::shared_ptr<tc2000::QuoteBook> book_;
  std::mutex mutex_;
  std::map<std::string, std::string> raw_;
  net::LocalHttpServer http_;  // last: stopped before what its handler reads goes
};

// A world for one run: settings and data sources in a temporary home, the system and
// fundamentals databases on the engine under test, the quote service and a real SMTP server.
class AlertCheckTest : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    if (!UseDataSources({"Ledra", "SIPStatic"})) GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    fs::create_directories(home_.config() / "Kestrova");
    WriteInstallation(quotes_.port());
    system_ = Open("Ledra");
    fundamentals_ = Open("SIPStatic");
    system_->Execute(
        "create TABLE alert (symbol char (10), highprice numeric (11,2), lowprice numeric(11,2), "
        "aimalert int, emailalert int)");
    system_->Execute("create index alertMain on alert (symbol)");
    fundamentals_->Execute("create table si_ci (ticker char(8), company varchar(60))");
    settings_ = automation::CreateObject("Thalmere.Settings");
    settings_->Let("AlertEmailServer", Variant("127.0.0.1:" + std::to_string(sink_.port())));
  }

  void WriteInstallation(int quote_port) {
    std::ofstream(home_.config() / "Kestrova" / "kestrova.ini")
        << "[quotes]\nurl = http://127.0.0.1:" << quote_port
        << "\ntotal_timeout_ms = 5000\n[web]\nurl = http://127.0.0.1:8642\n";
  }

  void AddAlert(const std::string& symbol, const Variant& high, const Variant& low) {
    system_->Execute(
        "insert into alert (symbol, highprice, lowprice, aimalert, emailalert) "
        "values (?, ?, ?, 0, -1)",
        {Variant(symbol), high, low});
  }
  void AddCompany(const std::string& ticker, const Variant& company) {
    fundamentals_->Execute("insert into si_ci values (?, ?)", {Variant(ticker), company});
  }
  void AddQuote(const std::string& symbol, const std::string& last, const std::string& time,
                const std::string& change, const std::string& previous, const std::string& volume) {
    book_->Set(symbol, last, "12/8/2026", time, change, previous, last, last, last, volume);
  }

  // The HTML of the run's mail; the padding of fixed-width symbols, which PostgreSQL keeps,
  // is taken out so that both engines compare with one golden text.
  std::string MailHtml() {
    const std::string html = sink_.LastMail().html;
    if (!pg()) return html;
    std::string unpadded;
    for (char c : html) {
      if (c == '<' || c == '>') {
        while (!unpadded.empty() && unpadded.back() == ' ') unpadded.pop_back();
      }
      unpadded += c;
    }
    return unpadded;
  }

  testing_support::ScopedEnv locale_{"LC_ALL", "en_US.UTF-8"};
  std::shared_ptr<tc2000::QuoteBook> book_ = std::make_shared<tc2000::QuoteBook>();
  QuoteServer quotes_{book_};
  testing_support::SmtpSink sink_;
  std::shared_ptr<ado::Connection> system_, fundamentals_;
  automation::ObjectRef settings_;
};

TEST_P(AlertCheckTest, MailsTheFiredAlertsAsTheExactTable) {
  AddAlert("ABC", Variant(10), Variant(0));         // 12.50: above by 25.0% (2.50)
  AddAlert("DEF", Variant(0), Variant(20));         // 15.00: below by 25.0% (5.00)
  AddAlert("EXACT", Variant(10.2), Variant(0));     // 10.20 reaches a 10.20 limit
  AddAlert("NOLIM", Variant(0), Variant(0));        // no limits: never fires
  AddAlert("GONE", Variant(1), Variant(100));       // the service has no quote: skipped
  AddAlert("NULLCO", Variant(1), Variant::Null());  // no company name
  AddAlert("O'BR<X>", Variant(1), Variant(0));      // escaped in the HTML
  AddCompany("ABC", Variant("Abc Corp"));
  AddCompany("DEF", Variant("Def Inc"));
  AddCompany("EXACT", Variant("Exact Co"));
  AddCompany("NULLCO", Variant::Null());
  AddCompany("O'BR<X>", Variant("Smith & Sons <Ltd>"));
  AddQuote("ABC", "12.50", "4:01pm", "+0.50", "12.00", "5349200");
  AddQuote("DEF", "15.00", "4:02pm", "-1.25", "16.25", "1200");
  AddQuote("EXACT", "10.20", "4:00pm", "0.00", "10.20", "100");
  AddQuote("NOLIM", "5.00", "4:00pm", "0.00", "5.00", "1");
  AddQuote("NULLCO", "3.00", "4:03pm", "+0.10", "2.90", "10");
  AddQuote("O'BR<X>", "2.00", "4:04pm", "0", "2.00", "0");

  const RunSummary summary = RunAlertCheck();
  EXPECT_EQ(summary.alerts_read, 7);
  EXPECT_EQ(summary.fired, 5);
  EXPECT_EQ(summary.skipped, 1);
  ASSERT_TRUE(summary.mail_sent);
  EXPECT_EQ(MailHtml(),
            testing_support::FileBytes(fs::path(KESTROVA_ORVALIS_TESTDATA) / "alert_mail.html"));
  const auto mail = sink_.LastMail();
  EXPECT_EQ(mail.headers.at("Subject"), "Your Kestrova alerts");
  // With no recipient set, the fallback goes into the settings and receives the mail.
  EXPECT_EQ(settings_->Get("AlertEmailAddrTo"), Variant(kFallbackRecipient));
  EXPECT_NE(mail.envelope.find(std::string("RCPT TO ") + kFallbackRecipient), std::string::npos);
}

TEST_P(AlertCheckTest, LimitsReachedExactlyFireAndZeroLimitsNever) {
  AddAlert("HIGH", Variant(10), Variant(0));
  AddAlert("LOW", Variant(0), Variant(10));
  AddAlert("ZERO", Variant(0), Variant(0));
  AddAlert("BOTH", Variant(5), Variant(20));       // overlapping limits give two rows
  AddAlert("SINGLE", Variant(0), Variant(10.3f));  // a limit stored from a Single
  AddQuote("HIGH", "10", "t", "0", "10", "1");
  AddQuote("LOW", "10", "t", "0", "10", "1");
  AddQuote("ZERO", "0.01", "t", "0", "10", "1");
  AddQuote("BOTH", "10", "t", "0", "10", "1");
  AddQuote("SINGLE", "10.30", "t", "0", "10", "1");
  settings_->Let("AlertEmailAddrTo", Variant("me@example.test"));
  const RunSummary summary = RunAlertCheck();
  EXPECT_EQ(summary.fired, 5);
  const std::string html = MailHtml();
  EXPECT_NE(html.find("ticker=HIGH>HIGH</a></td><td align=center></td><td align=center><b>ABOVE"),
            std::string::npos);
  EXPECT_NE(html.find("ticker=LOW>LOW</a></td><td align=center></td><td align=center><b>BELOW"),
            std::string::npos);
  EXPECT_EQ(html.find("ZERO"), std::string::npos);
  EXPECT_NE(
      html.find("ticker=SINGLE>SINGLE</a></td><td align=center></td><td align=center><b>BELOW"),
      std::string::npos);
  EXPECT_NE(sink_.LastMail().envelope.find("RCPT TO me@example.test"), std::string::npos);
}

// The fired row of a symbol in the mail, or "" when it has none.
std::string RowOf(const std::string& html, const std::string& symbol) {
  const size_t at = html.find("ticker=" + symbol + ">");
  if (at == std::string::npos) return "";
  return html.substr(at, html.find("</tr>", at) - at);
}

// One answer line as the service writes it.
std::string Line(const std::string& symbol, const std::string& last,
                 const std::string& time = "4:00pm") {
  return "\"" + symbol + "\"," + last + ",\"12/8/2026\",\"" + time + "\",+1,11,11,12,11,100\n";
}

// A quote is believed only for the symbol asked for and with a price above zero; any other
// answer skips that alert alone.
TEST_P(AlertCheckTest, OnlyTheAskedSymbolsUsableQuoteIsBelieved) {
  // Every alert would fire on the price it is offered: ABOVE 10, or BELOW 1 for the
  // negative price.
  struct Case {
    const char* symbol;
    std::optional<std::string> answer;  // raw service answer; none: the book's line
    bool fires;
  };
  const Case cases[] = {
      {"EMPTY", "", false},
      {"OTHER", Line("XYZ", "50"), false},
      {"NEG", {}, false},
      {"TWICE", Line("TWICE", "50") + Line("TWICE", "51"), false},
      {"CASED", Line("cased", "50") + Line("CASED", "51"), false},
      {"NA", {}, false},
      // Matched without quotes, trailing blanks or case, wherever the line comes.
      {"LOOSE", Line("loose ", "12.00"), true},
      {"MIX", Line("XYZ", "99") + Line("MIX", "12.00", "4:06pm"), true},
      {"PREV0", {}, true},  // no previous close: a one-day change of 0.0%
      {"DUPCO", {}, true},  // two si_ci rows: no company name
  };
  for (const Case& c : cases) {
    AddAlert(c.symbol, Variant(10), Variant(1));
    if (c.answer) quotes_.Answer(c.symbol, *c.answer);
  }
  AddQuote("NEG", "-5.00", "t", "0", "5", "1");
  book_->Set("NA", "N/A", "N/A", "N/A", "N/A", "N/A", "N/A", "N/A", "N/A", "N/A");
  AddQuote("PREV0", "12.00", "4:07pm", "+1.00", "0", "100");
  AddQuote("DUPCO", "12.00", "4:08pm", "0", "12", "100");
  AddCompany("DUPCO", Variant("Dup One"));
  AddCompany("DUPCO", Variant("Dup Two"));
  AddCompany("LOOSE", Variant("Loose Co"));

  const RunSummary summary = RunAlertCheck();
  EXPECT_EQ(summary.alerts_read, static_cast<int>(std::size(cases)));
  EXPECT_EQ(summary.skipped, 6);
  EXPECT_EQ(summary.fired, 4);  // ABOVE only: no believed price is at or below 1
  ASSERT_TRUE(summary.mail_sent);
  const std::string html = MailHtml();
  for (const Case& c : cases) {
    EXPECT_EQ(RowOf(html, c.symbol).empty(), !c.fires) << c.symbol << "\n" << html;
  }
  EXPECT_NE(RowOf(html, "LOOSE").find("<td align=center>Loose Co</td><td align=center><b>ABOVE"),
            std::string::npos);
  EXPECT_NE(RowOf(html, "MIX").find("<td align=right>4:06pm</td><td align=right>12.00</td>"),
            std::string::npos)
      << RowOf(html, "MIX");
  EXPECT_NE(RowOf(html, "PREV0").find("<font color=#339933>0.0% (1.00)</font>"), std::string::npos)
      << RowOf(html, "PREV0");
  EXPECT_NE(RowOf(html, "DUPCO").find("</a></td><td align=center></td>"), std::string::npos)
      << RowOf(html, "DUPCO");
}

TEST_P(AlertCheckTest, NoAlertsSendNoMailAndNoneFiredSendsTheHeadOnly) {
  const size_t before = sink_.MailCount();
  RunSummary summary = RunAlertCheck();
  EXPECT_EQ(summary.alerts_read, 0);
  EXPECT_FALSE(summary.mail_sent);
  EXPECT_EQ(sink_.MailCount(), before);

  AddAlert("CALM", Variant(100), Variant(1));
  AddQuote("CALM", "50", "t", "0", "50", "1");
  summary = RunAlertCheck();
  EXPECT_EQ(summary.fired, 0);
  EXPECT_TRUE(summary.mail_sent);
  EXPECT_EQ(MailHtml(), AlertTable(""));
}

TEST_P(AlertCheckTest, FailuresNameTheirStep) {
  AddAlert("ABC", Variant(1), Variant(0));
  AddQuote("ABC", "2", "t", "0", "2", "1");
  settings_->Let("AlertEmailServer", Variant("127.0.0.1:1"));  // nothing listens there
  try {
    RunAlertCheck();
    FAIL();
  } catch (const StepFailure& f) {
    EXPECT_EQ(f.step, "mail");
  }
  WriteInstallation(1);
  try {
    RunAlertCheck();
    FAIL();
  } catch (const StepFailure& f) {
    EXPECT_EQ(f.step, "quote transfer");
  }
}

TEST_P(AlertCheckTest, TheProfileLinkCarriesTheTickerEncoded) {
  struct Case {
    const char* symbol;
    const char* link;  // the end of the href, then the link text
  };
  const Case cases[] = {
      {"BRK/B", "ticker=BRK%2FB>BRK/B</a>"},
      {"50%#", "ticker=50%25%23>50%#</a>"},
      {"X.TO-U_~", "ticker=X.TO-U_~>X.TO-U_~</a>"},
  };
  for (const Case& c : cases) {
    AddAlert(c.symbol, Variant(1), Variant(0));
    AddQuote(c.symbol, "2", "t", "0", "2", "1");
  }
  RunAlertCheck();
  const std::string html = MailHtml();
  for (const Case& c : cases) EXPECT_NE(html.find(c.link), std::string::npos) << c.link << html;
}

// The settings are read before anything else: a file that does not read ends the run at
// its start (here the quote service is out of reach as well), quoted as printable text.
TEST_P(AlertCheckTest, AnUnreadableSettingsFileFailsFirstAndPrintably) {
  AddAlert("ABC", Variant(1), Variant(0));
  AddQuote("ABC", "2", "t", "0", "2", "1");
  WriteInstallation(1);
  std::ofstream(home_.config() / "Kestrova" / "settings.ini", std::ios::binary | std::ios::trunc)
      << "[1.0]\n\x01\x1b[31mred\n";
  const size_t mails = sink_.MailCount();
  try {
    RunAlertCheck();
    FAIL();
  } catch (const StepFailure& f) {
    EXPECT_EQ(f.step, "configuration");
    EXPECT_NE(f.message.find("\\x01\\x1B[31mred"), std::string::npos) << f.message;
    EXPECT_EQ(PrintableText(f.message), f.message);
  }
  EXPECT_EQ(sink_.MailCount(), mails);
}

INSTANTIATE_TEST_SUITE_P(Engines, AlertCheckTest, testing_support::BothEngines(),
                         testing_support::EngineParamName());

TEST(PrintableTextTest, ControlCharactersAndBytesThatAreNoUtf8ShowAsHex) {
  struct Case {
    std::string text, printable;
  };
  const Case cases[] = {
      {"plain \xe2\x80\x9cquoted\xe2\x80\x9d Z\xc3\xbcrich \xf0\x9f\x93\x88",
       "plain \xe2\x80\x9cquoted\xe2\x80\x9d Z\xc3\xbcrich \xf0\x9f\x93\x88"},
      {"tab\tline\nescape\x1b[0mdel\x7f", "tab\\x09line\\x0Aescape\\x1B[0mdel\\x7F"},
      {std::string("nul\0", 4), "nul\\x00"},
      {"\xff\xfe cut \xc3", "\\xFF\\xFE cut \\xC3"},
      {"c1 \xc2\x85 nbsp \xc2\xa0", "c1 \\xC2\\x85 nbsp \xc2\xa0"},
      {"overlong \xe0\x80\xaf surrogate \xed\xa0\x80",
       "overlong \\xE0\\x80\\xAF surrogate \\xED\\xA0\\x80"},
  };
  for (const Case& c : cases) EXPECT_EQ(PrintableText(c.text), c.printable) << c.printable;
}

// The program itself: one summary line and status 0, or the failed step and status 1.
TEST(OrvalisProgramTest, ReportsTheEndOfTheRun) {
  testing_support::ScopedTempHome home;
  const fs::path program = fs::read_symlink("/proc/self/exe").parent_path() / "orvalis";
  auto run = [&](std::string* output) {
    const testing_support::ShellRun run = testing_support::RunShell(program.string() + " 2>&1");
    *output += run.output;
    return run.status;
  };
  // The system database's file would lie below a plain file.
  fs::create_directories(home.config() / "Kestrova");
  std::ofstream(home.root() / "not-a-folder") << "x";
  const fs::path sources = home.config() / "Kestrova" / "datasources.ini";
  std::ofstream(sources) << "[Ledra]\ndriver = sqlite\npath = "
                         << (home.root() / "not-a-folder" / "ledra.db").string() << "\n";
  std::string output;
  EXPECT_EQ(run(&output), 1);
  EXPECT_NE(output.find("orvalis: data source failed:"), std::string::npos) << output;

  fs::remove(sources);
  for (const char* name : {"Ledra", "SIPStatic"}) {
    auto c = ado::Connection::Create();
    c->OpenSource(ado::ResolveDataSource(name), true);
    if (std::string(name) == "Ledra") {
      c->Execute(
          "create table if not exists alert (symbol char(10), highprice numeric(11,2), "
          "lowprice numeric(11,2), aimalert int, emailalert int)");
    }
  }
  output.clear();
  EXPECT_EQ(run(&output), 0);
  EXPECT_EQ(output, "orvalis: 0 alerts read, 0 fired, 0 skipped without a quote, no mail sent\n");

  // A settings file that does not read: one printable line, even with no alerts to check.
  std::ofstream(home.config() / "Kestrova" / "settings.ini") << "\x01\x02\x1b]0;title\x07\n";
  output.clear();
  EXPECT_EQ(run(&output), 1);
  EXPECT_EQ(output.rfind("orvalis: configuration failed: ", 0), 0u) << output;
  EXPECT_EQ(output.find('\n'), output.size() - 1) << output;
  EXPECT_EQ(orvalis::PrintableText(output.substr(0, output.size() - 1)),
            output.substr(0, output.size() - 1));
}

}  // namespace
}  // namespace orvalis
