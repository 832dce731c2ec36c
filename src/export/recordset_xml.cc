// Saving a recordset in the persisted-rowset XML format.
#include "export/recordset_xml.h"

#include <set>

#include "base/ascii.h"
#include "fennick/variant.h"
#include "platform/xml/xml_chars.h"

namespace fennick {

std::pair<std::string, std::string> RowsetDataType(int32_t ado_type) {
  switch (ado_type) {
    case kAdSmallInt: return {"i2", ""};
    case kAdInteger: return {"int", ""};
    case kAdSingle: return {"r4", ""};
    case kAdDouble: return {"float", ""};
    case kAdCurrency: return {"number", "currency"};
    case kAdDate: return {"dateTime", "variantdate"};
    case kAdDBDate: return {"date", ""};
    case kAdDBTime: return {"time", ""};
    case kAdDBTimeStamp: return {"dateTime", "timestamp"};
    case kAdBoolean: return {"boolean", ""};
    case kAdDecimal: return {"number", "decimal"};
    case kAdNumeric: return {"number", "numeric"};
    case kAdTinyInt: return {"i1", ""};
    case kAdUnsignedTinyInt: return {"ui1", ""};
    case kAdBigInt: return {"i8", ""};
    case kAdGuid: return {"uuid", ""};
    case kAdBinary:
    case kAdVarBinary:
    case kAdLongVarBinary: return {"bin.hex", ""};
    case kAdChar:
    case kAdVarChar:
    case kAdLongVarChar: return {"string", "str"};
    default: return {"string", ""};
  }
}

std::string RowsetValueText(const Variant& value) {
  switch (value.type()) {
    case VarType::kDate: {
      // The time of day is always written, so formats that show it see it.
      DateParts p = SplitOleDate(value.AsDate());
      char text[32];
      std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day,
                    p.hour, p.minute, p.second);
      return text;
    }
    case VarType::kBoolean: return value.AsBool() ? "True" : "False";
    case VarType::kBinary: {
      static constexpr char kHex[] = "0123456789abcdef";
      std::string hex;
      hex.reserve(value.Bytes().size() * 2);
      for (unsigned char c : value.Bytes()) {
        hex.push_back(kHex[c >> 4]);
        hex.push_back(kHex[c & 15]);
      }
      return hex;
    }
    default: return value.AsString();
  }
}

bool IsXmlName(std::string_view name) {
  if (name.empty()) return false;
  // ASCII letters, digits, "_", "-" and "." (not first, and no ":" since
  // the name must not reach a namespace), or any non-ASCII byte of a UTF-8
  // letter; names starting with "xml" are reserved.
  auto start_char = [](unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
  };
  auto name_char = [&](unsigned char c) {
    return start_char(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
  };
  if (!start_char(static_cast<unsigned char>(name[0]))) return false;
  for (unsigned char c : name) {
    if (!name_char(c)) return false;
  }
  if (StartsWithIgnoreCase(name, "xml")) return false;
  // Non-ASCII letters as the parser reads them: a byte that is not UTF-8,
  // or a character such as U+00D7 that no name may hold, makes a name up.
  return IsXmlNcName(name);
}

XmlDocument SaveRecordsetXml(Recordset& recordset) {
  XmlParseResult base = XmlDocument::Parse(
      std::string("<xml xmlns:s=\"") + kRowsetSchemaNs + "\" xmlns:dt=\"" + kRowsetDataTypeNs +
      "\" xmlns:rs=\"" + kRowsetNs + "\" xmlns:z=\"" + kRowsetRowNs +
      "\"><s:Schema id=\"RowsetSchema\"><s:ElementType name=\"row\" content=\"eltOnly\"/>"
      "</s:Schema><rs:data/></xml>");
  XmlDocument doc = std::move(base.document);
  XmlNode element_type = doc.SelectFirst("/xml/s:Schema/s:ElementType");
  XmlNode data = doc.SelectFirst("/xml/rs:data");

  // Namespaced names are built through the prefixes the root declares: a
  // new node named "s:AttributeType" is given that namespace on output and
  // in XPath alike, because the serialiser and the reparse below agree.
  const size_t count = recordset.FieldCount();
  std::vector<std::string> names(count);
  std::set<std::string> used;
  for (size_t i = 0; i < count; ++i) {
    const std::string& name = recordset.Fields(i).Name();
    if (IsXmlName(name) && used.insert(name).second) names[i] = name;
  }
  std::string schema;
  for (size_t i = 0; i < count; ++i) {
    Field field = recordset.Fields(i);
    const std::string& real = field.Name();
    if (names[i].empty()) {
      std::string made = "c" + std::to_string(i + 1);
      while (!used.insert(made).second) made = "_" + made;
      names[i] = made;
    }
    auto [dt_type, db_type] = RowsetDataType(field.Type());
    schema += "<s:AttributeType name=\"" + XmlEscape(names[i]) + "\"";
    if (names[i] != real) schema += " rs:name=\"" + XmlEscape(real) + "\"";
    schema += " rs:number=\"" + std::to_string(i + 1) + "\" rs:nullable=\"true\">";
    schema += "<s:datatype dt:type=\"" + dt_type + "\"";
    if (!db_type.empty()) schema += " rs:dbtype=\"" + db_type + "\"";
    schema += " dt:maxLength=\"" + std::to_string(field.DefinedSize()) + "\"/></s:AttributeType>";
  }
  schema += "<s:extends type=\"rs:rowbase\"/>";
  // The schema is small and made of escaped text: parsed as one fragment
  // inside a wrapper that declares the prefixes, then copied in.
  XmlParseResult fragment = XmlDocument::Parse(
      std::string("<w xmlns:s=\"") + kRowsetSchemaNs + "\" xmlns:dt=\"" + kRowsetDataTypeNs +
      "\" xmlns:rs=\"" + kRowsetNs + "\">" + schema + "</w>");
  for (XmlNode node : fragment.document.Root().Elements()) element_type.AppendCopy(node);

  XmlParseResult row_template = XmlDocument::Parse(
      std::string("<z:row xmlns:z=\"") + kRowsetRowNs + "\"/>");
  XmlNode empty_row = row_template.document.Root();
  while (!recordset.Eof()) {
    XmlNode row = data.AppendCopy(empty_row);
    for (size_t i = 0; i < count; ++i) {
      Field field = recordset.Fields(i);
      if (field.IsNull()) continue;
      row.SetAttribute(names[i], RowsetValueText(field.Value()));
    }
    recordset.MoveNext();
  }
  // The copies carry their own namespace declarations; a round trip
  // through text makes them the root's again, as a saved rowset has them.
  XmlParseResult clean = XmlDocument::Parse(doc.Serialize({.declaration = false}));
  return std::move(clean.document);
}

}  // namespace fennick
