#include "platform/ado/Errors.h"

#include <string>

namespace ado {

std::string DescriptionOf(int32_t number) {
  switch (number) {
    case errors::kNoCurrentRecord:
      return "Either BOF or EOF is True, or the current record has been deleted";
    case errors::kItemNotFound:
      return "Item cannot be found in the collection corresponding to the requested name or "
             "ordinal";
    case errors::kRowNotLocated:
      return "Row cannot be located for updating";
    default:
      return automation::DescriptionOf(number);
  }
}

automation::Error ErrorWithDetail(int32_t number, const std::string& detail) {
  std::string text = DescriptionOf(number);
  if (!detail.empty()) text += ": " + detail;
  return automation::Error(number, std::move(text));
}

}  // namespace ado
