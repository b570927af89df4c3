#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/CsvText.h"

// The records and values of the price importer's CSV files: finding the columns a file needs
// by its header, splitting a data line into as many fields as the header has, and reading the
// symbols, days and flags of the fields. Nothing here throws for a file's contents: what does
// not read comes back as nullopt with the reason.
namespace tools {

// A header name as it is matched: letters and digits only, lower case ("Adj Close" is
// "adjclose").
std::string HeaderKey(std::string_view name);

// A column the importer needs: its name in reports and the header names (as HeaderKey gives
// them) that mean it.
struct ColumnRule {
  const char* name;
  std::vector<const char*> keys;
  bool required = true;
};

// The position of each column of `rules` in the header, npos for an optional one that is
// absent; nullopt with the reason in `error` when a required one is missing or one appears
// twice.
std::optional<std::vector<size_t>> FindColumns(const std::vector<std::string>& header,
                                               const std::vector<ColumnRule>& rules,
                                               std::string& error);

// Where a file's header puts the columns of its rules.
struct HeaderColumns {
  size_t header_size = 0;         // the header's fields, as many as each data line must have
  std::vector<size_t> positions;  // FindColumns's, one a rule

  // Whether the header has the column of rule `rule` (an optional one may be absent).
  bool Has(size_t rule) const { return positions[rule] != std::string::npos; }
  // The field of rule `rule` among a data line's fields; the column must be there.
  const std::string& Field(const std::vector<std::string>& fields, size_t rule) const {
    return fields[positions[rule]];
  }
};

// The columns of `rules` in the header line; nullopt with FindColumns's reason in `error`
// when a required one is missing (as all are from a line whose quote is not closed) or one
// appears twice.
std::optional<HeaderColumns> ReadHeader(const CsvLine& line, const std::vector<ColumnRule>& rules,
                                        std::string& error);

// The fields of a data line that are as many as the header's, or nullopt with the reason.
std::optional<std::vector<std::string>> DataFields(const CsvLine& line, size_t header_size,
                                                   std::string& reason);

// 1 to 12 printable ASCII characters without blank, comma or quote.
bool IsValidSymbol(std::string_view symbol);

// The date code of "2024-01-31", "20240131" or "1/31/2024"; a month or day of one digit is
// taken in every form.
std::optional<int32_t> ParseDateCode(std::string_view text);

// "2024-01-31" for a date code.
std::string DateText(int32_t code);

// The Active flag: 1, -1, true, yes, y or 0, false, no, n in any case; nullopt otherwise.
std::optional<bool> ParseActive(std::string_view text);

// The reason a field that its column must fill is bad: "missing Close" when it is empty,
// "Close is null" when it says null in any case; nullopt when it holds a value.
std::optional<std::string> MissingValue(std::string_view field, const char* column);

// ---- The values of one bar
//
// Each check returns the reason a bar's line is bad, as its report line gives it, or nullopt
// when the value passes; a value read from a field goes to the last parameter, which is left
// alone when the check fails.

// The highest price taken: far above any share price, and low enough that sums and averages
// of a whole history stay well inside the single-precision range the series are kept in.
inline constexpr double kMaxPrice = 1e15;

// The Date field: filled, a day as ParseDateCode reads it, and not after `today` (a date
// code).
std::optional<std::string> ReadBarDate(std::string_view field, int32_t today, int32_t& date);

// A price field of `column` ("Open", "High", ...): filled, a number, above 0 and at most
// kMaxPrice, and not so small that a Single would hold it as 0.
std::optional<std::string> ReadPrice(std::string_view field, const char* column, double& price);

// The Volume field: filled, a number, not negative. Rounding, and what does not fit the
// store, are the importer's.
std::optional<std::string> ReadVolume(std::string_view field, double& volume);

struct BarPrices {
  double open = 0, high = 0, low = 0, close = 0;
};

// The day's range: High not below Low, and Open and Close within Low..High.
std::optional<std::string> CheckDayRange(const BarPrices& prices);

}  // namespace tools
