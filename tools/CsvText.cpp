#include "tools/CsvText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <system_error>
#include <utility>

#include <fmt/format.h>

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

// The first limit `text` passes, its lines numbered from `first_line`. The walk follows
// ReadField: a quote opens a quoted field only where the field starts (after blanks), and
// in one a doubled quote is a quote; a line break outside quotes ends the record.
std::optional<std::string> LimitExceeded(std::string_view text, int first_line) {
  int line = first_line;
  int record_line = first_line;
  size_t record_start = 0;
  size_t fields = 1;
  bool field_start = true;
  bool quoted = false;
  auto too_long = [&] {
    return record_line == line
               ? fmt::format("line {} is longer than {} bytes", record_line, kMaxCsvRecordBytes)
               : fmt::format("the record from line {} is longer than {} bytes", record_line,
                             kMaxCsvRecordBytes);
  };
  for (size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    // A record may have one byte more when it is the CR of a CR LF line end.
    const size_t length = at - record_start;
    if (length > kMaxCsvRecordBytes &&
        (length > kMaxCsvRecordBytes + 1 || text[at - 1] != '\r' || c != '\n')) {
      return too_long();
    }
    if (quoted) {
      if (c == '"') {
        if (at + 1 < text.size() && text[at + 1] == '"') {
          ++at;
        } else {
          quoted = false;
        }
      } else if (c == '\n') {
        ++line;
      }
      continue;
    }
    if (c == '\n') {
      ++line;
      record_line = line;
      record_start = at + 1;
      fields = 1;
      field_start = true;
    } else if (c == ',') {
      if (++fields > kMaxCsvFields) {
        return fmt::format("line {} has more than {} fields", record_line, kMaxCsvFields);
      }
      field_start = true;
    } else if (c == '"' && field_start) {
      quoted = true;
      field_start = false;
    } else if (c != ' ' && c != '\t') {
      field_start = false;
    }
  }
  const size_t length = text.size() - record_start;
  if (length > kMaxCsvRecordBytes && (length > kMaxCsvRecordBytes + 1 || text.back() != '\r')) {
    return too_long();
  }
  return std::nullopt;
}

// `text` without the plus sign it may start with; empty when a minus sign follows the plus,
// which from_chars would take for a negative number.
std::string_view WithoutPlus(std::string_view text) {
  if (!text.starts_with('+')) return text;
  text.remove_prefix(1);
  return text.starts_with('-') ? std::string_view() : text;
}

}  // namespace

// ---- Limits

std::optional<std::string> CsvLimitExceeded(std::string_view text) {
  return LimitExceeded(text, 1);
}

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
  std::string bytes = std::move(text).str();
  if (auto exceeded = CsvLimitExceeded(bytes)) {
    error = std::move(*exceeded);
    return std::nullopt;
  }
  return bytes;
}

std::optional<std::vector<CsvLine>> ReadCsvLines(const std::filesystem::path& path,
                                                 std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot be opened";
    return std::nullopt;
  }
  std::vector<CsvLine> lines;
  std::streambuf& bytes = *in.rdbuf();
  std::string text;
  // Line by line with a bound, not by getline: a file of one endless line is refused once
  // the line passes the limit, not after it has been read whole.
  for (int number = 1;; ++number) {
    text.clear();
    int c = 0;
    bool any = false;
    bool cut = false;
    while ((c = bytes.sbumpc()) != std::char_traits<char>::eof() && c != '\n') {
      any = true;
      // One byte over the limit leaves room for the CR of a CR LF line end.
      if (text.size() > kMaxCsvRecordBytes) {
        cut = true;
        break;
      }
      text.push_back(static_cast<char>(c));
    }
    if (!any && c == std::char_traits<char>::eof()) break;
    if (number == 1 && text.starts_with(kByteOrderMark)) text.erase(0, kByteOrderMark.size());
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (auto exceeded = LimitExceeded(text, number)) {
      error = std::move(*exceeded);
      return std::nullopt;
    }
    if (cut) {
      error = fmt::format("line {} is longer than {} bytes", number, kMaxCsvRecordBytes);
      return std::nullopt;
    }
    if (!TrimBlanks(text).empty()) lines.push_back({number, std::move(text)});
    if (c == std::char_traits<char>::eof()) break;
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
  text = WithoutPlus(text);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<int32_t> ParseWholeNumber(std::string_view text) {
  text = WithoutPlus(text);
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

std::optional<std::string> FieldCountFault(size_t fields, size_t header_fields) {
  if (fields == header_fields) return std::nullopt;
  return fmt::format("{} fields where the header has {}", fields, header_fields);
}

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
