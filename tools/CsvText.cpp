#include "tools/CsvText.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <system_error>
#include <utility>

#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Text.h"

namespace tools {

namespace {

using automation::TrimBlanks;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Reads one field of `text` from `at`, untrimmed, and moves `at` past it and its comma or
// line end; true when another field of the same record follows. `line` counts the line
// breaks passed; `unclosed` is set when a quote runs to the end of the text.
bool ReadField(std::string_view text, size_t& at, int& line, std::string& field, bool& unclosed) {
  const size_t size = text.size();
  while (at < size && (text[at] == ' ' || text[at] == '\t')) ++at;
  if (at < size && text[at] == '"') {
    ++at;
    bool closed = false;
    while (at < size) {
      const char c = text[at];
      if (c == '"') {
        if (at + 1 < size && text[at + 1] == '"') {
          field += '"';
          at += 2;
          continue;
        }
        ++at;
        closed = true;
        break;
      }
      if (c == '\n') ++line;
      field += c;
      ++at;
    }
    if (!closed) unclosed = true;
  }
  const size_t end = text.find_first_of(",\n", at);
  field += text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
  if (end == std::string_view::npos) {
    at = size;
    return false;
  }
  at = end + 1;
  if (text[end] == '\n') {
    ++line;
    return false;
  }
  return true;
}

bool AllDigits(std::string_view text, size_t min_size, size_t max_size) {
  return text.size() >= min_size && text.size() <= max_size &&
         std::all_of(text.begin(), text.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// The value of a text that AllDigits has passed.
int ToInt(std::string_view digits) {
  int value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return value;
}

}  // namespace

// ---- Files

std::vector<std::filesystem::path> CsvFilesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    const std::filesystem::path& path = it->path();
    std::error_code ignored;
    if (path.filename().string().starts_with('.') || !it->is_regular_file(ignored) ||
        !automation::EqualsIgnoringCase(path.extension().string(), ".csv")) {
      continue;
    }
    files.push_back(path);
  }
  if (error) {
    throw automation::Error::WithDetail(
        automation::err::kFileAccess,
        fmt::format("cannot list {}: {}", folder.string(), error.message()));
  }
  return files;
}

std::optional<std::string> ReadCsvFile(const std::filesystem::path& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot be opened";
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    error = "cannot be read";
    return std::nullopt;
  }
  return std::move(text).str();
}

std::optional<std::vector<CsvLine>> ReadCsvLines(const std::filesystem::path& path,
                                                 std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot be opened";
    return std::nullopt;
  }
  std::vector<CsvLine> lines;
  std::string text;
  for (int number = 1; std::getline(in, text); ++number) {
    if (number == 1 && text.starts_with(kByteOrderMark)) text.erase(0, kByteOrderMark.size());
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (!TrimBlanks(text).empty()) lines.push_back({number, std::move(text)});
  }
  if (in.bad()) {
    error = "cannot be read";
    return std::nullopt;
  }
  return lines;
}

std::optional<std::vector<std::string>> SplitCsvLine(std::string_view line) {
  std::vector<std::string> fields;
  size_t at = 0;
  int line_breaks = 0;
  bool unclosed = false;
  for (bool more = true; more;) {
    std::string field;
    more = ReadField(line, at, line_breaks, field, unclosed);
    if (unclosed) return std::nullopt;
    fields.emplace_back(TrimBlanks(field));
  }
  return fields;
}

// ---- Records over line breaks

CsvReader::CsvReader(std::string text) : text_(std::move(text)) {
  if (std::string_view(text_).starts_with(kByteOrderMark)) at_ = kByteOrderMark.size();
}

bool CsvReader::Next(CsvRecord& record, bool& unclosed) {
  unclosed = false;
  while (at_ < text_.size()) {
    record.line = line_;
    record.fields.clear();
    for (bool more = true; more;) {
      std::string field;
      more = ReadField(text_, at_, line_, field, unclosed);
      record.fields.emplace_back(TrimBlanks(field));
    }
    const bool blank = record.fields.size() == 1 && record.fields[0].empty();
    if (!blank || unclosed) return true;
  }
  return false;
}

// ---- Values

std::optional<double> ParseNumber(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<int32_t> ParseWholeNumber(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<CsvDay> ParseCsvDay(std::string_view text, IsoDayDigits iso_digits) {
  CsvDay day;
  if (AllDigits(text, 8, 8)) {
    day.year = ToInt(text.substr(0, 4));
    day.month = ToInt(text.substr(4, 2));
    day.day = ToInt(text.substr(6, 2));
  } else {
    const bool iso = text.find('-') != std::string_view::npos;
    const std::vector<std::string> parts = automation::SplitAt(text, iso ? '-' : '/');
    if (parts.size() != 3) return std::nullopt;
    const std::string& y = iso ? parts[0] : parts[2];
    const std::string& m = iso ? parts[1] : parts[0];
    const std::string& d = iso ? parts[2] : parts[1];
    const size_t least = iso && iso_digits == IsoDayDigits::kTwo ? 2 : 1;
    if (!AllDigits(y, 4, 4) || !AllDigits(m, least, 2) || !AllDigits(d, least, 2)) {
      return std::nullopt;
    }
    day.year = ToInt(y);
    day.month = ToInt(m);
    day.day = ToInt(d);
  }
  if (day.year < 1000 || day.month < 1 || day.month > 12 || day.day < 1 ||
      day.day > automation::DaysInMonth(day.year, day.month)) {
    return std::nullopt;
  }
  return day;
}

// ---- Reports

std::string ShownField(std::string_view text) {
  constexpr size_t kShownSize = 40;
  std::string shown = "\"";
  for (size_t i = 0; i < text.size() && i < kShownSize; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    shown += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
  }
  if (text.size() > kShownSize) shown += "...";
  return shown + "\"";
}

}  // namespace tools
