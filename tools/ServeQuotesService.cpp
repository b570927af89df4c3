// The quote service of `kestrova serve-quotes`, in a module of its own that the command loads:
// the web server and TLS libraries it needs are loaded only by the command that serves.

#include <csignal>
#include <cstdio>
#include <memory>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <thread>

#include <fmt/format.h>
#include <httplib.h>

#include "platform/net/LocalHttpServer.h"
#include "platform/tc2000/QuoteService.h"
#include "tools/ServeQuotesCommand.h"

namespace tools {

int Serve(const std::string& quotes_file, int wanted_port) {
  auto book = std::make_shared<tc2000::QuoteBook>(tc2000::QuoteBook::FromFile(quotes_file));
  httplib::Server server;
  tc2000::AddQuoteService(server, book);
  // The port is ours alone: a second service on it is refused, not let in to take turns.
  int port = 0;
  try {
    port = net::BindLoopback(server, wanted_port);
  } catch (const std::runtime_error& e) {
    fmt::print(stderr, "kestrova: {}\n", e.what());
    return 1;
  }

  // Interrupts are taken by a thread of their own, which stops the server; the server's
  // threads, started after this, inherit the blocked signals.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  std::thread stopper([&] {
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    server.stop();
  });

  fmt::print("Serving {} quotes at http://127.0.0.1:{}/d/quotes.csv (Ctrl-C stops)\n", book->size(),
             port);
  std::fflush(stdout);
  const bool listened = server.listen_after_bind();
  if (!listened) pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  return listened ? 0 : 1;
}

}  // namespace tools

extern "C" int kestrova_serve_quotes(const char* quotes_file, int port) {
  return tools::Serve(quotes_file, port);
}
