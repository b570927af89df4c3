#include "platform/automation/Variant.h"

#include <string>

#include "platform/automation/Convert.h"
#include "platform/automation/Error.h"
#include "platform/automation/Text.h"

namespace automation {

VarType SafeArray::ElementType() const {
  switch (storage_.index()) {
    case 0:
      return VarType::kSingle;
    case 1:
      return VarType::kLong;
    case 2:
      return VarType::kString;
    case 3:
      return VarType::kByte;
    default:
      return VarType::kVariant;
  }
}

size_t SafeArray::Size() const {
  return std::visit([](const auto& v) { return v.size(); }, storage_);
}

size_t SafeArray::Offset(int32_t index) const {
  const int64_t offset = static_cast<int64_t>(index) - lower_bound_;
  if (offset < 0 || offset >= static_cast<int64_t>(Size())) {
    throw Error::WithDetail(err::kSubscriptOutOfRange,
                            "index " + std::to_string(index) + " outside " +
                                std::to_string(lower_bound_) + ".." + std::to_string(UpperBound()));
  }
  return static_cast<size_t>(offset);
}

Variant SafeArray::Element(int32_t index) const {
  const size_t at = Offset(index);
  return std::visit([at](const auto& v) { return Variant(v[at]); }, storage_);
}

void SafeArray::SetElement(int32_t index, const Variant& value) {
  const size_t at = Offset(index);
  std::visit(Overloaded{
                 [&](std::vector<float>& v) { v[at] = CSng(value); },
                 [&](std::vector<int32_t>& v) { v[at] = CLng(value); },
                 [&](std::vector<std::string>& v) { v[at] = CStr(value); },
                 [&](std::vector<uint8_t>& v) { v[at] = CByte(value); },
                 [&](std::vector<Variant>& v) { v[at] = value; },
             },
             storage_);
}

VarType Variant::Type() const {
  return std::visit(Overloaded{
                        [](std::monostate) { return VarType::kEmpty; },
                        [](NullTag) { return VarType::kNull; },
                        [](bool) { return VarType::kBoolean; },
                        [](uint8_t) { return VarType::kByte; },
                        [](int16_t) { return VarType::kInteger; },
                        [](int32_t) { return VarType::kLong; },
                        [](float) { return VarType::kSingle; },
                        [](double) { return VarType::kDouble; },
                        [](Date) { return VarType::kDate; },
                        [](const std::string&) { return VarType::kString; },
                        [](const ObjectRef&) { return VarType::kObject; },
                        [](const std::shared_ptr<SafeArray>& a) {
                          return static_cast<VarType>(static_cast<uint16_t>(VarType::kArray) |
                                                      static_cast<uint16_t>(a->ElementType()));
                        },
                    },
                    value_);
}

std::string Variant::TypeName() const {
  switch (value_.index()) {
    case 0:
      return "Empty";
    case 1:
      return "Null";
    case 2:
      return "Boolean";
    case 3:
      return "Byte";
    case 4:
      return "Integer";
    case 5:
      return "Long";
    case 6:
      return "Single";
    case 7:
      return "Double";
    case 8:
      return "Date";
    case 9:
      return "String";
    case 10:
      return std::get<ObjectRef>(value_) ? "Object" : "Nothing";
    default: {
      switch (std::get<std::shared_ptr<SafeArray>>(value_)->ElementType()) {
        case VarType::kSingle:
          return "Single()";
        case VarType::kLong:
          return "Long()";
        case VarType::kString:
          return "String()";
        case VarType::kByte:
          return "Byte()";
        default:
          return "Variant()";
      }
    }
  }
}

bool Variant::IsNumeric() const {
  return std::holds_alternative<bool>(value_) || std::holds_alternative<uint8_t>(value_) ||
         std::holds_alternative<int16_t>(value_) || std::holds_alternative<int32_t>(value_) ||
         std::holds_alternative<float>(value_) || std::holds_alternative<double>(value_);
}

const std::string& Variant::String() const {
  if (const auto* s = std::get_if<std::string>(&value_)) return *s;
  throw Error::WithDetail(err::kTypeMismatch, TypeName() + " is not a String");
}

const ObjectRef& Variant::Object() const {
  const auto* o = std::get_if<ObjectRef>(&value_);
  if (!o) throw Error::WithDetail(err::kTypeMismatch, TypeName() + " is not an object");
  if (!*o) throw Error::WithDetail(err::kObjectNotSet, "");
  return *o;
}

const SafeArray& Variant::Array() const {
  if (const auto* a = std::get_if<std::shared_ptr<SafeArray>>(&value_)) return **a;
  throw Error::WithDetail(err::kTypeMismatch, TypeName() + " is not an array");
}

SafeArray& Variant::MutableArray() {
  auto* a = std::get_if<std::shared_ptr<SafeArray>>(&value_);
  if (!a) throw Error::WithDetail(err::kTypeMismatch, TypeName() + " is not an array");
  if (a->use_count() > 1) *a = std::make_shared<SafeArray>(**a);
  return **a;
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.value_.index() != b.value_.index()) return false;
  if (a.IsArray()) {
    const SafeArray& x = a.Array();
    const SafeArray& y = b.Array();
    return x.LowerBound() == y.LowerBound() && x.storage() == y.storage();
  }
  return a.value_ == b.value_;
}

}  // namespace automation
