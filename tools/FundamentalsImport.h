#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "platform/ado/Connection.h"
#include "platform/fundamentals/FundamentalsSchema.h"

// Imports a folder of CSV files into the outside fundamentals database, one file per table:
//
//   <table>.csv   e.g. si_ci.csv, si_isa.csv, pfcomp.csv
//
// The header row names the file's columns by their column names (blanks around them and
// case do not matter), and the table's key (company_id, mg_code, indcode, pfid) must be among
// them. A name the table does not have is skipped with its fields (a full export carries
// figures the system does not keep); columns the file leaves out stay Null. Fields may be quoted
// ("..." with "" for a quote, line breaks allowed inside); an empty field is Null. Values: numbers
// with a dot for the decimals, dates as YYYY-MM-DD, YYYYMMDD or M/D/YYYY, text keys of at most 10
// characters, names of at most 80 (an exchange code 4).
namespace tools {

// What one file put into its table.
struct FundamentalsTableImport {
  std::string table;   // "si_isa"
  std::string source;  // "SIPStatic"
  int64_t rows = 0;    // rows the table holds now
};

struct FundamentalsImportSummary {
  std::vector<FundamentalsTableImport> tables;  // in the order imported
  int64_t rows = 0;                             // rows stored, all tables
  int32_t bad_lines = 0;                        // lines reported and skipped
  int32_t skipped_columns = 0;  // header names no column of their table has, all files
  int32_t failed_files = 0;     // files reported and not imported (their tables unchanged)
  int32_t unknown_files = 0;    // .csv files whose name is no table, reported and skipped

  bool Failed() const { return failed_files > 0 || unknown_files > 0; }
};

// Imports the folder's files. Each file replaces all rows of its table, in one transaction
// on the table's data source: a file that fails leaves the previous rows. A table the data
// source lacks is created; other tables are left alone. Every problem is reported to
// `messages` on a line of its own: "FILE:LINE: reason" for a line that is skipped (a value
// that does not fit its column, a repeated key), "FILE: reason" for a file that is not
// imported (no key column, a header name given twice, no rows or no good rows, a data source
// that cannot be opened, a database error), and one line "FILE: ..." per file whose header
// names columns the table lacks, with the first twenty of them and their count. A table
// made when the schema had fewer columns gets the missing ones. Nothing is thrown for the files'
// contents; a folder that cannot be listed is error 75.
FundamentalsImportSummary ImportFundamentals(const std::filesystem::path& folder,
                                             std::ostream& messages);

}  // namespace tools
