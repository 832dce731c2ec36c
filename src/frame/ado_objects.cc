// Member tables of ADODB.Connection, ADODB.Recordset, and the Fields and
// Field objects.
#include "frame/ado_objects.h"

#include <string>

#include "fennick/error.h"
#include "frame/dispatch.h"

namespace fennick {
namespace {

// A recordset shared by its object and the Fields and Field objects taken
// from it, so that they stay usable while any of them lives.
struct RecordsetHolder {
  Recordset rs;
};

int32_t LongOr(const Variant& value, int32_t fallback) {
  return value.IsEmpty() ? fallback : static_cast<int32_t>(value.AsInt64());
}

std::string StringOr(const Variant& value, std::string_view fallback) {
  return value.IsEmpty() ? std::string(fallback) : value.AsString();
}

// A Field: looked up again by its index on every use, so that a recordset
// closed or opened anew is never read through a stale field.
struct FieldMembers {
  std::shared_ptr<RecordsetHolder> holder;
  size_t index = 0;

  Field Get() { return holder->rs.Fields(index); }

  static const MemberTable<FieldMembers>& Members() {
    static const MemberTable<FieldMembers> table = [] {
      MemberTable<FieldMembers> t;
      t.Property("Name", [](FieldMembers& f) { return Variant(f.Get().Name()); });
      t.Property("Value", [](FieldMembers& f) { return f.Get().Value(); });
      t.Property("Type", [](FieldMembers& f) { return Variant(f.Get().Type()); });
      t.Property("DefinedSize", [](FieldMembers& f) { return Variant(f.Get().DefinedSize()); });
      t.Property("ActualSize", [](FieldMembers& f) { return Variant(f.Get().ActualSize()); });
      t.Property("Precision", [](FieldMembers& f) {
        return Variant(static_cast<int32_t>(f.Get().Precision()));
      });
      t.Property("NumericScale", [](FieldMembers& f) {
        return Variant(static_cast<int32_t>(f.Get().NumericScale()));
      });
      t.Function("GetChunk", {ArgType::kLong}, 1, [](FieldMembers& f, std::span<const Variant> a) {
        return f.Get().GetChunk(static_cast<int32_t>(a[0].AsInt64()));
      });
      return t;
    }();
    return table;
  }
};

class FieldObject : public DispatchObject<FieldMembers> {
 public:
  explicit FieldObject(FieldMembers members)
      : DispatchObject<FieldMembers>("ADODB.Field", std::move(members)) {}
  std::string_view DefaultMember() const override { return "Value"; }
};

struct FieldsMembers {
  std::shared_ptr<RecordsetHolder> holder;

  static const MemberTable<FieldsMembers>& Members() {
    static const MemberTable<FieldsMembers> table = [] {
      MemberTable<FieldsMembers> t;
      t.Property("Count", [](FieldsMembers& f) {
        return Variant(static_cast<int32_t>(f.holder->rs.FieldCount()));
      });
      // By position from 0, or by name (ignoring case); an unknown one raises
      // the recordset's error.
      t.Function("Item", {ArgType::kVariant}, 1,
                 [](FieldsMembers& f, std::span<const Variant> a) {
                   Recordset& rs = f.holder->rs;
                   size_t index = 0;
                   if (a[0].IsNumber()) {
                     int64_t n = a[0].AsInt64();
                     index = n < 0 ? SIZE_MAX : static_cast<size_t>(n);
                     rs.Fields(index);
                   } else {
                     std::string name = a[0].AsString();
                     rs.Fields(name);
                     while (LowerName(rs.Fields(index).Name()) != LowerName(name)) ++index;
                   }
                   return Variant(std::shared_ptr<Object>(
                       std::make_shared<FieldObject>(FieldMembers{f.holder, index})));
                 });
      return t;
    }();
    return table;
  }
};

class FieldsObject : public DispatchObject<FieldsMembers> {
 public:
  explicit FieldsObject(FieldsMembers members)
      : DispatchObject<FieldsMembers>("ADODB.Fields", std::move(members)) {}
  std::string_view DefaultMember() const override { return "Item"; }
};

struct ConnectionMembers {
  std::shared_ptr<Connection> connection = std::make_shared<Connection>();

