// The SQLite session: one file opened read-write, statements prepared once and kept in a
// small cache (batch runs repeat the same statement thousands of times), every row read
// into the result before Run returns.

#include <cctype>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <limits>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include <sqlite3.h>

#include "platform/ado/Dialect.h"
#include "platform/ado/Driver.h"
#include "platform/ado/Errors.h"
#include "platform/ado/SqliteHandles.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/Error.h"
#include "platform/automation/Text.h"

namespace ado {

namespace {

using automation::Error;
using automation::SafeArray;
using automation::Variant;
using automation::VarType;
namespace err = automation::err;

using DatabaseHandle = ado::SqliteDatabase;
using StatementHandle = ado::SqliteStatement;

constexpr int kBusyTimeoutMs = 10000;
constexpr size_t kStatementCacheSize = 32;

bool OnlySeparators(std::string_view text) {
  for (char c : text) {
    if (c != ';' && !std::isspace(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// What a column's values become, decided by its declared type. kStorage: no declared type
// (an expression), so each value goes by how SQLite stored it.
enum class Target { kStorage, kInteger, kLong, kSingle, kDouble, kBoolean, kDate, kString, kBytes };

Target TargetOf(const char* declared) {
  if (!declared || !*declared) return Target::kStorage;
  std::string lower = automation::FoldCase(automation::TrimBlanks(declared));
  auto has = [&](const char* part) { return lower.find(part) != std::string::npos; };
  // The order follows SQLite's own affinity rules (INT before CHAR before BLOB before REAL),
  // with the types SQLite has no affinity for placed where they cannot be mistaken.
  if (lower == "smallint" || lower == "int2" || lower == "tinyint") return Target::kInteger;
  if (has("int")) return Target::kLong;
  if (has("char") || has("clob") || has("text")) return Target::kString;
  if (has("blob")) return Target::kBytes;
  if (lower == "real" || lower == "float4") return Target::kSingle;
  if (has("real") || has("floa") || has("doub")) return Target::kDouble;
  if (has("numeric") || has("decimal") || has("money")) return Target::kDouble;
  if (has("bool") || lower == "bit") return Target::kBoolean;
  if (has("date") || has("time")) return Target::kDate;
  return Target::kStorage;
}

VarType TypeOf(Target target) {
  switch (target) {
    case Target::kInteger:
      return VarType::kInteger;
    case Target::kLong:
      return VarType::kLong;
    case Target::kSingle:
      return VarType::kSingle;
    case Target::kDouble:
      return VarType::kDouble;
    case Target::kBoolean:
      return VarType::kBoolean;
    case Target::kDate:
      return VarType::kDate;
    case Target::kString:
      return VarType::kString;
    case Target::kBytes:
      return static_cast<VarType>(static_cast<uint16_t>(VarType::kArray) |
                                  static_cast<uint16_t>(VarType::kByte));
    case Target::kStorage:
      break;
  }
  return VarType::kEmpty;
}

// A Long when the value fits, else a Double (the nearest one), so nothing is cut off.
Variant FromInteger(sqlite3_int64 value) {
  if (value >= std::numeric_limits<int32_t>::min() &&
      value <= std::numeric_limits<int32_t>::max()) {
    return Variant(static_cast<int32_t>(value));
  }
  return Variant(static_cast<double>(value));
}

std::string TextOf(sqlite3_stmt* stmt, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
  return text ? std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt, column)))
              : std::string();
}

Variant BytesOf(sqlite3_stmt* stmt, int column) {
  const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, column));
  const size_t size = static_cast<size_t>(sqlite3_column_bytes(stmt, column));
  std::vector<uint8_t> bytes;
  if (data) bytes.assign(data, data + size);
  return Variant(SafeArray(std::move(bytes), 0));
}

// The value as SQLite stores it.
Variant StoredValue(sqlite3_stmt* stmt, int column) {
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
      return FromInteger(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT:
      return Variant(sqlite3_column_double(stmt, column));
    case SQLITE_TEXT:
      return Variant(TextOf(stmt, column));
    case SQLITE_BLOB:
      return BytesOf(stmt, column);
    default:
      return Variant::Null();
  }
}

// The value converted to what its column declares. SQLite does not enforce declared types,
// so a value that does not fit (text in a number column, 70000 in a smallint) comes back as
// it is stored rather than being cut or refused.
Variant ColumnValue(sqlite3_stmt* stmt, int column, Target target) {
  const int storage = sqlite3_column_type(stmt, column);
  if (storage == SQLITE_NULL) return Variant::Null();
  const bool number = storage == SQLITE_INTEGER || storage == SQLITE_FLOAT;
  switch (target) {
    case Target::kInteger:
      if (storage == SQLITE_INTEGER) {
        const sqlite3_int64 v = sqlite3_column_int64(stmt, column);
        if (v >= INT16_MIN && v <= INT16_MAX) return Variant(static_cast<int16_t>(v));
      }
      break;
    case Target::kLong:
      break;  // the stored value is already right
    case Target::kSingle:
      if (number) {
        const double v = sqlite3_column_double(stmt, column);
        if (!std::isfinite(v) || std::fabs(v) <= FLT_MAX) return Variant(static_cast<float>(v));
      }
      break;
    case Target::kDouble:
      if (number) return Variant(sqlite3_column_double(stmt, column));
      break;
    case Target::kBoolean:
      if (number) return Variant(sqlite3_column_double(stmt, column) != 0);
      break;
    case Target::kDate:
      if (storage == SQLITE_TEXT) {
        if (auto d = ParseStoredDate(TextOf(stmt, column))) return Variant(*d);
      } else if (number) {
        return Variant(automation::Date{sqlite3_column_double(stmt, column)});
      }
      break;
    case Target::kString:
      if (storage != SQLITE_BLOB) return Variant(TextOf(stmt, column));
      break;
    case Target::kBytes:
    case Target::kStorage:
      break;
  }
  return StoredValue(stmt, column);
}

Error BindError(size_t index, const Variant& value, std::string_view sql) {
  return Error::WithDetail(err::kTypeMismatch,
                           "parameter " + std::to_string(index + 1) + " is a " + value.TypeName() +
                               ", which cannot be stored [in: " + std::string(sql) + "]");
}

void BindValue(sqlite3_stmt* stmt, int slot, const Variant& value, size_t index,
               std::string_view sql) {
  const int rc = std::visit(
      automation::Overloaded{
          [&](std::monostate) { return sqlite3_bind_null(stmt, slot); },
          [&](Variant::NullTag) { return sqlite3_bind_null(stmt, slot); },
          [&](bool b) { return sqlite3_bind_int(stmt, slot, b ? -1 : 0); },
          [&](uint8_t v) { return sqlite3_bind_int(stmt, slot, v); },
          [&](int16_t v) { return sqlite3_bind_int(stmt, slot, v); },
          [&](int32_t v) { return sqlite3_bind_int(stmt, slot, v); },
          [&](float v) { return sqlite3_bind_double(stmt, slot, v); },
          [&](double v) { return sqlite3_bind_double(stmt, slot, v); },
          [&](automation::Date d) {
            const std::string text = automation::IsoDateTimeText(d);
            return sqlite3_bind_text64(stmt, slot, text.data(), text.size(), SQLITE_TRANSIENT,
                                       SQLITE_UTF8);
          },
          [&](const std::string& s) {
            return sqlite3_bind_text64(stmt, slot, s.data(), s.size(), SQLITE_TRANSIENT,
                                       SQLITE_UTF8);
          },
          [&](const automation::ObjectRef&) -> int { throw BindError(index, value, sql); },
          [&](const std::shared_ptr<SafeArray>& array) {
            const auto* bytes = std::get_if<std::vector<uint8_t>>(&array->storage());
            if (!bytes) throw BindError(index, value, sql);
            // A null pointer would bind NULL; an empty blob is still a value.
            if (bytes->empty()) return sqlite3_bind_zeroblob(stmt, slot, 0);
            return sqlite3_bind_blob64(stmt, slot, bytes->data(), bytes->size(), SQLITE_TRANSIENT);
          },
      },
      value.storage());
  if (rc != SQLITE_OK) throw DatabaseError(sqlite3_errstr(rc), sql);
}

// Prepared statements by the text they were prepared from (the text runs to the end of the
// caller's statement text; `consumed` says where the first statement in it ends).
class StatementCache {
 public:
  struct Entry {
    std::string text;
    StatementHandle stmt;
    size_t consumed = 0;
  };

