#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace automation {

class Dispatch;
using ObjectRef = std::shared_ptr<Dispatch>;

// The type tags of a Variant, numbered as the automation run-time numbers them
// (VarType), so that stored or displayed type numbers keep their meaning.
enum class VarType : uint16_t {
  kEmpty = 0,
  kNull = 1,
  kInteger = 2,  // 16-bit signed
  kLong = 3,     // 32-bit signed
  kSingle = 4,
  kDouble = 5,
  kDate = 7,
  kString = 8,
  kObject = 9,
  kBoolean = 11,
  kVariant = 12,  // only as an array element type
  kByte = 17,
  kArray = 0x2000,  // or-ed with the element type
};

// An automation date: days since 30 December 1899, the fraction is the time of day.
struct Date {
  double value = 0;
  friend bool operator==(Date a, Date b) { return a.value == b.value; }
};

class Variant;

// A one-dimensional array with a lower bound, as automation passes arrays around.
// Elements are stored in their own type; Element() hands any one out as a Variant.
class SafeArray {
 public:
  using Storage = std::variant<std::vector<float>, std::vector<int32_t>, std::vector<std::string>,
                               std::vector<uint8_t>, std::vector<Variant>>;

  // Defined after Variant: building a std::vector<Variant> needs the complete type.
  SafeArray();
  SafeArray(Storage storage, int32_t lower_bound);

  VarType ElementType() const;
  int32_t LowerBound() const { return lower_bound_; }
  int32_t UpperBound() const { return lower_bound_ + static_cast<int32_t>(Size()) - 1; }
  size_t Size() const;

  // Element at an index between the bounds; outside them, error 9.
  Variant Element(int32_t index) const;
  // Stores a value converted to the element type; outside the bounds, error 9.
  void SetElement(int32_t index, const Variant& value);

  const Storage& storage() const { return storage_; }
  Storage& storage() { return storage_; }

 private:
  size_t Offset(int32_t index) const;

  Storage storage_;
  int32_t lower_bound_ = 0;
};

// The value every automation member takes and returns. Copying a Variant copies its
// value; an array is shared until one of the copies changes it; an object is shared
// (reference counted) like any automation object.
class Variant {
 public:
  struct NullTag {
    friend bool operator==(NullTag, NullTag) { return true; }
  };

  Variant() = default;
  Variant(bool b) : value_(b) {}
  Variant(uint8_t b) : value_(b) {}
  Variant(int16_t i) : value_(i) {}
  Variant(int32_t l) : value_(l) {}
  Variant(float f) : value_(f) {}
  Variant(double d) : value_(d) {}
  Variant(Date d) : value_(d) {}
  Variant(std::string s) : value_(std::move(s)) {}
  Variant(std::string_view s) : value_(std::string(s)) {}
  Variant(const char* s) : value_(std::string(s)) {}
  Variant(ObjectRef o) : value_(std::move(o)) {}
  template <class T, class = std::enable_if_t<std::is_base_of_v<Dispatch, T>>>
  Variant(std::shared_ptr<T> o) : value_(ObjectRef(std::move(o))) {}
  Variant(SafeArray a) : value_(std::make_shared<SafeArray>(std::move(a))) {}

  static Variant Null() {
    Variant v;
    v.value_ = NullTag{};
    return v;
  }

  VarType Type() const;
  // The run-time's TypeName: "Empty", "Null", "Integer", "Long", "Single", "String", ...
  std::string TypeName() const;

  bool IsEmpty() const { return value_.index() == 0; }
  bool IsNull() const { return std::holds_alternative<NullTag>(value_); }
  bool IsObject() const { return std::holds_alternative<ObjectRef>(value_); }
  bool IsArray() const { return std::holds_alternative<std::shared_ptr<SafeArray>>(value_); }
  bool IsString() const { return std::holds_alternative<std::string>(value_); }
  // True for Byte, Integer, Long, Single, Double and Boolean values.
  bool IsNumeric() const;

  // Direct access when the type is known; a wrong type is error 13.
  const std::string& String() const;
  const ObjectRef& Object() const;  // Nothing (a null reference) is error 91
  const SafeArray& Array() const;
  SafeArray& MutableArray();  // unshares the array first

  // Exact equality of type and value (Empty == Empty, Null == Null); for tests and keys,
  // not the run-time's comparison operators.
  friend bool operator==(const Variant& a, const Variant& b);

  using Storage = std::variant<std::monostate, NullTag, bool, uint8_t, int16_t, int32_t, float,
                               double, Date, std::string, ObjectRef, std::shared_ptr<SafeArray>>;
  const Storage& storage() const { return value_; }

 private:
  Storage value_;
};

inline SafeArray::SafeArray() : storage_(std::vector<Variant>{}) {}
inline SafeArray::SafeArray(Storage storage, int32_t lower_bound)
    : storage_(std::move(storage)), lower_bound_(lower_bound) {}

}  // namespace automation
