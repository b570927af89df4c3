#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace automation {

// The number conventions of the process locale (LC_ALL, else LC_NUMERIC, else LANG), read
// without changing the C library's own locale, so that parsing and printing elsewhere in
// the process stay in the "C" conventions.
struct NumberFormat {
  std::string decimal_point = ".";
  std::string thousands_sep;  // empty: no grouping
  std::vector<int> grouping;  // group sizes from the right; the last one repeats
};

// The conventions of the locale the environment names now. Cached per thread while the
// environment names the same locale.
const NumberFormat& CurrentNumberFormat();
// The conventions of a named locale ("de_DE.UTF-8"); "C" when it is not installed.
NumberFormat NumberFormatOf(const std::string& locale_name);

// Decimal places a regional number format uses when the caller gives none.
inline constexpr int kRegionalDefaultDigits = 2;

// NUMBER(x, d): x rounded half away from zero to d places (d < 0: the regional default),
// with a leading zero, the regional decimal point and digit grouping, and a leading "-" for
// a negative value (a value that rounds to zero shows no sign). A Single is rounded from its
// own shortest decimal form, so 10.2 held as a Single shows as 10.20.
std::string FormatNumber(double value, int digits = -1);
std::string FormatNumber(float value, int digits = -1);
// PERCENT(x, d): x × 100 as FormatNumber, followed by "%".
std::string FormatPercent(double value, int digits = -1);
std::string FormatPercent(float value, int digits = -1);

// Groups a run of integer digits with the format's separator ("1234567" -> "1,234,567").
std::string GroupDigits(std::string_view digits, const NumberFormat& format);

}  // namespace automation
