#include "web/VariantJson.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/automation/Dispatch.h"
#include "platform/tests/TestEnvironment.h"

namespace web {
namespace {

using automation::Variant;

class Thing : public automation::Dispatch {
 public:
  std::string_view ClassName() const override { return "Thing"; }
  const automation::MemberTable& Members() const override {
    static const automation::MemberTable table;
    return table;
  }
};

// A page's object table in miniature.
struct Table {
  std::map<int64_t, automation::ObjectRef> objects;
  ObjectTable Functions() {
    return {[this](const automation::ObjectRef& o) {
              for (auto& [id, known] : objects) {
                if (known == o) return id;
              }
              const int64_t id = static_cast<int64_t>(objects.size()) + 1;
              objects[id] = o;
              return id;
            },
            [this](int64_t id) {
              auto it = objects.find(id);
              return it == objects.end() ? nullptr : it->second;
            }};
  }
};

TEST(VariantJsonTest, ValuesTravelBothWays) {
  Table table;
  const ObjectTable t = table.Functions();
  auto thing = std::make_shared<Thing>();
  struct Case {
    Variant value;
    std::string json;
    Variant back;  // what the JSON reads back as
  };
  const std::vector<Case> cases = {
      {Variant(), "null", Variant()},
      {Variant::Null(), "null", Variant()},
      {Variant(true), "true", Variant(true)},
      {Variant(int16_t{-3}), "-3", Variant(int32_t{-3})},
      {Variant(int32_t{2147483647}), "2147483647", Variant(int32_t{2147483647})},
      {Variant(0.1f), "0.1", Variant(0.1)},
      {Variant(2.5), "2.5", Variant(2.5)},
      {Variant("a \"quoted\" text"), R"("a \"quoted\" text")", Variant("a \"quoted\" text")},
      {Variant(automation::Date{38508.5}), R"({"$date":38508.5})",
       Variant(automation::Date{38508.5})},
      {Variant(automation::SafeArray(std::vector<uint8_t>{0xff, 0xd8, 0xff}, 0)),
       R"({"$bytes":"/9j/"})", Variant()},
      {Variant(automation::SafeArray(std::vector<float>{1.5f, 2.0f}, 1)), "[1.5,2.0]", Variant()},
      {Variant(thing), R"({"$object":1,"class":"Thing"})", Variant(thing)},
  };
  for (const Case& c : cases) {
    const Json json = ToJson(c.value, t);
    EXPECT_EQ(json.dump(), c.json);
    if (!c.back.IsEmpty() || c.json == "null") {
      EXPECT_EQ(FromJson(json, t), c.back) << c.json;
    }
  }
  // Numbers beyond a Long come back as Doubles; arrays as variant arrays from 0.
  EXPECT_EQ(FromJson(Json(4294967296LL), t), Variant(4294967296.0));
  const Variant list = FromJson(Json::parse(R"([1, "two"])"), t);
  EXPECT_EQ(list.Array().LowerBound(), 0);
  EXPECT_EQ(list.Array().Element(1), Variant("two"));
}

TEST(VariantJsonTest, ObjectsOfOtherPagesAndUnknownFormsAreRefused) {
  Table table;
  const ObjectTable t = table.Functions();
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { FromJson(Json::parse(R"({"$object": 7})"), t); }),
            automation::err::kTypeMismatch);
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { FromJson(Json::parse(R"({"x": 1})"), t); }),
            automation::err::kTypeMismatch);
  // A request cannot nest arrays deep enough to exhaust the stack.
  const Json deep = Json::parse(std::string(100000, '[') + std::string(100000, ']'));
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { FromJson(deep, t); }),
            automation::err::kTypeMismatch);
}

// The stream and the pages' embedded data are written by JsonText, which must give dump()'s
// text to the byte, escapes and all.
TEST(VariantJsonTest, JsonTextIsDumpsText) {
  const std::string picture(100000, 'Q');
  const Json values[] = {
      nullptr,
      true,
      Json::array(),
      Json::object(),
      0.1,
      -2.5e-300,
      1e21,
      42,
      -7,
      "plain",
      "quote \" backslash \\ slash / tab \t newline \n bell \a delete \x7f",
      "unicode \u00e9\u20ac\U0001F600",
      "</script><!--",
      Json{{"image", {{"$bytes", picture}}},
           {"caption", "Price \"8y\""},
           {"list", {1, 2.5, "x", nullptr, Json::array({Json::object()})}}},
  };
  for (const Json& value : values) EXPECT_EQ(JsonText(value), value.dump()) << value.dump();
}

}  // namespace
}  // namespace web
