#include "platform/ado/Recordset.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "platform/ado/Errors.h"
#include "platform/ado/SqlScanner.h"
#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/automation/Text.h"

namespace ado {

namespace {

using automation::Args;
using automation::Error;
using automation::Variant;
using automation::VarType;
namespace err = automation::err;

constexpr int32_t kClientCursor = 3;  // CursorLocation: the only kind there is

// A source without blanks made of letters, digits, '_' and '.' names a table.
bool IsTableName(std::string_view source) {
  if (source.empty() || std::isdigit(static_cast<unsigned char>(source[0]))) return false;
  for (char c : source) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.') return false;
  }
  return true;
}

// The tokens of a statement that say what it reads from: comments and blanks are skipped.
class Lexer {
 public:
  explicit Lexer(std::string_view sql) : scanner_(sql) {}

  SqlToken Next() {
    for (;;) {
      const SqlToken token = scanner_.Next();
      if (token.kind != SqlToken::Kind::kBlank && token.kind != SqlToken::Kind::kComment) {
        return token;
      }
    }
  }

 private:
  SqlScanner scanner_;
};

bool IsClauseAfterFrom(const SqlToken& t) {
  for (const char* word :
       {"where", "order", "group", "having", "limit", "offset", "fetch", "for", "window"}) {
    if (t.IsWord(word)) return true;
  }
  return false;
}

bool IsSetOperation(const SqlToken& t) {
  return t.IsWord("union") || t.IsWord("intersect") || t.IsWord("except");
}

// The table of `select ... from <table> [alias] [where|order|group|...]`, as written, or ""
// when the statement reads anything else (joins, several tables, a subquery in FROM, a set
// operation, more than one statement): such rows cannot be told apart in one table.
std::string OneTableOf(std::string_view sql) {
  Lexer lexer(sql);
  SqlToken t = lexer.Next();
  if (!t.IsWord("select")) return "";
  int depth = 0;
  for (t = lexer.Next(); t.kind != SqlToken::Kind::kEnd; t = lexer.Next()) {
    if (t.IsSymbol('(')) ++depth;
    if (t.IsSymbol(')')) --depth;
    if (depth == 0 && IsSetOperation(t)) return "";
    if (depth == 0 && t.IsWord("from")) break;
  }
  if (t.kind == SqlToken::Kind::kEnd) return "";

  // The table's name, perhaps with its schema: name(.name)*
  std::string table;
  for (;;) {
    t = lexer.Next();
    if (t.kind != SqlToken::Kind::kWord && t.kind != SqlToken::Kind::kQuotedName) return "";
    if (t.kind == SqlToken::Kind::kWord && (IsClauseAfterFrom(t) || t.IsWord("select"))) return "";
    table += t.text;
    t = lexer.Next();
    if (!t.IsSymbol('.')) break;
    table += '.';
  }
  // An alias: "t a" or "t AS a".
  if (t.IsWord("as")) {
    t = lexer.Next();
    if (t.kind != SqlToken::Kind::kWord && t.kind != SqlToken::Kind::kQuotedName) return "";
    t = lexer.Next();
  } else if ((t.kind == SqlToken::Kind::kWord && !IsClauseAfterFrom(t) && !IsSetOperation(t) &&
              !t.IsWord("join") && !t.IsWord("inner") && !t.IsWord("left") && !t.IsWord("right") &&
              !t.IsWord("full") && !t.IsWord("cross") && !t.IsWord("natural")) ||
             t.kind == SqlToken::Kind::kQuotedName) {
    t = lexer.Next();
  }
  if (t.kind != SqlToken::Kind::kEnd && !t.IsSymbol(';') && !IsClauseAfterFrom(t)) return "";
  // Nothing after it may bring in another table at this level, nor another statement.
  depth = 0;
  for (; t.kind != SqlToken::Kind::kEnd; t = lexer.Next()) {
    if (t.IsSymbol('(')) ++depth;
    if (t.IsSymbol(')')) --depth;
    if (depth == 0 && IsSetOperation(t)) return "";
    if (t.IsSymbol(';')) {
      if (lexer.Next().kind != SqlToken::Kind::kEnd) return "";
      break;
    }
  }
  return table;
}

// A column name in double quotes, exactly as the engine returned it (PostgreSQL gives the
// folded lower-case name of an unquoted column, which only matches when quoted as it is).
std::string QuoteName(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

int32_t FindColumn(const std::vector<Column>& columns, const std::string& name) {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].name == name) return static_cast<int32_t>(i);
  }
  const std::string folded = automation::FoldCase(name);
  for (size_t i = 0; i < columns.size(); ++i) {
    if (automation::FoldCase(columns[i].name) == folded) return static_cast<int32_t>(i);
  }
  return -1;
}

