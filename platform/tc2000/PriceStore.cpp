// The price store keeps each security's bars in chunks of kBarsPerChunk packed 24-byte
// records, keyed by (Worden number << 16) + chunk number. A chunk fits in one 4 KiB page, so
// the latest 100 bars of a security are one index seek and one or two page reads, where a
// row per bar would cost a hundred row decodes.

#include "platform/tc2000/PriceStore.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>

#include <sqlite3.h>

#include "platform/ado/Errors.h"
#include "platform/ado/SqliteHandles.h"
#include "platform/automation/Error.h"
#include "platform/automation/Text.h"
#include "platform/system/FileIdentity.h"
#include "platform/system/Installation.h"
#include "platform/system/Paths.h"

namespace tc2000 {

namespace {

using automation::Error;
namespace err = automation::err;

static_assert(sizeof(Bar) == 24, "bars are stored as packed 24-byte records");
static_assert(std::endian::native == std::endian::little, "the store is little-endian");

constexpr int kBusyTimeoutMs = 10000;
constexpr int kSchemaVersion = 1;

using DatabaseHandle = ado::SqliteDatabase;
using StatementHandle = ado::SqliteStatement;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS securities (
  worden    INTEGER PRIMARY KEY,
  symbol    TEXT NOT NULL UNIQUE COLLATE NOCASE,
  name      TEXT NOT NULL DEFAULT '',
  active    INTEGER NOT NULL DEFAULT 1,
  bar_count INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS bar_chunks (
  id   INTEGER PRIMARY KEY,
  bars BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS chart_lists (
  list_index INTEGER PRIMARY KEY,
  name       TEXT NOT NULL,
  type       INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS chart_list_members (
  list_index INTEGER NOT NULL,
  position   INTEGER NOT NULL,
  worden     INTEGER NOT NULL,
  PRIMARY KEY (list_index, position)) WITHOUT ROWID;
)sql";

int64_t ChunkId(int32_t worden, int32_t chunk) {
  return (static_cast<int64_t>(worden) << 16) + chunk;
}

using kestrova_system::FileIdentity;
using kestrova_system::IdentityOf;

int32_t DateOfBar(std::span<const std::byte> chunk, size_t k) {
  int32_t date = 0;
  std::memcpy(&date, chunk.data() + k * sizeof(Bar) + offsetof(Bar, date), sizeof(date));
  return date;
}

// The index of the first of a chunk's `n` bars (ascending by date) dated on or after `date`;
// n when there is none.
size_t FirstBarFrom(std::span<const std::byte> chunk, size_t n, int64_t date) {
  size_t low = 0, high = n;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (DateOfBar(chunk, middle) < date) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

// The head of the WAL index in shared memory: two copies of the 48-byte header that every
// commit rewrites (frame count, salts and checksums), as the WAL file format lays it out.
constexpr int kWalIndexRegionBytes = 32768;
constexpr size_t kWalIndexHeaderBytes = 96;
using WalIndexHeader = std::array<unsigned char, kWalIndexHeaderBytes>;

}  // namespace

struct PriceStore::Impl {
  DatabaseHandle db;
  FileIdentity identity;
  int transaction_depth = 0;  // Begin .. Commit nesting of the caller
  bool writer = false;        // opened by OpenForWriting

  // A reader may keep its read transaction from one call to the next (KeepSnapshot): each
  // statement of its own would otherwise pay the file locks and the checks of a new
  // transaction. How long it may keep it depends on the journal mode the store is in:
  //  - WAL (a writer has the store open): for as long as no one has committed. Whether anyone
  //    has shows in the WAL index, which SQLite keeps in shared memory and which every commit
  //    rewrites; the header is copied before the snapshot begins, so a commit between the copy
  //    and the snapshot only renews the snapshot once more than needed.
  //  - rollback journal (no writer has it open): no one can commit while this reader holds its
  //    transaction, so the snapshot is always the store's latest state; but a writer that
  //    wants to commit, or to open the store, waits for it. It is kept for kRollbackHold at
  //    most and taken anew at the next read, when a waiting writer goes first.
  //  - WAL without a WAL index this reader can see: every read a transaction of its own.
  enum class Mode { kPerRead, kWal, kRollback };
  static constexpr std::chrono::milliseconds kRollbackHold{10};
  Mode mode = Mode::kPerRead;
  const volatile unsigned char* wal_index = nullptr;  // Mode::kWal
  WalIndexHeader header_at_snapshot{};
  std::chrono::steady_clock::time_point snapshot_began;
  bool keep_snapshot = false;
  bool in_snapshot = false;
  StatementHandle schema_version, journal_mode;

  WalIndexHeader CurrentHeader() const {
    WalIndexHeader header;
    std::atomic_thread_fence(std::memory_order_acquire);
    for (size_t k = 0; k < header.size(); ++k) header[k] = wal_index[k];
    std::atomic_thread_fence(std::memory_order_acquire);
    return header;
  }

  // SQLite's own view of the WAL index of a store in WAL mode (its WAL open on this
  // connection); null when it cannot be had.
  const volatile unsigned char* MapWalIndex() {
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(db.get(), "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
        !file || !file->pMethods || file->pMethods->iVersion < 2 || !file->pMethods->xShmMap) {
      return nullptr;
    }
    void volatile* region = nullptr;
    if (file->pMethods->xShmMap(file, 0, kWalIndexRegionBytes, 0, &region) != SQLITE_OK) {
      return nullptr;
    }
    return static_cast<const volatile unsigned char*>(region);
  }

  // The mode of reading for the journal mode the store is in now (after a read).
  void SetMode() {
    if (StepText(journal_mode) == "wal") {
      wal_index = MapWalIndex();
      mode = wal_index ? Mode::kWal : Mode::kPerRead;
    } else {
      wal_index = nullptr;
      mode = Mode::kRollback;
    }
  }

  bool SnapshotStillGood() const {
    if (mode == Mode::kWal) return CurrentHeader() == header_at_snapshot;
    return std::chrono::steady_clock::now() - snapshot_began < kRollbackHold;
  }

  // Called before every read: keeps the snapshot while it is good, else begins a new one.
  void BeginRead() {
    if (!keep_snapshot || mode == Mode::kPerRead) return;
    // A transaction SQLite ended by itself (after an error) is no snapshot to keep.
    if (in_snapshot && sqlite3_get_autocommit(db.get())) in_snapshot = false;
    if (in_snapshot) {
      if (SnapshotStillGood()) return;
      EndRead();
    }
    // The journal mode changes only when a writer opens the store or its last writer closes
    // it; the first read of a snapshot tells, and a change means one more new snapshot.
    for (int attempt = 0; attempt < 2; ++attempt) {
      const Mode before = mode;
      if (mode == Mode::kWal) header_at_snapshot = CurrentHeader();
      Exec("BEGIN");
      in_snapshot = true;
      snapshot_began = std::chrono::steady_clock::now();
      StepText(schema_version);  // the snapshot is taken here
      if ((StepText(journal_mode) == "wal") == (before == Mode::kWal)) return;
      EndRead();
      SetMode();
      if (mode == Mode::kPerRead) return;
    }
    EndRead();  // the mode would not settle: read this time without a kept snapshot
  }

  // Ends the kept read transaction, if any; the next read begins a new one.
  void EndRead() {
    if (!in_snapshot) return;
    in_snapshot = false;
    sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  }

  // The first column of a one-row statement's row as text.
  std::string StepText(const StatementHandle& statement) const {
    sqlite3_stmt* raw = statement.get();
    std::string text;
    if (sqlite3_step(raw) == SQLITE_ROW) {
      const auto* value = sqlite3_column_text(raw, 0);
      if (value) text = reinterpret_cast<const char*>(value);
    }
    sqlite3_reset(raw);
    return text;
  }

  static std::unique_ptr<Impl> Open(const std::filesystem::path& path, int flags);

  StatementHandle find_symbol, find_security, read_chunks, all_securities, all_lists, list_members;

  [[noreturn]] void Fail(const std::string& what) const {
    throw ado::ErrorWithDetail(ado::errors::kDatabase, what + ": " + sqlite3_errmsg(db.get()));
  }

  void Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db.get(), sql, nullptr, nullptr, &message) != SQLITE_OK) {
      std::string text = message ? message : "unknown error";
      sqlite3_free(message);
      throw ado::ErrorWithDetail(ado::errors::kDatabase, text + " (" + sql + ")");
    }
  }

