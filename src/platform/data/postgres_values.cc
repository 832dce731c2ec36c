// Reading PostgreSQL's text forms into column storage.
#include "platform/data/postgres_values.h"

#include "platform/data/value_text.h"

namespace fennick::data {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool DecodeBytea(std::string_view text, std::string& out) {
  if (text.size() < 2 || text[0] != '\\' || text[1] != 'x' || text.size() % 2 != 0) return false;
  out.clear();
  out.reserve((text.size() - 2) / 2);
  for (size_t i = 2; i < text.size(); i += 2) {
    int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<char>(hi * 16 + lo));
  }
  return true;
}

// money in the C locale: "$1,234.56", "-$0.50".
bool ParseMoney(std::string_view text, int64_t& amount) {
  std::string digits;
  for (char c : text) {
    if (c == '$' || c == ',') continue;
    digits.push_back(c);
  }
  return ParseCurrency(digits, amount);
}

}  // namespace

PostgresReader PostgresReaderFor(uint32_t oid, int32_t ado_type) {
  switch (oid) {
    case 16:
      return PostgresReader::kBoolean;
    case 17:
      return PostgresReader::kBytea;
    case 20:
    case 21:
    case 23:
    case 26:
      return PostgresReader::kInteger;
    case 790:
      return PostgresReader::kCurrency;
    case 700:
    case 701:
    case 1700:
      return PostgresReader::kReal;
    case 1082:
    case 1083:
    case 1114:
    case 1184:
    case 1266:
      return PostgresReader::kDate;
    default:
      break;
  }
  return ado_type == kAdLongVarBinary ? PostgresReader::kBytea : PostgresReader::kText;
}

void AppendPostgresValue(Column& column, PostgresReader reader, std::string_view text,
                         std::string& scratch) {
  switch (reader) {
    case PostgresReader::kInteger: {
      int64_t v;
      if (ParseInteger(text, v)) {
        column.AppendInteger(v);
        return;
      }
      break;
    }
    case PostgresReader::kBoolean:
      if (text == "t" || text == "f") {
        column.AppendInteger(text == "t" ? 1 : 0);
        return;
      }
      break;
    case PostgresReader::kCurrency: {
      int64_t amount;
      if (ParseMoney(text, amount)) {
        column.AppendInteger(amount);
        return;
      }
      break;
    }
    case PostgresReader::kReal: {
      double v;
      if (ParseEngineDouble(text, v)) {
        column.AppendReal(v);
        return;
      }
      break;
    }
    case PostgresReader::kDate: {
      double date;
      if (ParseIsoDate(text, date)) {
        column.AppendReal(date);
        return;
      }
      break;
    }
    case PostgresReader::kBytea:
      if (DecodeBytea(text, scratch)) {
        column.AppendBytes(scratch);
        return;
      }
      break;
    case PostgresReader::kText:
      column.AppendBytes(text);
      return;
  }
  // A value the reader cannot place ("infinity", a BC date): keep its text.
  column.AppendVariant(Variant(text));
}

std::string PostgresParameterText(const Variant& value) {
  switch (value.type()) {
    case VarType::kBoolean:
      return value.AsBool() ? "true" : "false";
    case VarType::kDate:
      return FormatIsoDate(value.AsDate());
    default:
      return value.AsString();
  }
}

}  // namespace fennick::data
