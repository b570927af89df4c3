// The automation endpoint of kestrova-web under load: 16 pages at once, each calling members
// as fast as its answers come for 20 seconds over a demo world of 10,000 companies × 10
// years. A third of the calls load a stock (Quotes.Symbol, 100 days), a third take its closes
// (Quotes.GetArray "C"), a third read a setting (Settings.ChartMAShortDays). Prints the calls
// per second and the latency percentiles, overall and by call.
//
//   web_bench [seconds] [clients]       KESTROVA_BENCH_DATA names the folder of the world.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "demo/DemoWorld.h"
#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/tc2000/PriceStore.h"
#include "web/WebServer.h"

namespace {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

void PrepareWorld() {
  const char* dir = getenv("KESTROVA_BENCH_DATA");
  const std::filesystem::path home =
      std::filesystem::path(dir && *dir ? dir : "/tmp/kestrova-bench") / "web";
  setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  std::filesystem::create_directories(home / "config");
  ado::Connection::Create()->OpenSource(ado::ResolveDataSource("Ledra"), /*create=*/true);
  const auto store = tc2000::PriceStore::DefaultPath();
  if (std::filesystem::exists(store)) return;
  std::printf("making the demo world (10,000 companies, 10 years) in %s ...\n", home.c_str());
  std::fflush(stdout);
  demo::DemoOptions options;
  options.companies = 10000;
  options.years = 10;
  options.seed = 1;
  options.end_date = 20261204;
  demo::WriteDemoStore(demo::MakeDemoWorld(options), store);
}

struct Sample {
  int kind;
  double ms;
};

const char* const kKinds[] = {"Quotes.Symbol (load 100 days)", "Quotes.GetArray(\"C\")",
                              "Settings.ChartMAShortDays"};

double Percentile(std::vector<double>& values, double p) {
  if (values.empty()) return 0;
  const size_t at = std::min(values.size() - 1, static_cast<size_t>(p * values.size()));
  std::nth_element(values.begin(), values.begin() + at, values.end());
  return values[at];
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  const int clients = argc > 2 ? std::atoi(argv[2]) : 16;
  PrepareWorld();
  std::vector<std::string> symbols;
  for (const tc2000::Security& s :
       tc2000::PriceStore::OpenForReading(tc2000::PriceStore::DefaultPath())->AllSecurities()) {
    if (s.active && s.bar_count > 100) symbols.push_back(s.symbol);
  }

  web::WebServerOptions options;
  options.port = 0;
  options.web_root = web::DefaultWebRoot();
  options.access_log = false;
  web::WebServer server(options);
  const int port = server.Bind();
  std::thread serving([&] { server.Run(); });

  std::atomic<bool> go{false}, failed{false};
  Clock::time_point deadline;
  std::vector<std::vector<Sample>> samples(clients);
  std::vector<std::thread> pages;
  for (int c = 0; c < clients; ++c) {
    pages.emplace_back([&, c] {
      httplib::Client client("127.0.0.1", port);
      client.set_keep_alive(true);
      client.set_tcp_nodelay(true);
      httplib::Headers headers = {{"X-Kestrova-Token", server.token()}};
      auto post = [&](const std::string& path, const Json& body) {
        auto answer = client.Post(path.c_str(), headers, body.dump(), "application/json");
        if (!answer || answer->status != 200) {
          std::fprintf(stderr, "%s: %s\n", path.c_str(),
                       answer ? std::to_string(answer->status).c_str()
                              : httplib::to_string(answer.error()).c_str());
          failed = true;
          return Json();
        }
        Json json = Json::parse(answer->body);
        if (json.contains("error")) {
          std::fprintf(stderr, "%s: %s\n", path.c_str(), json.dump().c_str());
          failed = true;
        }
        return json;
      };
      const Json session = post("/api/sessions", Json::object());
      if (failed) return;
      headers.emplace("X-Kestrova-Session", session["session"].get<std::string>());
      const std::string quotes =
          "/api/objects/" + post("/api/objects", {{"progid", "Thalmere.Quotes"}})["id"].dump();
      const std::string settings =
          "/api/objects/" + post("/api/objects", {{"progid", "Thalmere.Settings"}})["id"].dump();
      post(quotes, {{"member", "days"}, {"kind", "let"}, {"args", {100}}});
      std::mt19937 random(c);
      while (!go) std::this_thread::yield();
      for (int n = 0; Clock::now() < deadline && !failed; ++n) {
        const int kind = n % 3;
        const auto began = Clock::now();
        if (kind == 0) {
          post(quotes, {{"member", "Symbol"},
                        {"kind", "let"},
                        {"args", {symbols[random() % symbols.size()]}}});
        } else if (kind == 1) {
          post(quotes, {{"member", "GetArray"}, {"kind", "call"}, {"args", {"C"}}});
        } else {
          post(settings, {{"member", "ChartMAShortDays"}, {"kind", "get"}});
        }
        samples[c].push_back(
            {kind, std::chrono::duration<double, std::milli>(Clock::now() - began).count()});
      }
    });
  }
  deadline = Clock::now() + std::chrono::seconds(seconds);
  go = true;
  for (std::thread& t : pages) t.join();
  server.Stop();
  serving.join();
  if (failed) {
    std::fprintf(stderr, "a call failed\n");
    return 1;
  }

  std::vector<double> all;
  std::map<int, std::vector<double>> by_kind;
  for (const auto& list : samples) {
    for (const Sample& s : list) {
      all.push_back(s.ms);
      by_kind[s.kind].push_back(s.ms);
    }
  }
  std::printf("%d pages for %d s over %zu stocks: %zu calls, %.0f calls/s\n", clients, seconds,
              symbols.size(), all.size(), all.size() / static_cast<double>(seconds));
  std::printf("  %-32s p50 %6.2f ms  p95 %6.2f ms\n", "all calls", Percentile(all, 0.50),
              Percentile(all, 0.95));
  for (auto& [kind, values] : by_kind) {
    std::printf("  %-32s p50 %6.2f ms  p95 %6.2f ms  (%zu calls)\n", kKinds[kind],
                Percentile(values, 0.50), Percentile(values, 0.95), values.size());
  }
  return 0;
}
