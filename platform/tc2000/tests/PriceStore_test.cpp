#include "platform/tc2000/PriceStore.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "platform/automation/Error.h"
#include "platform/helpers/library.h"
#include "platform/tc2000/tests/TestStore.h"
#include "platform/tests/TestEnvironment.h"

namespace tc2000 {
namespace {

using automation::DateOf;
using testing_support::ErrorNumberOf;
using testing_support::WeekdayBars;

class PriceStoreTest : public ::testing::Test {
 protected:
  std::filesystem::path path() const { return home_.data() / "prices.db"; }

  testing_support::ScopedTempHome home_;
};

TEST_F(PriceStoreTest, LatestBarsAcrossChunkBoundaries) {
  // Four chunks, the last one partial.
  const auto bars = WeekdayBars(DateOf(2020, 1, 1), DateOf(2021, 12, 31));
  auto store = PriceStore::OpenForWriting(path());
  const int32_t worden = store->UpsertSecurity("ibm", "Inland Business Machines", true);
  store->ReplaceBars(worden, bars);

  auto reader = PriceStore::OpenForReading(path());
  const int32_t chunk = PriceStore::kBarsPerChunk;
  const int32_t all = static_cast<int32_t>(bars.size());
  ASSERT_EQ((all - 1) / chunk, 3);
  for (int32_t count : {1, 2, 100, chunk - 1, chunk, chunk + 1, 2 * chunk, 2 * chunk + 1,
                        all - chunk, all, all + 50}) {
    const auto latest = reader->LatestBars(worden, count);
    const size_t expected = std::min<size_t>(count, bars.size());
    ASSERT_EQ(latest.size(), expected) << count;
    for (size_t k = 0; k < latest.size(); ++k) {
      const Bar& want = bars[bars.size() - 1 - k];  // newest first
      ASSERT_EQ(latest[k].date, want.date) << count << " at " << k;
      ASSERT_EQ(latest[k].close, want.close);
      ASSERT_EQ(latest[k].volume, want.volume);
    }
  }
  EXPECT_TRUE(reader->LatestBars(worden, 0).empty());
  EXPECT_TRUE(reader->LatestBars(worden + 1, 10).empty());
}

TEST_F(PriceStoreTest, BarsBetweenTakeEveryStoredDayOfTheWindow) {
  // Monday to Saturday for two years: several chunks, with days no weekday count foresees.
  std::vector<Bar> bars;
  for (auto d = DateOf(2020, 1, 1); d.value <= DateOf(2021, 12, 31).value;
       d = automation::AddDays(d, 1)) {
    if (automation::IsoWeekday(d) == 7) continue;
    bars.push_back({helpers::LongFromDate(d), 1, 2, 0.5f, static_cast<float>(bars.size()), 9});
  }
  auto store = PriceStore::OpenForWriting(path());
  const int32_t worden = store->UpsertSecurity("SIX", "Six Days", true);
  store->ReplaceBars(worden, bars);
  const int32_t other = store->UpsertSecurity("NEXT", "Next Door", true);
  store->ReplaceBars(other, WeekdayBars(DateOf(2019, 1, 1), DateOf(2022, 6, 30)));

  const size_t chunk = PriceStore::kBarsPerChunk;
  const int32_t first = bars.front().date, last = bars.back().date;
  const struct {
    int32_t from, to;
  } windows[] = {
      {first, last},
      {19990101, 20991231},
      {bars[chunk - 1].date, bars[chunk].date},  // across a chunk boundary
      {bars[chunk].date, bars[chunk].date},
      {bars[chunk + 1].date, bars[3 * chunk + 5].date},
      {20200104, 20200104},  // a Saturday
      {20200105, 20200105},  // a Sunday: nothing
      {20211225, 20220301},  // up to the end and past it
      {19990101, 20200101},  // up to the first day
      {20220101, 20220131},  // after the history
      {20191201, 20191231},  // before it
      {20210301, 20200301},  // ends before it starts
  };
  auto reader = PriceStore::OpenForReading(path());
  for (const auto& w : windows) {
    std::vector<int32_t> expected;
    for (auto it = bars.rbegin(); it != bars.rend(); ++it) {
      if (it->date >= w.from && it->date <= w.to) expected.push_back(it->date);
    }
    std::vector<int32_t> got;
    for (const Bar& bar : reader->BarsBetween(worden, w.from, w.to)) got.push_back(bar.date);
    ASSERT_EQ(got, expected) << w.from << ".." << w.to;
  }
  const auto one = reader->BarsBetween(worden, bars[chunk].date, bars[chunk].date);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].close, bars[chunk].close);
  EXPECT_EQ(one[0].volume, 9);
  EXPECT_TRUE(reader->BarsBetween(worden + 5, first, last).empty());
}