  Entry* Find(std::string_view text) {
    auto it = index_.find(text);
    if (it == index_.end()) return nullptr;
    entries_.splice(entries_.begin(), entries_, it->second);  // most recently used first
    return &*it->second;
  }

  Entry& Insert(std::string text, StatementHandle stmt, size_t consumed) {
    if (entries_.size() >= kStatementCacheSize) {
      index_.erase(entries_.back().text);
      entries_.pop_back();
    }
    entries_.push_front(Entry{std::move(text), std::move(stmt), consumed});
    index_[entries_.front().text] = entries_.begin();
    return entries_.front();
  }

 private:
  std::list<Entry> entries_;
  // Keys view the texts held by the entries, whose nodes never move.
  std::unordered_map<std::string_view, std::list<Entry>::iterator> index_;
};

// Leaves a statement ready for its next use, whatever way a run ends: a statement left
// mid-way would keep a read transaction open.
class ResetOnExit {
 public:
  explicit ResetOnExit(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~ResetOnExit() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  ResetOnExit(const ResetOnExit&) = delete;
  ResetOnExit& operator=(const ResetOnExit&) = delete;

 private:
  sqlite3_stmt* stmt_;
};

class SqliteDriver final : public Driver {
 public:
  explicit SqliteDriver(DatabaseHandle db) : db_(std::move(db)) {}

