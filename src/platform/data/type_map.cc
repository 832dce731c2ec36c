// The type tables: engine column types to ADO type codes.
//
//  ADO code             SQLite declared type               PostgreSQL type
//  2   SmallInt         SMALLINT, INT2                     int2
//  3   Integer          INTEGER, INT, INT4, MEDIUMINT      int4
//  20  BigInt           BIGINT, INT8, other "...INT..."    int8, oid
//  17  UnsignedTinyInt  TINYINT
//  4   Single           FLOAT4, SINGLE                     float4
//  5   Double           REAL, DOUBLE, FLOAT, FLOAT8        float8
//  131 Numeric          NUMERIC(p,s), DECIMAL(p,s), other  numeric
//  6   Currency         MONEY, SMALLMONEY, CURRENCY        money
//  11  Boolean          BOOLEAN, BOOL, BIT                 bool
//  133 DBDate           DATE                               date
//  134 DBTime           TIME                               time, timetz
//  135 DBTimeStamp      DATETIME, TIMESTAMP, ...DATE/TIME  timestamp, timestamptz
//  72  Guid             UUID, GUID, UNIQUEIDENTIFIER       uuid
//  129 Char             CHAR(n), CHARACTER(n)              bpchar(n), "char"
//  130 WChar            NCHAR(n), NATIVE CHARACTER(n)
//  200 VarChar          VARCHAR(n)                         varchar(n), name, interval
//  201 LongVarChar      TEXT, CLOB, VARCHAR, other "CHAR"  text, varchar, json(b), xml,
//                                                          every other type
//  202 VarWChar         NVARCHAR(n)
//  203 LongVarWChar     NTEXT, NVARCHAR
//  128 Binary           BINARY(n)
//  204 VarBinary        VARBINARY(n)
//  205 LongVarBinary    BLOB, IMAGE, BYTEA, VARBINARY      bytea
//
// SQLite: a declared type is matched by its name before any "(", then by
// SQLite's own affinity rules (contains INT, CHAR/CLOB/TEXT, BLOB,
// REAL/FLOA/DOUB; DATE or TIME added for dates; numeric otherwise). A
// column without a declared type (expressions, literals, CAST, aggregates,
// computed view columns) takes its type from its first non-null value:
// integer 20, real 5, text 200, blob 205; all nulls give text 200.
//
// Values: SQLite's INTEGER holds 64 bits, so an Integer (3) field whose
// value does not fit a Long gives a 64-bit value. Dates are OLE dates, read
// from ISO text, Julian day numbers (REAL) or Unix seconds (INTEGER).
// Currency is exact to the ten-thousandth. Numeric values are Decimal
// Variants held as doubles.
#include "platform/data/type_map.h"

#include <charconv>
#include <string>

#include "base/ascii.h"
#include "fennick/data.h"

