// Member table of Fennick.StringBuffer: ReInit, SetString, ToString, Append.
#include "frame/string_buffer_object.h"

#include "fennick/string_buffer.h"
#include "frame/dispatch.h"

namespace fennick {
namespace {

struct StringBufferMembers : StringBuffer {
  static const MemberTable<StringBufferMembers>& Members() {
    static const MemberTable<StringBufferMembers> table = [] {
      MemberTable<StringBufferMembers> t;
      t.Function("ReInit", {}, 0, [](StringBufferMembers& self, std::span<const Variant>) {
        self.ReInit();
        return Variant();
      });
      t.Function("SetString", {ArgType::kString}, 1,
                 [](StringBufferMembers& self, std::span<const Variant> args) {
                   self.SetString(args[0].Bytes());
                   return Variant();
                 });
      t.Function("ToString", {}, 0, [](StringBufferMembers& self, std::span<const Variant>) {
        return Variant(self.ToString());
      });
      t.Function("Append", {ArgType::kString}, 1,
                 [](StringBufferMembers& self, std::span<const Variant> args) {
                   self.Append(args[0].Bytes());
                   return Variant();
                 });
      return t;
    }();
    return table;
  }
};

}  // namespace

std::shared_ptr<Object> CreateStringBufferObject() {
  return std::make_shared<DispatchObject<StringBufferMembers>>("Fennick.StringBuffer",
                                                               StringBufferMembers{});
}

}  // namespace fennick