TEST_F(PriceStoreTest, ReplacingBarsDropsTheOldChunks) {
  auto store = PriceStore::OpenForWriting(path());
  const int32_t a = store->UpsertSecurity("AAA", "A", true);
  const int32_t b = store->UpsertSecurity("BBB", "B", true);
  store->ReplaceBars(a, WeekdayBars(DateOf(2019, 1, 1), DateOf(2021, 1, 1)));
  store->ReplaceBars(b, WeekdayBars(DateOf(2020, 1, 1), DateOf(2020, 3, 1), {}, 5));
  const auto fewer = WeekdayBars(DateOf(2022, 1, 3), DateOf(2022, 1, 7), {}, 50);
  store->ReplaceBars(a, fewer);

  EXPECT_EQ(store->FindSecurity(a)->bar_count, 5);
  const auto all = store->LatestBars(a, 1000);
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all.front().date, 20220107);
  EXPECT_EQ(all.back().date, 20220103);
  // The neighbour's bars are untouched.
  EXPECT_EQ(store->LatestBars(b, 1).front().close, store->LatestBars(b, 1000).front().close);
  EXPECT_EQ(store->LatestBars(b, 1000).back().date, 20200101);

  store->ReplaceBars(a, {});
  EXPECT_TRUE(store->LatestBars(a, 10).empty());
}

TEST_F(PriceStoreTest, RejectsBadWritesWithoutChangingTheStore) {
  auto store = PriceStore::OpenForWriting(path());
  const int32_t worden = store->UpsertSecurity("AAA", "A", true);
  store->ReplaceBars(worden, WeekdayBars(DateOf(2022, 1, 3), DateOf(2022, 1, 7)));

  std::vector<Bar> unordered = WeekdayBars(DateOf(2022, 2, 1), DateOf(2022, 2, 10));
  std::swap(unordered[2], unordered[3]);
  EXPECT_EQ(ErrorNumberOf([&] { store->ReplaceBars(worden, unordered); }),
            automation::err::kInvalidArgument);
  std::vector<Bar> doubled = WeekdayBars(DateOf(2022, 2, 1), DateOf(2022, 2, 10));
  doubled[1].date = doubled[0].date;
  EXPECT_NE(ErrorNumberOf([&] { store->ReplaceBars(worden, doubled); }), 0);
  EXPECT_NE(ErrorNumberOf([&] { store->ReplaceBars(worden + 7, doubled); }), 0);
  EXPECT_EQ(ErrorNumberOf([&] { store->UpsertSecurity("   ", "blank", true); }),
            automation::err::kInvalidArgument);

  EXPECT_EQ(store->LatestBars(worden, 10).size(), 5u);
  EXPECT_EQ(store->AllSecurities().size(), 1u);

  // A transaction of the caller rolls back as a whole.
  store->Begin();
  store->ReplaceBars(worden, {});
  store->UpsertSecurity("CCC", "C", true);
  store->Rollback();
  EXPECT_EQ(store->LatestBars(worden, 10).size(), 5u);
  EXPECT_EQ(store->WordenNumFromSymbol("CCC"), 0);

  // So does one under a guard that goes without its commit; a committed one stays.
  {
    StoreTransaction transaction(*store);
    store->UpsertSecurity("DDD", "D", true);
  }
  EXPECT_EQ(store->WordenNumFromSymbol("DDD"), 0);
  {
    StoreTransaction transaction(*store);
    store->UpsertSecurity("DDD", "D", true);
    transaction.Commit();
  }
  EXPECT_NE(store->WordenNumFromSymbol("DDD"), 0);
}

