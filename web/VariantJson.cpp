#include "web/VariantJson.h"

#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "platform/automation/Convert.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/Error.h"

namespace web {

using automation::Variant;

std::string Base64(const uint8_t* data, size_t size) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  // Written in place, whole groups first: pictures of half a megabyte go through here on
  // every redraw.
  std::string out((size + 2) / 3 * 4, '=');
  char* to = out.data();
  size_t i = 0;
  for (; i + 3 <= size; i += 3, to += 4) {
    const uint32_t n = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
    to[0] = kDigits[(n >> 18) & 63];
    to[1] = kDigits[(n >> 12) & 63];
    to[2] = kDigits[(n >> 6) & 63];
    to[3] = kDigits[n & 63];
  }
  if (i < size) {  // one or two bytes left: the rest of the group stays '='
    const uint32_t n = (uint32_t{data[i]} << 16) | (i + 1 < size ? uint32_t{data[i + 1]} << 8 : 0);
    to[0] = kDigits[(n >> 18) & 63];
    to[1] = kDigits[(n >> 12) & 63];
    if (i + 1 < size) to[2] = kDigits[(n >> 6) & 63];
  }
  return out;
}

namespace {

// Whether dump() would write the text between its quotes unchanged: plain ASCII, with no
// quote, backslash or control character.
bool NeedsNoEscape(const std::string& text) {
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c >= 0x80 || c == '"' || c == '\\') return false;
  }
  return true;
}

void AppendJson(const Json& value, std::string& out) {
  switch (value.type()) {
    case Json::value_t::object: {
      out += '{';
      bool first = true;
      for (const auto& [key, item] : value.items()) {
        if (!first) out += ',';
        first = false;
        AppendJson(Json(key), out);
        out += ':';
        AppendJson(item, out);
      }
      out += '}';
      return;
    }
    case Json::value_t::array: {
      out += '[';
      bool first = true;
      for (const Json& item : value) {
        if (!first) out += ',';
        first = false;
        AppendJson(item, out);
      }
      out += ']';
      return;
    }
    case Json::value_t::string: {
      const auto& text = value.get_ref<const std::string&>();
      if (NeedsNoEscape(text)) {
        out += '"';
        out += text;
        out += '"';
        return;
      }
      break;
    }
    default:
      break;
  }
  out += value.dump();
}

}  // namespace

std::string JsonText(const Json& value) {
  std::string out;
  AppendJson(value, out);
  return out;
}

Json ToJson(const Variant& value, const ObjectTable& objects) {
  struct Visitor {
    const ObjectTable& objects;
    Json operator()(std::monostate) const { return nullptr; }
    Json operator()(Variant::NullTag) const { return nullptr; }
    Json operator()(bool b) const { return b; }
    Json operator()(uint8_t b) const { return b; }
    Json operator()(int16_t i) const { return i; }
    Json operator()(int32_t l) const { return l; }
    // The Single's own shortest text, read as a double, so 0.1f travels as 0.1.
    Json operator()(float f) const {
      return std::strtod(automation::SingleText(f).c_str(), nullptr);
    }
    Json operator()(double d) const { return d; }
    Json operator()(automation::Date d) const { return Json{{"$date", d.value}}; }
    Json operator()(const std::string& s) const { return s; }
    Json operator()(const automation::ObjectRef& o) const {
      if (!o || !objects.id_of) return nullptr;
      return Json{{"$object", objects.id_of(o)}, {"class", std::string(o->ClassName())}};
    }
    Json operator()(const std::shared_ptr<automation::SafeArray>& a) const {
      if (const auto* bytes = std::get_if<std::vector<uint8_t>>(&a->storage())) {
        return Json{{"$bytes", Base64(bytes->data(), bytes->size())}};
      }
      Json out = Json::array();
      for (int32_t i = a->LowerBound(); i <= a->UpperBound(); ++i) {
        out.push_back(ToJson(a->Element(i), objects));
      }
      return out;
    }
  };
  return std::visit(Visitor{objects}, value.storage());
}

namespace {

// Arrays inside arrays deeper than this are refused, so a request cannot exhaust the stack.
constexpr int kMaxDepth = 32;

Variant FromJsonAt(const Json& value, const ObjectTable& objects, int depth);

}  // namespace

Variant FromJson(const Json& value, const ObjectTable& objects) {
  return FromJsonAt(value, objects, 0);
}

namespace {

Variant FromJsonAt(const Json& value, const ObjectTable& objects, int depth) {
  switch (value.type()) {
    case Json::value_t::null:
      return Variant();
    case Json::value_t::boolean:
      return Variant(value.get<bool>());
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: {
      if (value.is_number_unsigned() &&
          value.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        return Variant(value.get<double>());
      }
      const int64_t n = value.get<int64_t>();
      if (n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max()) {
        return Variant(static_cast<int32_t>(n));
      }
      return Variant(static_cast<double>(n));
    }
    case Json::value_t::number_float:
      return Variant(value.get<double>());
    case Json::value_t::string:
      return Variant(value.get<std::string>());
    case Json::value_t::array: {
      if (depth >= kMaxDepth) {
        throw automation::Error::WithDetail(automation::err::kTypeMismatch,
                                            "arrays nested too deep");
      }
      std::vector<Variant> items;
      for (const Json& item : value) items.push_back(FromJsonAt(item, objects, depth + 1));
      return Variant(automation::SafeArray(std::move(items), 0));
    }
    case Json::value_t::object: {
      if (value.contains("$object") && value["$object"].is_number_integer()) {
        automation::ObjectRef object =
            objects.find ? objects.find(value["$object"].get<int64_t>()) : nullptr;
        if (!object) {
          throw automation::Error::WithDetail(
              automation::err::kTypeMismatch,
              "no object " + value["$object"].dump() + " on this page");
        }
        return Variant(object);
      }
      if (value.contains("$date") && value["$date"].is_number()) {
        return Variant(automation::Date{value["$date"].get<double>()});
      }
      break;
    }
    default:
      break;
  }
  throw automation::Error::WithDetail(automation::err::kTypeMismatch,
                                      "no automation value is written " + value.dump());
}

}  // namespace

Json StateJson(const ui::ControlState& state) {
  static const ObjectTable kNoObjects;
  Json out = Json::object();
  for (const auto& [child, properties] : state) {
    Json& c = out[child] = Json::object();
    for (const auto& [name, value] : properties) c[name] = ToJson(value, kNoObjects);
  }
  return out;
}

}  // namespace web
