// kestrova-web: the local web server. Serves the pages, the automation endpoint and the quote
// service on 127.0.0.1 until SIGINT or SIGTERM, which end running work as a failure (the
// batch runs roll back) before the program exits.
#include <csignal>
#include <cstdio>
#include <memory>
#include <pthread.h>
#include <string>
#include <thread>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "platform/automation/Error.h"
#include "platform/system/Installation.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/tc2000/QuoteService.h"
#include "web/WebServer.h"

namespace {

// The port of [web] url in kestrova.ini (8642 by default).
int ConfiguredPort() {
  const std::string url = kestrova_system::ServiceUrl("web");
  const size_t colon = url.rfind(':');
  if (colon == std::string::npos || url.find("//", colon) != std::string::npos) return 8642;
  try {
    return std::stoi(url.substr(colon + 1));
  } catch (const std::exception&) {
    throw automation::Error(
        automation::err::kInvalidArgument,
        "[web] url in " + kestrova_system::InstallationFile().string() + " has no port: " + url);
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Kestrova's local web server: the pages, their objects and the quote service"};
  int port = -1;
  std::string quotes_file, web_root;
  bool quiet = false;
  const CLI::Option* port_option = app.add_option(
      "--port", port,
      "Port on 127.0.0.1 (default: [web] url of kestrova.ini, else 8642; 0: any free port)");
  app.add_option("--quotes", quotes_file,
                 "Serve quotes from this file instead of the price store (default: [quotes] file "
                 "of kestrova.ini)");
  app.add_option("--web-root", web_root, "Folder of the pages (pages/ and static/)");
  app.add_flag("--quiet", quiet, "No access log");
  CLI11_PARSE(app, argc, argv);

  try {
    web::WebServerOptions options;
    options.port = port_option->count() > 0 ? port : ConfiguredPort();
    options.web_root = web_root.empty() ? web::DefaultWebRoot() : std::filesystem::path(web_root);
    options.access_log = !quiet;
    if (quotes_file.empty())
      quotes_file = kestrova_system::InstallationSetting("quotes", "file", "");
    if (!quotes_file.empty()) {
      options.quotes =
          std::make_shared<tc2000::QuoteBook>(tc2000::QuoteBook::FromFile(quotes_file));
    } else {
      options.quotes =
          std::make_shared<tc2000::PriceStoreQuotes>(tc2000::PriceStore::DefaultPath());
    }

    // Signals are taken by a thread of their own; the server's threads, started after this,
    // inherit the blocked set.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    web::WebServer server(options);
    const int bound = server.Bind();
    std::thread stopper([&] {
      int signal_number = 0;
      sigwait(&stop_signals, &signal_number);
      std::fprintf(stderr, "kestrova-web: stopping\n");
      server.Stop();
    });
    fmt::print(
        "Kestrova is at http://127.0.0.1:{}/Kestrova/ : open it in a browser on this "
        "machine (Ctrl-C stops)\n",
        bound);
    std::fflush(stdout);
    const bool served = server.Run();
    server.Stop();
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return served ? 0 : 1;
  } catch (const std::exception& error) {
    fmt::print(stderr, "kestrova-web: {}\n", error.what());
    return 1;
  }
}
