// One alert check run over 1,000 alerts against the local quote service, with the mail going
// to a real SMTP server on loopback. Prints alerts per second.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include <fmt/format.h>
#include <httplib.h>

#include "Orvalis/AlertCheck.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Transaction.h"
#include "platform/automation/Registry.h"
#include "platform/net/LocalHttpServer.h"
#include "platform/net/tests/SmtpSink.h"
#include "platform/tc2000/QuoteService.h"
#include "platform/tests/TestEnvironment.h"

int main() {
  constexpr int kAlerts = 1000;
  testing_support::ScopedTempHome home;
  testing_support::ScopedEnv locale("LC_ALL", "en_US.UTF-8");
  testing_support::SmtpSink sink;

  auto book = std::make_shared<tc2000::QuoteBook>();
  net::LocalHttpServer quotes;
  tc2000::AddQuoteService(quotes.server(), book);
  const int port = quotes.Start();
  std::filesystem::create_directories(home.config() / "Kestrova");
  std::ofstream(home.config() / "Kestrova" / "kestrova.ini")
      << "[quotes]\nurl = http://127.0.0.1:" << port << "\n";

  auto system = ado::Connection::Create();
  system->OpenSource(ado::ResolveDataSource("Ledra"), true);
  auto fundamentals = ado::Connection::Create();
  fundamentals->OpenSource(ado::ResolveDataSource("SIPStatic"), true);
  system->Execute(
      "create table alert (symbol char(10), highprice numeric(11,2), "
      "lowprice numeric(11,2), aimalert int, emailalert int)");
  system->Execute("create index alertMain on alert (symbol)");
  fundamentals->Execute("create table si_ci (ticker char(8), company varchar(60))");
  fundamentals->Execute("create index si_ci_ticker on si_ci (ticker)");
  ado::Transaction system_writes(*system);
  ado::Transaction fundamentals_writes(*fundamentals);
  for (int i = 0; i < kAlerts; ++i) {
    const std::string symbol = fmt::format("S{:04}", i);
    const double price = 10 + i % 90;
    // Every third alert fires above, every fifth below.
    const double high = i % 3 == 0 ? price - 1 : price + 5;
    const double low = i % 5 == 0 ? price + 1 : price - 5;
    system->Execute(
        "insert into alert values (?, ?, ?, 0, -1)",
        {automation::Variant(symbol), automation::Variant(high), automation::Variant(low)});
    fundamentals->Execute(
        "insert into si_ci values (?, ?)",
        {automation::Variant(symbol), automation::Variant("Company " + std::to_string(i))});
    book->Set(symbol, fmt::format("{:.2f}", price), "12/8/2026", "4:00pm", "+0.25",
              fmt::format("{:.2f}", price - 0.25), "1", "1", "1", "123456");
  }
  system_writes.Commit();
  fundamentals_writes.Commit();
  automation::CreateObject("Thalmere.Settings")
      ->Let("AlertEmailServer", automation::Variant("127.0.0.1:" + std::to_string(sink.port())));

  const auto start = std::chrono::steady_clock::now();
  const orvalis::RunSummary summary = orvalis::RunAlertCheck();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("alert check: %d alerts, %d rows fired, mail of %zu bytes, %.3f s, %.0f alerts/s\n",
              summary.alerts_read, summary.fired, sink.LastMail().html.size(), seconds,
              summary.alerts_read / seconds);
  return 0;
}
