// The composite and EVA runs while another process imports prices into the store they read.
//
// The importer (`kestrova import-prices`, a process of its own) writes the first 300
// companies' bars back as they are, file after file, each file one commit, for as long as the
// runs last; between passes it switches a symbol no company has, TORNCHECK, between two
// versions of 400 bars (closes 1, 2, … and 10001, 10002, …). So the store changes all the
// time, and yet every answer is fixed:
//   - si_composite and si_eva must equal those of a run on the quiet store, row for row;
//   - every read of TORNCHECK's bars, from a reader thread of this process, must come from
//     one version, whole.
// Prints the times of the quiet and the concurrent runs, the commits the importer made
// meanwhile, and the checks; exits 1 when a check fails. The world is made once in
// $KESTROVA_BENCH_DATA/concurrent (default /tmp/kestrova-bench/concurrent) and reused.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <spawn.h>
#include <stdlib.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench/BenchWorld.h"
#include "bench/QuietTasks.h"
#include "demo/DemoFundamentals.h"
#include "demo/DemoWorld.h"
#include "ocx/calccomp.h"
#include "ocx/calceva.h"
#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/DateCode.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Dispatch.h"
#include "platform/helpers/library.h"
#include "platform/tc2000/PriceStore.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kImportedCompanies = 300;
constexpr int kTornBars = 400;
constexpr const char* kTornSymbol = "TORNCHECK";

using bench::QuietTasks;

std::filesystem::path Home() {
  const char* dir = getenv("KESTROVA_BENCH_DATA");
  return std::filesystem::path(dir && *dir ? dir : "/tmp/kestrova-bench") / "concurrent";
}

void PrepareWorld() { bench::PrepareDemoHome("concurrent", 10000, 10); }

void WriteBars(const std::filesystem::path& file, const std::vector<tc2000::Bar>& bars) {
  std::ofstream out(file);
  out << "Date,Open,High,Low,Close,Volume\n";
  char line[160];
  for (const tc2000::Bar& b : bars) {
    // Nine significant digits give every Single back exactly.
    std::snprintf(line, sizeof line, "%s,%.9g,%.9g,%.9g,%.9g,%d\n",
                  automation::DateCode(b.date).IsoText().c_str(), b.open, b.high, b.low, b.close,
                  b.volume);
    out << line;
  }
}

std::vector<tc2000::Bar> TornBars(float base) {
  std::vector<tc2000::Bar> bars;
  const automation::Date last = automation::DateOf(2026, 11, 27);
  automation::Date day = automation::AddDays(last, -kTornBars * 2);
  while (static_cast<int>(bars.size()) < kTornBars) {
    day = automation::AddDays(day, 1);
    if (automation::IsoWeekday(day) > 5) continue;
    const float close = base + static_cast<float>(bars.size());
    bars.push_back({helpers::LongFromDate(day), close, close, close, close, 1000});
  }
  return bars;
}

// Two folders for the importer: the companies' bars as they are with TORNCHECK's first
// version, and TORNCHECK's second version alone.
void WriteImportFolders(const std::filesystem::path& all, const std::filesystem::path& torn) {
  std::filesystem::remove_all(all);
  std::filesystem::remove_all(torn);
  std::filesystem::create_directories(all);
  std::filesystem::create_directories(torn);
  auto store = tc2000::PriceStore::OpenForReading(tc2000::PriceStore::DefaultPath());
  const auto securities = store->AllSecurities();
  int written = 0;
  for (const tc2000::Security& security : securities) {
    if (security.worden < 3 || security.symbol == kTornSymbol) continue;  // the index and rate
    auto bars = store->BarsBetween(security.worden, 0, 99999999);
    std::reverse(bars.begin(), bars.end());  // oldest first, as the store keeps them
    WriteBars(all / (security.symbol + ".csv"), bars);
    if (++written == kImportedCompanies) break;
  }
  WriteBars(all / (std::string(kTornSymbol) + ".csv"), TornBars(1));
  WriteBars(torn / (std::string(kTornSymbol) + ".csv"), TornBars(10001));
}

using Table = std::vector<std::vector<automation::Variant>>;

Table Dump(const char* sql) {
  auto ledra = ado::Connection::OpenDataSource("Ledra");
  auto rows = helpers::OpenRecordset(ledra, sql);
  Table table;
  for (; !rows->EOF_(); rows->MoveNext()) {
    std::vector<automation::Variant> row;
    for (int32_t i = 0; i < rows->FieldCount(); ++i) row.push_back(rows->Field(i));
    table.push_back(std::move(row));
  }
  return table;
}

