#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace automation {

// The run-time error numbers that callers of automation members rely on.
namespace err {
inline constexpr int32_t kInvalidArgument = 5;      // "Invalid procedure call or argument"
inline constexpr int32_t kOverflow = 6;             // "Overflow"
inline constexpr int32_t kSubscriptOutOfRange = 9;  // "Subscript out of range"
inline constexpr int32_t kDivisionByZero = 11;      // "Division by zero"
inline constexpr int32_t kTypeMismatch = 13;        // "Type mismatch"
inline constexpr int32_t kFileAccess = 75;          // "Path/File access error"
inline constexpr int32_t kObjectNotSet = 91;  // "Object variable or With block variable not set"
inline constexpr int32_t kInvalidUseOfNull = 94;     // "Invalid use of Null"
inline constexpr int32_t kCannotCreateObject = 429;  // "ActiveX component can't create object"
inline constexpr int32_t kNoSuchMember = 438;  // "Object doesn't support this property or method"
inline constexpr int32_t kWrongArguments =
    450;  // "Wrong number of arguments or invalid property assignment"
inline constexpr int32_t kDuplicateKey = 457;  // "This key is already associated with an element"
inline constexpr int32_t kElementNotFound = 32811;  // dictionary Remove of a missing key
inline constexpr int32_t kNetwork = -2146697211;    // an HTTP or SMTP transfer failed
}  // namespace err

// The classic description of a run-time error number ("Overflow" for 6), or a generic
// text for numbers that have none.
std::string DescriptionOf(int32_t number);

// An automation error: a run-time error number and a message naming what went wrong.
// what() gives "<description> (<number>)".
class Error : public std::runtime_error {
 public:
  Error(int32_t number, std::string description);
  // The classic description for the number, followed by the detail when it is not empty.
  static Error WithDetail(int32_t number, const std::string& detail);

  int32_t Number() const { return number_; }
  const std::string& Description() const { return description_; }

 private:
  int32_t number_;
  std::string description_;
};

}  // namespace automation