  StatementHandle Prepare(const char* sql) const {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
        SQLITE_OK) {
      Fail(std::string("cannot prepare \"") + sql + "\"");
    }
    return StatementHandle(statement);
  }

  // A prepared statement, reset and with its bindings cleared when the scope ends.
  class Use {
   public:
    Use(const Impl& impl, const StatementHandle& statement)
        : impl_(impl), statement_(statement.get()) {}
    ~Use() {
      sqlite3_reset(statement_);
      sqlite3_clear_bindings(statement_);
    }
    Use& Bind(int index, int64_t value) {
      sqlite3_bind_int64(statement_, index, value);
      return *this;
    }
    Use& Bind(int index, const std::string& text) {
      sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                        SQLITE_STATIC);
      return *this;
    }
    // True with a row, false when done; an error throws.
    bool Step() {
      const int rc = sqlite3_step(statement_);
      if (rc == SQLITE_ROW) return true;
      if (rc == SQLITE_DONE) return false;
      impl_.Fail(std::string("\"") + sqlite3_sql(statement_) + "\" failed");
    }
    int32_t Int(int column) const { return sqlite3_column_int(statement_, column); }
    std::string Text(int column) const {
      const auto* text = sqlite3_column_text(statement_, column);
      return text ? std::string(reinterpret_cast<const char*>(text),
                                static_cast<size_t>(sqlite3_column_bytes(statement_, column)))
                  : std::string();
    }
    std::span<const std::byte> Blob(int column) const {
      const void* data = sqlite3_column_blob(statement_, column);
      const int size = sqlite3_column_bytes(statement_, column);
      return {static_cast<const std::byte*>(data), static_cast<size_t>(size)};
    }

