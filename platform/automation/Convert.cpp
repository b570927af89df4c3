#include "platform/automation/Convert.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include <fmt/format.h>

#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/automation/Text.h"

namespace automation {

namespace {

[[noreturn]] void ThrowNull(const char* function) {
  throw Error::WithDetail(err::kInvalidUseOfNull, std::string(function) + " of Null");
}

[[noreturn]] void ThrowMismatch(const Variant& v, const char* function) {
  std::string detail = std::string(function) + " of " + v.TypeName();
  if (v.IsString()) detail += " \"" + v.String() + "\"";
  throw Error::WithDetail(err::kTypeMismatch, detail);
}

[[noreturn]] void ThrowOverflow(double value, const char* function) {
  throw Error::WithDetail(err::kOverflow, fmt::format("{} of {}", function, value));
}

// The numeric value of any variant that has one, for the conversions.
double NumberOf(const Variant& v, const char* function) {
  return std::visit(Overloaded{
                        [&](std::monostate) { return 0.0; },
                        [&](Variant::NullTag) -> double { ThrowNull(function); },
                        [&](bool b) { return b ? -1.0 : 0.0; },
                        [&](uint8_t x) { return static_cast<double>(x); },
                        [&](int16_t x) { return static_cast<double>(x); },
                        [&](int32_t x) { return static_cast<double>(x); },
                        [&](float x) { return static_cast<double>(x); },
                        [&](double x) { return x; },
                        [&](Date d) { return d.value; },
                        [&](const std::string& s) -> double {
                          if (auto n = ParseNumber(s, CurrentNumberFormat())) return *n;
                          ThrowMismatch(v, function);
                        },
                        [&](const auto&) -> double { ThrowMismatch(v, function); },
                    },
                    v.storage());
}

template <class Int>
Int ToInteger(const Variant& v, const char* function) {
  if (const auto* i = std::get_if<Int>(&v.storage())) return *i;
  const double rounded = RoundHalfEven(NumberOf(v, function));
  if (!(rounded >= static_cast<double>(std::numeric_limits<Int>::min()) &&
        rounded <= static_cast<double>(std::numeric_limits<Int>::max()))) {
    ThrowOverflow(rounded, function);
  }
  return static_cast<Int>(rounded);
}

std::string GeneralText(double value, int precision, std::string_view decimal_point) {
  if (value == 0) return "0";
  std::string text = fmt::format("{:.{}g}", value, precision);
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  if (decimal_point != ".") {
    const size_t dot = text.find('.');
    if (dot != std::string::npos) text.replace(dot, 1, decimal_point);
  }
  return text;
}

}  // namespace

double RoundHalfEven(double value) { return std::nearbyint(value); }

std::optional<double> ParseNumber(std::string_view text, const NumberFormat& format) {
  std::string_view s = TrimBlanks(text);
  if (s.empty()) return std::nullopt;
  bool negative = false;
  if (s[0] == '+' || s[0] == '-') {
    negative = s[0] == '-';
    s = TrimBlanks(s.substr(1));
  }
  if (s.size() > 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
    const int base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
    uint32_t bits = 0;
    auto [end, ec] = std::from_chars(s.data() + 2, s.data() + s.size(), bits, base);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    // &H literals of up to 32 bits are Longs, so &HFFFFFFFF is -1.
    const double value = static_cast<double>(static_cast<int32_t>(bits));
    return negative ? -value : value;
  }
  // Copy into the "C" form: digits, '.', exponent; drop group separators in the integer part.
  std::string plain;
  bool seen_digit = false, seen_point = false, seen_exponent = false;
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (std::isdigit(static_cast<unsigned char>(c))) {
      plain += c;
      seen_digit = true;
      ++i;
    } else if (!seen_point && !seen_exponent && s.substr(i).starts_with(format.decimal_point)) {
      plain += '.';
      seen_point = true;
      i += format.decimal_point.size();
    } else if (!seen_point && !seen_exponent && seen_digit && !format.thousands_sep.empty() &&
               s.substr(i).starts_with(format.thousands_sep)) {
      i += format.thousands_sep.size();
    } else if (!seen_exponent && seen_digit && (c == 'e' || c == 'E' || c == 'd' || c == 'D')) {
      plain += 'e';
      seen_exponent = true;
      ++i;
      if (i < s.size() && (s[i] == '+' || s[i] == '-')) plain += s[i++];
      if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  if (!seen_digit) return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (end != plain.data() + plain.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    value = std::numeric_limits<double>::infinity();
  } else if (ec != std::errc()) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

bool IsNumericText(std::string_view text) {
  return ParseNumber(text, CurrentNumberFormat()).has_value();
}

double CDbl(const Variant& v) {
  const double value = NumberOf(v, "CDbl");
  if (std::isinf(value)) ThrowOverflow(value, "CDbl");
  return value;
}

float CSng(const Variant& v) {
  if (const auto* f = std::get_if<float>(&v.storage())) return *f;
  const double value = NumberOf(v, "CSng");
  const float single = static_cast<float>(value);
  if (std::isinf(single) && !std::isinf(value)) ThrowOverflow(value, "CSng");
  if (std::isinf(value)) ThrowOverflow(value, "CSng");
  return single;
}

int32_t CLng(const Variant& v) { return ToInteger<int32_t>(v, "CLng"); }
int16_t CInt(const Variant& v) { return ToInteger<int16_t>(v, "CInt"); }
uint8_t CByte(const Variant& v) { return ToInteger<uint8_t>(v, "CByte"); }

bool CBool(const Variant& v) {
  if (const auto* b = std::get_if<bool>(&v.storage())) return *b;
  if (v.IsString()) {
    const std::string_view t = TrimBlanks(v.String());
    if (EqualsIgnoringCase(t, "true")) return true;
    if (EqualsIgnoringCase(t, "false")) return false;
  }
  return NumberOf(v, "CBool") != 0;
}

std::string CStr(const Variant& v) {
  const std::string& point = CurrentNumberFormat().decimal_point;
  return std::visit(Overloaded{
                        [&](std::monostate) { return std::string(); },
                        [&](Variant::NullTag) -> std::string { ThrowNull("CStr"); },
                        [&](bool b) { return std::string(b ? "True" : "False"); },
                        [&](uint8_t x) { return std::to_string(x); },
                        [&](int16_t x) { return std::to_string(x); },
                        [&](int32_t x) { return std::to_string(x); },
                        [&](float x) { return SingleText(x, point); },
                        [&](double x) { return DoubleText(x, point); },
                        [&](Date d) { return DateText(d); },
                        [&](const std::string& s) { return s; },
                        [&](const auto&) -> std::string { ThrowMismatch(v, "CStr"); },
                    },
                    v.storage());
}

Date CDate(const Variant& v) {
  if (const auto* d = std::get_if<Date>(&v.storage())) return *d;
  if (v.IsString()) {
    if (auto d = ParseDate(v.String())) return *d;
    if (!IsNumericText(v.String())) ThrowMismatch(v, "CDate");
  }
  const double value = NumberOf(v, "CDate");
  // 1 January 100 to 31 December 9999.
  if (value < -657434.0 || value >= 2958466.0) ThrowOverflow(value, "CDate");
  return Date{value};
}

std::string Str(const Variant& v) {
  if (v.IsNull()) ThrowNull("Str");
  std::string text;
  double value = 0;
  if (const auto* f = std::get_if<float>(&v.storage())) {
    value = *f;
    text = SingleText(*f);
  } else {
    value = v.IsString() || v.IsEmpty() || v.IsNumeric() || v.Type() == VarType::kDate
                ? NumberOf(v, "Str")
                : (ThrowMismatch(v, "Str"), 0.0);
    text = DoubleText(value);
  }
  // Str writes a fraction without its leading zero: " .5", "-.25".
  if (text.starts_with("0.")) text.erase(0, 1);
  if (text.starts_with("-0.")) text.erase(1, 1);
  return value >= 0 ? " " + text : text;
}

std::string SingleText(float value, std::string_view decimal_point) {
  return GeneralText(value, 7, decimal_point);
}

std::string DoubleText(double value, std::string_view decimal_point) {
  return GeneralText(value, 15, decimal_point);
}

float DivideSingle(float numerator, float denominator) {
  if (denominator == 0) {
    if (numerator == 0) throw Error::WithDetail(err::kOverflow, "0 / 0");
    throw Error::WithDetail(err::kDivisionByZero, fmt::format("{} / 0", numerator));
  }
  const float quotient = numerator / denominator;
  if (std::isinf(quotient)) ThrowOverflow(static_cast<double>(numerator) / denominator, "/");
  return quotient;
}

}  // namespace automation