struct Tables {
  Table composite, eva;
  bool operator==(const Tables&) const = default;
};

// Both runs, one after the other; their seconds.
std::pair<double, double> RunBoth() {
  auto tasks = std::make_shared<QuietTasks>();
  const auto began = Clock::now();
  kestrova::CalcComposites(tasks);
  const auto between = Clock::now();
  kestrova::CalcEVA(tasks);
  const auto ended = Clock::now();
  return {std::chrono::duration<double>(between - began).count(),
          std::chrono::duration<double>(ended - between).count()};
}

Tables Stored() {
  return {Dump("select * from si_composite order by ticker"),
          Dump("select * from si_eva order by company_id, period")};
}

// Runs `kestrova import-prices FOLDER --store STORE` and waits for it; its exit status.
int Import(const std::filesystem::path& program, const std::filesystem::path& folder,
           const std::filesystem::path& store) {
  const std::string p = program.string(), f = folder.string(), s = store.string();
  std::vector<char*> argv = {const_cast<char*>(p.c_str()), const_cast<char*>("import-prices"),
                             const_cast<char*>(f.c_str()), const_cast<char*>("--store"),
                             const_cast<char*>(s.c_str()), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, p.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main() {
  PrepareWorld();
  const std::filesystem::path store = tc2000::PriceStore::DefaultPath();
  const std::filesystem::path program =
      std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kestrova";
  const std::filesystem::path all = Home() / "import-all", torn = Home() / "import-torn";
  WriteImportFolders(all, torn);
  // TORNCHECK goes in before the quiet run, so both runs see the same securities.
  if (Import(program, all, store) != 0) {
    std::fprintf(stderr, "concurrent_import_bench: the first import failed\n");
    return 1;
  }

  const auto [quiet_composite, quiet_eva] = RunBoth();
  const Tables reference = Stored();
  std::printf("quiet store:     composites %.2f s, eva %.2f s (%zu and %zu rows)\n",
              quiet_composite, quiet_eva, reference.composite.size(), reference.eva.size());

  // The importer: passes of all companies, each followed by TORNCHECK's other version.
  std::atomic<bool> stop{false};
  std::atomic<int> passes{0}, failures{0};
  std::thread importer([&] {
    while (!stop) {
      for (const auto& folder : {torn, all}) {
        if (Import(program, folder, store) != 0) ++failures;
      }
      ++passes;
    }
  });
  // A reader of TORNCHECK's bars as the runs read the store: each read from one version.
  std::atomic<long> reads{0}, torn_reads{0}, first_seen{0}, second_seen{0};
  std::thread reader([&] {
    auto prices = tc2000::PriceStore::OpenForReading(store);
    const int32_t worden = prices->WordenNumFromSymbol(kTornSymbol);
    while (!stop) {
      const auto bars = prices->LatestBars(worden, kTornBars);
      const float base = bars.empty() ? 0 : (bars.back().close >= 10001 ? 10001.0f : 1.0f);
      bool whole = static_cast<int>(bars.size()) == kTornBars;
      for (size_t k = 0; whole && k < bars.size(); ++k) {
        whole = bars[k].close == base + static_cast<float>(kTornBars - 1 - k);
      }
      ++reads;
      if (!whole) ++torn_reads;
      ++(base == 1.0f ? first_seen : second_seen);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });

  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the importer under way
  const auto [busy_composite, busy_eva] = RunBoth();
  const Tables during = Stored();
  stop = true;
  importer.join();
  reader.join();

  std::printf("while importing: composites %.2f s, eva %.2f s\n", busy_composite, busy_eva);
  std::printf("importer:        %d passes of %d files, %d failed imports\n", passes.load(),
              kImportedCompanies + 2, failures.load());
  std::printf(
      "reader:          %ld reads of %s (%ld of the first version, %ld of the second), "
      "%ld torn\n",
      reads.load(), kTornSymbol, first_seen.load(), second_seen.load(), torn_reads.load());
  const bool same = during == reference;
  std::printf("si_composite and si_eva %s those of the quiet run\n",
              same ? "equal" : "DIFFER FROM");
  const bool ok = same && torn_reads == 0 && failures == 0 && second_seen > 0;
  std::printf("%s\n", ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