   private:
    const Impl& impl_;
    sqlite3_stmt* statement_;
  };

  // One read: inside the kept snapshot; a failing read gives it up.
  class Read {
   public:
    explicit Read(Impl& impl) : impl_(impl), exceptions_(std::uncaught_exceptions()) {
      impl_.BeginRead();
    }
    ~Read() {
      if (std::uncaught_exceptions() > exceptions_) impl_.EndRead();
    }
    Read(const Read&) = delete;
    Read& operator=(const Read&) = delete;

   private:
    Impl& impl_;
    const int exceptions_;
  };

  Security SecurityFrom(const Use& row) const {
    return Security{row.Int(0), row.Text(1), row.Text(2), row.Int(3) != 0, row.Int(4)};
  }

  // The savepoint of one write, so that it nests inside a caller's Begin .. Commit.
  struct WriteSavepoint {
    Impl& impl;
    void Begin() { impl.Exec("SAVEPOINT store_write"); }
    void Release() { impl.Exec("RELEASE store_write"); }
    void Undo() { impl.Exec("ROLLBACK TO store_write; RELEASE store_write"); }
  };

  // Runs `write` as one unit.
  template <class F>
  void Atomically(F&& write) {
    WriteSavepoint savepoint{*this};
    ado::BasicTransaction<WriteSavepoint, &WriteSavepoint::Begin, &WriteSavepoint::Release,
                          &WriteSavepoint::Undo>
        unit(savepoint);
    write();
    unit.Commit();
  }
};

std::filesystem::path PriceStore::DefaultPath() {
  const std::string configured(
      automation::TrimBlanks(kestrova_system::InstallationSetting("tc2000", "store", "")));
  if (!configured.empty()) return configured;
  return kestrova_system::DataDirectory() / "tc2000.db";
}

PriceStore::PriceStore(std::filesystem::path path, std::unique_ptr<Impl> impl)
    : path_(std::move(path)), impl_(std::move(impl)) {}

