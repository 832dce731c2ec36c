// The ODBC type table (see odbc_types.h), and the UTF-16 text the driver
// manager speaks.
#include "platform/data/odbc_types.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>

#include "base/ascii.h"
#include "fennick/data.h"
#include "platform/data/odbc_connection.h"

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

// The driver manager's wide-character calls take and give UTF-16; pages
// and the rest of Fennick speak UTF-8. A malformed sequence becomes U+FFFD
// in either direction.
std::u16string ToWide(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    int extra = c >= 0xF8 ? -1 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    char32_t code = extra == 3 ? c & 0x07 : extra == 2 ? c & 0x0F : c & 0x1F;
    bool valid = extra > 0 && i + static_cast<size_t>(extra) < utf8.size();
    for (int k = 1; valid && k <= extra; ++k) {
      unsigned char n = static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]);
      if ((n & 0xC0) != 0x80) valid = false;
      code = (code << 6) | (n & 0x3F);
    }
    if (!valid || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    i += static_cast<size_t>(extra) + 1;
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return out;
}

void AppendUtf8(const char16_t* text, size_t length, std::string& out) {
  for (size_t i = 0; i < length; ++i) {
    char32_t c = text[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace fennick::data
