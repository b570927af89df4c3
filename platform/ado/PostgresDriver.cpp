// The PostgreSQL session: statements go to the server with their values bound (text format,
// types given where the value's own type matters, left to the server otherwise), and every
// row of the answer is read before Run returns.
//
// Statements are not prepared once and reused: a table rebuilt by a batch run with other
// columns would make a kept plan fail ("cached plan must not change result type").

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

#include <fmt/format.h>
#include <libpq-fe.h>

#include "platform/ado/Dialect.h"
#include "platform/ado/Driver.h"
#include "platform/ado/Errors.h"
#include "platform/ado/PostgresModule.h"
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

struct ConnectionCloser {
  void operator()(PGconn* c) const { PQfinish(c); }
};
using ConnectionHandle = std::unique_ptr<PGconn, ConnectionCloser>;

struct ResultClearer {
  void operator()(PGresult* r) const { PQclear(r); }
};
using ResultHandle = std::unique_ptr<PGresult, ResultClearer>;

struct FreeMem {
  void operator()(unsigned char* p) const { PQfreemem(p); }
};

// Type OIDs of the built-in types (pg_type.oid; fixed across server versions).
constexpr Oid kUnknownOid = 0;
constexpr Oid kBoolOid = 16;
constexpr Oid kByteaOid = 17;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;
constexpr Oid kJsonOid = 114;
constexpr Oid kXmlOid = 142;
constexpr Oid kPointOid = 600;
constexpr Oid kPathOid = 602;
constexpr Oid kPolygonOid = 604;
constexpr Oid kFloat4Oid = 700;
constexpr Oid kFloat8Oid = 701;
constexpr Oid kDateOid = 1082;
constexpr Oid kTimeOid = 1083;
constexpr Oid kTimestampOid = 1114;
constexpr Oid kTimestampTzOid = 1184;
constexpr Oid kNumericOid = 1700;

constexpr const char* kConnectTimeoutSeconds = "10";

std::string TrimmedMessage(const char* message) {
  std::string text = message ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// The server's message, with its detail ("Key (id)=(7) already exists.") when it has one.
std::string ResultMessage(const PGresult* result, PGconn* conn) {
  const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  if (!primary) {
    std::string text = TrimmedMessage(result ? PQresultErrorMessage(result) : nullptr);
    return text.empty() ? TrimmedMessage(PQerrorMessage(conn)) : text;
  }
  std::string text = primary;
  if (const char* detail = PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL)) {
    text += " (" + std::string(detail) + ")";
  }
  return text;
}

VarType TypeOf(Oid oid) {
  switch (oid) {
    case kBoolOid:
      return VarType::kBoolean;
    case kInt2Oid:
      return VarType::kInteger;
    case kInt4Oid:
    case kInt8Oid:
      return VarType::kLong;
    case kFloat4Oid:
      return VarType::kSingle;
    case kFloat8Oid:
    case kNumericOid:
      return VarType::kDouble;
    case kDateOid:
    case kTimeOid:
    case kTimestampOid:
    case kTimestampTzOid:
      return VarType::kDate;
    case kByteaOid:
      return static_cast<VarType>(static_cast<uint16_t>(VarType::kArray) |
                                  static_cast<uint16_t>(VarType::kByte));
    default:
      return VarType::kString;
  }
}

// Types without an equality operator cannot help to find a row again.
bool IsComparable(Oid oid) {
  return oid != kJsonOid && oid != kXmlOid && oid != kPointOid && oid != kPathOid &&
         oid != kPolygonOid;
}

template <class T>
std::optional<T> ParseNumber(std::string_view text) {
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A value in the server's text form converted by its column type. A text that does not
// read as its type (a date 'infinity', a numeric beyond the Double range) stays text.
Variant ConvertValue(std::string_view text, Oid oid) {
  switch (oid) {
    case kBoolOid:
      return Variant(text == "t");
    case kInt2Oid:
      if (auto v = ParseNumber<int16_t>(text)) return Variant(*v);
      break;
    case kInt4Oid:
      if (auto v = ParseNumber<int32_t>(text)) return Variant(*v);
      break;
    case kInt8Oid:
      if (auto v = ParseNumber<int64_t>(text)) {
        if (*v >= std::numeric_limits<int32_t>::min() &&
            *v <= std::numeric_limits<int32_t>::max()) {
          return Variant(static_cast<int32_t>(*v));
        }
        return Variant(static_cast<double>(*v));
      }
      break;
    case kFloat4Oid:
      if (auto v = ParseNumber<float>(text)) return Variant(*v);
      break;
    case kFloat8Oid:
    case kNumericOid:
      if (auto v = ParseNumber<double>(text)) return Variant(*v);
      break;
    case kDateOid:
    case kTimeOid:
    case kTimestampOid:
    case kTimestampTzOid:
      if (auto d = ParseStoredDate(text)) return Variant(*d);
      break;
    case kByteaOid: {
      size_t size = 0;
      // The text comes from PQgetvalue, which ends every value with a NUL.
      std::unique_ptr<unsigned char, FreeMem> bytes(
          PQunescapeBytea(reinterpret_cast<const unsigned char*>(text.data()), &size));
      if (!bytes) throw Error(errors::kDatabase, "out of memory reading a bytea value");
      return Variant(SafeArray(std::vector<uint8_t>(bytes.get(), bytes.get() + size), 0));
    }
    default:
      break;
  }
  return Variant(std::string(text));
}

std::string FloatText(double value, int digits) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  return fmt::format("{:.{}g}", value, digits);
}

