#include "tools/FundamentalsImport.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "platform/ado/DataSources.h"
#include "platform/ado/Transaction.h"
#include "platform/automation/Convert.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Text.h"
#include "tools/CsvText.h"
#include "tools/ImportReport.h"

namespace tools {

namespace {

using automation::TrimBlanks;
using automation::Variant;

// Values bound by one insert statement: under SQLite's limit (32766) and PostgreSQL's
// (65535), and few enough rows that a statement stays a modest text.
constexpr size_t kMaxValuesPerStatement = 30000;
constexpr size_t kMaxRowsPerStatement = 500;
// The longest message of the engine that a report line repeats.
constexpr size_t kMaxMessageSize = 300;

// ---- Reporting

// A message fit for one report line. A database error quotes its statement, which for an
// insert of many rows runs to many thousand characters; its start says enough.
std::string ShortMessage(std::string message) {
  constexpr std::string_view kStatement = " [in: ";
  constexpr size_t kStatementShown = 60;
  const size_t at = message.find(kStatement);
  if (at != std::string::npos && message.size() - at > kStatement.size() + kStatementShown + 1) {
    message.resize(at + kStatement.size() + kStatementShown);
    message += "...]";
  }
  if (message.size() > kMaxMessageSize) {
    message.resize(kMaxMessageSize);
    message += "...";
  }
  for (char& c : message) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return message;
}

// ---- Values

// Valid UTF-8 without NUL (which no PostgreSQL text can hold); the number of characters,
// or nullopt.
std::optional<size_t> CharacterCount(std::string_view text) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++count) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    char32_t code = 0;
    if (c == 0) return std::nullopt;
    if (c < 0x80) {
      ++i;
      continue;
    }
    if ((c & 0xE0) == 0xC0) {
      length = 2, code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3, code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      length = 4, code = c & 0x07;
    } else {
      return std::nullopt;
    }
    if (i + length > text.size()) return std::nullopt;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond Unicode are not UTF-8.
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return std::nullopt;
    }
    i += length;
  }
  return count;
}

// "2024-01-31", "20240131" or "1/31/2024", a day that exists; the first form wants two
// digits for the month and the day.
std::optional<automation::Date> ParseDay(std::string_view text) {
  const auto day = ParseCsvDay(text, IsoDayDigits::kTwo);
  if (!day) return std::nullopt;
  return automation::MakeDate(day->year, day->month, day->day);
}

