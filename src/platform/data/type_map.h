// How each engine's column types become ADO type codes. The tables live in
// type_map.cc, in one place, so that both drivers and their readers agree.
#ifndef FENNICK_PLATFORM_DATA_TYPE_MAP_H_
#define FENNICK_PLATFORM_DATA_TYPE_MAP_H_

#include <cstdint>
#include <string_view>

namespace fennick::data {

struct TypeInfo {
  int32_t type;
  int32_t defined_size;
  uint8_t precision = 0;
  uint8_t scale = 0;
};

// DefinedSize of unbounded text and binary.
inline constexpr int32_t kUnboundedSize = 2147483647;

// The byte size ADO reports for a fixed-size type (0 for others).
int32_t FixedSize(int32_t ado_type);

// A SQLite column's declared type ("VARCHAR(40)", "decimal(10, 2)",
// "DATETIME"). Call only for a declared type; columns without one (an
// expression, a literal, CAST, an aggregate) are typed by
// SqliteValueType from their first value.
TypeInfo SqliteDeclaredType(std::string_view declared);
// The type of an undeclared SQLite column from the storage class of its
// first non-null value (SQLITE_INTEGER ...); text when all are null.
TypeInfo SqliteValueType(int storage_class);

// A PostgreSQL column from its type OID and type modifier (PQftype,
// PQfmod); unknown types (arrays, enums, ranges, ...) read as text.
TypeInfo PostgresType(uint32_t oid, int type_modifier);

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_TYPE_MAP_H_
