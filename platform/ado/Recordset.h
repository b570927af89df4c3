#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ado/Connection.h"
#include "platform/automation/Dispatch.h"

namespace ado {

// ADODB.Recordset with a client cursor: Open reads every row, so RecordCount is exact and
// the cursor moves freely. A recordset over one table (opened on the table's name, or on a
// SELECT from that table alone) can add rows (AddNew, field assignments, Update) and change
// or delete its current row; the change goes to the database at Update (or when the cursor
// moves on with a change pending).
class Recordset : public automation::Dispatch {
 public:
  static std::shared_ptr<Recordset> Create() { return std::make_shared<Recordset>(); }

  std::string_view ClassName() const override { return "Recordset"; }
  const automation::MemberTable& Members() const override;

  // `source` is SQL text or a table name. `params` are bound to `?` placeholders. Positions
  // on the first row (EOF when there is none).
  void Open(const std::string& source, std::shared_ptr<Connection> connection,
            const std::vector<automation::Variant>& params = {});
  void Close();
  int32_t State() const { return open_ ? 1 : 0; }

  int32_t RecordCount() const;
  bool EOF_() const;  // EOF and BOF are macros' names in C; the automation names are EOF, BOF
  bool BOF_() const;
  void MoveNext();
  void MovePrevious();
  void MoveFirst();
  void MoveLast();
  // 1-based position of the current row; -1 when there is none (BOF or EOF).
  int32_t AbsolutePosition() const;

  int32_t FieldCount() const;
  const std::string& FieldName(int32_t index) const;
  // The value of a field of the current row, by name (without regard to case) or 0-based
  // index. Without a current row: error 3021; an unknown field: error 3265. The reference
  // is the recordset's own and lasts until the rows change (AddNew, Delete, Close, Open):
  // copy the value to keep it longer.
  const automation::Variant& Field(const std::string& name) const;
  const automation::Variant& Field(const char* name) const { return Field(std::string(name)); }
  const automation::Variant& Field(int32_t index) const;
  // Accepts a name (String) or an index (number).
  const automation::Variant& Field(const automation::Variant& name_or_index) const;
  void SetField(const automation::Variant& name_or_index, const automation::Variant& value);

  void AddNew();
  // Writes the pending insert or change; without one, does nothing.
  void Update();
  void CancelUpdate();
  // Deletes the current row from the table and from the recordset.
  void Delete();

  // The table a one-table recordset changes; empty when it cannot change anything.
  const std::string& TableName() const { return table_; }

 private:
  int32_t IndexOf(const automation::Variant& name_or_index) const;
  void RequireCurrentRow() const;
  void RequireTable(const char* what) const;
  void RequireOpen() const;
  // "<locator> = (SELECT <locator> FROM t WHERE <each column as read> LIMIT 1)", with the
  // values it needs appended to `params`.
  std::string RowCondition(std::vector<automation::Variant>& params) const;
  // A value as it is bound for a column of the table.
  automation::Variant StorableValue(const automation::Variant& value, size_t column) const;
  // Puts the row a statement returned (RETURNING *) in place of the current row.
  void TakeReturnedRow(const Result& result);

  std::shared_ptr<Connection> connection_;
  bool open_ = false;
  std::string table_;
  std::vector<Column> columns_;
  std::vector<std::vector<automation::Variant>> rows_;
  std::vector<std::vector<automation::Variant>> raw_rows_;
  int64_t position_ = 0;  // index into rows_; -1 is BOF, rows_.size() is EOF
  enum class Edit { kNone, kChange, kAdd } edit_ = Edit::kNone;
  std::vector<bool> changed_;                      // columns assigned since the last Update
  std::vector<automation::Variant> original_row_;  // the current row before a change
  int64_t add_from_ = 0;  // the position AddNew left, where CancelUpdate returns
};

}  // namespace ado