const bool kRegistered = [] {
  automation::Registry::Instance().Register(
      {"ADODB.Recordset", "", [] { return Recordset::Create(); }});
  return true;
}();

}  // namespace

void Recordset::Open(const std::string& source, std::shared_ptr<Connection> connection,
                     const std::vector<Variant>& params) {
  if (open_) throw Error(errors::kObjectOpen, "The recordset is already open");
  if (!connection || !connection->State()) {
    throw Error(errors::kConnectionUnusable, "Recordset.Open needs an open connection");
  }
  const std::string_view trimmed = automation::TrimBlanks(source);
  std::string sql;
  std::string table;
  if (IsTableName(trimmed)) {
    table = std::string(trimmed);
    sql = "select * from " + table;
  } else {
    sql = source;
    table = OneTableOf(source);
  }
  // Rows of one table keep their stored values, to find them again for a change.
  Result result = connection->driver().Run(sql, params, !table.empty());

  connection_ = std::move(connection);
  table_ = std::move(table);
  columns_ = std::move(result.columns);
  rows_ = std::move(result.rows);
  raw_rows_ = std::move(result.raw_rows);
  if (!table_.empty()) raw_rows_.resize(rows_.size());
  position_ = 0;
  edit_ = Edit::kNone;
  changed_.assign(columns_.size(), false);
  original_row_.clear();
  open_ = true;
}

void Recordset::Close() {
  // A change not yet written is dropped, as Close says: the caller chose not to Update.
  open_ = false;
  edit_ = Edit::kNone;
  table_.clear();
  columns_.clear();
  rows_.clear();
  raw_rows_.clear();
  changed_.clear();
  original_row_.clear();
  position_ = 0;
}

void Recordset::RequireOpen() const {
  if (!open_)
    throw Error(errors::kObjectClosed, "Operation is not allowed when the recordset is closed");
}

void Recordset::RequireCurrentRow() const {
  if (position_ < 0 || position_ >= static_cast<int64_t>(rows_.size())) {
    throw ErrorWithDetail(errors::kNoCurrentRecord, position_ < 0 ? "at BOF" : "at EOF");
  }
}

void Recordset::RequireTable(const char* what) const {
  if (table_.empty()) {
    throw ErrorWithDetail(
        errors::kNotUpdatable,
        std::string("cannot ") + what + ": the recordset does not read from a single table");
  }
}

int32_t Recordset::RecordCount() const {
  RequireOpen();
  return static_cast<int32_t>(rows_.size());
}

bool Recordset::EOF_() const {
  RequireOpen();
  return position_ >= static_cast<int64_t>(rows_.size());
}

bool Recordset::BOF_() const {
  RequireOpen();
  return position_ < 0 || rows_.empty();
}

void Recordset::MoveNext() {
  if (EOF_()) throw ErrorWithDetail(errors::kNoCurrentRecord, "MoveNext at EOF");
  Update();
  ++position_;
}

void Recordset::MovePrevious() {
  if (BOF_()) throw ErrorWithDetail(errors::kNoCurrentRecord, "MovePrevious at BOF");
  Update();
  --position_;
}

void Recordset::MoveFirst() {
  RequireOpen();
  Update();
  position_ = 0;
}

void Recordset::MoveLast() {
  RequireOpen();
  Update();
  position_ = rows_.empty() ? 0 : static_cast<int64_t>(rows_.size()) - 1;
}

