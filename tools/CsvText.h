#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/DateCode.h"

// Reading the CSV files of the importers: whole files and their lines, the fields of a
// record, numbers and days as such files write them, and field text made safe to show in a
// report line. Only CsvFilesIn throws; what cannot be read or parsed comes back as nullopt.
//
// Two ways to cut a file into records serve the importers: ReadCsvLines with SplitCsvLine
// keeps one record per line, so that every report names the exact line; CsvReader lets a
// quoted field run over line breaks, for texts that hold them. Both split fields alike: a
// field in double quotes may hold commas and "" for a quote, text after its closing quote
// is kept, and every field is trimmed of blanks.
namespace tools {

// ---- Limits

// The longest record a file may hold, in bytes (a line, or a record whose quoted fields run
// over several lines), and the most fields in one record. Real files stay far below both; a
// file beyond either is refused whole before any record is split, so that a hostile file
// costs neither time nor memory.
inline constexpr size_t kMaxCsvRecordBytes = size_t{1} << 20;
inline constexpr size_t kMaxCsvFields = 10000;

// The first limit `text` passes, as one line naming the record ("line 3 is longer than
// 1048576 bytes", "line 1 has more than 10000 fields"); nullopt when it keeps both. Fields
// are counted as CsvReader splits them, so a comma in quotes does not count.
std::optional<std::string> CsvLimitExceeded(std::string_view text);

// ---- Files

// The regular files of the folder whose names end in ".csv" in any case and do not start
// with a dot, in the order the file system lists them. A folder that cannot be listed is
// error 75 (automation::err::kFileAccess) naming it and the reason.
std::vector<std::filesystem::path> CsvFilesIn(const std::filesystem::path& folder);

// The file's bytes; nullopt with the reason ("cannot be opened", "cannot be read", or the
// limit a record passes, as CsvLimitExceeded words it) in `error` when it cannot be read.
std::optional<std::string> ReadCsvFile(const std::filesystem::path& path, std::string& error);

struct CsvLine {
  int number = 0;  // from 1
  std::string text;
};

// The file's non-blank lines with their numbers, without line ends (LF or CR LF) or a
// leading byte-order mark; nullopt with the reason in `error` when it cannot be read or a
// line passes a limit (kMaxCsvRecordBytes, kMaxCsvFields). Reading stops at the first line
// too long, so a file of one endless line is refused after a megabyte.
std::optional<std::vector<CsvLine>> ReadCsvLines(const std::filesystem::path& path,
                                                 std::string& error);

// The fields of one line that holds no line break; nullopt when a quote is not closed.
std::optional<std::vector<std::string>> SplitCsvLine(std::string_view line);

// ---- Records over line breaks

// A record of a CSV text: its fields and the line it starts on (from 1).
struct CsvRecord {
  int line = 0;
  std::vector<std::string> fields;
};

// Reads the records of a CSV text one by one. A quoted field may hold line breaks too.
// Lines ending in CR LF and a leading byte-order mark are taken; blank lines are skipped.
class CsvReader {
 public:
  explicit CsvReader(std::string text);

  // False at the end of the text. `unclosed` is set when a quote runs to the end of the
  // text: the record, and everything after its start, cannot be told apart.
  bool Next(CsvRecord& record, bool& unclosed);

 private:
  std::string text_;
  size_t at_ = 0;
  int line_ = 1;
};

// ---- Values

// A finite number in the C locale's notation ("12", "-0.5", "+1e3"); nullopt for anything
// else, an empty text included.
std::optional<double> ParseNumber(std::string_view text);

// A whole number in 32 bits, with an optional sign; nullopt for anything else.
std::optional<int32_t> ParseWholeNumber(std::string_view text);

// A day as the year, month and day of the calendar.
struct CsvDay {
  int year = 0, month = 0, day = 0;
  int32_t Code() const { return automation::DateCode::Of(year, month, day).Code(); }
};

// How strict the day text "YYYY-MM-DD" is about its month and day.
enum class IsoDayDigits {
  kOneOrTwo,  // "2024-1-5" is taken
  kTwo,       // only "2024-01-05"
};

// A day that exists, from "2024-01-31", "20240131" or "1/31/2024" (month and day of one or
// two digits in the last form), in a year from 1000; nullopt for anything else.
std::optional<CsvDay> ParseCsvDay(std::string_view text, IsoDayDigits iso_digits);

// ---- Reports

// "5 fields where the header has 7" when a record's fields are not as many as the header's;
// nullopt when they are.
std::optional<std::string> FieldCountFault(size_t fields, size_t header_fields);

// A field's text as a report may show it: in double quotes, at most 40 characters followed by
// "..." when there are more, control characters shown as '?', so that a hostile file cannot
// write to the terminal.
std::string ShownField(std::string_view text);

}  // namespace tools