TEST_F(PriceStoreTest, SecuritiesAreFoundWithoutRegardToCaseAndBlanks) {
  auto store = PriceStore::OpenForWriting(path());
  EXPECT_EQ(store->UpsertSecurity("ibm", "Inland Business Machines", true), 1);
  EXPECT_EQ(store->UpsertSecurity("O'NEIL", "O'Neil & Sons", false), 2);
  EXPECT_EQ(store->UpsertSecurity("SP-500", "Standard 500 Index", true), 3);
  // Updating keeps the number.
  EXPECT_EQ(store->UpsertSecurity("IBM ", "Inland Business Machines Corp", false), 1);

  EXPECT_EQ(store->WordenNumFromSymbol("IBM"), 1);
  EXPECT_EQ(store->WordenNumFromSymbol("  ibm  "), 1);
  EXPECT_EQ(store->WordenNumFromSymbol("o'neil"), 2);
  EXPECT_EQ(store->WordenNumFromSymbol("SP-500"), 3);
  EXPECT_EQ(store->WordenNumFromSymbol("SP"), 0);
  EXPECT_EQ(store->WordenNumFromSymbol(""), 0);

  const auto ibm = store->FindSecurity(1);
  ASSERT_TRUE(ibm);
  EXPECT_EQ(ibm->symbol, "IBM");
  EXPECT_EQ(ibm->name, "Inland Business Machines Corp");
  EXPECT_FALSE(ibm->active);
  EXPECT_FALSE(store->FindSecurity(99));
  const auto all = store->AllSecurities();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[1].name, "O'Neil & Sons");
}

TEST_F(PriceStoreTest, ChartListsKeepTheirOrderAndMembers) {
  auto store = PriceStore::OpenForWriting(path());
  const int32_t a = store->UpsertSecurity("AAA", "A", true);
  const int32_t b = store->UpsertSecurity("BBB", "B", true);
  const std::vector<ChartList> lists = {{"Technology", 5, {b, a}},
                                        {"Software", 4, {a}},
                                        {"Analysts' Picks", 0, {}},
                                        {"Hardware", 4, {b}}};
  store->ReplaceChartLists(lists);
  store->ReplaceChartLists(lists);  // a second import replaces, never appends

  const auto read = store->AllChartLists();
  ASSERT_EQ(read.size(), 4u);
  EXPECT_EQ(read[2].name, "Analysts' Picks");
  EXPECT_EQ(read[3].type, 4);
  const auto members = store->ChartListMembers(1);
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(members[0].symbol, "BBB");
  EXPECT_EQ(members[1].worden, a);
  EXPECT_TRUE(store->ChartListMembers(3).empty());
  EXPECT_TRUE(store->ChartListMembers(5).empty());
}

TEST_F(PriceStoreTest, OpeningForReadingNeedsAStore) {
  EXPECT_EQ(ErrorNumberOf([&] { PriceStore::OpenForReading(path()); }),
            automation::err::kFileAccess);
  std::filesystem::create_directories(path().parent_path());
  std::ofstream(path()) << "not a database at all, just some text that is long enough";
  EXPECT_EQ(ErrorNumberOf([&] { PriceStore::OpenForReading(path()); }),
            automation::err::kFileAccess);
}

TEST_F(PriceStoreTest, ReaderNoticesAStoreReplacedOnDisk) {
  PriceStore::OpenForWriting(path())->UpsertSecurity("AAA", "A", true);
  auto reader = PriceStore::OpenForReading(path());
  EXPECT_TRUE(reader->IsCurrent());
  const auto fresh = home_.data() / "fresh.db";
  PriceStore::OpenForWriting(fresh)->UpsertSecurity("BBB", "B", true);
  std::filesystem::rename(fresh, path());
  EXPECT_FALSE(reader->IsCurrent());
}