// The value a field gives its column: Null for an empty field; nullopt with the reason
// when it does not fit.
std::optional<Variant> ColumnValue(const fundamentals::FundamentalsColumn& column,
                                   const std::string& field, std::string& reason) {
  if (field.empty()) return Variant::Null();
  switch (column.kind) {
    case fundamentals::ColumnKind::kKey:
    case fundamentals::ColumnKind::kText:
    case fundamentals::ColumnKind::kLongText: {
      const auto characters = CharacterCount(field);
      if (!characters) {
        reason = fmt::format("{} is not UTF-8 text: {}", column.name, ShownField(field));
        return std::nullopt;
      }
      const int32_t width = fundamentals::TextWidth(column);
      if (width > 0 && *characters > static_cast<size_t>(width)) {
        reason = fmt::format("{} {} is longer than {} characters", column.name, ShownField(field),
                             width);
        return std::nullopt;
      }
      if (column.kind == fundamentals::ColumnKind::kKey &&
          std::any_of(field.begin(), field.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        reason = fmt::format("{} {} holds a control character", column.name, ShownField(field));
        return std::nullopt;
      }
      return Variant(field);
    }
    case fundamentals::ColumnKind::kDate:
      if (const auto date = ParseDay(field)) return Variant(*date);
      reason = fmt::format("{} is not a date (YYYY-MM-DD, YYYYMMDD or M/D/YYYY): {}", column.name,
                           ShownField(field));
      return std::nullopt;
    case fundamentals::ColumnKind::kNumber:
      if (const auto number = ParseNumber(field)) return Variant(*number);
      reason = fmt::format("{} is not a number: {}", column.name, ShownField(field));
      return std::nullopt;
    case fundamentals::ColumnKind::kInteger:
      if (const auto number = ParseWholeNumber(field)) return Variant(*number);
      reason = fmt::format("{} is not a whole number: {}", column.name, ShownField(field));
      return std::nullopt;
  }
  return std::nullopt;
}

// ---- Keys

// The column sets that name one row of a table: every row must give them, and no two rows
// the same values. The system reads one row per company (and per ticker in si_ci), per
// sector or industry code, per portfolio, and one member per ticker in a portfolio.
std::vector<std::vector<std::string>> UniqueKeys(const fundamentals::FundamentalsTable& table) {
  if (table.name == "si_ci") return {{"company_id"}, {"ticker"}};
  if (table.name == "pfcomp") return {{"pfid", "ticker"}};
  return {{table.columns.front().name}};
}

// Finds the lines whose keys came before.
class KeyCheck {
 public:
  KeyCheck(const fundamentals::FundamentalsTable& table,
           const std::vector<const fundamentals::FundamentalsColumn*>& header) {
    for (const auto& names : UniqueKeys(table)) {
      Key key;
      for (const std::string& name : names) {
        const auto at = std::find_if(
            header.begin(), header.end(),
            [&](const fundamentals::FundamentalsColumn* c) { return c->name == name; });
        key.positions.push_back(at == header.end() ? npos
                                                   : static_cast<size_t>(at - header.begin()));
        key.names.push_back(name);
      }
      keys_.push_back(std::move(key));
    }
  }

  // The names of key columns the header lacks.
  std::vector<std::string> Missing() const {
    std::vector<std::string> missing;
    for (const Key& key : keys_) {
      for (size_t i = 0; i < key.names.size(); ++i) {
        if (key.positions[i] == npos &&
            std::find(missing.begin(), missing.end(), key.names[i]) == missing.end()) {
          missing.push_back(key.names[i]);
        }
      }
    }
    return missing;
  }

  // Takes the line's keys from its values; false with the reason when one is Null or came
  // before. A line refused here leaves no trace, so a later line with the same key may
  // still go in.
  bool Take(const std::vector<Variant>& row, int line, std::string& reason) {
    std::vector<std::string> values;
    for (const Key& key : keys_) {
      std::string value;
      std::string shown;
      for (size_t i = 0; i < key.positions.size(); ++i) {
        const Variant& field = row[key.positions[i]];
        if (field.IsNull()) {
          reason = fmt::format("missing {}", key.names[i]);
          return false;
        }
        const std::string text = automation::CStr(field);
        if (i > 0) value += '\x1F';
        value += text;
        shown += fmt::format("{}{} {}", i > 0 ? ", " : "", key.names[i], ShownField(text));
      }
      const auto seen = key.lines.find(value);
      if (seen != key.lines.end()) {
        reason = fmt::format("{} again (first on line {})", shown, seen->second);
        return false;
      }
      values.push_back(std::move(value));
    }
    for (size_t k = 0; k < keys_.size(); ++k) keys_[k].lines.emplace(std::move(values[k]), line);
    return true;
  }

 private:
  static constexpr size_t npos = std::string::npos;
  struct Key {
    std::vector<std::string> names;
    std::vector<size_t> positions;
    std::unordered_map<std::string, int> lines;
  };
  std::vector<Key> keys_;
};

// ---- Writes

// Inserts rows into a table, many to a statement: one statement per row would spend its
// time on the round trips to a PostgreSQL server. The texts repeat, so SQLite keeps them
// prepared.
class RowWriter {
 public:
  RowWriter(ado::Connection& connection, const std::string& table,
            const std::vector<const fundamentals::FundamentalsColumn*>& columns)
      : connection_(connection),
        columns_(columns.size()),
        rows_per_statement_(
            std::clamp<size_t>(kMaxValuesPerStatement / columns.size(), 1, kMaxRowsPerStatement)) {
    prefix_ = "insert into " + table + " (";
    for (size_t i = 0; i < columns.size(); ++i) {
      prefix_ += (i > 0 ? ", " : "") + columns[i]->name;
    }
    prefix_ += ") values ";
    full_sql_ = Sql(rows_per_statement_);
    values_.reserve(rows_per_statement_ * columns_);
  }

  void Add(std::vector<Variant>& row) {
    for (Variant& value : row) values_.push_back(std::move(value));
    if (++pending_ == rows_per_statement_) Flush();
  }

  void Flush() {
    if (pending_ == 0) return;
    connection_.Execute(pending_ == rows_per_statement_ ? full_sql_ : Sql(pending_), values_);
    values_.clear();
    pending_ = 0;
  }

 private:
  std::string Sql(size_t rows) const {
    std::string one_row = "(";
    for (size_t i = 0; i < columns_; ++i) one_row += i > 0 ? ", ?" : "?";
    one_row += ")";
    std::string sql = prefix_;
    sql.reserve(prefix_.size() + rows * (one_row.size() + 2));
    for (size_t r = 0; r < rows; ++r) {
      if (r > 0) sql += ", ";
      sql += one_row;
    }
    return sql;
  }

  ado::Connection& connection_;
  size_t columns_;
  size_t rows_per_statement_;
  std::string prefix_;
  std::string full_sql_;
  std::vector<Variant> values_;
  size_t pending_ = 0;
};

// ---- One file

// How a file's header maps onto its table.
struct Header {
  std::vector<const fundamentals::FundamentalsColumn*>
      columns;                       // the table's columns the file gives
  std::vector<size_t> fields;        // the field of each, by position
  std::vector<std::string> skipped;  // header names the table lacks, as shown
};

// The number of skipped names a report line shows.
constexpr size_t kSkippedShown = 20;

// The header's columns in file order; nullopt with the reason when the file cannot be
// taken for the table. A name the table lacks is left out (a full export carries figures
// the system does not keep); a name without text or given twice refuses the file.
std::optional<Header> ReadHeader(const fundamentals::FundamentalsTable& table,
                                 const std::vector<std::string>& names, std::string& error) {
  Header header;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string name = automation::FoldCase(names[i]);
    if (name.empty()) {
      error = fmt::format("header column {} has no name", i + 1);
      return std::nullopt;
    }
    const fundamentals::FundamentalsColumn* column = fundamentals::FindColumn(table, name);
    if (!column) {
      header.skipped.push_back(ShownField(names[i]));
      continue;
    }
    if (std::find(header.columns.begin(), header.columns.end(), column) != header.columns.end()) {
      error = fmt::format("the header names {} twice", column->name);
      return std::nullopt;
    }
    header.columns.push_back(column);
    header.fields.push_back(i);
  }
  return header;
}