// A writer works in WAL mode, so that readers go on while it writes, and leaves the store in
// rollback-journal mode when it is done: a WAL store makes even a read-only connection create
// the -wal and -shm files beside it, and a reader must not write to the store's folder.
// With another connection still open the switch cannot be made; the store then stays in WAL
// mode until the next writer closes, which is harmless. The switch never waits.
PriceStore::~PriceStore() {
  if (!impl_ || !impl_->writer || impl_->transaction_depth > 0) return;
  sqlite3_busy_timeout(impl_->db.get(), 0);
  sqlite3_exec(impl_->db.get(), "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
}

void PriceStore::KeepSnapshot(bool keep) {
  impl_->keep_snapshot = keep;
  if (!keep) impl_->EndRead();
}

void PriceStore::ReleaseSnapshot() { impl_->EndRead(); }

std::unique_ptr<PriceStore::Impl> PriceStore::Impl::Open(const std::filesystem::path& path,
                                                         int flags) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  DatabaseHandle db(raw);
  if (rc != SQLITE_OK) {
    throw Error::WithDetail(err::kFileAccess, "cannot open the price store " + path.string() +
                                                  ": " + (raw ? sqlite3_errmsg(raw) : "no memory"));
  }
  auto impl = std::make_unique<PriceStore::Impl>();
  impl->db = std::move(db);
  sqlite3_busy_timeout(impl->db.get(), kBusyTimeoutMs);
  return impl;
}

std::unique_ptr<PriceStore> PriceStore::OpenForReading(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    throw Error::WithDetail(err::kFileAccess,
                            "the price store " + path.string() +
                                " does not exist; create it with 'kestrova demo-data' or "
                                "'kestrova import-prices'");
  }
  auto impl = Impl::Open(path, SQLITE_OPEN_READONLY);
  // Reads map the file: a random symbol's latest bars then cost no system call.
  impl->Exec("PRAGMA mmap_size = 1073741824");
  impl->identity = IdentityOf(path);
  std::unique_ptr<PriceStore> store(new PriceStore(path, std::move(impl)));
  try {
    store->impl_->Prepare("SELECT worden, symbol, name, active, bar_count FROM securities LIMIT 0");
  } catch (const Error&) {
    throw Error::WithDetail(err::kFileAccess, path.string() + " is not a price store");
  }
  Impl& opened = *store->impl_;
  opened.schema_version = opened.Prepare("PRAGMA schema_version");
  opened.journal_mode = opened.Prepare("PRAGMA journal_mode");
  opened.SetMode();
  return store;
}

std::unique_ptr<PriceStore> PriceStore::OpenForWriting(const std::filesystem::path& path) {
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  auto impl = Impl::Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  impl->Exec("PRAGMA journal_mode = WAL");
  // In WAL mode a commit that skips the sync cannot corrupt the store; at worst the latest
  // commits are lost in a power failure, and an import of 10,000 files runs without 10,000
  // syncs.
  impl->Exec("PRAGMA synchronous = NORMAL");
  impl->Exec(kSchema);
  impl->Exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
  impl->writer = true;
  impl->identity = IdentityOf(path);
  return std::unique_ptr<PriceStore>(new PriceStore(path, std::move(impl)));
}

bool PriceStore::IsCurrent() const { return IdentityOf(path_) == impl_->identity; }

int32_t PriceStore::WordenNumFromSymbol(const std::string& symbol) {
  Impl::Read read(*impl_);
  if (!impl_->find_symbol) {
    impl_->find_symbol = impl_->Prepare("SELECT worden FROM securities WHERE symbol = ?");
  }
  const std::string trimmed(automation::TrimBlanks(symbol));
  Impl::Use query(*impl_, impl_->find_symbol);
  query.Bind(1, trimmed);
  return query.Step() ? query.Int(0) : 0;
}

std::optional<Security> PriceStore::FindSecurity(int32_t worden) {
  Impl::Read read(*impl_);
  if (!impl_->find_security) {
    impl_->find_security = impl_->Prepare(
        "SELECT worden, symbol, name, active, bar_count FROM securities WHERE worden = ?");
  }
  Impl::Use query(*impl_, impl_->find_security);
  query.Bind(1, worden);
  if (!query.Step()) return std::nullopt;
  return impl_->SecurityFrom(query);
}

std::vector<Security> PriceStore::AllSecurities() {
  Impl::Read read(*impl_);
  if (!impl_->all_securities) {
    impl_->all_securities = impl_->Prepare(
        "SELECT worden, symbol, name, active, bar_count FROM securities ORDER BY worden");
  }
  Impl::Use query(*impl_, impl_->all_securities);
  std::vector<Security> result;
  while (query.Step()) result.push_back(impl_->SecurityFrom(query));
  return result;
}