// A reader keeps its snapshot between calls only while no one commits: each commit by
// another connection shows in its very next read, through many commits and the WAL restarts
// that checkpoints bring.
TEST_F(PriceStoreTest, ReaderSeesEveryCommitAtItsNextRead) {
  auto writer = PriceStore::OpenForWriting(path());
  const int32_t aaa = writer->UpsertSecurity("AAA", "A", true);
  auto bars = WeekdayBars(DateOf(2016, 1, 1), DateOf(2026, 11, 30));
  writer->ReplaceBars(aaa, bars);
  auto reader = PriceStore::OpenForReading(path());
  reader->KeepSnapshot(true);
  ASSERT_EQ(reader->LatestBars(aaa, 1).at(0).close, bars.back().close);

  // About 70 KB a commit: 150 of them pass the automatic checkpoint more than twice.
  for (int round = 1; round <= 150; ++round) {
    for (Bar& bar : bars) bar.close += 1;
    writer->ReplaceBars(aaa, bars);
    ASSERT_EQ(reader->LatestBars(aaa, 1).at(0).close, bars.back().close) << round;
    ASSERT_EQ(reader->BarsBetween(aaa, bars.front().date, bars.front().date).at(0).close,
              bars.front().close)
        << round;
    if (round % 50 == 0) {
      const std::string symbol = "N" + std::to_string(round);
      const int32_t added = writer->UpsertSecurity(symbol, "new", true);
      ASSERT_EQ(reader->WordenNumFromSymbol(symbol), added) << round;
      writer->UpsertSecurity(symbol, "new", false);
      ASSERT_FALSE(reader->FindSecurity(added)->active) << round;
      writer->ReplaceChartLists(std::vector<ChartList>{{symbol, 0, {added}}});
      ASSERT_EQ(reader->AllChartLists().at(0).name, symbol) << round;
      ASSERT_EQ(reader->ChartListMembers(1).at(0).worden, added) << round;
    }
  }
  // A released snapshot is taken anew by the next read.
  reader->ReleaseSnapshot();
  reader->ReleaseSnapshot();
  EXPECT_EQ(reader->AllSecurities().size(), 4u);
}

// Only a reader told to keep its snapshot holds one between calls, and only until it lets it
// go: a held snapshot is what keeps a checkpoint from emptying the WAL.
TEST_F(PriceStoreTest, AKeptSnapshotHoldsTheWalUntilReleased) {
  auto writer = PriceStore::OpenForWriting(path());
  const int32_t aaa = writer->UpsertSecurity("AAA", "A", true);
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path().c_str(), &raw), SQLITE_OK);
  // True when a truncating checkpoint finds a reader in its way.
  int writes = 0;
  auto held = [&] {
    // Something new in the WAL to check point.
    writer->UpsertSecurity("AAA", "A" + std::to_string(++writes), true);
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(raw, "PRAGMA wal_checkpoint(TRUNCATE)", -1, &statement, nullptr),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_step(statement), SQLITE_ROW);
    const bool busy = sqlite3_column_int(statement, 0) != 0;
    sqlite3_finalize(statement);
    return busy;
  };
  auto reader = PriceStore::OpenForReading(path());
  EXPECT_EQ(reader->FindSecurity(aaa)->symbol, "AAA");
  EXPECT_FALSE(held());
  reader->KeepSnapshot(true);
  EXPECT_EQ(reader->FindSecurity(aaa)->symbol, "AAA");
  EXPECT_TRUE(held());
  reader->ReleaseSnapshot();
  EXPECT_FALSE(held());
  EXPECT_EQ(reader->FindSecurity(aaa)->symbol, "AAA");
  EXPECT_TRUE(held());
  reader->KeepSnapshot(false);
  EXPECT_FALSE(held());
  sqlite3_close(raw);
}

