// The ODBC type table (see odbc_types.h).
#include "platform/data/odbc_types.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>

#include "base/ascii.h"
#include "fennick/data.h"

namespace fennick::data {
namespace {

// SQL Server's own types, as its ODBC drivers describe them.
constexpr int kSqlServerTime = -154;
constexpr int kSqlServerDateTimeOffset = -155;

TypeInfo Fixed(int32_t type) { return {type, FixedSize(type)}; }

TypeInfo Sized(int32_t type, uint64_t column_size) {
  // Drivers give 0, SQL_NO_TOTAL or a huge size for unbounded columns.
  if (column_size == 0 || column_size >= static_cast<uint64_t>(kUnboundedSize)) {
    return {type, kUnboundedSize};
  }
  return {type, static_cast<int32_t>(column_size)};
}

}  // namespace

TypeInfo OdbcType(int sql_type, uint64_t column_size, int decimal_digits, bool is_unsigned,
                  std::string_view type_name) {
  if (EqualsIgnoreCase(type_name, "money") || EqualsIgnoreCase(type_name, "smallmoney")) {
    return Fixed(kAdCurrency);
  }
  switch (sql_type) {
    case SQL_SMALLINT:
      return Fixed(is_unsigned ? kAdInteger : kAdSmallInt);
    case SQL_INTEGER:
      return Fixed(is_unsigned ? kAdBigInt : kAdInteger);
    case SQL_BIGINT:
      if (is_unsigned) {
        TypeInfo info = Fixed(kAdNumeric);
        info.precision = 20;
        return info;
      }
      return Fixed(kAdBigInt);
    case SQL_TINYINT:
      return Fixed(is_unsigned ? kAdUnsignedTinyInt : kAdTinyInt);
    case SQL_REAL:
      return Fixed(kAdSingle);
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return Fixed(kAdDouble);
    case SQL_DECIMAL:
    case SQL_NUMERIC: {
      TypeInfo info = Fixed(kAdNumeric);
      info.precision = static_cast<uint8_t>(std::min<uint64_t>(column_size, 255));
      info.scale = static_cast<uint8_t>(std::clamp(decimal_digits, 0, 255));
      return info;
    }
    case SQL_BIT:
      return Fixed(kAdBoolean);
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return Fixed(kAdDBDate);
    case SQL_TYPE_TIME:
    case SQL_TIME:
    case kSqlServerTime:
      return Fixed(kAdDBTime);
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
    case kSqlServerDateTimeOffset:
      return Fixed(kAdDBTimeStamp);
    case SQL_GUID:
      return Fixed(kAdGuid);
    case SQL_CHAR:
      return Sized(kAdChar, column_size);
    case SQL_WCHAR:
      return Sized(kAdWChar, column_size);
    case SQL_VARCHAR:
      return Sized(kAdVarChar, column_size);
    case SQL_WVARCHAR:
      return Sized(kAdVarWChar, column_size);
    // Long types are unbounded whatever size the driver names (psqlODBC
    // gives its read limit for text).
    case SQL_LONGVARCHAR:
      return {kAdLongVarChar, kUnboundedSize};
    case SQL_WLONGVARCHAR:
      return {kAdLongVarWChar, kUnboundedSize};
    case SQL_BINARY:
      return Sized(kAdBinary, column_size);
    case SQL_VARBINARY:
      return Sized(kAdVarBinary, column_size);
    case SQL_LONGVARBINARY:
      return {kAdLongVarBinary, kUnboundedSize};
    default:
      return Sized(kAdVarChar, column_size);
  }
}

}  // namespace fennick::data
