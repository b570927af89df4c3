#include "tools/ServeQuotesCommand.h"

#include <fmt/format.h>
#include <httplib.h>
#include <pthread.h>

#include <csignal>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/system/Installation.h"
#include "web/LocalHttpServer.h"
#include "web/QuoteService.h"

namespace tools {

namespace {

struct Options {
  std::string quotes_file;
  int port = 8642;
};

int Run(const Options& options) {
  auto book = std::make_shared<web::QuoteBook>(web::QuoteBook::FromFile(options.quotes_file));
  httplib::Server server;
  web::AddQuoteService(server, book);
  // The port is ours alone: a second service on it is refused, not let in to take turns.
  int port = 0;
  try {
    port = web::BindLoopback(server, options.port);
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

}  // namespace

void AddServeQuotesCommand(CLI::App& app) {
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand("serve-quotes", "Run the local CSV quote service");
  command
      ->add_option(
          "--quotes", options->quotes_file,
          "File of quote lines: SYMBOL,last,date,time,change,previous,open,high,low,volume")
      ->required()
      ->check(CLI::ExistingFile);
  command
      ->add_option("--port", options->port,
                   "Port on 127.0.0.1, 1 to 65535; 0 takes a free port (the line printed at the "
                   "start names it)")
      ->capture_default_str();
  command->callback([options] { throw CLI::RuntimeError(Run(*options)); });
}

}  // namespace tools