int32_t Recordset::AbsolutePosition() const {
  if (BOF_() || EOF_()) return -1;
  return static_cast<int32_t>(position_ + 1);
}

int32_t Recordset::FieldCount() const { return static_cast<int32_t>(columns_.size()); }

const std::string& Recordset::FieldName(int32_t index) const {
  return columns_[IndexOf(Variant(index))].name;
}

int32_t Recordset::IndexOf(const Variant& name_or_index) const {
  RequireOpen();
  if (name_or_index.IsString()) {
    const int32_t index = FindColumn(columns_, name_or_index.String());
    if (index < 0) {
      throw ErrorWithDetail(errors::kItemNotFound, "no field '" + name_or_index.String() + "'");
    }
    return index;
  }
  if (name_or_index.IsNumeric()) {
    const int32_t index = CLng(name_or_index);
    if (index < 0 || index >= FieldCount()) {
      throw ErrorWithDetail(errors::kItemNotFound, "field index " + std::to_string(index) +
                                                       " outside 0.." +
                                                       std::to_string(FieldCount() - 1));
    }
    return index;
  }
  throw ErrorWithDetail(errors::kItemNotFound,
                        name_or_index.TypeName() + " is neither a field name nor an index");
}

const Variant& Recordset::Field(const std::string& name) const { return Field(Variant(name)); }

const Variant& Recordset::Field(int32_t index) const { return Field(Variant(index)); }

const Variant& Recordset::Field(const Variant& name_or_index) const {
  const int32_t index = IndexOf(name_or_index);
  RequireCurrentRow();
  return rows_[position_][index];
}

void Recordset::SetField(const Variant& name_or_index, const Variant& value) {
  const int32_t index = IndexOf(name_or_index);
  RequireCurrentRow();
  RequireTable("change a field");
  if (edit_ == Edit::kNone) {
    original_row_ = rows_[position_];
    changed_.assign(columns_.size(), false);
    edit_ = Edit::kChange;
  }
  rows_[position_][index] = value;
  changed_[index] = true;
}

void Recordset::AddNew() {
  RequireOpen();
  RequireTable("add a row");
  Update();
  add_from_ = position_;
  rows_.emplace_back(columns_.size(), Variant::Null());
  raw_rows_.emplace_back(columns_.size(), Variant::Null());
  position_ = static_cast<int64_t>(rows_.size()) - 1;
  changed_.assign(columns_.size(), false);
  edit_ = Edit::kAdd;
}

Variant Recordset::StorableValue(const Variant& value, size_t column) const {
  // PostgreSQL has no cast from a bound integer to boolean; a boolean column takes the
  // truth value as text instead (the -1/0 integers suit every other column).
  if (columns_[column].type == VarType::kBoolean && value.IsNumeric() &&
      connection_->engine() == Engine::kPostgres) {
    return Variant(CBool(value) ? "true" : "false");
  }
  return value;
}

std::string Recordset::RowCondition(std::vector<Variant>& params) const {
  const std::vector<Variant>& raw = raw_rows_[position_];
  std::string where;
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (raw[i].IsEmpty()) continue;  // a column the engine cannot compare
    if (!where.empty()) where += " AND ";
    if (raw[i].IsNull()) {
      where += QuoteName(columns_[i].name) + " IS NULL";
    } else {
      where += QuoteName(columns_[i].name) + " = ?";
      params.push_back(raw[i]);
    }
  }
  // Rows that agree in every column are alike; any one of them is the row.
  const std::string locator(connection_->driver().RowLocator());
  return locator + " = (SELECT " + locator + " FROM " + table_ +
         (where.empty() ? "" : " WHERE " + where) + " LIMIT 1)";
}

void Recordset::TakeReturnedRow(const Result& result) {
  const std::vector<Variant>& values = result.rows.front();
  for (size_t i = 0; i < columns_.size(); ++i) {
    const int32_t from = FindColumn(result.columns, columns_[i].name);
    if (from < 0) continue;  // not a column of the table (an expression): kept as it was
    rows_[position_][i] = values[from];
    if (!result.raw_rows.empty()) raw_rows_[position_][i] = result.raw_rows.front()[from];
  }
}

