// MySQL and MariaDB columns as ADO types, and their values (sent as text)
// read into column storage.
//
//  ADO code             MySQL column type
//  16  TinyInt          TINYINT
//  17  UnsignedTinyInt  TINYINT UNSIGNED
//  2   SmallInt         SMALLINT, YEAR
//  3   Integer          SMALLINT UNSIGNED, MEDIUMINT (UNSIGNED), INT
//  20  BigInt           INT UNSIGNED, BIGINT, BIGINT UNSIGNED, BIT(n > 1)
//  11  Boolean          BIT(1)
//  4   Single           FLOAT
//  5   Double           DOUBLE
//  131 Numeric          DECIMAL(p,s)
//  133 DBDate           DATE
//  134 DBTime           TIME
//  135 DBTimeStamp      DATETIME, TIMESTAMP
//  129 Char             CHAR(n), ENUM, SET
//  200 VarChar          VARCHAR(n)
//  201 LongVarChar      TINYTEXT ... LONGTEXT, JSON
//  128 Binary           BINARY(n)
//  204 VarBinary        VARBINARY(n)
//  205 LongVarBinary    TINYBLOB ... LONGBLOB, GEOMETRY
//
// Unsigned integers take the next wider signed type, as ADO's unsigned
// codes mean nothing to most pages; a BIGINT UNSIGNED value beyond the
// 64-bit range keeps its value as a Decimal. Text and binary lengths are in
// characters, from the byte length the server gives and the largest
// character of the column's character set. Zero dates ("0000-00-00", and
// dates with a zero month or day) read as Null.
#include <cstring>

#include "platform/data/mysql_connection.h"
#include "platform/data/type_map.h"
#include "platform/data/value_text.h"

