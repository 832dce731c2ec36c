// The format element of the export path.
#include "export/column_format_xml.h"

#include "base/ascii.h"
#include "platform/xml/xml_document.h"

namespace fennick {
namespace {

// Adds one element per "name|=|format" item of a "|||"-separated list.
bool AddEntries(XmlNode format, std::string_view kind, std::string_view list) {
  constexpr std::string_view kItemEnd = "|||";
  constexpr std::string_view kKeyEnd = "|=|";
  bool added = false;
  while (!list.empty()) {
    size_t end = list.find(kItemEnd);
    std::string_view item = list.substr(0, end);
    list = end == std::string_view::npos ? std::string_view() : list.substr(end + kItemEnd.size());
    size_t key_end = item.find(kKeyEnd);
    if (key_end == std::string_view::npos) continue;
    std::string_view name = TrimBlanks(item.substr(0, key_end));
    if (name.empty()) continue;
    XmlNode entry = format.AppendElement(kind);
    entry.SetAttribute("name", AsciiLower(name));
    entry.SetAttribute("value", item.substr(key_end + kKeyEnd.size()));
    added = true;
  }
  return added;
}

}  // namespace

std::string BuildColumnFormatXml(std::string_view date_list, std::string_view number_list) {
  XmlDocument doc = XmlDocument::WithRoot("format");
  bool dates = AddEntries(doc.Root(), "datetime", date_list);
  bool numbers = AddEntries(doc.Root(), "numeric", number_list);
  if (!dates && !numbers) return "";
  return doc.Root().OuterXml();
}

}  // namespace fennick
