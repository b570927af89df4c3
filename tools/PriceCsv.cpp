#include "tools/PriceCsv.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "platform/automation/DateCode.h"
#include "platform/automation/Text.h"

namespace tools {

std::string HeaderKey(std::string_view name) {
  std::string key;
  for (char c : name) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return key;
}

std::optional<std::vector<size_t>> FindColumns(const std::vector<std::string>& header,
                                               const std::vector<ColumnRule>& rules,
                                               std::string& error) {
  std::vector<size_t> positions(rules.size(), std::string::npos);
  std::vector<std::string> missing;
  for (size_t s = 0; s < rules.size(); ++s) {
    for (size_t h = 0; h < header.size(); ++h) {
      const std::string key = HeaderKey(header[h]);
      if (std::find(rules[s].keys.begin(), rules[s].keys.end(), key) == rules[s].keys.end()) {
        continue;
      }
      if (positions[s] != std::string::npos) {
        error = fmt::format("the header names the {} column twice", rules[s].name);
        return std::nullopt;
      }
      positions[s] = h;
    }
    if (positions[s] == std::string::npos && rules[s].required) missing.push_back(rules[s].name);
  }
  if (!missing.empty()) {
    std::string names;
    for (const ColumnRule& rule : rules) {
      if (!rule.required) continue;
      if (!names.empty()) names += ',';
      names += rule.name;
    }
    error =
        fmt::format("no header row {} (missing {}); file skipped", names, fmt::join(missing, ", "));
    return std::nullopt;
  }
  return positions;
}

std::optional<HeaderColumns> ReadHeader(const CsvLine& line, const std::vector<ColumnRule>& rules,
                                        std::string& error) {
  const std::vector<std::string> names =
      SplitCsvLine(line.text).value_or(std::vector<std::string>{});
  auto positions = FindColumns(names, rules, error);
  if (!positions) return std::nullopt;
  return HeaderColumns{names.size(), std::move(*positions)};
}

std::optional<std::vector<std::string>> DataFields(const CsvLine& line, size_t header_size,
                                                   std::string& reason) {
  auto fields = SplitCsvLine(line.text);
  if (!fields) {
    reason = "a quoted field is not closed";
  } else if (auto fault = FieldCountFault(fields->size(), header_size)) {
    reason = std::move(*fault);
    fields.reset();
  }
  return fields;
}

bool IsValidSymbol(std::string_view symbol) {
  if (symbol.empty() || symbol.size() > 12) return false;
  return std::all_of(symbol.begin(), symbol.end(),
                     [](char c) { return c > ' ' && c < 0x7F && c != ',' && c != '"'; });
}

std::optional<int32_t> ParseDateCode(std::string_view text) {
  const auto day = ParseCsvDay(text, IsoDayDigits::kOneOrTwo);
  if (!day) return std::nullopt;
  return day->Code();
}

std::string DateText(int32_t code) { return automation::DateCode(code).IsoText(); }

std::optional<bool> ParseActive(std::string_view text) {
  const std::string folded = automation::FoldCase(text);
  for (const char* yes : {"1", "-1", "true", "yes", "y"}) {
    if (folded == yes) return true;
  }
  for (const char* no : {"0", "false", "no", "n"}) {
    if (folded == no) return false;
  }
  return std::nullopt;
}

std::optional<std::string> MissingValue(std::string_view field, const char* column) {
  if (field.empty()) return fmt::format("missing {}", column);
  if (automation::EqualsIgnoringCase(field, "null")) return fmt::format("{} is null", column);
  return std::nullopt;
}

std::optional<std::string> ReadBarDate(std::string_view field, int32_t today, int32_t& date) {
  if (auto missing = MissingValue(field, "Date")) return missing;
  const auto code = ParseDateCode(field);
  if (!code) return fmt::format("bad date {}", ShownField(field));
  if (*code > today) return fmt::format("date {} is after today", DateText(*code));
  date = *code;
  return std::nullopt;
}

std::optional<std::string> ReadPrice(std::string_view field, const char* column, double& price) {
  if (auto missing = MissingValue(field, column)) return missing;
  const auto number = ParseNumber(field);
  if (!number) return fmt::format("{} is not a number: {}", column, ShownField(field));
  // A price too small for a Single would be stored as 0.
  if (!(*number > 0 && *number <= kMaxPrice && static_cast<float>(*number) > 0)) {
    return fmt::format("{} {} is out of range: prices are above 0 and at most {:g}", column,
                       ShownField(field), kMaxPrice);
  }
  price = *number;
  return std::nullopt;
}

std::optional<std::string> ReadVolume(std::string_view field, double& volume) {
  if (auto missing = MissingValue(field, "Volume")) return missing;
  const auto number = ParseNumber(field);
  if (!number) return fmt::format("Volume is not a number: {}", ShownField(field));
  if (*number < 0) return fmt::format("Volume {} is negative", ShownField(field));
  volume = *number;
  return std::nullopt;
}

std::optional<std::string> CheckDayRange(const BarPrices& prices) {
  if (prices.high < prices.low) {
    return fmt::format("High {} is below Low {}", prices.high, prices.low);
  }
  // Open and Close lie within the day's range; the chart's candles are drawn from it.
  const std::pair<const char*, double> ends[] = {{"Open", prices.open}, {"Close", prices.close}};
  for (const auto& [name, price] : ends) {
    if (price < prices.low || price > prices.high) {
      return fmt::format("{} {} is outside Low {} .. High {}", name, price, prices.low,
                         prices.high);
    }
  }
  return std::nullopt;
}

}  // namespace tools
