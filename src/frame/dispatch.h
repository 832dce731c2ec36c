// Late-bound dispatch: member tables that map names to C++ members.
//
// Each public class has one static MemberTable listing its properties and
// methods with their declared argument types. Names are matched without
// regard to case; arguments are converted to the declared types, and a
// 16-bit Integer beyond its range raises error 6 "Overflow", as a late-bound
// call on the original platform would.
#ifndef FENNICK_FRAME_DISPATCH_H_
#define FENNICK_FRAME_DISPATCH_H_

#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "fennick/error.h"
#include "fennick/object.h"
#include "fennick/variant.h"

namespace fennick {

enum class ArgType { kVariant, kBoolean, kInteger, kLong, kDouble, kString };

// Converts an argument to a declared type. Raises 6 "Overflow" for an
// Integer or Long out of range, 13 "Type mismatch" for text that is no
// number, and 94 "Invalid use of Null" for Null where a value is needed.
Variant ConvertArgument(const Variant& value, ArgType type);

std::string LowerName(std::string_view name);

// One member of a class as its table declares it, for listings (the
// reference pages are checked against these).
struct MemberInfo {
  std::string name;  // as published: "PageSize"
  bool get = false;  // readable as a property
  bool put = false;  // assignable as a property
  ArgType put_type = ArgType::kVariant;
  bool method = false;
  std::vector<ArgType> params;  // a method's declared argument types
  size_t required = 0;          // how many of them must be given
};

// Implemented by every object that dispatches through a MemberTable.
class MemberDirectory {
 public:
  virtual ~MemberDirectory() = default;
  // The members, sorted by name without regard to case.
  virtual std::vector<MemberInfo> DescribeMembers() const = 0;
};

template <class T>
class MemberTable {
 public:
  using Getter = std::function<Variant(T&)>;
  using Setter = std::function<void(T&, const Variant&)>;
  using Method = std::function<Variant(T&, std::span<const Variant>)>;

  MemberTable& Property(std::string_view name, Getter get, Setter put = nullptr,
                        ArgType type = ArgType::kVariant) {
    Member& m = members_[LowerName(name)];
    m.name = std::string(name);
    m.get = std::move(get);
    m.put = std::move(put);
    m.put_type = type;
    return *this;
  }

  // `params` are the declared types; the first `required` must be given,
  // the rest arrive as Empty when omitted.
  MemberTable& Function(std::string_view name, std::vector<ArgType> params, size_t required,
                        Method call) {
    Member& m = members_[LowerName(name)];
    m.name = std::string(name);
    m.params = std::move(params);
    m.required = required;
    m.call = std::move(call);
    return *this;
  }

  bool Has(std::string_view name) const { return members_.count(LowerName(name)) != 0; }

  MemberKind KindOf(std::string_view name) const {
    auto it = members_.find(LowerName(name));
    if (it == members_.end()) return MemberKind::kNone;
    return it->second.call ? MemberKind::kMethod : MemberKind::kProperty;
  }

  // The table's members, sorted by lower-case name.
  std::vector<MemberInfo> Describe() const {
    std::map<std::string, MemberInfo> sorted;
    for (const auto& [key, m] : members_) {
      MemberInfo& info = sorted[key];
      info.name = m.name;
      info.get = static_cast<bool>(m.get);
      info.put = static_cast<bool>(m.put);
      info.put_type = m.put_type;
      info.method = static_cast<bool>(m.call);
      info.params = m.params;
      info.required = m.required;
    }
    std::vector<MemberInfo> out;
    for (auto& entry : sorted) out.push_back(std::move(entry.second));
    return out;
  }

