#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/automation/Convert.h"
#include "platform/automation/Error.h"
#include "platform/automation/Text.h"
#include "platform/automation/Variant.h"

namespace automation {

// Arguments of a late-bound call. They are the caller's own Variants: a member that takes
// an argument by reference may change it.
using Args = std::span<Variant>;

class Dispatch;

// One member as late-bound callers see it: a property get or method (they are called the
// same way), and a property let. Either may be missing.
struct Member {
  std::string name;
  std::function<Variant(Dispatch&, Args)> get;
  std::function<void(Dispatch&, Args, Variant&)> let;
};

// The members of a class, found by name without regard to case.
class MemberTable {
 public:
  void Add(Member member);
  const Member* Find(std::string_view name) const;
  const std::vector<Member>& members() const { return members_; }

 private:
  std::vector<Member> members_;
  std::unordered_map<std::string, size_t> by_folded_name_;
};

// Receives the events an object raises (OnChange, OnStatus, ...), connected by its host.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void OnEvent(std::string_view name, Args args) = 0;
};

// The base of every automation object. Callers that know the class use it as ordinary C++;
// late-bound callers go through Get, Let and Call, which find the member by name in the
// class's member table. An unknown name is error 438, a wrong number of arguments 450.
class Dispatch : public std::enable_shared_from_this<Dispatch> {
 public:
  virtual ~Dispatch() = default;

  // The class name as the run-time's TypeName shows it ("Settings").
  virtual std::string_view ClassName() const = 0;
  virtual const MemberTable& Members() const = 0;

  // Property get or method call; both are the same kind of call.
  Variant Get(std::string_view name, Args args = {});
  Variant Call(std::string_view name, Args args = {}) { return Get(name, args); }
  // Convenience for calls with values the caller does not need back.
  template <class... A>
  Variant CallWith(std::string_view name, A&&... args) {
    Variant values[] = {Variant(std::forward<A>(args))..., Variant()};
    return Get(name, Args(values, sizeof...(A)));
  }
  // Property let; `value` is passed by reference.
  void Let(std::string_view name, Variant& value, Args args = {});
  void Let(std::string_view name, Variant&& value, Args args = {}) { Let(name, value, args); }

  void ConnectEvents(std::shared_ptr<EventSink> sink) { sink_ = std::move(sink); }

 protected:
  // Hands an event to the connected sink, if any.
  void RaiseEvent(std::string_view name, Args args = {});

 private:
  const Member& FindMember(std::string_view name) const;

  std::shared_ptr<EventSink> sink_;
};

// How member arguments convert from Variants. A parameter declared `Variant&` or
// `std::string&` is by reference: what the member leaves in it goes back to the caller.
namespace detail {

template <class T>
struct ArgTraits;

template <>
struct ArgTraits<Variant&> {
  static Variant& From(Variant& v) { return v; }
};
template <>
struct ArgTraits<const Variant&> {
  static const Variant& From(Variant& v) { return v; }
};
template <>
struct ArgTraits<Variant> {
  static Variant From(Variant& v) { return v; }
};
template <>
struct ArgTraits<std::string> {
  static std::string From(Variant& v) { return CStr(v); }
};
template <>
struct ArgTraits<const std::string&> : ArgTraits<std::string> {};
template <>
struct ArgTraits<float> {
  static float From(Variant& v) { return CSng(v); }
};
template <>
struct ArgTraits<double> {
  static double From(Variant& v) { return CDbl(v); }
};
template <>
struct ArgTraits<int32_t> {
  static int32_t From(Variant& v) { return CLng(v); }
};
template <>
struct ArgTraits<int16_t> {
  static int16_t From(Variant& v) { return CInt(v); }
};
template <>
struct ArgTraits<bool> {
  static bool From(Variant& v) { return CBool(v); }
};
template <>
struct ArgTraits<Date> {
  static Date From(Variant& v) { return CDate(v); }
};
template <>
struct ArgTraits<ObjectRef> {
  static ObjectRef From(Variant& v) {
    if (v.IsEmpty()) return nullptr;
    return v.IsObject() && !std::get<ObjectRef>(v.storage()) ? nullptr : v.Object();
  }
};
template <>
struct ArgTraits<const ObjectRef&> : ArgTraits<ObjectRef> {};

// The object a caller passed for a parameter of automation class T: Nothing is error 91, a
// value that is no object or an object of another class 13.
template <class T>
std::shared_ptr<T> ObjectOfClass(const Variant& v) {
  if (!v.IsObject()) {
    throw Error::WithDetail(err::kTypeMismatch, "an object is needed, not " + v.TypeName());
  }
  const ObjectRef& object = std::get<ObjectRef>(v.storage());
  if (!object) throw Error::WithDetail(err::kObjectNotSet, "the object is Nothing");
  auto typed = std::dynamic_pointer_cast<T>(object);
  if (!typed) {
    throw Error::WithDetail(err::kTypeMismatch,
                            "a " + std::string(object->ClassName()) + " is not the object needed");
  }
  return typed;
}

// Parameters of an automation class, by reference or shared: the argument must hold such
// an object.
template <class T>
requires std::is_base_of_v<Dispatch, T>
struct ArgTraits<const T&> {
  static const T& From(Variant& v) { return *ObjectOfClass<T>(v); }
};
template <class T>
requires std::is_base_of_v<Dispatch, T>
struct ArgTraits<T&> {
  static T& From(Variant& v) { return *ObjectOfClass<T>(v); }
};
template <class T>
requires std::is_base_of_v<Dispatch, T>
struct ArgTraits<std::shared_ptr<T>> {
  static std::shared_ptr<T> From(Variant& v) { return ObjectOfClass<T>(v); }
};
template <class T>
requires std::is_base_of_v<Dispatch, T>
struct ArgTraits<const std::shared_ptr<T>&> : ArgTraits<std::shared_ptr<T>> {
};

// A by-reference text parameter: the member works on a copy of the text, which goes back
// into the caller's Variant when the call is over.
class StringRef {
 public:
  explicit StringRef(Variant& v) : target_(v), text_(CStr(v)) {}
  StringRef(const StringRef&) = delete;
  ~StringRef() { target_ = Variant(std::move(text_)); }
  operator std::string&() { return text_; }

