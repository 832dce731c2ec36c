// The footer rows of exports in each format.
#include "export/export_footers.h"

#include "export/export_table.h"
#include "export/exporter_base.h"
#include "export/office_formats.h"
#include "export/xml_text.h"
#include "fennick/variant.h"

namespace fennick {

void AppendDelimitedFooters(const std::vector<ExportFooterRow>& rows,
                            const DelimitedTextOptions& options, size_t field_count,
                            std::string& out) {
  std::vector<size_t> shown;
  for (size_t i : options.columns) {
    if (i < field_count) shown.push_back(i);
  }
  if (options.columns.empty()) {
    for (size_t i = 0; i < field_count; ++i) shown.push_back(i);
  }
  for (const ExportFooterRow& row : rows) {
    for (size_t k = 0; k < shown.size(); ++k) {
      if (k > 0) out.append(options.column_separator);
      const ExportFooterValue* value = row.At(shown[k]);
      if (value) {
        // Quoted like every CSV value of the rows.
        if (options.csv) out.push_back('"');
        out.append(ExportValueText(Variant(value->number)));
        if (options.csv) out.push_back('"');
      } else if (k == 0) {
        // The label is the grid's own word, never a formula.
        if (options.csv) out.push_back('"');
        out.append(row.label);
        if (options.csv) out.push_back('"');
      } else if (!options.csv) {
        out.append(options.null_text);
      }
    }
    out.append(options.row_separator);
  }
}

void AppendTableFooters(const std::vector<ExportFooterRow>& rows,
                        const std::vector<size_t>& fields, bool office_values, std::string& out) {
  for (const ExportFooterRow& row : rows) {
    out.append("<tr>");
    for (size_t k = 0; k < fields.size(); ++k) {
      const ExportFooterValue* value = row.At(fields[k]);
      if (value) {
        out.append("<td");
        if (office_values) AppendOfficeValue(value->number, out);
        out.append(">");
        AppendXmlContent(value->text, out);
        out.append("</td>");
      } else if (k == 0) {
        out.append("<td><b>");
        AppendXmlContent(row.label, out);
        out.append("</b></td>");
      } else {
        out.append("<td/>");
      }
    }
    out.append("</tr>");
  }
}

void AppendDatasetFooters(const std::vector<ExportFooterRow>& rows, const ExportTable& table,
                          std::string& out) {
  if (rows.empty()) return;
  out.append("  <datafooters>\n");
  for (const ExportFooterRow& row : rows) {
    out.append("    <datafooter label=\"");
    AppendXmlAttribute(row.label, out);
    out.append("\">\n");
    for (size_t k = 0; k < table.ColumnCount(); ++k) {
      const ExportFooterValue* value = row.At(table.FieldOf(k));
      out.append("      <datacolumn name=\"");
      out.append(table.CaptionAttributeOf(k));
      if (!value) {
        out.append("\"/>\n");
        continue;
      }
      out.append("\">");
      AppendXmlContent(value->text, out);
      out.append("</datacolumn>\n");
    }
    out.append("    </datafooter>\n");
  }
  out.append("  </datafooters>\n");
}

}  // namespace fennick
