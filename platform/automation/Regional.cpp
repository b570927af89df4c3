#include "platform/automation/Regional.h"

#include <charconv>
#include <climits>
#include <cstdlib>
#include <langinfo.h>
#include <locale.h>
#include <string>
#include <system_error>

namespace automation {

namespace {

std::string EffectiveLocaleName() {
  for (const char* var : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(var);
    if (value && *value) return value;
  }
  return "C";
}

// A number as decimal digits: value = 0.d1d2d3... × 10^exponent, digits without leading
// zeros ("" for zero).
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

template <class T>
Decimal ShortestDecimal(T value) {
  Decimal d;
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  std::string_view text(buf, static_cast<size_t>(end - buf));
  if (!text.empty() && text[0] == '-') {
    d.negative = true;
    text.remove_prefix(1);
  }
  const size_t e = text.find('e');
  for (char c : text.substr(0, e)) {
    if (c != '.') d.digits += c;
  }
  int exp10 = 0;
  std::string_view exp_text = text.substr(e + 1);
  if (!exp_text.empty() && exp_text[0] == '+') exp_text.remove_prefix(1);
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exp10);
  d.exponent = exp10 + 1;
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) d.exponent = 0;
  return d;
}

// Fixed-point text "123.45" (unsigned, '.' as the point) of d rounded half away from zero
// to `places` decimals, grouped and with the regional point.
std::string FixedText(const Decimal& d, int places, const NumberFormat& format) {
  // All digits of the result: integer part and `places` decimals, as one digit string.
  const int total = d.exponent + places;  // digits kept from the significant digits
  std::string kept;
  bool round_up = false;
  if (total >= 0) {
    kept = d.digits.substr(0, std::min<size_t>(d.digits.size(), static_cast<size_t>(total)));
    if (static_cast<int>(d.digits.size()) > total) round_up = d.digits[total] >= '5';
    kept.append(static_cast<size_t>(total) - kept.size(), '0');
  }
  if (round_up) {
    int i = static_cast<int>(kept.size()) - 1;
    while (i >= 0 && kept[i] == '9') kept[i--] = '0';
    if (i >= 0) {
      ++kept[i];
    } else {
      kept.insert(kept.begin(), '1');
    }
  }
  // Now kept holds the value × 10^places as an integer's digits.
  if (static_cast<int>(kept.size()) <= places) {
    kept.insert(0, static_cast<size_t>(places) + 1 - kept.size(), '0');
  }
  std::string integer = kept.substr(0, kept.size() - static_cast<size_t>(places));
  const std::string fraction = kept.substr(kept.size() - static_cast<size_t>(places));
  std::string text = GroupDigits(integer, format);
  if (places > 0) text += format.decimal_point + fraction;
  return text;
}

bool AllZero(const std::string& text) {
  for (char c : text) {
    if (c >= '1' && c <= '9') return false;
  }
  return true;
}

std::string FormatDecimal(Decimal d, int places) {
  const NumberFormat& format = CurrentNumberFormat();
  if (places < 0) places = kRegionalDefaultDigits;
  const std::string text = FixedText(d, places, format);
  return d.negative && !AllZero(text) ? "-" + text : text;
}

}  // namespace

NumberFormat NumberFormatOf(const std::string& locale_name) {
  NumberFormat format;
  locale_t loc = newlocale(LC_NUMERIC_MASK, locale_name.c_str(), static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return format;
  format.decimal_point = nl_langinfo_l(RADIXCHAR, loc);
  format.thousands_sep = nl_langinfo_l(THOUSEP, loc);
  for (const char* g = nl_langinfo_l(GROUPING, loc); *g && *g != CHAR_MAX; ++g) {
    format.grouping.push_back(*g);
  }
  freelocale(loc);
  if (format.decimal_point.empty()) format.decimal_point.push_back('.');
  return format;
}

const NumberFormat& CurrentNumberFormat() {
  thread_local std::string cached_name;
  thread_local NumberFormat cached;
  thread_local bool valid = false;
  std::string name = EffectiveLocaleName();
  if (!valid || name != cached_name) {
    cached = NumberFormatOf(name);
    cached_name = std::move(name);
    valid = true;
  }
  return cached;
}

std::string GroupDigits(std::string_view digits, const NumberFormat& format) {
  if (format.thousands_sep.empty() || format.grouping.empty()) return std::string(digits);
  // Split from the right into groups of the given sizes; the last size repeats.
  std::vector<std::string_view> groups;
  size_t end = digits.size();
  size_t rule = 0;
  while (end > 0) {
    const int size = format.grouping[std::min(rule, format.grouping.size() - 1)];
    if (size <= 0 || static_cast<size_t>(size) >= end) {
      groups.push_back(digits.substr(0, end));
      break;
    }
    groups.push_back(digits.substr(end - static_cast<size_t>(size), static_cast<size_t>(size)));
    end -= static_cast<size_t>(size);
    ++rule;
  }
  std::string text;
  for (auto it = groups.rbegin(); it != groups.rend(); ++it) {
    if (!text.empty()) text += format.thousands_sep;
    text += *it;
  }
  return text;
}

std::string FormatNumber(double value, int digits) {
  return FormatDecimal(ShortestDecimal(value), digits);
}

std::string FormatNumber(float value, int digits) {
  return FormatDecimal(ShortestDecimal(value), digits);
}

std::string FormatPercent(double value, int digits) {
  Decimal d = ShortestDecimal(value);
  if (!d.digits.empty()) d.exponent += 2;
  return FormatDecimal(d, digits) + "%";
}

std::string FormatPercent(float value, int digits) {
  Decimal d = ShortestDecimal(value);
  if (!d.digits.empty()) d.exponent += 2;
  return FormatDecimal(d, digits) + "%";
}

}  // namespace automation
