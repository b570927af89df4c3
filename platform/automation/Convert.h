#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/Regional.h"
#include "platform/automation/Variant.h"

namespace automation {

// The run-time's conversion functions. Shared rules:
// - Empty converts to 0, "" or False; Null is error 94 (Invalid use of Null).
// - Text converts when it is a number in the regional format (blanks around it, a sign,
//   digit grouping, an exponent, &H hex and &O octal allowed) or, for CBool, True/False;
//   anything else is error 13, as are objects and arrays.
// - Integer conversions round half to even (2.5 -> 2, 3.5 -> 4); a value out of the
//   type's range is error 6 (Overflow), as is a Double beyond the Single range in CSng.
double CDbl(const Variant& v);
float CSng(const Variant& v);
int32_t CLng(const Variant& v);
int16_t CInt(const Variant& v);
uint8_t CByte(const Variant& v);
bool CBool(const Variant& v);
// Numbers in their general form with the regional decimal point (a Single with at most 7
// significant digits, a Double with at most 15, E notation beyond); True/False; dates as
// DateText.
std::string CStr(const Variant& v);
Date CDate(const Variant& v);

// Str: the general form with "." as the point, no zero before the point of a fraction, and
// a blank in front of a non-negative number (" 6", "-2.5", " .5"). Text is converted to a
// number first.
std::string Str(const Variant& v);

// The general text forms used by CStr and Str.
std::string SingleText(float value, std::string_view decimal_point = ".");
std::string DoubleText(double value, std::string_view decimal_point = ".");

double RoundHalfEven(double value);

// Parses a number in the given conventions (see the shared rules above).
std::optional<double> ParseNumber(std::string_view text, const NumberFormat& format);
// The run-time's IsNumeric for text, in the regional format.
bool IsNumericText(std::string_view text);

// Single-precision division with the run-time's errors: x / 0 is error 11, 0 / 0 and a
// quotient beyond the Single range are error 6.
float DivideSingle(float numerator, float denominator);

}  // namespace automation
