// PostgreSQL values in their text forms (the session's DateStyle ISO, hex
// bytea, money in the C locale), read into column storage, and parameter
// values written for the server.
#ifndef FENNICK_PLATFORM_DATA_POSTGRES_VALUES_H_
#define FENNICK_PLATFORM_DATA_POSTGRES_VALUES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "fennick/variant.h"
#include "platform/data/row_set.h"

namespace fennick::data {

// How a column's text values are read.
enum class PostgresReader : uint8_t { kInteger, kBoolean, kCurrency, kReal, kDate, kBytea, kText };

// The reader for a column of type OID `oid` mapped to `ado_type`.
PostgresReader PostgresReaderFor(uint32_t oid, int32_t ado_type);
// Appends one non-null value. A value the reader cannot place ("infinity",
// a date before the year 100) keeps its text, in a Variant column.
// `scratch` is reused between calls.
void AppendPostgresValue(Column& column, PostgresReader reader, std::string_view text,
                         std::string& scratch);
// The text a parameter value is sent as (binary values go as they are).
std::string PostgresParameterText(const Variant& value);

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_POSTGRES_VALUES_H_