// The one line that reports the skipped columns of a file: the first names and a count.
std::string SkippedColumnsText(const fundamentals::FundamentalsTable& table,
                               const std::vector<std::string>& skipped) {
  const size_t shown = std::min(skipped.size(), kSkippedShown);
  std::string text = fmt::format(
      "{} {} no column of {} and {} skipped: {}", skipped.size(),
      skipped.size() == 1 ? "header name is" : "header names are", table.name,
      skipped.size() == 1 ? "its field is" : "their fields are",
      fmt::join(skipped.begin(), skipped.begin() + static_cast<std::ptrdiff_t>(shown), ", "));
  if (shown < skipped.size()) text += fmt::format(" and {} more", skipped.size() - shown);
  return text;
}

// Opens each data source once, when a file first needs it.
class Sources {
 public:
  // The open connection, or nullptr with the reason it could not be opened.
  ado::Connection* Get(const std::string& name, std::string& error) {
    auto found = sources_.find(name);
    if (found == sources_.end()) {
      Opened opened;
      try {
        auto connection = ado::Connection::Create();
        connection->OpenSource(ado::ResolveDataSource(name), true);
        opened.connection = std::move(connection);
      } catch (const automation::Error& e) {
        opened.error = ShortMessage(e.what());
      }
      found = sources_.emplace(name, std::move(opened)).first;
    }
    error = found->second.error;
    return found->second.connection.get();
  }

 private:
  struct Opened {
    std::shared_ptr<ado::Connection> connection;
    std::string error;
  };
  std::map<std::string, Opened> sources_;
};

