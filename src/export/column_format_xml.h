// The "format" element that carries a grid's date and number column
// formats into the rowset-to-table stylesheet.
#ifndef FENNICK_EXPORT_COLUMN_FORMAT_XML_H_
#define FENNICK_EXPORT_COLUMN_FORMAT_XML_H_

#include <string>
#include <string_view>

namespace fennick {

// "<format>" with one empty "datetime" element per entry of `date_list` and
// one "numeric" element per entry of `number_list` (entries
// "name|=|format|||"), each with the attributes name (the column name in
// lower case) and value (the format); "" when both lists hold no entry.
// Built as nodes, so any text in the lists stays an attribute value.
std::string BuildColumnFormatXml(std::string_view date_list, std::string_view number_list);

}  // namespace fennick

#endif  // FENNICK_EXPORT_COLUMN_FORMAT_XML_H_