  Engine engine() const override { return Engine::kSqlite; }
  std::string_view RowLocator() const override { return "rowid"; }

  Result Run(std::string_view sql, std::span<const Variant> params, bool keep_raw) override {
    Result result;
    size_t offset = 0;
    size_t next_param = 0;
    // A text may hold several statements ("create table ...; create index ..."); each runs
    // in turn, takes its share of the values, and the last one's result is returned.
    while (offset < sql.size() && !OnlySeparators(sql.substr(offset))) {
      const std::string_view rest = sql.substr(offset);
      const StatementCache::Entry& entry = Prepare(rest);
      if (!entry.stmt) break;  // only comments were left
      sqlite3_stmt* stmt = entry.stmt.get();
      offset += entry.consumed;
      const std::string_view statement_text =
          automation::TrimBlanks(rest.substr(0, entry.consumed));

      const size_t wanted = static_cast<size_t>(sqlite3_bind_parameter_count(stmt));
      const bool last = OnlySeparators(sql.substr(offset));
      const size_t left = params.size() - next_param;
      if (wanted > left || (last && wanted < left)) {
        throw DatabaseError(std::to_string(params.size()) + " value(s) given for " +
                                std::to_string(next_param + wanted) + " placeholder(s)",
                            sql);
      }
      result = Execute(stmt, params.subspan(next_param, wanted), keep_raw, statement_text);
      next_param += wanted;
    }
    if (next_param != params.size()) {
      throw DatabaseError(std::to_string(params.size()) + " value(s) given for " +
                              std::to_string(next_param) + " placeholder(s)",
                          sql);
    }
    return result;
  }

 private:
  const StatementCache::Entry& Prepare(std::string_view text) {
    if (const StatementCache::Entry* cached = cache_.Find(text)) return *cached;
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc =
        sqlite3_prepare_v2(db_.get(), text.data(), static_cast<int>(text.size()), &raw, &tail);
    StatementHandle stmt(raw);
    if (rc != SQLITE_OK)
      throw DatabaseError(sqlite3_errmsg(db_.get()), automation::TrimBlanks(text));
    const size_t consumed = tail ? static_cast<size_t>(tail - text.data()) : text.size();
    return cache_.Insert(std::string(text), std::move(stmt), consumed);
  }