void ImportTable(const std::filesystem::path& path, const fundamentals::FundamentalsTable& table,
                 Sources& sources, ImportReport& report, FundamentalsImportSummary& summary) {
  const std::string file = path.string();
  const std::string unchanged = fmt::format("the rows of {} are unchanged", table.name);
  std::string error;
  auto text = ReadCsvFile(path, error);
  if (!text) return report.FailedFile(file, error);

  CsvReader reader(std::move(*text));
  CsvRecord header;
  bool unclosed = false;
  if (!reader.Next(header, unclosed)) {
    return report.FailedFile(file, "empty (no header row); " + unchanged);
  }
  if (unclosed) {
    return report.FailedFile(
        file, fmt::format("line {}: a quoted field is not closed; {}", header.line, unchanged));
  }
  const auto parsed = ReadHeader(table, header.fields, error);
  if (!parsed) return report.FailedFile(file, fmt::format("{}; {}", error, unchanged));
  const std::vector<const fundamentals::FundamentalsColumn*>& columns = parsed->columns;
  KeyCheck keys(table, columns);
  if (const auto missing = keys.Missing(); !missing.empty()) {
    return report.FailedFile(file, fmt::format("the header lacks the key column {}; {}",
                                               fmt::join(missing, ", "), unchanged));
  }

  if (!parsed->skipped.empty()) {
    report.Note(file, SkippedColumnsText(table, parsed->skipped));
    summary.skipped_columns += static_cast<int32_t>(parsed->skipped.size());
  }

  ado::Connection* connection = sources.Get(table.source, error);
  if (!connection) return report.FailedFile(file, fmt::format("{}; {}", error, unchanged));

  // The old rows go and the new ones come in one transaction, so that any failure, ours or
  // the database's, leaves the table as it was.
  int64_t rows = 0;
  int data_lines = 0;
  try {
    ado::Transaction transaction(*connection);
    if (fundamentals::HasTable(*connection, table.name)) {
      fundamentals::AddMissingColumns(*connection,
                                      table);  // made when the schema had fewer columns
    } else {
      fundamentals::CreateFundamentalsTable(*connection, table);
    }
    connection->Execute("delete from " + table.name);
    RowWriter writer(*connection, table.name, columns);

    CsvRecord record;
    std::vector<Variant> row;
    while (reader.Next(record, unclosed)) {
      ++data_lines;
      if (unclosed) {
        // Everything from here on may be one field; no line of it can be trusted.
        return report.FailedFile(
            file, fmt::format("line {}: a quoted field is not closed; {}", record.line, unchanged));
      }
      if (const auto fault = FieldCountFault(record.fields.size(), header.fields.size())) {
        report.BadLine(file, record.line, *fault);
        continue;
      }
      std::string reason;
      row.clear();
      for (size_t i = 0; i < columns.size() && reason.empty(); ++i) {
        if (auto value = ColumnValue(*columns[i], record.fields[parsed->fields[i]], reason)) {
          row.push_back(std::move(*value));
        }
      }
      if (!reason.empty() || !keys.Take(row, record.line, reason)) {
        report.BadLine(file, record.line, reason);
        continue;
      }
      writer.Add(row);
      ++rows;
    }
    // A file without rows (a header alone, or every line bad) says nothing about the rows
    // wanted: more likely a failed export than a table meant to be empty.
    if (rows == 0) {
      return report.FailedFile(
          file,
          fmt::format("{}; {}", data_lines == 0 ? "no data rows" : "no good rows", unchanged));
    }
    writer.Flush();
    transaction.Commit();
  } catch (const automation::Error& e) {
    return report.FailedFile(file,
                             fmt::format("not stored, {}: {}", unchanged, ShortMessage(e.what())));
  }
  summary.tables.push_back({table.name, table.source, rows});
  summary.rows += rows;
}

}  // namespace

FundamentalsImportSummary ImportFundamentals(const std::filesystem::path& folder,
                                             std::ostream& messages) {
  FundamentalsImportSummary summary;
  ImportReport report(messages, summary.bad_lines, summary.failed_files);

  std::vector<std::filesystem::path> files = CsvFilesIn(folder);
  std::sort(files.begin(), files.end());

  // Tables in their fixed order (si_ci first), so that a run reads the same every time.
  std::map<const fundamentals::FundamentalsTable*, std::filesystem::path> file_of_table;
  for (const std::filesystem::path& path : files) {
    const std::string name = automation::FoldCase(TrimBlanks(path.stem().string()));
    const fundamentals::FundamentalsTable* table = fundamentals::FindFundamentalsTable(name);
    if (!table) {
      report.Note(path.string(), fmt::format("{} is no fundamentals table; file skipped",
                                             ShownField(path.stem().string())));
      ++summary.unknown_files;
      continue;
    }
    const auto [earlier, added] = file_of_table.emplace(table, path);
    if (!added) {
      report.FileGivenTwice(path.string(), "the rows of " + table->name,
                            earlier->second.filename().string());
    }
  }

  Sources sources;
  for (const fundamentals::FundamentalsTable& table : fundamentals::FundamentalsTables()) {
    const auto found = file_of_table.find(&table);
    if (found != file_of_table.end()) ImportTable(found->second, table, sources, report, summary);
  }
  return summary;
}

}  // namespace tools