std::vector<Bar> PriceStore::LatestBars(int32_t worden, int32_t count) {
  std::vector<Bar> result;
  if (count < 1) return result;
  // The security's chunks newest first: one statement, stopped as soon as it has enough.
  if (!impl_->read_chunks) {
    impl_->read_chunks =
        impl_->Prepare("SELECT bars FROM bar_chunks WHERE id BETWEEN ? AND ? ORDER BY id DESC");
  }
  Impl::Read read(*impl_);
  Impl::Use query(*impl_, impl_->read_chunks);
  query.Bind(1, ChunkId(worden, 0)).Bind(2, ChunkId(worden, 0xFFFF));
  const size_t wanted = static_cast<size_t>(count);
  while (result.size() < wanted && query.Step()) {
    std::span<const std::byte> blob = query.Blob(0);
    const size_t in_chunk = blob.size() / sizeof(Bar);
    const size_t take = std::min(in_chunk, wanted - result.size());
    const size_t filled = result.size();
    result.resize(filled + take);
    // Newest first: walk this chunk from its end.
    for (size_t k = 0; k < take; ++k) {
      std::memcpy(&result[filled + k], blob.data() + (in_chunk - 1 - k) * sizeof(Bar), sizeof(Bar));
    }
  }
  return result;
}

std::vector<Bar> PriceStore::BarsBetween(int32_t worden, int32_t first, int32_t last) {
  std::vector<Bar> result;
  if (first > last) return result;
  if (!impl_->read_chunks) {
    impl_->read_chunks =
        impl_->Prepare("SELECT bars FROM bar_chunks WHERE id BETWEEN ? AND ? ORDER BY id DESC");
  }
  Impl::Read read(*impl_);
  Impl::Use query(*impl_, impl_->read_chunks);
  query.Bind(1, ChunkId(worden, 0)).Bind(2, ChunkId(worden, 0xFFFF));
  // Newest chunk first; chunks newer than the window are passed over, and the first chunk
  // that reaches back before the window is the last one read.
  while (query.Step()) {
    std::span<const std::byte> blob = query.Blob(0);
    const size_t in_chunk = blob.size() / sizeof(Bar);
    const size_t from = FirstBarFrom(blob, in_chunk, first);
    const size_t to = FirstBarFrom(blob, in_chunk, int64_t{last} + 1);
    const size_t filled = result.size();
    result.resize(filled + (to - from));
    for (size_t k = to; k > from; --k) {
      std::memcpy(&result[filled + (to - k)], blob.data() + (k - 1) * sizeof(Bar), sizeof(Bar));
    }
    if (from > 0) break;
  }
  return result;
}

std::vector<ChartList> PriceStore::AllChartLists() {
  Impl::Read read(*impl_);
  if (!impl_->all_lists) {
    impl_->all_lists = impl_->Prepare("SELECT name, type FROM chart_lists ORDER BY list_index");
  }
  Impl::Use query(*impl_, impl_->all_lists);
  std::vector<ChartList> result;
  while (query.Step()) result.push_back(ChartList{query.Text(0), query.Int(1), {}});
  return result;
}

std::vector<Security> PriceStore::ChartListMembers(int32_t list_index) {
  Impl::Read read(*impl_);
  if (!impl_->list_members) {
    impl_->list_members = impl_->Prepare(
        "SELECT s.worden, s.symbol, s.name, s.active, s.bar_count FROM chart_list_members m "
        "JOIN securities s ON s.worden = m.worden WHERE m.list_index = ? ORDER BY m.position");
  }
  Impl::Use query(*impl_, impl_->list_members);
  query.Bind(1, list_index);
  std::vector<Security> result;
  while (query.Step()) result.push_back(impl_->SecurityFrom(query));
  return result;
}

void PriceStore::Begin() {
  impl_->Exec(impl_->transaction_depth == 0 ? "BEGIN IMMEDIATE" : "SAVEPOINT store_nested");
  ++impl_->transaction_depth;
}

void PriceStore::Commit() {
  if (impl_->transaction_depth == 0) {
    throw Error::WithDetail(err::kInvalidArgument, "Commit without Begin");
  }
  impl_->Exec(impl_->transaction_depth == 1 ? "COMMIT" : "RELEASE store_nested");
  --impl_->transaction_depth;
}

void PriceStore::Rollback() {
  if (impl_->transaction_depth == 0) {
    throw Error::WithDetail(err::kInvalidArgument, "Rollback without Begin");
  }
  impl_->Exec(impl_->transaction_depth == 1 ? "ROLLBACK"
                                            : "ROLLBACK TO store_nested; RELEASE store_nested");
  --impl_->transaction_depth;
}

