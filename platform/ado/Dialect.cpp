#include "platform/ado/Dialect.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "platform/ado/SqlScanner.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Text.h"

namespace ado {

namespace {

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
  SqlScanner scanner(sql);
  for (SqlToken token = scanner.Next(); token.kind != SqlToken::Kind::kEnd;
       token = scanner.Next()) {
    if (token.kind == SqlToken::Kind::kPlaceholder) {
      out += '$';
      out += std::to_string(++placeholder);
    } else if (token.IsWord("datetime")) {
      out += "timestamp";
    } else {
      out += token.text;
    }
  }
  return out;
}

}  // namespace ado