// The values of a statement in the form PQexecParams takes. Values stay owned here; the
// pointers are taken once all of them are in place.
struct BoundValues {
  std::vector<Oid> types;
  std::vector<std::string> texts;
  std::vector<bool> is_null;
  std::vector<int> formats;
  std::vector<const char*> values;
  std::vector<int> lengths;
};

BoundValues Bind(std::span<const Variant> params, std::string_view sql) {
  BoundValues bound;
  for (size_t i = 0; i < params.size(); ++i) {
    const Variant& value = params[i];
    auto refuse = [&]() -> Error {
      return Error::WithDetail(err::kTypeMismatch,
                               "parameter " + std::to_string(i + 1) + " is a " + value.TypeName() +
                                   ", which cannot be stored [in: " + std::string(sql) + "]");
    };
    Oid type = kUnknownOid;
    std::string text;
    bool is_null = false;
    int format = 0;
    std::visit(automation::Overloaded{
                   [&](std::monostate) { is_null = true; },
                   [&](Variant::NullTag) { is_null = true; },
                   [&](bool b) {
                     type = kInt2Oid;
                     text = b ? "-1" : "0";
                   },
                   [&](uint8_t v) {
                     type = kInt2Oid;
                     text = std::to_string(v);
                   },
                   [&](int16_t v) {
                     type = kInt2Oid;
                     text = std::to_string(v);
                   },
                   [&](int32_t v) {
                     type = kInt4Oid;
                     text = std::to_string(v);
                   },
                   [&](float v) {
                     type = kFloat4Oid;
                     text = FloatText(v, 9);
                   },
                   [&](double v) {
                     type = kFloat8Oid;
                     text = FloatText(v, 17);
                   },
                   // Dates and texts go untyped, so the server takes the type the context
                   // asks for: a text compared with a char(n) column compares as char(n),
                   // without regard to the padding.
                   [&](automation::Date d) { text = automation::IsoDateTimeText(d); },
                   [&](const std::string& s) {
                     if (s.find('\0') != std::string::npos) {
                       throw DatabaseError("parameter " + std::to_string(i + 1) +
                                               " holds a NUL character, which a PostgreSQL "
                                               "text cannot store",
                                           sql);
                     }
                     text = s;
                   },
                   [&](const automation::ObjectRef&) { throw refuse(); },
                   [&](const std::shared_ptr<SafeArray>& array) {
                     const auto* bytes = std::get_if<std::vector<uint8_t>>(&array->storage());
                     if (!bytes) throw refuse();
                     type = kByteaOid;
                     format = 1;
                     text.assign(bytes->begin(), bytes->end());
                   },
               },
               value.storage());
    bound.types.push_back(type);
    bound.texts.push_back(std::move(text));
    bound.is_null.push_back(is_null);
    bound.formats.push_back(format);
  }
  for (size_t i = 0; i < params.size(); ++i) {
    bound.values.push_back(bound.is_null[i] ? nullptr : bound.texts[i].c_str());
    bound.lengths.push_back(static_cast<int>(bound.texts[i].size()));
  }
  return bound;
}

void DropNotice(void*, const char*) {}

// COMMIT or END, in any case, with or without TRANSACTION/WORK after it.
bool IsCommit(std::string_view sql) {
  size_t start = 0;
  while (start < sql.size() && std::isspace(static_cast<unsigned char>(sql[start]))) ++start;
  size_t end = start;
  while (end < sql.size() && std::isalpha(static_cast<unsigned char>(sql[end]))) ++end;
  const std::string word = automation::FoldCase(sql.substr(start, end - start));
  return word == "commit" || word == "end";
}

class PostgresDriver final : public Driver {
 public:
  explicit PostgresDriver(ConnectionHandle conn) : conn_(std::move(conn)) {}

  Engine engine() const override { return Engine::kPostgres; }
  std::string_view RowLocator() const override { return "ctid"; }

