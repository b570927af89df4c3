#include "platform/automation/Dispatch.h"

#include <cctype>
#include <string>

namespace automation {

void MemberTable::Add(Member member) {
  const std::string key = FoldCase(member.name);
  by_folded_name_[key] = members_.size();
  members_.push_back(std::move(member));
}

const Member* MemberTable::Find(std::string_view name) const {
  auto it = by_folded_name_.find(FoldCase(name));
  return it == by_folded_name_.end() ? nullptr : &members_[it->second];
}

const Member& Dispatch::FindMember(std::string_view name) const {
  if (const Member* m = Members().Find(name)) return *m;
  throw Error::WithDetail(err::kNoSuchMember, std::string(ClassName()) + "." + std::string(name));
}

Variant Dispatch::Get(std::string_view name, Args args) {
  const Member& m = FindMember(name);
  if (!m.get) {
    throw Error::WithDetail(err::kWrongArguments,
                            std::string(ClassName()) + "." + m.name + " can only be assigned");
  }
  return m.get(*this, args);
}

void Dispatch::Let(std::string_view name, Variant& value, Args args) {
  const Member& m = FindMember(name);
  if (!m.let) {
    throw Error::WithDetail(err::kWrongArguments,
                            std::string(ClassName()) + "." + m.name + " cannot be assigned");
  }
  m.let(*this, args, value);
}

void Dispatch::RaiseEvent(std::string_view name, Args args) {
  if (sink_) sink_->OnEvent(name, args);
}

}  // namespace automation
