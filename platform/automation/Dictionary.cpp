#include "platform/automation/Dictionary.h"

#include <cstdio>
#include <string>

#include "platform/automation/Registry.h"

namespace automation {

namespace {

Variant ArrayOf(const std::vector<Variant>& values) {
  return Variant(SafeArray(std::vector<Variant>(values), 0));
}

std::string KeyText(const Variant& key) {
  return key.IsString() ? "\"" + key.String() + "\"" : CStr(key);
}

}  // namespace

std::string Dictionary::Fold(const Variant& key) const {
  if (key.IsString()) return "s" + (compare_mode_ == 0 ? key.String() : FoldCase(key.String()));
  if (key.IsEmpty()) return "e";
  if (key.IsNull()) return "z";
  if (key.IsObject()) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "o%p", static_cast<const void*>(key.Object().get()));
    return buf;
  }
  if (key.IsArray()) throw Error::WithDetail(err::kTypeMismatch, "an array cannot be a key");
  char buf[40];
  std::snprintf(buf, sizeof buf, "n%.17g", CDbl(key));
  return buf;
}

void Dictionary::Add(const Variant& key, const Variant& item) {
  const std::string folded = Fold(key);
  if (index_.count(folded)) throw Error::WithDetail(err::kDuplicateKey, "key " + KeyText(key));
  index_[folded] = keys_.size();
  keys_.push_back(key);
  items_.push_back(item);
}

bool Dictionary::Exists(const Variant& key) const { return index_.count(Fold(key)) > 0; }

const Variant* Dictionary::Find(const Variant& key) const {
  auto it = index_.find(Fold(key));
  return it == index_.end() ? nullptr : &items_[it->second];
}

Variant Dictionary::Item(const Variant& key) {
  if (const Variant* item = Find(key)) return *item;
  Add(key, Variant());
  return Variant();
}

void Dictionary::SetItem(const Variant& key, const Variant& item) {
  auto it = index_.find(Fold(key));
  if (it == index_.end()) {
    Add(key, item);
  } else {
    items_[it->second] = item;
  }
}

void Dictionary::Remove(const Variant& key) {
  auto it = index_.find(Fold(key));
  if (it == index_.end()) throw Error::WithDetail(err::kElementNotFound, "key " + KeyText(key));
  const size_t at = it->second;
  keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(at));
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(at));
  Reindex();
}

void Dictionary::RemoveAll() {
  keys_.clear();
  items_.clear();
  index_.clear();
}

Variant Dictionary::Keys() const { return ArrayOf(keys_); }
Variant Dictionary::Items() const { return ArrayOf(items_); }

void Dictionary::SetCompareMode(int32_t mode) {
  if (!keys_.empty()) {
    throw Error::WithDetail(err::kInvalidArgument, "CompareMode of a dictionary that has keys");
  }
  compare_mode_ = mode;
}

void Dictionary::Reindex() {
  index_.clear();
  for (size_t i = 0; i < keys_.size(); ++i) index_[Fold(keys_[i])] = i;
}

const MemberTable& Dictionary::Members() const {
  static const MemberTable table =
      MemberTableBuilder<Dictionary>()
          .Method("Add", &Dictionary::Add)
          .Method("Exists", &Dictionary::Exists)
          .Property("Item", &Dictionary::Item, &Dictionary::SetItem)
          .Method("Remove", &Dictionary::Remove)
          .Method("RemoveAll", &Dictionary::RemoveAll)
          .Get("Count", &Dictionary::Count)
          .Method("Keys", &Dictionary::Keys)
          .Method("Items", &Dictionary::Items)
          .Property("CompareMode", &Dictionary::CompareMode, &Dictionary::SetCompareMode)
          .Build();
  return table;
}

void Collection::Add(const Variant& item, const Variant& key) {
  std::string folded;
  if (!key.IsEmpty()) {
    folded = FoldCase(CStr(key));
    for (const std::string& k : keys_) {
      if (!k.empty() && k == folded) {
        throw Error::WithDetail(err::kDuplicateKey, "key \"" + CStr(key) + "\"");
      }
    }
  }
  items_.push_back(item);
  keys_.push_back(std::move(folded));
}

size_t Collection::PositionOf(const Variant& index_or_key) const {
  if (index_or_key.IsString()) {
    const std::string folded = FoldCase(index_or_key.String());
    for (size_t i = 0; i < keys_.size(); ++i) {
      if (!keys_[i].empty() && keys_[i] == folded) return i;
    }
    throw Error::WithDetail(err::kInvalidArgument,
                            "no item has the key \"" + index_or_key.String() + "\"");
  }
  const int32_t index = CLng(index_or_key);
  if (index < 1 || index > Count()) {
    throw Error::WithDetail(err::kInvalidArgument, "index " + std::to_string(index) +
                                                       " outside 1.." + std::to_string(Count()));
  }
  return static_cast<size_t>(index - 1);
}

Variant Collection::Item(const Variant& index_or_key) const {
  return items_[PositionOf(index_or_key)];
}

void Collection::Remove(const Variant& index_or_key) {
  const size_t at = PositionOf(index_or_key);
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(at));
  keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(at));
}

const MemberTable& Collection::Members() const {
  static const MemberTable table =
      MemberTableBuilder<Collection>()
          .Raw("Add",
               [](Collection& c, Args args) {
                 if (args.empty() || args.size() > 2) {
                   throw Error::WithDetail(err::kWrongArguments, "Collection.Add");
                 }
                 c.Add(args[0], args.size() > 1 ? args[1] : Variant());
                 return Variant();
               })
          .Get("Item", &Collection::Item)
          .Method("Remove", &Collection::Remove)
          .Get("Count", &Collection::Count)
          .Build();
  return table;
}

namespace {

// The runtime's own creatable classes.
const bool kRegistered = [] {
  Registry::Instance().Register(
      {"Scripting.Dictionary", "", [] { return std::make_shared<Dictionary>(); }});
  Registry::Instance().Register(
      {"VBA.Collection", "", [] { return std::make_shared<Collection>(); }});
  return true;
}();

}  // namespace

}  // namespace automation
