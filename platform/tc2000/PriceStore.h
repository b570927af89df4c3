#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/ado/Transaction.h"

// The local price store behind the price server: securities (keyed by their Worden number),
// their daily bars and the chart lists, in one SQLite file. Bars are kept in packed chunks
// of kBarsPerChunk per security, oldest first, so that the latest bars of a security are one
// or two page reads away.
//
// A PriceStore is one connection; use it from one thread at a time. Any number of readers and
// one writer may have the same file open (WAL). Errors are automation::Error: 75 when the
// file cannot be opened, the database numbers for SQL failures.
namespace tc2000 {

// One trading day of a security.
struct Bar {
  int32_t date = 0;  // date code: year × 10000 + month × 100 + day
  float open = 0, high = 0, low = 0, close = 0;
  int32_t volume = 0;
};

struct Security {
  int32_t worden = 0;  // the store's key, from 1, in the order securities were added
  std::string symbol;  // upper case as stored; looked up without regard to case
  std::string name;
  bool active = true;
  int32_t bar_count = 0;
};

struct ChartList {
  std::string name;
  int32_t type =
      0;  // 0 global, 1 scan, 4 industry, 5 sector, 6 industry group, 7 manual, 8 maintained
  std::vector<int32_t> members;  // Worden numbers, in list order
};

class PriceStore {
 public:
  // 168 bars of 24 bytes fill one 4 KiB page. Readers take chunks of any size, so the number
  // can change without making stored files unreadable.
  static constexpr int32_t kBarsPerChunk = 168;

  // The store of this installation: [tc2000] store in kestrova.ini, else
  // DataDirectory()/tc2000.db.
  static std::filesystem::path DefaultPath();

  // Opens an existing store for reading; a missing file is error 75 naming it.
  static std::unique_ptr<PriceStore> OpenForReading(const std::filesystem::path& path);
  // Opens a store for writing, creating the file and its tables when missing. The writer
  // keeps the store in WAL mode while it is open and, when it is the last connection, leaves
  // it in rollback-journal mode, so that reading a store no one writes creates no file.
  static std::unique_ptr<PriceStore> OpenForWriting(const std::filesystem::path& path);

  ~PriceStore();
  PriceStore(const PriceStore&) = delete;
  PriceStore& operator=(const PriceStore&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // ---- reading
  // 0 when the symbol is unknown (matched without regard to case, after trimming blanks).
  int32_t WordenNumFromSymbol(const std::string& symbol);
  std::optional<Security> FindSecurity(int32_t worden);
  // Every security, in Worden-number order.
  std::vector<Security> AllSecurities();
  // The latest `count` bars of a security, newest first; fewer when it has fewer, none when
  // it is unknown or count < 1.
  std::vector<Bar> LatestBars(int32_t worden, int32_t count);
  // Every bar of a security dated `first` to `last` (date codes, both included), newest
  // first; none when it is unknown or first > last. Whatever days the bars fall on, all of
  // them come back.
  std::vector<Bar> BarsBetween(int32_t worden, int32_t first, int32_t last);
  // All chart lists in list order (list index = position + 1); `members` left empty.
  std::vector<ChartList> AllChartLists();
  // The members of list `list_index` (from 1) in list order, with their Worden numbers and
  // symbols (the other fields are left as they come); empty when the list is empty or does
  // not exist.
  std::vector<Security> ChartListMembers(int32_t list_index);
  // True while the file this store opened is still the file at its path (a store replaced
  // on disk makes a reader stale).
  bool IsCurrent() const;
  // Each read is a transaction of its own, unless the reader keeps its read transaction
  // between calls while no one commits to the store: a run of reads then pays for one
  // transaction, and a commit by anyone is still seen by the next read. A kept transaction
  // keeps the WAL from being reset behind this reader, so its owner must let it go when the
  // reader goes idle (ReleaseSnapshot; the next read takes a new one).
  void KeepSnapshot(bool keep);
  void ReleaseSnapshot();

  // ---- writing (each call is one transaction unless inside Begin/Commit)
  void Begin();
  void Commit();
  void Rollback();
  // Adds a security or updates the name and active flag of the one with that symbol;
  // returns its Worden number.
  int32_t UpsertSecurity(const std::string& symbol, const std::string& name, bool active);
  // Replaces every bar of a security; `bars` must ascend by date (checked: error 5).
  void ReplaceBars(int32_t worden, std::span<const Bar> bars);
  // Replaces all chart lists.
  void ReplaceChartLists(std::span<const ChartList> lists);

 private:
  struct Impl;
  PriceStore(std::filesystem::path path, std::unique_ptr<Impl> impl);

  std::filesystem::path path_;
  std::unique_ptr<Impl> impl_;
};

// One transaction on the store, rolled back unless committed (see ado::BasicTransaction).
using StoreTransaction = ado::BasicTransaction<PriceStore, &PriceStore::Begin, &PriceStore::Commit,
                                               &PriceStore::Rollback>;

}  // namespace tc2000
