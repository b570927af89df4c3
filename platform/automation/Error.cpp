#include "platform/automation/Error.h"

#include <string>

namespace automation {

std::string DescriptionOf(int32_t number) {
  switch (number) {
    case err::kInvalidArgument:
      return "Invalid procedure call or argument";
    case err::kOverflow:
      return "Overflow";
    case err::kSubscriptOutOfRange:
      return "Subscript out of range";
    case err::kDivisionByZero:
      return "Division by zero";
    case err::kTypeMismatch:
      return "Type mismatch";
    case err::kFileAccess:
      return "Path/File access error";
    case err::kObjectNotSet:
      return "Object variable or With block variable not set";
    case err::kInvalidUseOfNull:
      return "Invalid use of Null";
    case err::kCannotCreateObject:
      return "ActiveX component can't create object";
    case err::kNoSuchMember:
      return "Object doesn't support this property or method";
    case err::kWrongArguments:
      return "Wrong number of arguments or invalid property assignment";
    case err::kDuplicateKey:
      return "This key is already associated with an element of this collection";
    case err::kElementNotFound:
      return "Element not found";
    case err::kNetwork:
      return "The transfer failed";
    default:
      return "Application-defined or object-defined error";
  }
}

Error::Error(int32_t number, std::string description)
    : std::runtime_error(description + " (" + std::to_string(number) + ")"),
      number_(number),
      description_(std::move(description)) {}

Error Error::WithDetail(int32_t number, const std::string& detail) {
  std::string text = DescriptionOf(number);
  if (!detail.empty()) text += ": " + detail;
  return Error(number, std::move(text));
}

}  // namespace automation