  Result Execute(sqlite3_stmt* stmt, std::span<const Variant> params, bool keep_raw,
                 std::string_view sql) {
    ResetOnExit reset(stmt);
    for (size_t i = 0; i < params.size(); ++i) {
      BindValue(stmt, static_cast<int>(i + 1), params[i], i, sql);
    }

    Result result;
    const int column_count = sqlite3_column_count(stmt);
    std::vector<Target> targets;
    for (int i = 0; i < column_count; ++i) {
      const Target target = TargetOf(sqlite3_column_decltype(stmt, i));
      targets.push_back(target);
      const char* name = sqlite3_column_name(stmt, i);
      result.columns.push_back(Column{name ? name : "", TypeOf(target)});
    }

    const sqlite3_int64 changes_before = sqlite3_total_changes64(db_.get());
    for (;;) {
      const int rc = sqlite3_step(stmt);
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) throw DatabaseError(sqlite3_errmsg(db_.get()), sql);
      // The stored values are read first: a conversion (an integer read as text) may
      // change what sqlite3_column_type reports afterwards.
      if (keep_raw) {
        std::vector<Variant> raw;
        raw.reserve(column_count);
        for (int i = 0; i < column_count; ++i) raw.push_back(StoredValue(stmt, i));
        result.raw_rows.push_back(std::move(raw));
      }
      std::vector<Variant> row;
      row.reserve(column_count);
      for (int i = 0; i < column_count; ++i) row.push_back(ColumnValue(stmt, i, targets[i]));
      result.rows.push_back(std::move(row));
    }
    // sqlite3_changes keeps the count of the last INSERT, UPDATE or DELETE, even when the
    // statement just run was a SELECT or CREATE; only a statement that changed rows counts.
    if (sqlite3_total_changes64(db_.get()) != changes_before) {
      result.rows_affected = sqlite3_changes64(db_.get());
    }

    // An expression column has no declared type: it reads as its first value does.
    for (int i = 0; i < column_count; ++i) {
      if (targets[i] != Target::kStorage) continue;
      for (const auto& row : result.rows) {
        if (!row[i].IsNull()) {
          result.columns[i].type = row[i].Type();
          break;
        }
      }
    }
    return result;
  }

  DatabaseHandle db_;
  StatementCache cache_;  // declared after db_: its statements are finalized first
};

}  // namespace

std::unique_ptr<Driver> OpenSqlite(const std::string& path, bool create) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!create && !fs::exists(path, ec)) {
    throw Error(errors::kDatabaseConnection,
                "The database file " + path +
                    " does not exist; run `kestrova datasources --create` to create it");
  }
  if (create) {
    const fs::path parent = fs::path(path).parent_path();
    if (!parent.empty()) fs::create_directories(parent, ec);
    if (ec) {
      throw Error(errors::kDatabaseConnection,
                  "Cannot create the folder " + parent.string() + ": " + ec.message());
    }
  }

  sqlite3* raw = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  DatabaseHandle db(raw);
  if (rc != SQLITE_OK) {
    throw Error(errors::kDatabaseConnection, "Cannot open the database file " + path + ": " +
                                                 (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
  }
  sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
  // Write-ahead logging lets readers go on while a batch run writes. A file that cannot
  // switch (read-only, or on a file system without shared memory) still works in its
  // current mode, so a failure here is not fatal.
  if (!sqlite3_db_readonly(db.get(), "main")) {
    sqlite3_exec(db.get(), "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  }
  // Opening does not read the file; reading the schema now turns a file that is no database
  // into an error at Open rather than at the first statement.
  char* message = nullptr;
  if (sqlite3_exec(db.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &message) !=
      SQLITE_OK) {
    std::string text = message ? message : sqlite3_errmsg(db.get());
    sqlite3_free(message);
    throw Error(errors::kDatabaseConnection, "Cannot open the database file " + path + ": " + text);
  }
  return std::make_unique<SqliteDriver>(std::move(db));
}

}  // namespace ado