  // Calls member `name` of `self`. The descriptions of errors of the call
  // itself (unknown member, read-only or write-only property, argument count,
  // argument conversion) name `class_name` and the member; errors the member
  // raises pass as they are.
  Variant Invoke(T& self, std::string_view name, InvokeKind kind,
                 std::span<const Variant> args, std::string_view class_name = {}) const {
    auto it = members_.find(LowerName(name));
    if (it == members_.end()) {
      throw Error(kErrNoMember, "Object doesn't support this property or method: '" +
                                    Qualified(class_name, name) + "'");
    }
    const Member& m = it->second;
    if (kind == InvokeKind::kPropertyPut) {
      if (!m.put) {
        throw Error(kErrNoMember, "Property '" + Qualified(class_name, name) + "' is read-only");
      }
      if (args.size() != 1) {
        throw Error(kErrWrongArgCount, "Wrong number of arguments or invalid property "
                                       "assignment: '" + Qualified(class_name, name) + "'");
      }
      m.put(self, Convert(args[0], m.put_type, class_name, name, 0));
      return Variant();
    }
    if (m.get && args.empty()) return m.get(self);
    if (!m.call && !m.get) {
      throw Error(kErrWriteOnly, "Property '" + Qualified(class_name, name) + "' is write-only");
    }
    if (!m.call || args.size() < m.required || args.size() > m.params.size()) {
      throw Error(kErrWrongArgCount, "Wrong number of arguments or invalid property "
                                     "assignment: '" + Qualified(class_name, name) + "'");
    }
    std::vector<Variant> converted(m.params.size());
    for (size_t i = 0; i < args.size(); ++i) {
      converted[i] = Convert(args[i], m.params[i], class_name, name, i + 1);
    }
    return m.call(self, converted);
  }

 private:
  struct Member {
    std::string name;  // the spelling it was declared with
    Getter get;
    Setter put;
    ArgType put_type = ArgType::kVariant;
    Method call;
    std::vector<ArgType> params;
    size_t required = 0;
  };
  static std::string Qualified(std::string_view class_name, std::string_view name) {
    if (class_name.empty()) return std::string(name);
    return std::string(class_name) + "." + std::string(name);
  }

  // ConvertArgument, with the member (and the argument, from 1; 0 for a
  // property value) added to the description of a failed conversion.
  static Variant Convert(const Variant& value, ArgType type, std::string_view class_name,
                         std::string_view name, size_t position) {
    try {
      return ConvertArgument(value, type);
    } catch (const Error& e) {
      std::string where = position == 0
                              ? " in the value of '" + Qualified(class_name, name) + "'"
                              : " in argument " + std::to_string(position) + " of '" +
                                    Qualified(class_name, name) + "'";
      throw Error(e.number(), e.description() + where);
    }
  }

  std::unordered_map<std::string, Member> members_;
};

// An Object that forwards to a C++ instance through its class's table.
// T provides `static const MemberTable<T>& Members()`.
template <class T>
class DispatchObject : public Object, public MemberDirectory {
 public:
  DispatchObject(std::string_view progid, T instance)
      : progid_(progid),
        class_name_(progid.substr(progid.rfind('.') == std::string_view::npos
                                      ? 0
                                      : progid.rfind('.') + 1)),
        instance_(std::move(instance)) {}

  std::string_view ProgId() const override { return progid_; }
  // Errors name the class, so a page sees which object refused the call.
  Variant Invoke(std::string_view name, InvokeKind kind,
                 std::span<const Variant> args) override {
    try {
      return T::Members().Invoke(instance_, name, kind, args, class_name_);
    } catch (Error& e) {
      if (e.source().empty()) e.AppendSource(progid_);
      throw;
    }
  }
  bool HasMember(std::string_view name) const override { return T::Members().Has(name); }
  MemberKind Kind(std::string_view name) const override { return T::Members().KindOf(name); }
  std::vector<MemberInfo> DescribeMembers() const override { return T::Members().Describe(); }
  T& instance() { return instance_; }

 private:
  std::string_view progid_;
  std::string_view class_name_;  // the ProgID's last part: "StringBuffer"
  T instance_;
};

}  // namespace fennick

#endif  // FENNICK_FRAME_DISPATCH_H_