  static const MemberTable<ConnectionMembers>& Members();
};

using ConnectionObject = DispatchObject<ConnectionMembers>;

struct RecordsetMembers {
  std::shared_ptr<RecordsetHolder> holder = std::make_shared<RecordsetHolder>();
  // What Open uses when it is given no connection: an ADODB.Connection or a
  // connection string.
  Variant active_connection;

  void Open(const Variant& source, const Variant& connection, int32_t cursor_type,
            int32_t lock_type, int32_t options) {
    const Variant& use = connection.IsEmpty() ? active_connection : connection;
    std::string text = source.AsString();
    if (use.IsObject() && use.AsObject()) {
      std::shared_ptr<Connection> c = AdoConnectionOf(*use.AsObject());
      if (!c) {
        throw Error(kErrDataInvalidArgument,
                    "The connection of Recordset.Open must be an ADODB.Connection or a "
                    "connection string");
      }
      holder->rs.Open(text, *c, cursor_type, lock_type, options);
    } else if (!use.AsString().empty()) {
      holder->rs.Open(text, use.AsString(), cursor_type, lock_type, options);
    } else {
      throw Error(kErrDataNoConnection,
                  "Recordset.Open needs a connection: an ADODB.Connection or a connection "
                  "string");
    }
  }

  static const MemberTable<RecordsetMembers>& Members() {
    static const MemberTable<RecordsetMembers> table = [] {
      using R = RecordsetMembers;
      using Args = std::span<const Variant>;
      MemberTable<R> t;
      t.Function("Open",
                 {ArgType::kVariant, ArgType::kVariant, ArgType::kVariant, ArgType::kVariant,
                  ArgType::kVariant},
                 1, [](R& r, Args a) {
                   r.Open(a[0], a[1], LongOr(a[2], -1), LongOr(a[3], -1), LongOr(a[4], -1));
                   return Variant();
                 });
      t.Function("Close", {}, 0, [](R& r, Args) {
        r.holder->rs.Close();
        return Variant();
      });
      t.Property("State", [](R& r) { return Variant(r.holder->rs.State()); });
      t.Property("EOF", [](R& r) { return Variant(r.holder->rs.Eof()); });
      t.Property("BOF", [](R& r) { return Variant(r.holder->rs.Bof()); });
      t.Function("MoveNext", {}, 0, [](R& r, Args) {
        r.holder->rs.MoveNext();
        return Variant();
      });
      t.Function("MovePrevious", {}, 0, [](R& r, Args) {
        r.holder->rs.MovePrevious();
        return Variant();
      });
      t.Function("MoveFirst", {}, 0, [](R& r, Args) {
        r.holder->rs.MoveFirst();
        return Variant();
      });
      t.Function("MoveLast", {}, 0, [](R& r, Args) {
        r.holder->rs.MoveLast();
        return Variant();
      });
      t.Function("Move", {ArgType::kLong}, 1, [](R& r, Args a) {
        r.holder->rs.Move(static_cast<int32_t>(a[0].AsInt64()));
        return Variant();
      });
      t.Property("RecordCount", [](R& r) { return Variant(r.holder->rs.RecordCount()); });
      t.Property(
          "AbsolutePosition", [](R& r) { return Variant(r.holder->rs.AbsolutePosition()); },
          [](R& r, const Variant& v) {
            r.holder->rs.AbsolutePosition(static_cast<int32_t>(v.AsInt64()));
          },
          ArgType::kLong);
      t.Property("Fields", [](R& r) {
        return Variant(std::shared_ptr<Object>(
            std::make_shared<FieldsObject>(FieldsMembers{r.holder})));
      });
      t.Property(
          "ActiveConnection", [](R& r) { return r.active_connection; },
          [](R& r, const Variant& v) { r.active_connection = v; });
      t.Property(
          "MaxRecords", [](R& r) { return Variant(r.holder->rs.MaxRecords()); },
          [](R& r, const Variant& v) { r.holder->rs.MaxRecords(static_cast<int32_t>(v.AsInt64())); },
          ArgType::kLong);
      t.Property(
          "CursorLocation", [](R& r) { return Variant(r.holder->rs.CursorLocation()); },
          [](R& r, const Variant& v) {
            r.holder->rs.CursorLocation(static_cast<int32_t>(v.AsInt64()));
          },
          ArgType::kLong);
      t.Property("CursorType", [](R& r) { return Variant(r.holder->rs.CursorType()); });
      t.Property("LockType", [](R& r) { return Variant(r.holder->rs.LockType()); });
      t.Property(
          "Sort", [](R& r) { return Variant(r.holder->rs.Sort()); },
          [](R& r, const Variant& v) { r.holder->rs.Sort(v.AsString()); }, ArgType::kString);
      t.Property(
          "Filter", [](R& r) { return Variant(r.holder->rs.Filter()); },
          [](R& r, const Variant& v) { r.holder->rs.Filter(v.AsString()); }, ArgType::kString);
      t.Function("GetString",
                 {ArgType::kVariant, ArgType::kVariant, ArgType::kVariant, ArgType::kVariant,
                  ArgType::kVariant},
                 0, [](R& r, Args a) {
                   return Variant(r.holder->rs.GetString(
                       LongOr(a[0], kAdClipString), LongOr(a[1], -1), StringOr(a[2], "\t"),
                       StringOr(a[3], "\r"), StringOr(a[4], "")));
                 });
      return t;
    }();
    return table;
  }
};

class RecordsetObject : public DispatchObject<RecordsetMembers> {
 public:
  explicit RecordsetObject(RecordsetMembers members)
      : DispatchObject<RecordsetMembers>("ADODB.Recordset", std::move(members)) {}
  // rs("name") reaches rs.Fields("name").
  std::string_view DefaultMember() const override { return "Fields"; }
};

const MemberTable<ConnectionMembers>& ConnectionMembers::Members() {
  static const MemberTable<ConnectionMembers> table = [] {
    using C = ConnectionMembers;
    using Args = std::span<const Variant>;
    MemberTable<C> t;
    t.Function("Open", {ArgType::kString, ArgType::kString, ArgType::kString, ArgType::kVariant},
               0, [](C& c, Args a) {
                 c.connection->Open(a[0].AsString(), a[1].AsString(), a[2].AsString(),
                                    LongOr(a[3], -1));
                 return Variant();
               });
    t.Function("Close", {}, 0, [](C& c, Args) {
      c.connection->Close();
      return Variant();
    });
    // Execute(CommandText, RecordsAffected, Options): the count of changed
    // rows cannot be handed back through an argument here, so it is left
    // out.
    t.Function("Execute", {ArgType::kString, ArgType::kVariant, ArgType::kVariant}, 1,
               [](C& c, Args a) {
                 RecordsetMembers members;
                 members.holder->rs =
                     c.connection->Execute(a[0].AsString(), nullptr, LongOr(a[2], -1));
                 return Variant(std::shared_ptr<Object>(
                     std::make_shared<RecordsetObject>(std::move(members))));
               });
    t.Property(
        "ConnectionString", [](C& c) { return Variant(c.connection->ConnectionString()); },
        [](C& c, const Variant& v) { c.connection->ConnectionString(v.AsString()); },
        ArgType::kString);
    t.Property(
        "CommandTimeout", [](C& c) { return Variant(c.connection->CommandTimeout()); },
        [](C& c, const Variant& v) {
          c.connection->CommandTimeout(static_cast<int32_t>(v.AsInt64()));
        },
        ArgType::kLong);
    t.Property(
        "ConnectionTimeout", [](C& c) { return Variant(c.connection->ConnectionTimeout()); },
        [](C& c, const Variant& v) {
          c.connection->ConnectionTimeout(static_cast<int32_t>(v.AsInt64()));
        },
        ArgType::kLong);
    t.Property("State", [](C& c) { return Variant(c.connection->State()); });
    t.Property("Provider", [](C& c) { return Variant(c.connection->Provider()); });
    return t;
  }();
  return table;
}

}  // namespace

std::shared_ptr<Object> CreateAdoObject(std::string_view prog_id) {
  if (LowerName(prog_id) == "adodb.connection") {
    return std::make_shared<ConnectionObject>("ADODB.Connection", ConnectionMembers{});
  }
  if (LowerName(prog_id) == "adodb.recordset") {
    return std::make_shared<RecordsetObject>(RecordsetMembers{});
  }
  return nullptr;
}

std::shared_ptr<Connection> AdoConnectionOf(Object& object) {
  auto* connection = dynamic_cast<ConnectionObject*>(&object);
  return connection ? connection->instance().connection : nullptr;
}

}  // namespace fennick
