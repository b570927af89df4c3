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

// A value a column must hold: not empty, not "null" (in any case); nullopt with the reason
// naming the column otherwise.
std::optional<std::string_view> Required(const std::string& field, const char* column,
                                         std::string& reason);

}  // namespace tools