 private:
  Variant& target_;
  std::string text_;
};
template <>
struct ArgTraits<std::string&> {
  static StringRef From(Variant& v) { return StringRef(v); }
};

// Calls `call` with the arguments converted to P..., after checking their number.
template <class R, class... P, class F, size_t... I>
Variant InvokeWith(F&& call, Args args, std::string_view name, std::index_sequence<I...>) {
  if (args.size() != sizeof...(P)) {
    throw Error::WithDetail(err::kWrongArguments,
                            std::string(name) + " takes " + std::to_string(sizeof...(P)) +
                                " argument(s), not " + std::to_string(args.size()));
  }
  if constexpr (std::is_void_v<R>) {
    call(ArgTraits<P>::From(args[I])...);
    return Variant();
  } else {
    return Variant(call(ArgTraits<P>::From(args[I])...));
  }
}

}  // namespace detail

// Builds a class's member table from its C++ members:
//   static const MemberTable table = MemberTableBuilder<Quote>()
//       .Property("Symbol", &Quote::Symbol, &Quote::SetSymbol)
//       .Method("MoveNext", &Quote::MoveNext)
//       .Build();
// Getters and methods may take arguments (indexed properties); a let's last parameter is the
// assigned value.
template <class T>
class MemberTableBuilder {
 public:
  template <class R, class... P>
  MemberTableBuilder& Method(std::string name, R (T::*fn)(P...)) {
    Slot(name).get = [fn, name](Dispatch& self, Args args) {
      auto call = [&](auto&&... a) -> R { return (static_cast<T&>(self).*fn)(a...); };
      return detail::InvokeWith<R, P...>(call, args, name, std::index_sequence_for<P...>{});
    };
    return *this;
  }
  template <class R, class... P>
  MemberTableBuilder& Method(std::string name, R (T::*fn)(P...) const) {
    Slot(name).get = [fn, name](Dispatch& self, Args args) {
      auto call = [&](auto&&... a) -> R { return (static_cast<T&>(self).*fn)(a...); };
      return detail::InvokeWith<R, P...>(call, args, name, std::index_sequence_for<P...>{});
    };
    return *this;
  }
  template <class G>
  MemberTableBuilder& Get(std::string name, G getter) {
    return Method(std::move(name), getter);
  }
  template <class G, class S>
  MemberTableBuilder& Property(std::string name, G getter, S setter) {
    Method(name, getter);
    return Let(std::move(name), setter);
  }
  template <class... P>
  MemberTableBuilder& Let(std::string name, void (T::*setter)(P...)) {
    Member& m = Slot(name);
    m.let = [setter, name](Dispatch& self, Args args, Variant& value) {
      std::vector<Variant> all(args.begin(), args.end());
      all.push_back(value);
      auto call = [&](auto&&... a) { (static_cast<T&>(self).*setter)(a...); };
      detail::InvokeWith<void, P...>(call, Args(all), name, std::index_sequence_for<P...>{});
      value = all.back();  // by reference: what the setter left goes back
    };
    return *this;
  }
  // A member written by hand, for members whose arguments vary.
  MemberTableBuilder& Raw(std::string name, std::function<Variant(T&, Args)> get,
                          std::function<void(T&, Args, Variant&)> let = nullptr) {
    Member& m = Slot(name);
    if (get) m.get = [get](Dispatch& self, Args args) { return get(static_cast<T&>(self), args); };
    if (let) {
      m.let = [let](Dispatch& self, Args args, Variant& v) { let(static_cast<T&>(self), args, v); };
    }
    return *this;
  }

  MemberTable Build() {
    MemberTable table;
    for (Member& m : members_) table.Add(std::move(m));
    return table;
  }

 private:
  Member& Slot(const std::string& name) {
    for (Member& m : members_) {
      if (m.name == name) return m;
    }
    members_.push_back(Member{name, nullptr, nullptr});
    return members_.back();
  }

  std::vector<Member> members_;
};

}  // namespace automation
