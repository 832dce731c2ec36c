// Late-bound objects: what pages drive by member name.
//
// Server.CreateObject returns an Object; script pages and the C++ API call
// its members by name (case-insensitive) as property get, property put or
// method, with Variant arguments. Objects are used on one page's thread.
#ifndef FENNICK_OBJECT_H_
#define FENNICK_OBJECT_H_

#include <span>
#include <string>
#include <string_view>

#include "fennick/variant.h"

namespace fennick {

enum class InvokeKind { kMethod, kPropertyGet, kPropertyPut };

// What reading a member by name gives a script: a value (kProperty, a
// property get), something to call (kMethod), or nothing (kNone).
enum class MemberKind { kNone, kProperty, kMethod };

class Object {
 public:
  virtual ~Object() = default;

  // The ProgID the object was created by ("Fennick.StringBuffer").
  virtual std::string_view ProgId() const = 0;

  // Calls member `name`. For kPropertyPut the last argument is the new value.
  // Raises Error 438 "Object doesn't support this property or method" for an
  // unknown member, 450 for a wrong argument count, and whatever the member
  // itself raises.
  virtual Variant Invoke(std::string_view name, InvokeKind kind,
                         std::span<const Variant> args) = 0;

  // Whether `name` is a member, and whether it can be read as a property.
  virtual bool HasMember(std::string_view name) const = 0;

  // How a script reads member `name` (`obj.Title` gets the property at once,
  // `obj.Display` yields a function to call). Objects that cannot tell treat
  // every member as a method, so that reading never calls one by accident.
  virtual MemberKind Kind(std::string_view name) const {
    return HasMember(name) ? MemberKind::kMethod : MemberKind::kNone;
  }

  // The member that a call of the object itself reaches (`rs("name")`), or
  // "" when the object has none.
  virtual std::string_view DefaultMember() const { return {}; }
};

}  // namespace fennick

#endif  // FENNICK_OBJECT_H_
