#include "tools/DemoDataCommand.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>

#include <fmt/format.h>

#include "demo/DemoFundamentals.h"
#include "demo/DemoWorld.h"
#include "platform/ado/DataSources.h"
#include "platform/automation/DateCode.h"
#include "platform/automation/Error.h"
#include "platform/tc2000/PriceStore.h"

namespace tools {

namespace {

struct Options {
  int32_t companies = 500;
  int32_t years = 10;
  uint64_t seed = 1;
  std::string end;
  std::string store;
  bool if_missing = false;
  bool no_fundamentals = false;
};

// "2024-06-28" as a date code; 0 when the text has another form (a day that does not exist
// is left to the world to refuse).
int32_t ParseEnd(const std::string& text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return 0;
  int32_t code = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == 4 || i == 7) continue;
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return 0;
    code = code * 10 + (text[i] - '0');
  }
  return code;
}

// Where a data source leads, for the summary: the file of a SQLite source; for a server,
// only that it is one (its connection string may hold a password).
std::string PlaceOf(const std::string& name) {
  const ado::DataSource source = ado::ResolveDataSource(name);
  return source.driver == ado::Engine::kSqlite
             ? source.path
             : std::string(ado::EngineName(source.driver)) + " server";
}

// Shows a running percentage on a terminal.
class ProgressLine {
 public:
  explicit ProgressLine(const char* what) : what_(what), shown_(isatty(fileno(stderr)) != 0) {}
  ~ProgressLine() {
    if (shown_ && percent_ >= 0) fmt::print(stderr, "\n");
  }
  void operator()(size_t done, size_t total) {
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    if (shown_ && percent != percent_) {
      percent_ = percent;
      fmt::print(stderr, "\r{}: {:3}%", what_, percent);
      std::fflush(stderr);
    }
  }

 private:
  const char* what_;
  bool shown_;
  int percent_ = -1;
};

void WriteFundamentals(const demo::DemoWorld& world, bool if_missing) {
  if (if_missing && demo::HasFundamentals()) {
    fmt::print("The fundamentals database ({}) holds tables already; left as it is\n",
               PlaceOf("SIPStatic"));
    return;
  }
  const auto started = std::chrono::steady_clock::now();
  demo::DemoFundamentalsSummary summary;
  {
    ProgressLine progress("Writing the demo fundamentals");
    summary = demo::WriteDemoFundamentals(world, std::ref(progress));
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  fmt::print("Demo fundamentals:\n");
  for (const char* source : {"SIPStatic", "SIPDbf", "SIPUser"}) {
    fmt::print("  {:<13} {}\n", std::string(source) + ":", PlaceOf(source));
  }
  fmt::print("  companies:    {} with statements, ratios and ranks; {} industries ranked\n",
             summary.companies, summary.industries);
  fmt::print("  portfolios:   {} with {} members\n", summary.portfolios, summary.portfolio_members);
  fmt::print("  rows:         {}\n", summary.rows);
  fmt::print("  took {:.1f} s\n", seconds);
}

int Run(const Options& options) {
  const auto started = std::chrono::steady_clock::now();
  demo::DemoOptions world_options;
  world_options.companies = options.companies;
  world_options.years = options.years;
  world_options.seed = options.seed;
  if (!options.end.empty()) {
    world_options.end_date = ParseEnd(options.end);
    if (world_options.end_date == 0) {
      fmt::print(stderr, "kestrova: --end {} is not a date YYYY-MM-DD\n", options.end);
      return 1;
    }
  }
  const std::filesystem::path store_path = options.store.empty()
                                               ? tc2000::PriceStore::DefaultPath()
                                               : std::filesystem::path(options.store);

  if (options.if_missing && std::filesystem::exists(store_path)) {
    fmt::print("The price store {} exists; left as it is\n", store_path.string());
    return 0;
  }

  const demo::DemoWorld world = demo::MakeDemoWorld(world_options);

  int64_t bars = 0;
  {
    ProgressLine progress("Writing the demo store");
    bars = demo::WriteDemoStore(world, store_path, std::ref(progress));
  }

  int inactive = 0, recent = 0, sector_lists = 0, industry_lists = 0;
  for (const demo::DemoCompany& company : world.companies) {
    if (!company.active) ++inactive;
    if (company.first_date != world.trading_days.front()) ++recent;
  }
  for (const tc2000::ChartList& list : world.chart_lists) {
    if (list.type == 5) ++sector_lists;
    if (list.type == 4) ++industry_lists;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  fmt::print("Demo price store {} (seed {}):\n", store_path.string(), options.seed);
  fmt::print(
      "  securities:   {} ({} companies, {} of them inactive, {} listed lately; {} and {})\n",
      world.securities.size(), world.companies.size(), inactive, recent, demo::kDemoIndexSymbol,
      demo::kDemoRateSymbol);
  fmt::print("  trading days: {}, {} to {}{}\n", world.trading_days.size(),
             automation::DateCode(world.trading_days.front()).IsoText(),
             automation::DateCode(world.trading_days.back()).IsoText(),
             world_options.end_date != 0 && world.options.end_date != world_options.end_date
                 ? fmt::format(" ({} is no trading day)", options.end)
                 : "");
  fmt::print("  bars:         {}\n", bars);
  fmt::print("  chart lists:  {} ({} sectors, {} industries, {} other)\n", world.chart_lists.size(),
             sector_lists, industry_lists,
             world.chart_lists.size() - sector_lists - industry_lists);
  fmt::print("  took {:.1f} s\n", seconds);

  if (!options.no_fundamentals) WriteFundamentals(world, options.if_missing);
  return 0;
}

}  // namespace

void AddDemoDataCommand(CLI::App& app) {
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(
      "demo-data", "Replace the price store and the fundamentals with a made-up market");
  command->add_option("--companies", options->companies, "Number of companies")
      ->check(CLI::Range(0, demo::DemoOptions::kMaxCompanies))
      ->capture_default_str();
  command->add_option("--years", options->years, "Years of daily bars")
      ->check(CLI::Range(1, demo::DemoOptions::kMaxYears))
      ->capture_default_str();
  command->add_option("--seed", options->seed, "Seed of the random world")->capture_default_str();
  command->add_option("--end", options->end,
                      "Last day YYYY-MM-DD (default: the latest trading day up to today)");
  command->add_option("--store", options->store,
                      "Price store file (default: the installation's store)");
  command->add_flag("--if-missing", options->if_missing,
                    "Do nothing when the store exists already, and keep fundamentals that "
                    "exist (for first-start scripts)");
  command->add_flag("--no-fundamentals", options->no_fundamentals,
                    "Write the price store only; leave the data sources SIPStatic, SIPDbf "
                    "and SIPUser alone");
  command->footer(
      "The store is written beside FILE and renamed over it when complete; a failed run "
      "leaves the old store. The fundamentals tables on SIPStatic, SIPDbf and SIPUser are "
      "then rebuilt for the same companies, each data source in one transaction. The same "
      "arguments make the same bars, lists and fundamentals.");
  command->callback([options] { throw CLI::RuntimeError(Run(*options)); });
}

}  // namespace tools