namespace fennick::data {
namespace {

constexpr unsigned int kBinaryCharset = 63;

int32_t Characters(const MYSQL_FIELD& field) {
  unsigned int per_char = 1;
  if (field.charsetnr != kBinaryCharset) {
    const MARIADB_CHARSET_INFO* charset = mariadb_get_charset_by_nr(field.charsetnr);
    per_char = charset != nullptr && charset->char_maxlen > 0 ? charset->char_maxlen : 1;
  }
  unsigned long length = field.length / per_char;
  return length > static_cast<unsigned long>(kUnboundedSize) ? kUnboundedSize
                                                             : static_cast<int32_t>(length);
}

MysqlColumnType Fixed(int32_t type, MysqlReader reader) {
  return {type, FixedSize(type), 0, 0, reader};
}

// A zero date or a date with a zero month or day: "0000-00-00",
// "2004-00-10", "0000-00-00 00:00:00".
bool IsZeroDate(std::string_view text) {
  if (text.size() < 10 || text[4] != '-' || text[7] != '-') return false;
  return text.substr(0, 4) == "0000" || text.substr(5, 2) == "00" || text.substr(8, 2) == "00";
}

}  // namespace

MysqlColumnType MysqlFieldType(const MYSQL_FIELD& field) {
  const bool is_unsigned = (field.flags & UNSIGNED_FLAG) != 0;
  const bool binary = field.charsetnr == kBinaryCharset;
  switch (field.type) {
    case MYSQL_TYPE_TINY:
      return Fixed(is_unsigned ? kAdUnsignedTinyInt : kAdTinyInt, MysqlReader::kInteger);
    case MYSQL_TYPE_SHORT:
      return Fixed(is_unsigned ? kAdInteger : kAdSmallInt, MysqlReader::kInteger);
    case MYSQL_TYPE_YEAR:
      return Fixed(kAdSmallInt, MysqlReader::kInteger);
    case MYSQL_TYPE_INT24:
      return Fixed(kAdInteger, MysqlReader::kInteger);
    case MYSQL_TYPE_LONG:
      return Fixed(is_unsigned ? kAdBigInt : kAdInteger, MysqlReader::kInteger);
    case MYSQL_TYPE_LONGLONG:
      return Fixed(kAdBigInt, is_unsigned ? MysqlReader::kUnsigned : MysqlReader::kInteger);
    case MYSQL_TYPE_BIT:
      if (field.length == 1) return Fixed(kAdBoolean, MysqlReader::kBit);
      return Fixed(kAdBigInt, MysqlReader::kBit);
    case MYSQL_TYPE_FLOAT:
      return Fixed(kAdSingle, MysqlReader::kReal);
    case MYSQL_TYPE_DOUBLE:
      return Fixed(kAdDouble, MysqlReader::kReal);
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL: {
      // The display length counts the sign and the decimal point.
      unsigned long digits = field.length;
      if (field.decimals > 0 && digits > 0) --digits;
      if (!is_unsigned && digits > 0) --digits;
      MysqlColumnType type = Fixed(kAdNumeric, MysqlReader::kReal);
      type.precision = static_cast<uint8_t>(std::min<unsigned long>(digits, 255));
      type.scale = static_cast<uint8_t>(std::min<unsigned int>(field.decimals, 255));
      return type;
    }
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
      return Fixed(kAdDBDate, MysqlReader::kDate);
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_TIME2:
      return Fixed(kAdDBTime, MysqlReader::kDate);
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_DATETIME2:
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_TIMESTAMP2:
      return Fixed(kAdDBTimeStamp, MysqlReader::kDate);
    case MYSQL_TYPE_STRING:
    case MYSQL_TYPE_ENUM:
    case MYSQL_TYPE_SET:
      return {binary ? kAdBinary : kAdChar, Characters(field), 0, 0, MysqlReader::kBytes};
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_VAR_STRING:
      return {binary ? kAdVarBinary : kAdVarChar, Characters(field), 0, 0, MysqlReader::kBytes};
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB:
      return {binary ? kAdLongVarBinary : kAdLongVarChar, kUnboundedSize, 0, 0,
              MysqlReader::kBytes};
    case MYSQL_TYPE_GEOMETRY:
      return {kAdLongVarBinary, kUnboundedSize, 0, 0, MysqlReader::kBytes};
    case MYSQL_TYPE_NULL:
      return {kAdVarChar, 0, 0, 0, MysqlReader::kBytes};
    default:  // JSON and whatever a newer server sends
      return {kAdLongVarChar, kUnboundedSize, 0, 0, MysqlReader::kBytes};
  }
}

void AppendMysqlValue(Column& column, MysqlReader reader, std::string_view text) {
  switch (reader) {
    case MysqlReader::kInteger: {
      int64_t v;
      if (ParseInteger(text, v)) {
        column.AppendInteger(v);
        return;
      }
      break;
    }
    case MysqlReader::kUnsigned: {
      int64_t v;
      if (ParseInteger(text, v)) {
        column.AppendInteger(v);
        return;
      }
      double big;
      if (ParseEngineDouble(text, big)) {
        column.AppendVariant(Variant::Decimal(big));
        return;
      }
      break;
    }
    case MysqlReader::kBit: {
      // BIT values arrive as their bytes, most significant first.
      uint64_t v = 0;
      for (unsigned char c : text) v = (v << 8) | c;
      column.AppendInteger(static_cast<int64_t>(v));
      return;
    }
    case MysqlReader::kReal: {
      double v;
      if (ParseEngineDouble(text, v)) {
        column.AppendReal(v);
        return;
      }
      break;
    }
    case MysqlReader::kDate: {
      if (IsZeroDate(text)) {
        column.AppendNull();
        return;
      }
      double date;
      if (ParseIsoDate(text, date)) {
        // A column already holding a kept text holds Variants: the date
        // must stay a date there.
        if (column.storage() == Storage::kVariant) {
          column.AppendVariant(Variant::Date(date));
        } else {
          column.AppendReal(date);
        }
        return;
      }
      break;
    }
    case MysqlReader::kBytes:
      column.AppendBytes(text);
      return;
  }
  // A value the reader cannot place (a TIME beyond one day): keep its text.
  column.AppendVariant(Variant(text));
}

}  // namespace fennick::data