void Recordset::Update() {
  RequireOpen();
  if (edit_ == Edit::kNone) return;
  std::vector<Variant> params;
  std::string sql;
  const std::vector<Variant>& row = rows_[position_];
  if (edit_ == Edit::kAdd) {
    std::string names, marks;
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (!changed_[i]) continue;
      if (!names.empty()) {
        names += ", ";
        marks += ", ";
      }
      names += QuoteName(columns_[i].name);
      marks += "?";
      params.push_back(StorableValue(row[i], i));
    }
    // What comes back holds what the table filled in: defaults and generated keys.
    sql = "INSERT INTO " + table_ +
          (names.empty() ? " DEFAULT VALUES" : " (" + names + ") VALUES (" + marks + ")") +
          " RETURNING *";
  } else {
    std::string assignments;
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (!changed_[i]) continue;
      if (!assignments.empty()) assignments += ", ";
      assignments += QuoteName(columns_[i].name) + " = ?";
      params.push_back(StorableValue(row[i], i));
    }
    if (assignments.empty()) {
      edit_ = Edit::kNone;
      return;
    }
    sql = "UPDATE " + table_ + " SET " + assignments + " WHERE " + RowCondition(params) +
          " RETURNING *";
  }
  const Result result = connection_->driver().Run(sql, params, true);
  if (result.rows.empty()) {
    throw ErrorWithDetail(errors::kRowNotLocated,
                          "the row of " + table_ + " was changed or deleted meanwhile");
  }
  TakeReturnedRow(result);
  edit_ = Edit::kNone;
  changed_.assign(columns_.size(), false);
  original_row_.clear();
}

void Recordset::CancelUpdate() {
  RequireOpen();
  if (edit_ == Edit::kAdd) {
    rows_.pop_back();
    raw_rows_.pop_back();
    position_ = std::min<int64_t>(add_from_, static_cast<int64_t>(rows_.size()));
  } else if (edit_ == Edit::kChange) {
    rows_[position_] = original_row_;
  }
  edit_ = Edit::kNone;
  changed_.assign(columns_.size(), false);
  original_row_.clear();
}

void Recordset::Delete() {
  RequireOpen();
  RequireCurrentRow();
  RequireTable("delete a row");
  if (edit_ == Edit::kAdd) {  // the new row was never written: deleting it drops it
    CancelUpdate();
    return;
  }
  CancelUpdate();
  std::vector<Variant> params;
  const std::string sql = "DELETE FROM " + table_ + " WHERE " + RowCondition(params);
  if (connection_->driver().Run(sql, params).rows_affected == 0) {
    throw ErrorWithDetail(errors::kRowNotLocated,
                          "the row of " + table_ + " was changed or deleted meanwhile");
  }
  rows_.erase(rows_.begin() + position_);
  raw_rows_.erase(raw_rows_.begin() + position_);
}

namespace {

// Field names or indexes and their values, as AddNew and Update take them: two arrays, or
// one name and one value.
void AssignFields(Recordset& rs, Args args) {
  if (args.empty()) return;
  if (args.size() != 2) {
    throw Error::WithDetail(err::kWrongArguments, "give the fields and their values, or none");
  }
  if (args[0].IsArray() != args[1].IsArray()) {
    throw Error::WithDetail(err::kInvalidArgument, "fields and values must both be arrays");
  }
  if (!args[0].IsArray()) {
    rs.SetField(args[0], args[1]);
    return;
  }
  const automation::SafeArray& fields = args[0].Array();
  const automation::SafeArray& values = args[1].Array();
  if (fields.Size() != values.Size()) {
    throw Error::WithDetail(err::kInvalidArgument, "fields and values differ in number");
  }
  for (size_t i = 0; i < fields.Size(); ++i) {
    rs.SetField(fields.Element(fields.LowerBound() + static_cast<int32_t>(i)),
                values.Element(values.LowerBound() + static_cast<int32_t>(i)));
  }
}

void RequireArguments(Args args, size_t count, const char* member) {
  if (args.size() != count) {
    throw Error::WithDetail(err::kWrongArguments, std::string("Recordset.") + member + " takes " +
                                                      std::to_string(count) + " argument(s)");
  }
}

}  // namespace

