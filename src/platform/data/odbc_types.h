// How ODBC's SQL types become ADO type codes, as ODBC's OLE DB provider
// maps them; kept beside the other engines' tables in spirit, in a file of
// its own so the ODBC driver's table reads in one place.
//
//  ODBC SQL type                         ADO code
//  SQL_SMALLINT                          2 SmallInt (unsigned: 3 Integer)
//  SQL_INTEGER                           3 Integer (unsigned: 20 BigInt)
//  SQL_BIGINT                            20 BigInt (unsigned: 131 Numeric)
//  SQL_TINYINT                           16 TinyInt (unsigned: 17)
//  SQL_REAL                              4 Single
//  SQL_FLOAT, SQL_DOUBLE                 5 Double
//  SQL_DECIMAL, SQL_NUMERIC              131 Numeric; 6 Currency when the
//                                        type is named money or smallmoney
//  SQL_BIT                               11 Boolean
//  SQL_TYPE_DATE                         133 DBDate
//  SQL_TYPE_TIME, SQL Server's time      134 DBTime
//  SQL_TYPE_TIMESTAMP, datetimeoffset    135 DBTimeStamp
//  SQL_GUID                              72 Guid
//  SQL_CHAR / SQL_WCHAR                  129 Char / 130 WChar
//  SQL_VARCHAR / SQL_WVARCHAR            200 VarChar / 202 VarWChar
//  SQL_LONGVARCHAR / SQL_WLONGVARCHAR    201 LongVarChar / 203 LongVarWChar
//  SQL_BINARY / SQL_VARBINARY            128 Binary / 204 VarBinary
//  SQL_LONGVARBINARY                     205 LongVarBinary
//  anything else (intervals, xml, ...)   200 VarChar, read as text
//
// A type named money or smallmoney (SQL Server, PostgreSQL) is Currency
// whatever SQL type the driver gives it.
#ifndef FENNICK_PLATFORM_DATA_ODBC_TYPES_H_
#define FENNICK_PLATFORM_DATA_ODBC_TYPES_H_

#include <cstdint>
#include <string_view>

#include "platform/data/type_map.h"

namespace fennick::data {

// `column_size` and `decimal_digits` as SQLDescribeCol gives them (for
// text in characters, 0 or a huge value when unbounded); `type_name` the
// driver's name of the type ("money", "int4").
TypeInfo OdbcType(int sql_type, uint64_t column_size, int decimal_digits, bool is_unsigned,
                  std::string_view type_name);

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_ODBC_TYPES_H_