  Result Run(std::string_view sql, std::span<const Variant> params, bool keep_raw) override {
    const std::string text = ToDialect(sql, Engine::kPostgres);
    ResultHandle answer;
    if (params.empty()) {
      // Without values the simple protocol runs several statements in one text.
      answer.reset(PQexec(conn_.get(), text.c_str()));
    } else {
      const BoundValues bound = Bind(params, sql);
      answer.reset(PQexecParams(conn_.get(), text.c_str(), static_cast<int>(params.size()),
                                bound.types.data(), bound.values.data(), bound.lengths.data(),
                                bound.formats.data(), 0));
    }
    const ExecStatusType status = answer ? PQresultStatus(answer.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_EMPTY_QUERY) return Result{};
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT) {
        throw DatabaseError("COPY to or from the client is not supported", sql);
      }
      throw DatabaseError(ResultMessage(answer.get(), conn_.get()), sql);
    }
    // The server ends a failed transaction on COMMIT without an error, only reporting
    // ROLLBACK: the caller must not believe that its changes were kept.
    if (std::strcmp(PQcmdStatus(answer.get()), "ROLLBACK") == 0 && IsCommit(text)) {
      throw DatabaseError(
          "the transaction was rolled back, not committed, because a statement in it failed", sql);
    }
    return ReadResult(answer.get(), keep_raw);
  }

 private:
  static Result ReadResult(PGresult* answer, bool keep_raw) {
    Result result;
    const int column_count = PQnfields(answer);
    const int row_count = PQntuples(answer);
    std::vector<Oid> oids;
    for (int c = 0; c < column_count; ++c) {
      oids.push_back(PQftype(answer, c));
      result.columns.push_back(Column{PQfname(answer, c), TypeOf(oids.back())});
    }
    result.rows.reserve(row_count);
    for (int r = 0; r < row_count; ++r) {
      std::vector<Variant> row;
      std::vector<Variant> raw;
      row.reserve(column_count);
      for (int c = 0; c < column_count; ++c) {
        if (PQgetisnull(answer, r, c)) {
          row.push_back(Variant::Null());
          if (keep_raw) raw.push_back(Variant::Null());
          continue;
        }
        const std::string_view text(PQgetvalue(answer, r, c),
                                    static_cast<size_t>(PQgetlength(answer, r, c)));
        row.push_back(ConvertValue(text, oids[c]));
        // The text the server gave, bound back untyped, compares equal to the stored value;
        // Empty marks a column that cannot be compared.
        if (keep_raw) raw.push_back(IsComparable(oids[c]) ? Variant(text) : Variant());
      }
      result.rows.push_back(std::move(row));
      if (keep_raw) result.raw_rows.push_back(std::move(raw));
    }
    // A SELECT reports the rows it read; only changed rows count as affected.
    const char* status = PQcmdStatus(answer);
    if (std::strncmp(status, "SELECT", 6) != 0) {
      const std::string_view tuples = PQcmdTuples(answer);
      if (auto n = ParseNumber<int64_t>(tuples)) result.rows_affected = *n;
    }
    return result;
  }

  ConnectionHandle conn_;
};

}  // namespace

std::unique_ptr<Driver> postgres::OpenSession(const std::string& conninfo) {
  // The connection string may be key=value pairs or a URI; it is expanded in place of
  // dbname. Keywords before it are defaults that it may override, keywords after it win.
  const char* keywords[] = {"connect_timeout", "dbname", "client_encoding",
                            "fallback_application_name", nullptr};
  const char* values[] = {kConnectTimeoutSeconds, conninfo.c_str(), "UTF8", "kestrova", nullptr};
  ConnectionHandle conn(PQconnectdbParams(keywords, values, 1));
  if (!conn) throw Error(errors::kDatabaseConnection, "Cannot connect: out of memory");
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    throw Error(errors::kDatabaseConnection, "Cannot connect to the PostgreSQL server: " +
                                                 TrimmedMessage(PQerrorMessage(conn.get())));
  }
  // Notices ("table does not exist, skipping") are of no use to anyone here.
  PQsetNoticeProcessor(conn.get(), DropNotice, nullptr);
  // Date texts in ISO form (what ParseStoredDate reads; month-first input, like the system's
  // own date texts), and floats printed exactly, so that a value read can find its row.
  ResultHandle set(PQexec(conn.get(),
                          "SET client_min_messages TO warning; SET DateStyle TO ISO, MDY; "
                          "SET extra_float_digits TO 3"));
  if (!set || PQresultStatus(set.get()) != PGRES_COMMAND_OK) {
    throw Error(errors::kDatabaseConnection,
                "Cannot set up the PostgreSQL session: " + ResultMessage(set.get(), conn.get()));
  }
  return std::make_unique<PostgresDriver>(std::move(conn));
}

}  // namespace ado

// The module's one entry point, found by name when the module is loaded.
extern "C" const ado::PostgresEngine* kestrova_postgres_engine() {
  static const ado::PostgresEngine engine{ado::postgres::OpenSession, ado::postgres::BackupPostgres,
                                          ado::postgres::RestorePostgres};
  return &engine;
}