namespace fennick::data {
namespace {

struct SqliteName {
  std::string_view name;
  int32_t type;          // with a length, or for types that take none
  int32_t unsized_type;  // without a length
};

constexpr SqliteName kSqliteNames[] = {
    {"SMALLINT", kAdSmallInt, kAdSmallInt},
    {"INT2", kAdSmallInt, kAdSmallInt},
    {"INTEGER", kAdInteger, kAdInteger},
    {"INT", kAdInteger, kAdInteger},
    {"INT4", kAdInteger, kAdInteger},
    {"MEDIUMINT", kAdInteger, kAdInteger},
    {"BIGINT", kAdBigInt, kAdBigInt},
    {"INT8", kAdBigInt, kAdBigInt},
    {"TINYINT", kAdUnsignedTinyInt, kAdUnsignedTinyInt},
    {"FLOAT4", kAdSingle, kAdSingle},
    {"SINGLE", kAdSingle, kAdSingle},
    {"REAL", kAdDouble, kAdDouble},
    {"DOUBLE", kAdDouble, kAdDouble},
    {"DOUBLE PRECISION", kAdDouble, kAdDouble},
    {"FLOAT", kAdDouble, kAdDouble},
    {"FLOAT8", kAdDouble, kAdDouble},
    {"NUMERIC", kAdNumeric, kAdNumeric},
    {"DECIMAL", kAdNumeric, kAdNumeric},
    {"MONEY", kAdCurrency, kAdCurrency},
    {"SMALLMONEY", kAdCurrency, kAdCurrency},
    {"CURRENCY", kAdCurrency, kAdCurrency},
    {"BOOLEAN", kAdBoolean, kAdBoolean},
    {"BOOL", kAdBoolean, kAdBoolean},
    {"BIT", kAdBoolean, kAdBoolean},
    {"DATE", kAdDBDate, kAdDBDate},
    {"TIME", kAdDBTime, kAdDBTime},
    {"DATETIME", kAdDBTimeStamp, kAdDBTimeStamp},
    {"DATETIME2", kAdDBTimeStamp, kAdDBTimeStamp},
    {"SMALLDATETIME", kAdDBTimeStamp, kAdDBTimeStamp},
    {"TIMESTAMP", kAdDBTimeStamp, kAdDBTimeStamp},
    {"UUID", kAdGuid, kAdGuid},
    {"GUID", kAdGuid, kAdGuid},
    {"UNIQUEIDENTIFIER", kAdGuid, kAdGuid},
    {"CHAR", kAdChar, kAdLongVarChar},
    {"CHARACTER", kAdChar, kAdLongVarChar},
    {"NCHAR", kAdWChar, kAdLongVarWChar},
    {"NATIVE CHARACTER", kAdWChar, kAdLongVarWChar},
    {"VARCHAR", kAdVarChar, kAdLongVarChar},
    {"CHARACTER VARYING", kAdVarChar, kAdLongVarChar},
    {"VARYING CHARACTER", kAdVarChar, kAdLongVarChar},
    {"NVARCHAR", kAdVarWChar, kAdLongVarWChar},
    {"TEXT", kAdLongVarChar, kAdLongVarChar},
    {"CLOB", kAdLongVarChar, kAdLongVarChar},
    {"NTEXT", kAdLongVarWChar, kAdLongVarWChar},
    {"BINARY", kAdBinary, kAdLongVarBinary},
    {"VARBINARY", kAdVarBinary, kAdLongVarBinary},
    {"BLOB", kAdLongVarBinary, kAdLongVarBinary},
    {"IMAGE", kAdLongVarBinary, kAdLongVarBinary},
    {"BYTEA", kAdLongVarBinary, kAdLongVarBinary},
};

struct PostgresOid {
  uint32_t oid;
  int32_t type;
};

constexpr PostgresOid kPostgresTypes[] = {
    {16, kAdBoolean},        // bool
    {17, kAdLongVarBinary},  // bytea
    {18, kAdChar},           // "char"
    {19, kAdVarChar},        // name
    {20, kAdBigInt},         // int8
    {21, kAdSmallInt},       // int2
    {23, kAdInteger},        // int4
    {25, kAdLongVarChar},    // text
    {26, kAdBigInt},         // oid
    {114, kAdLongVarChar},   // json
    {142, kAdLongVarChar},   // xml
    {700, kAdSingle},        // float4
    {701, kAdDouble},        // float8
    {790, kAdCurrency},      // money
    {1042, kAdChar},         // bpchar
    {1043, kAdVarChar},      // varchar
    {1082, kAdDBDate},       // date
    {1083, kAdDBTime},       // time
    {1114, kAdDBTimeStamp},  // timestamp
    {1184, kAdDBTimeStamp},  // timestamptz
    {1186, kAdVarChar},      // interval
    {1266, kAdDBTime},       // timetz
    {1700, kAdNumeric},      // numeric
    {2950, kAdGuid},         // uuid
    {3802, kAdLongVarChar},  // jsonb
};

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// Upper-cases and folds blank runs to one blank.
std::string Normalise(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (!out.empty() && out.back() != ' ') out.push_back(' ');
      continue;
    }
    out.push_back(AsciiUpperChar(c));
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// Reads "(n)" or "(p, s)" after a type name; false when absent or unreadable.
bool ReadLengths(std::string_view args, int& first, int& second) {
  second = 0;
  auto skip = [&args] {
    while (!args.empty() && args.front() == ' ') args.remove_prefix(1);
  };
  skip();
  if (args.empty() || args.front() != '(') return false;
  args.remove_prefix(1);
  skip();
  auto res = std::from_chars(args.data(), args.data() + args.size(), first);
  if (res.ec != std::errc() || first < 0) return false;
  args.remove_prefix(res.ptr - args.data());
  skip();
  if (!args.empty() && args.front() == ',') {
    args.remove_prefix(1);
    skip();
    res = std::from_chars(args.data(), args.data() + args.size(), second);
    if (res.ec != std::errc()) return false;
  }
  return true;
}

TypeInfo Sized(int32_t type, int32_t length) {
  switch (type) {
    case kAdChar:
    case kAdWChar:
    case kAdVarChar:
    case kAdVarWChar:
    case kAdBinary:
    case kAdVarBinary:
      return {type, length};
    case kAdLongVarChar:
    case kAdLongVarWChar:
    case kAdLongVarBinary:
      return {type, kUnboundedSize};
    default:
      return {type, FixedSize(type)};
  }
}

}  // namespace

int32_t FixedSize(int32_t ado_type) {
  switch (ado_type) {
    case kAdTinyInt:
    case kAdUnsignedTinyInt:
      return 1;
    case kAdSmallInt:
    case kAdBoolean:
      return 2;
    case kAdInteger:
    case kAdSingle:
      return 4;
    case kAdBigInt:
    case kAdDouble:
    case kAdCurrency:
    case kAdDate:
      return 8;
    case kAdDBDate:
    case kAdDBTime:
      return 6;
    case kAdDecimal:
    case kAdGuid:
    case kAdDBTimeStamp:
      return 16;
    case kAdNumeric:
      return 19;
    default:
      return 0;
  }
}

TypeInfo SqliteDeclaredType(std::string_view declared) {
  std::string upper = Normalise(declared);
  size_t paren = upper.find('(');
  std::string_view base = std::string_view(upper).substr(0, paren);
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  int first = 0, second = 0;
  bool has_length = paren != std::string::npos &&
                    ReadLengths(std::string_view(upper).substr(paren), first, second);
  for (const SqliteName& entry : kSqliteNames) {
    if (entry.name != base) continue;
    if (entry.type == kAdNumeric) {
      TypeInfo info{kAdNumeric, FixedSize(kAdNumeric)};
      if (has_length) {
        info.precision = static_cast<uint8_t>(std::min(first, 255));
        info.scale = static_cast<uint8_t>(std::min(second, 255));
      }
      return info;
    }
    if (has_length && first > 0) return Sized(entry.type, first);
    return Sized(entry.unsized_type, 0);
  }
  // SQLite's affinity rules, in its order, with dates added before the
  // numeric catch-all.
  if (Contains(base, "INT")) return Sized(kAdBigInt, 0);
  if (Contains(base, "CHAR") || Contains(base, "CLOB") || Contains(base, "TEXT")) {
    return Sized(kAdLongVarChar, 0);
  }
  if (Contains(base, "BLOB")) return Sized(kAdLongVarBinary, 0);
  if (Contains(base, "REAL") || Contains(base, "FLOA") || Contains(base, "DOUB")) {
    return Sized(kAdDouble, 0);
  }
  if (Contains(base, "DATE") || Contains(base, "TIME")) return Sized(kAdDBTimeStamp, 0);
  return Sized(kAdNumeric, 0);
}

TypeInfo SqliteValueType(int storage_class) {
  switch (storage_class) {
    case 1:
      return Sized(kAdBigInt, 0);  // SQLITE_INTEGER
    case 2:
      return Sized(kAdDouble, 0);  // SQLITE_FLOAT
    case 4:
      return Sized(kAdLongVarBinary, 0);  // SQLITE_BLOB
    default:
      return {kAdVarChar, 0};  // SQLITE_TEXT, all nulls
  }
}

TypeInfo PostgresType(uint32_t oid, int type_modifier) {
  int32_t type = kAdLongVarChar;
  for (const PostgresOid& entry : kPostgresTypes) {
    if (entry.oid == oid) {
      type = entry.type;
      break;
    }
  }
  switch (oid) {
    case 18:  // "char": one byte
      return {kAdChar, 1};
    case 19:  // name
      return {kAdVarChar, 63};
    case 1042:
    case 1043:  // bpchar(n), varchar(n): the modifier is n + 4
      if (type_modifier >= 4) return {type, type_modifier - 4};
      return Sized(oid == 1043 ? kAdLongVarChar : kAdChar, kUnboundedSize);
    case 1186:  // interval
      return {kAdVarChar, 255};
    case 1700: {
      TypeInfo info{kAdNumeric, FixedSize(kAdNumeric)};
      if (type_modifier >= 4) {
        info.precision = static_cast<uint8_t>(std::min((type_modifier - 4) >> 16, 255));
        info.scale = static_cast<uint8_t>(std::min((type_modifier - 4) & 0xffff, 255));
      }
      return info;
    }
    default:
      return Sized(type, 0);
  }
}

}  // namespace fennick::data