// A store no writer has open is in rollback mode, where a kept snapshot holds off every
// writer. A reader that reads without pause must still let writers in, whether they commit
// in rollback mode or open the store (which puts it in WAL mode), and see each commit.
TEST_F(PriceStoreTest, AReaderThatKeepsReadingLetsWritersIn) {
  PriceStore::OpenForWriting(path())->UpsertSecurity("AAA", "A", true);
  auto reader = PriceStore::OpenForReading(path());
  reader->KeepSnapshot(true);
  ASSERT_EQ(reader->WordenNumFromSymbol("AAA"), 1);

  std::atomic<bool> done{false};
  std::string failure;
  std::thread writers([&] {
    sqlite3* raw = nullptr;
    sqlite3_open(path().c_str(), &raw);
    sqlite3_busy_timeout(raw, 10000);
    for (int k = 2; k <= 4 && failure.empty(); ++k) {
      const std::string sql = "INSERT INTO securities (worden, symbol) VALUES (" +
                              std::to_string(k) + ", 'S" + std::to_string(k) + "')";
      if (sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        failure = sql + ": " + sqlite3_errmsg(raw);
      }
    }
    sqlite3_close(raw);
    if (failure.empty()) {
      try {
        auto writer = PriceStore::OpenForWriting(path());
        writer->UpsertSecurity("S5", "", true);
        writer->UpsertSecurity("S6", "", true);
      } catch (const std::exception& e) {
        failure = e.what();
      }
    }
    done = true;
  });
  // Reads without pause until the writers are through, then once more.
  std::set<int32_t> seen;
  for (bool last = false; !last;) {
    last = done;
    for (int k = 2; k <= 6; ++k) {
      if (reader->WordenNumFromSymbol("S" + std::to_string(k)) == k) seen.insert(k);
    }
  }
  writers.join();
  EXPECT_EQ(failure, "");
  EXPECT_EQ(seen, (std::set<int32_t>{2, 3, 4, 5, 6}));
}

// Reading a store no one writes leaves its folder as it was: no -wal or -shm file, the same
// bytes and times. A writer that is not alone keeps WAL mode, and readers still see it all.
TEST_F(PriceStoreTest, ReadingWritesNothing) {
  namespace fs = std::filesystem;
  auto listing = [&] {
    std::string files;
    for (const auto& entry : fs::directory_iterator(path().parent_path())) {
      files += entry.path().filename().string() + " " + std::to_string(entry.file_size()) + " " +
               std::to_string(entry.last_write_time().time_since_epoch().count()) + "\n";
    }
    return files;
  };
  auto bars = WeekdayBars(DateOf(2024, 1, 1), DateOf(2024, 12, 31));
  int32_t aaa = 0;
  {
    auto writer = PriceStore::OpenForWriting(path());
    aaa = writer->UpsertSecurity("AAA", "A", true);
    writer->ReplaceBars(aaa, bars);
  }
  const std::string before = listing();
  EXPECT_EQ(before.find("-wal"), std::string::npos) << before;
  for (int round = 0; round < 2; ++round) {
    auto reader = PriceStore::OpenForReading(path());
    EXPECT_EQ(reader->LatestBars(aaa, 1).at(0).close, bars.back().close);
    EXPECT_EQ(reader->WordenNumFromSymbol("aaa"), aaa);
    EXPECT_EQ(reader->AllSecurities().size(), 1u);
    EXPECT_EQ(listing(), before) << round;
  }
  EXPECT_EQ(listing(), before);

  auto reader = PriceStore::OpenForReading(path());
  {
    auto writer = PriceStore::OpenForWriting(path());
    for (Bar& bar : bars) bar.close += 1;
    writer->ReplaceBars(aaa, bars);
    EXPECT_EQ(reader->LatestBars(aaa, 1).at(0).close, bars.back().close);
  }
  EXPECT_EQ(reader->LatestBars(aaa, 1).at(0).close, bars.back().close);
  reader.reset();
  // The next writer to close alone puts the store back in rollback mode.
  PriceStore::OpenForWriting(path())->UpsertSecurity("BBB", "B", true);
  const std::string after = listing();
  EXPECT_EQ(after.find("-wal"), std::string::npos) << after;
  EXPECT_EQ(after.find("-shm"), std::string::npos) << after;
  EXPECT_EQ(PriceStore::OpenForReading(path())->AllSecurities().size(), 2u);
}

TEST_F(PriceStoreTest, DefaultPathFollowsTheInstallationFile) {
  EXPECT_EQ(PriceStore::DefaultPath(), home_.data() / "kestrova" / "tc2000.db");
  std::filesystem::create_directories(home_.config() / "Kestrova");
  std::ofstream(home_.config() / "Kestrova" / "kestrova.ini") << "[tc2000]\nstore = /srv/p.db\n";
  EXPECT_EQ(PriceStore::DefaultPath(), "/srv/p.db");
}

}  // namespace
}  // namespace tc2000
