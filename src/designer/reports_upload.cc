// Reading an uploaded reports file as data.
#include "designer/reports_upload.h"

#include "base/ascii.h"
#include "designer/report_id.h"
#include "designer/reports_file.h"

namespace fennick::designer {
namespace {

// Why the text may not reach the XML parser, or "". The parser never loads
// a DTD, but an internal subset alone declares entities it would expand or
// keep; and bytes in another encoding could hide a declaration from this
// search, so only UTF-8 (ASCII) and ISO-8859-1 are read.
std::string DataOnlyRefusal(std::string_view text) {
  if (text.find('\0') != std::string_view::npos ||
      (text.size() >= 2 && static_cast<unsigned char>(text[0]) >= 0xFE &&
       static_cast<unsigned char>(text[1]) >= 0xFE)) {
    return "The upload is not UTF-8 text";
  }
  if (FindIgnoreCase(text, "<!DOCTYPE") != std::string_view::npos ||
      FindIgnoreCase(text, "<!ENTITY") != std::string_view::npos) {
    return "A reports file holds no document type declaration (<!DOCTYPE>)";
  }
  std::string_view head = text;
  if (head.substr(0, 3) == "\xEF\xBB\xBF") head.remove_prefix(3);
  if (head.substr(0, 5) == "<?xml") {
    std::string_view declaration = head.substr(0, head.find("?>"));
    const size_t at = declaration.find("encoding");
    if (at != std::string_view::npos) {
      std::string_view rest = declaration.substr(at + 8);
      const size_t open = rest.find_first_of("\"'");
      const size_t close = open == std::string_view::npos ? open : rest.find(rest[open], open + 1);
      const std::string_view name = close == std::string_view::npos
                                        ? std::string_view()
                                        : rest.substr(open + 1, close - open - 1);
      if (!EqualsIgnoreCase(name, "UTF-8") && !EqualsIgnoreCase(name, "US-ASCII") &&
          !EqualsIgnoreCase(name, "ASCII") && !EqualsIgnoreCase(name, "ISO-8859-1")) {
        return "The upload's encoding must be UTF-8 or ISO-8859-1";
      }
    }
  }
  return std::string();
}

}  // namespace

UploadedReports ReadUploadedReports(std::string_view text) {
  UploadedReports out;
  if (text.size() > kMaxUploadBytes) {
    out.error = "The upload is larger than " + std::to_string(kMaxUploadBytes / 1024) + " KB";
    out.too_large = true;
    return out;
  }
  out.error = DataOnlyRefusal(text);
  if (!out.ok()) return out;
  OpenedReports parsed = ParseReports(text);
  if (!parsed.ok()) {
    out.error = "The uploaded file is not a reports file: " + parsed.error;
    return out;
  }
  const XmlNode root = parsed.document.Root();
  if (root.Attribute("version").value_or("") != "2") {
    out.error = "The uploaded reports file is not of version 2";
    return out;
  }
  // One attribute, within its cap; false (with the reason) when over.
  auto take = [&out](const XmlNode& node, std::string_view name, size_t cap, std::string* value) {
    *value = node.Attribute(name).value_or("");
    if (value->size() <= cap) return true;
    out.error = "The " + node.Name() + " \"" + NormalizeId(node.Attribute("id").value_or("")) +
                "\" has a " + std::string(name) + " longer than " + std::to_string(cap) + " bytes";
    return false;
  };
  for (const XmlNode& node : root.FirstElement().Elements()) {
    if (node.Name() != "group") continue;
    UploadedGroup group;
    if (!take(node, "id", kMaxShortAttributeBytes, &group.id) ||
        !take(node, "title", kMaxTitleBytes, &group.title)) {
      return out;
    }
    group.id = NormalizeId(group.id);
    if (!group.id.empty() && !IsAcceptableNewId(group.id)) {
      out.error = "A group id may hold only letters, digits, \"-\" and \"_\": " + group.id;
      return out;
    }
    out.groups.push_back(std::move(group));
  }
  for (const XmlNode& node : root.FirstElement().NextElement().Elements()) {
    if (node.Name() != "report") continue;
    UploadedReport report;
    const std::pair<const char*, std::string*> shorts[] = {{"id", &report.id},
                                                           {"group", &report.group},
                                                           {"added", &report.added},
                                                           {"modified", &report.modified},
                                                           {"ip", &report.ip},
                                                           {"createdby", &report.createdby},
                                                           {"modifiedby", &report.modifiedby}};
    for (const auto& [name, value] : shorts) {
      if (!take(node, name, kMaxShortAttributeBytes, value)) return out;
    }
    if (!take(node, "args", kMaxArgsBytes, &report.args) ||
        !take(node, "title", kMaxTitleBytes, &report.title)) {
      return out;
    }
    report.description = node.Text();
    if (report.description.size() > kMaxDescriptionBytes) {
      out.error = "The report \"" + NormalizeId(report.id) + "\" has a description longer than " +
                  std::to_string(kMaxDescriptionBytes) + " bytes";
      return out;
    }
    report.id = NormalizeId(report.id);
    report.group = NormalizeId(report.group);
    out.reports.push_back(std::move(report));
  }
  return out;
}

}  // namespace fennick::designer
