#include "tools/ServeQuotesCommand.h"

#include <httplib.h>

#include <csignal>
#include <memory>
#include <string>

#include <fmt/format.h>

#include "platform/system/Installation.h"
#include "web/QuoteService.h"

namespace tools {

namespace {

struct Options {
  std::string quotes_file;
  int port = 8642;
};

httplib::Server* running_server = nullptr;

void StopOnSignal(int) {
  if (running_server) running_server->stop();
}

int Run(const Options& options) {
  auto book = std::make_shared<web::QuoteBook>(web::QuoteBook::FromFile(options.quotes_file));
  httplib::Server server;
  web::AddQuoteService(server, book);
  running_server = &server;
  std::signal(SIGINT, StopOnSignal);
  std::signal(SIGTERM, StopOnSignal);
  if (!server.bind_to_port("127.0.0.1", options.port)) {
    fmt::print(stderr, "kestrova: cannot listen on 127.0.0.1:{}\n", options.port);
    return 1;
  }
  fmt::print("Serving {} quotes at http://127.0.0.1:{}/d/quotes.csv (Ctrl-C stops)\n",
             book->size(), options.port);
  std::fflush(stdout);
  server.listen_after_bind();
  running_server = nullptr;
  return 0;
}

}  // namespace

void AddServeQuotesCommand(CLI::App& app) {
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand("serve-quotes", "Run the local CSV quote service");
  command->add_option("--quotes", options->quotes_file,
                      "File of quote lines: SYMBOL,last,date,time,change,previous,open,high,low,volume")
      ->required()
      ->check(CLI::ExistingFile);
  command->add_option("--port", options->port, "Port on 127.0.0.1")->capture_default_str();
  command->callback([options] { throw CLI::RuntimeError(Run(*options)); });
}

}  // namespace tools
