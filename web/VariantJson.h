#pragma once

#include <cstdint>
#include <functional>

#include <nlohmann/json.hpp>

#include "platform/automation/Variant.h"
#include "platform/ui/Control.h"

// How automation values travel between the pages and the server, both ways:
//   Empty and Null        null
//   Boolean               true / false
//   numbers               numbers (a Single by its shortest text, so 0.1 stays 0.1)
//   String                string
//   Date                  {"$date": days since 30 Dec 1899}
//   Object                {"$object": id, "class": "Quotes"}; id from the page's object table
//   byte array            {"$bytes": "<base64>"}
//   other arrays          [elements...] (lower bound 0 when they come back)
namespace web {

using Json = nlohmann::json;

// Gives an object its id in the page's table (adding it when new) and finds one by id
// (nullptr when unknown).
struct ObjectTable {
  std::function<int64_t(const automation::ObjectRef&)> id_of;
  std::function<automation::ObjectRef(int64_t)> find;
};

Json ToJson(const automation::Variant& value, const ObjectTable& objects);
// An object id that the table does not know, or a JSON object of no known form, is error 13.
automation::Variant FromJson(const Json& value, const ObjectTable& objects);

// A control's state or patch: {child: {property: value}}. Controls hold no objects, so none
// are looked up.
Json StateJson(const ui::ControlState& state);

std::string Base64(const uint8_t* data, size_t size);

// The compact text of a JSON value, the same as value.dump(), written faster where it matters:
// a long text with nothing to escape (the base64 of a picture) is copied as it stands instead
// of being checked character by character.
std::string JsonText(const Json& value);

}  // namespace web
