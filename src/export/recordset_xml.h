// The recordset's XML persistence format: a result saved as the "rowset"
// document that the export stylesheets (and page-supplied ones) read.
//
// The document is the classic persisted-rowset shape: a root "xml" with the
// s, dt, rs and z namespaces, an s:Schema with one s:AttributeType per
// column (dt:type and rs:dbtype from the column's type, money as
// "currency"), then rs:data with one z:row per record whose attributes are
// the non-null values (a null is a missing attribute). A column whose name
// is not an XML name is given a made-up name ("c" + position) and keeps its
// own in rs:name.
#ifndef FENNICK_EXPORT_RECORDSET_XML_H_
#define FENNICK_EXPORT_RECORDSET_XML_H_

#include <string>
#include <string_view>

#include "fennick/data.h"
#include "platform/xml/xml_document.h"

namespace fennick {

inline constexpr char kRowsetSchemaNs[] = "uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882";
inline constexpr char kRowsetDataTypeNs[] = "uuid:C2F41010-65B3-11d1-A29F-00AA00C14882";
inline constexpr char kRowsetNs[] = "urn:schemas-microsoft-com:rowset";
inline constexpr char kRowsetRowNs[] = "#RowsetSchema";

// Saves the rows of `recordset` from its current position to the end (the
// recordset is left at EOF). Raises what the recordset raises.
XmlDocument SaveRecordsetXml(Recordset& recordset);

// The dt:type and rs:dbtype ("" when none) of an ADO type code.
std::pair<std::string, std::string> RowsetDataType(int32_t ado_type);

// A value as the persisted document writes it: dates as
// "yyyy-mm-ddThh:mm:ss", booleans "True"/"False", binary as hex, numbers
// in invariant notation.
std::string RowsetValueText(const Variant& value);

// Whether `name` can be used as an XML attribute name as it is.
bool IsXmlName(std::string_view name);

}  // namespace fennick

#endif  // FENNICK_EXPORT_RECORDSET_XML_H_
