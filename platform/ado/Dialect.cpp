#include "platform/ado/Dialect.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "platform/automation/DateTime.h"
#include "platform/automation/Text.h"

namespace ado {

namespace {

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

// Length of a dollar-quote tag ("$$" or "$name$") starting at `at`, or 0 when there is none.
size_t DollarTagLength(std::string_view sql, size_t at) {
  size_t i = at + 1;
  while (i < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_')) {
    if (i == at + 1 && std::isdigit(static_cast<unsigned char>(sql[i]))) return 0;  // $1
    ++i;
  }
  return i < sql.size() && sql[i] == '$' ? i - at + 1 : 0;
}

// Reads exactly `count` digits (or, with count 0, one or more) at `at`.
std::optional<int> Digits(std::string_view s, size_t& at, size_t count) {
  const size_t start = at;
  int value = 0;
  while (at < s.size() && std::isdigit(static_cast<unsigned char>(s[at])) &&
         (count == 0 ? at - start < 9 : at - start < count)) {
    value = value * 10 + (s[at++] - '0');
  }
  if (at == start || (count != 0 && at - start != count)) return std::nullopt;
  return value;
}

// "hh:mm[:ss[.fraction]]" at `at`.
bool ReadTime(std::string_view s, size_t& at, int& hour, int& minute, int& second,
              int& millisecond) {
  auto h = Digits(s, at, 2);
  if (!h || at >= s.size() || s[at++] != ':') return false;
  auto m = Digits(s, at, 2);
  if (!m) return false;
  hour = *h;
  minute = *m;
  second = millisecond = 0;
  if (at < s.size() && s[at] == ':') {
    ++at;
    auto sec = Digits(s, at, 2);
    if (!sec) return false;
    second = *sec;
    if (at < s.size() && s[at] == '.') {
      ++at;
      double scale = 0.1, fraction = 0;
      const size_t start = at;
      while (at < s.size() && std::isdigit(static_cast<unsigned char>(s[at]))) {
        fraction += (s[at++] - '0') * scale;
        scale /= 10;
      }
      if (at == start) return false;
      // A time a hair before the next second stays in its second rather than overflowing.
      millisecond = std::min(999, static_cast<int>(std::lround(fraction * 1000)));
    }
  }
  return true;
}

// A zone suffix: "Z", "+02", "-05:30", "+05:30:15".
bool IsZoneSuffix(std::string_view s) {
  if (s == "Z" || s == "z") return true;
  if (s.empty() || (s[0] != '+' && s[0] != '-')) return false;
  for (size_t i = 1; i < s.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i])) && s[i] != ':') return false;
  }
  return s.size() > 1;
}

}  // namespace

std::optional<automation::Date> ParseStoredDate(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  size_t at = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  auto year = Digits(text, at, 0);
  if (year && at >= 4 && at < text.size() && text[at] == '-') {
    ++at;
    auto month = Digits(text, at, 0);
    if (month && at < text.size() && text[at] == '-') {
      ++at;
      auto day = Digits(text, at, 0);
      if (day && at < text.size() && (text[at] == ' ' || text[at] == 'T')) {
        ++at;
        if (!ReadTime(text, at, hour, minute, second, millisecond)) return std::nullopt;
      }
      if (day && (at == text.size() || IsZoneSuffix(text.substr(at)))) {
        return automation::MakeDate(*year, *month, *day, hour, minute, second, millisecond);
      }
    }
  } else {
    at = 0;
    if (ReadTime(text, at, hour, minute, second, millisecond) &&
        (at == text.size() || IsZoneSuffix(text.substr(at)))) {
      if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
      return automation::Date{
          (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / 86400000.0};
    }
  }
  return automation::ParseDate(text);
}

std::string ToDialect(std::string_view sql, Engine engine) {
  if (engine == Engine::kSqlite) return std::string(sql);

  std::string out;
  out.reserve(sql.size() + 16);
  int placeholder = 0;
  size_t i = 0;
  // Copies text up to and including the closing `quote`; a doubled quote stays inside, and
  // in E'...' texts so does a backslash-escaped one.
  auto copy_quoted = [&](char quote, bool backslash_escapes) {
    out += sql[i++];
    while (i < sql.size()) {
      const char c = sql[i];
      out += c;
      ++i;
      if (backslash_escapes && c == '\\' && i < sql.size()) {
        out += sql[i++];
      } else if (c == quote) {
        if (i < sql.size() && sql[i] == quote) {
          out += sql[i++];
        } else {
          return;
        }
      }
    }
  };

  while (i < sql.size()) {
    const char c = sql[i];
    const bool after_word = i > 0 && IsWordChar(sql[i - 1]);
    if (c == '\'') {
      const bool escape_string =
          i > 0 && (sql[i - 1] == 'E' || sql[i - 1] == 'e') && !(i > 1 && IsWordChar(sql[i - 2]));
      copy_quoted('\'', escape_string);
    } else if (c == '"') {
      copy_quoted('"', false);
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const size_t end = sql.find('\n', i);
      const size_t stop = end == std::string_view::npos ? sql.size() : end;
      out.append(sql.substr(i, stop - i));
      i = stop;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      // Block comments nest in PostgreSQL.
      const size_t start = i;
      int depth = 0;
      while (i < sql.size()) {
        if (sql.compare(i, 2, "/*") == 0) {
          ++depth;
          i += 2;
        } else if (sql.compare(i, 2, "*/") == 0) {
          i += 2;
          if (--depth == 0) break;
        } else {
          ++i;
        }
      }
      out.append(sql.substr(start, i - start));
    } else if (c == '$' && !after_word && DollarTagLength(sql, i) > 0) {
      const size_t tag_length = DollarTagLength(sql, i);
      const std::string_view tag = sql.substr(i, tag_length);
      const size_t end = sql.find(tag, i + tag_length);
      const size_t stop = end == std::string_view::npos ? sql.size() : end + tag_length;
      out.append(sql.substr(i, stop - i));
      i = stop;
    } else if (c == '?') {
      out += '$';
      out += std::to_string(++placeholder);
      ++i;
    } else if (IsWordChar(c) && !after_word) {
      size_t end = i;
      while (end < sql.size() && IsWordChar(sql[end])) ++end;
      const std::string_view word = sql.substr(i, end - i);
      if (automation::EqualsIgnoringCase(word, "datetime")) {
        out += "timestamp";
      } else {
        out.append(word);
      }
      i = end;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

}  // namespace ado
