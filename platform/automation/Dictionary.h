#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "platform/automation/Dispatch.h"

namespace automation {

// Scripting.Dictionary: a keyed table that keeps its entries in insertion order.
// Keys compare by value (1 and 1.0 are one key; text exactly, or without regard to case
// when CompareMode is 1). Item of a missing key adds it with an Empty item, as callers of
// the original rely on.
class Dictionary : public Dispatch {
 public:
  std::string_view ClassName() const override { return "Dictionary"; }
  const MemberTable& Members() const override;

  // A key already present is error 457.
  void Add(const Variant& key, const Variant& item);
  bool Exists(const Variant& key) const;
  Variant Item(const Variant& key);
  void SetItem(const Variant& key, const Variant& item);
  // A key not present is error 32811.
  void Remove(const Variant& key);
  void RemoveAll();
  int32_t Count() const { return static_cast<int32_t>(keys_.size()); }
  // Keys and items as 0-based Variant arrays, in insertion order.
  Variant Keys() const;
  Variant Items() const;
  int32_t CompareMode() const { return compare_mode_; }
  void SetCompareMode(int32_t mode);

  // Typed access for C++ callers.
  const std::vector<Variant>& KeyList() const { return keys_; }
  const Variant* Find(const Variant& key) const;

 private:
  std::string Fold(const Variant& key) const;
  void Reindex();

  std::vector<Variant> keys_;
  std::vector<Variant> items_;
  std::unordered_map<std::string, size_t> index_;
  int32_t compare_mode_ = 0;
};

// The run-time's Collection: items with optional text keys (case-blind), indexed from 1.
// A bad index or unknown key is error 5; a duplicate key error 457.
class Collection : public Dispatch {
 public:
  std::string_view ClassName() const override { return "Collection"; }
  const MemberTable& Members() const override;

  void Add(const Variant& item, const Variant& key = Variant());
  // By 1-based position or by key.
  Variant Item(const Variant& index_or_key) const;
  void Remove(const Variant& index_or_key);
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }

 private:
  size_t PositionOf(const Variant& index_or_key) const;

  std::vector<Variant> items_;
  std::vector<std::string> keys_;  // folded; empty for an item without a key
};

}  // namespace automation