int32_t PriceStore::UpsertSecurity(const std::string& symbol, const std::string& name,
                                   bool active) {
  const std::string trimmed(automation::TrimBlanks(symbol));
  if (trimmed.empty()) throw Error::WithDetail(err::kInvalidArgument, "empty symbol");
  const std::string upper = automation::UpperCase(trimmed);
  int32_t worden = 0;
  impl_->Atomically([&] {
    StatementHandle upsert = impl_->Prepare(
        "INSERT INTO securities (symbol, name, active) VALUES (?, ?, ?) "
        "ON CONFLICT (symbol) DO UPDATE SET name = excluded.name, active = excluded.active "
        "RETURNING worden");
    Impl::Use query(*impl_, upsert);
    query.Bind(1, upper).Bind(2, name).Bind(3, active ? 1 : 0);
    if (!query.Step()) impl_->Fail("no Worden number came back for " + upper);
    worden = query.Int(0);
  });
  return worden;
}

void PriceStore::ReplaceBars(int32_t worden, std::span<const Bar> bars) {
  for (size_t i = 1; i < bars.size(); ++i) {
    if (bars[i].date <= bars[i - 1].date) {
      throw Error::WithDetail(err::kInvalidArgument,
                              "bars of Worden number " + std::to_string(worden) +
                                  " do not ascend by date at " + std::to_string(bars[i].date));
    }
  }
  const size_t max_bars = size_t{1} << 16 << 7;  // chunk numbers are 16 bits
  if (bars.size() >= max_bars) {
    throw Error::WithDetail(err::kOverflow, "too many bars for one security");
  }
  impl_->Atomically([&] {
    {
      StatementHandle erase = impl_->Prepare("DELETE FROM bar_chunks WHERE id BETWEEN ? AND ?");
      Impl::Use query(*impl_, erase);
      query.Bind(1, ChunkId(worden, 0)).Bind(2, ChunkId(worden, 0xFFFF));
      query.Step();
    }
    StatementHandle insert = impl_->Prepare("INSERT INTO bar_chunks (id, bars) VALUES (?, ?)");
    for (size_t start = 0, chunk = 0; start < bars.size(); start += kBarsPerChunk, ++chunk) {
      const size_t n = std::min(bars.size() - start, size_t{kBarsPerChunk});
      Impl::Use query(*impl_, insert);
      query.Bind(1, ChunkId(worden, static_cast<int32_t>(chunk)));
      sqlite3_bind_blob(insert.get(), 2, bars.data() + start, static_cast<int>(n * sizeof(Bar)),
                        SQLITE_STATIC);
      query.Step();
    }
    StatementHandle count =
        impl_->Prepare("UPDATE securities SET bar_count = ? WHERE worden = ? RETURNING worden");
    Impl::Use query(*impl_, count);
    query.Bind(1, static_cast<int64_t>(bars.size())).Bind(2, worden);
    if (!query.Step()) {
      throw Error::WithDetail(err::kInvalidArgument,
                              "no security has the Worden number " + std::to_string(worden));
    }
  });
}

void PriceStore::ReplaceChartLists(std::span<const ChartList> lists) {
  impl_->Atomically([&] {
    impl_->Exec("DELETE FROM chart_list_members; DELETE FROM chart_lists;");
    StatementHandle list =
        impl_->Prepare("INSERT INTO chart_lists (list_index, name, type) VALUES (?, ?, ?)");
    StatementHandle member = impl_->Prepare(
        "INSERT INTO chart_list_members (list_index, position, worden) VALUES (?, ?, ?)");
    for (size_t i = 0; i < lists.size(); ++i) {
      const int64_t index = static_cast<int64_t>(i) + 1;
      {
        Impl::Use query(*impl_, list);
        query.Bind(1, index).Bind(2, lists[i].name).Bind(3, lists[i].type);
        query.Step();
      }
      for (size_t k = 0; k < lists[i].members.size(); ++k) {
        Impl::Use query(*impl_, member);
        query.Bind(1, index).Bind(2, static_cast<int64_t>(k) + 1).Bind(3, lists[i].members[k]);
        query.Step();
      }
    }
  });
}

}  // namespace tc2000