// Late-bound members. Fields(name or index) and Collect(name or index) give the value of
// that field of the current row and take an assignment; there are no Field objects.
// Open(Source [, ActiveConnection [, CursorType, LockType, Options]]) takes a connection
// object or a data-source name, or uses ActiveConnection; the cursor is always a client
// cursor that reads every row, so CursorLocation is 3 whatever is assigned to it.
// AddNew and Update take optional field names (or indexes) and values: two arrays, or one
// name and one value.
const automation::MemberTable& Recordset::Members() const {
  auto field_get = [](Recordset& rs, Args args) {
    RequireArguments(args, 1, "Fields");
    return rs.Field(args[0]);
  };
  auto field_let = [](Recordset& rs, Args args, Variant& value) {
    RequireArguments(args, 1, "Fields");
    rs.SetField(args[0], value);
  };
  static const automation::MemberTable table =
      automation::MemberTableBuilder<Recordset>()
          .Raw("Open",
               [](Recordset& rs, Args args) {
                 if (args.empty() || args.size() > 5) {
                   throw Error::WithDetail(err::kWrongArguments,
                                           "Recordset.Open takes a source and a connection");
                 }
                 std::shared_ptr<Connection> connection = rs.connection_;
                 if (args.size() > 1 && args[1].IsString()) {
                   connection = Connection::OpenDataSource(args[1].String());
                 } else if (args.size() > 1 && args[1].IsObject()) {
                   connection = std::dynamic_pointer_cast<Connection>(args[1].Object());
                   if (!connection) {
                     throw Error::WithDetail(err::kTypeMismatch,
                                             "ActiveConnection must be a Connection");
                   }
                 }
                 rs.Open(CStr(args[0]), connection);
                 return Variant();
               })
          .Method("Close", &Recordset::Close)
          .Raw(
              "ActiveConnection",
              [](Recordset& rs, Args) {
                return rs.connection_ ? Variant(rs.connection_) : Variant(automation::ObjectRef());
              },
              [](Recordset& rs, Args, Variant& value) {
                if (rs.open_)
                  throw Error(errors::kObjectOpen, "ActiveConnection cannot change while open");
                if (value.IsString()) {
                  rs.connection_ = Connection::OpenDataSource(value.String());
                } else {
                  rs.connection_ = std::dynamic_pointer_cast<Connection>(
                      automation::detail::ArgTraits<automation::ObjectRef>::From(value));
                }
              })
          .Raw(
              "CursorLocation", [](Recordset&, Args) { return Variant(kClientCursor); },
              [](Recordset&, Args, Variant&) {})
          .Get("EOF", &Recordset::EOF_)
          .Get("BOF", &Recordset::BOF_)
          .Get("RecordCount", &Recordset::RecordCount)
          .Method("MoveNext", &Recordset::MoveNext)
          .Method("MovePrevious", &Recordset::MovePrevious)
          .Method("MoveFirst", &Recordset::MoveFirst)
          .Method("MoveLast", &Recordset::MoveLast)
          .Get("AbsolutePosition", &Recordset::AbsolutePosition)
          .Raw("Fields", field_get, field_let)
          .Raw("Collect", field_get, field_let)
          .Raw("AddNew",
               [](Recordset& rs, Args args) {
                 rs.AddNew();
                 // With its values given, the new row is written at once.
                 if (!args.empty()) {
                   AssignFields(rs, args);
                   rs.Update();
                 }
                 return Variant();
               })
          .Raw("Update",
               [](Recordset& rs, Args args) {
                 AssignFields(rs, args);
                 rs.Update();
                 return Variant();
               })
          .Method("CancelUpdate", &Recordset::CancelUpdate)
          .Method("Delete", &Recordset::Delete)
          .Get("State", &Recordset::State)
          .Build();
  return table;
}

}  // namespace ado
