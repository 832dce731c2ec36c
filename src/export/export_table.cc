// The second-generation export table, written from the rows.
#include "export/export_table.h"

#include <cmath>
#include <cstdlib>

#include "base/ascii.h"
#include "export/export_functions.h"
#include "export/office_formats.h"
#include "export/recordset_xml.h"
#include "export/xml_text.h"
#include "fennick/error.h"
#include "platform/xml/xml_document.h"

namespace fennick {
namespace {

constexpr char kSource[] = "Fennick.DataSetExporter2";

// A format entry of the "format" element: its kind (element name), the
// column name it is for and the format.
struct FormatEntry {
  std::string kind, name, value;
};

std::vector<FormatEntry> ReadFormatEntries(std::string_view xml) {
  std::vector<FormatEntry> entries;
  if (TrimBlanks(xml).empty()) return entries;
  XmlParseResult parsed = XmlDocument::Parse(xml);
  if (!parsed.ok()) {
    throw Error(kErrInvalidCall, "XML Error: the column formats do not parse: " + parsed.error,
                kSource);
  }
  for (XmlNode entry : parsed.document.Root().Elements()) {
    entries.push_back({entry.Name(), entry.Attribute("name").value_or(""),
                       entry.Attribute("value").value_or("")});
  }
  return entries;
}

}  // namespace

// One shown column: where its values are, how its cells are written.
struct ExportTable::Column {
  size_t field = 0;
  std::string caption;
  std::string caption_attribute;  // escaped for the dataset's name=""
  enum class Kind { kNumeric, kDate, kOther } kind = Kind::kOther;
  bool money = false;
  std::string format;  // "" when the column has none
  // Numbers whose format writes them as numbers (kinds 1 to 3).
  bool typed_number = false;
  // Office number formats: of the format (dates: without a time of day),
  // and of dates with a time.
  OfficeCellFormat office, office_with_time;
};

ExportTable::ExportTable(Recordset& rows, const ExportTableOptions& options)
    : table_attributes_(options.table_attributes),
      header_row_attributes_(options.header_row_attributes),
      euro_(options.euro),
      office_values_(options.office_values),
      office_text_(options.office_text) {
  const std::vector<FormatEntry> entries = ReadFormatEntries(options.col_format_xml);
  std::vector<size_t> shown = options.columns;
  if (shown.empty()) {
    for (size_t i = 0; i < rows.FieldCount(); ++i) shown.push_back(i);
  }
  auto columns = std::make_shared<std::vector<Column>>();
  for (size_t field : shown) {
    if (field >= rows.FieldCount()) continue;
    Field f = rows.Fields(field);
    Column c;
    c.field = field;
    c.caption = field < options.headers.size() ? options.headers[field] : f.Name();
    AppendXmlAttribute(c.caption, c.caption_attribute);
    // The kinds of the persisted rowset's data types: every number type is
    // numeric, and so a number format applies to it as on the screen.
    const std::string dt_type = RowsetDataType(f.Type()).first;
    static constexpr std::string_view kNumericTypes[] = {"int",   "number", "r4", "i2",
                                                         "float", "i1",     "i8", "ui1"};
    for (std::string_view type : kNumericTypes) {
      if (dt_type == type) c.kind = Column::Kind::kNumeric;
    }
    if (dt_type == "dateTime" || dt_type == "date" || dt_type == "time") {
      c.kind = Column::Kind::kDate;
    }
    c.money = f.Type() == kAdCurrency;
    // The first entry of the column's kind named by the column's name (in
    // lower case), bare or after a table and ".", as the rowset-to-table
    // stylesheet finds it.
    const std::string name = AsciiLower(f.Name());
    const char* kind = c.kind == Column::Kind::kNumeric ? "numeric"
                       : c.kind == Column::Kind::kDate  ? "datetime"
                                                        : nullptr;
    auto names_column = [&name](const std::string& entry) {
      return entry == name ||
             (entry.size() > name.size() &&
              entry.compare(entry.size() - name.size() - 1, std::string::npos, "." + name) == 0);
    };
    for (const FormatEntry& entry : entries) {
      if (kind != nullptr && entry.kind == kind && names_column(entry.name)) {
        c.format = entry.value;
        break;
      }
    }
    if (options.office_values) {
      if (c.kind == Column::Kind::kNumeric && !c.format.empty()) {
        // Only formats the number formatter writes as numbers.
        const std::string probe = FormatExportNumber(1.0, c.format);
        c.typed_number = probe != c.format && c.format[0] >= '1' && c.format[0] <= '3';
        if (c.typed_number) {
          int decimals = -1;
          std::string_view rest = TrimBlanks(std::string_view(c.format).substr(1));
          if (!rest.empty()) decimals = std::atoi(std::string(rest).c_str());
          c.office = OfficeNumberFormat(c.format[0], decimals);
        }
      } else if (c.kind == Column::Kind::kNumeric && c.money) {
        c.office = OfficeMoneyFormat();
      } else if (c.kind == Column::Kind::kDate) {
        c.office =
            c.format.empty() ? OfficeIsoDateFormat(false) : OfficeDateFormat(c.format, false);
        c.office_with_time =
            c.format.empty() ? OfficeIsoDateFormat(true) : OfficeDateFormat(c.format, true);
      }
    }
    columns->push_back(std::move(c));
  }
  columns_ = std::move(columns);
}

void ExportTable::AppendHead(std::string& out) const {
  out += "<table";
  out += table_attributes_;
  out += "><thead><tr";
  out += header_row_attributes_;
  if (columns_->empty()) {
    out += "/></thead>";
    return;
  }
  out += ">";
  for (const Column& c : *columns_) {
    if (c.caption.empty()) {
      out += "<th/>";
      continue;
    }
    out += "<th>";
    AppendXmlContent(c.caption, out);
    out += "</th>";
  }
  out += "</tr></thead>";
}

struct ExportTable::Cell {
  std::string_view text;  // as shown
  // The number format and value of a cell a spreadsheet reads as a number
  // or date; null for text.
  const OfficeCellFormat* office = nullptr;
  double number = 0;
  bool mark_text = false;
};

ExportTable::Cell ExportTable::MakeCell(const Column& c, const Variant& value, std::string& base,
                                        std::string& shown) const {
  Cell cell;
  // The value as the persisted rowset holds it.
  std::string_view text;
  if (value.IsString()) {
    text = value.Bytes();
  } else {
    base = RowsetValueText(value);
    text = base;
  }
  cell.text = text;
  if (c.kind == Column::Kind::kDate) {
    double date = 0;
    const bool is_date = ParseExportDate(text, date);
    if (!c.format.empty()) {
      if (is_date) {
        shown = FormatExportDate(date, c.format);
        cell.text = shown;
      }
    } else if (text.find("T00:00:00") != std::string_view::npos) {
      cell.text = text.substr(0, 10);
    } else if (text.find('T') != std::string_view::npos) {
      shown.assign(text);
      for (char& ch : shown) {
        if (ch == 'T') ch = ' ';
      }
      cell.text = shown;
    }
    if (is_date && office_values_) {
      cell.number = date;
      const bool has_time = c.format.empty() ? cell.text.size() > 10 : date != std::floor(date);
      cell.office = has_time ? &c.office_with_time : &c.office;
    }
  } else if (c.kind == Column::Kind::kNumeric && (!c.format.empty() || c.money)) {
    // A text that is not a number is shown as it is.
    double number = 0;
    if (ParseXPathNumber(text, number)) {
      shown = c.format.empty() ? FormatMoneyPattern(number, euro_)
                               : FormatExportNumber(number, c.format);
      cell.text = shown;
      if (office_values_ && (c.format.empty() || c.typed_number)) {
        cell.number = value.IsNumber() ? value.AsDouble() : number;
        cell.office = &c.office;
      }
    }
  }
  cell.mark_text = office_text_ && cell.office == nullptr && !value.IsNumber() &&
                   value.type() != VarType::kDate && LooksLikeFormula(cell.text);
  return cell;
}

int64_t ExportTable::AppendRows(Recordset& rows, std::string& out) const {
  std::vector<Field> fields;
  for (const Column& c : *columns_) fields.push_back(rows.Fields(c.field));
  std::string base, shown;
  int64_t count = 0;
  for (; !rows.Eof(); rows.MoveNext(), ++count) {
    if (fields.empty()) {
      out += "<tr/>";
      continue;
    }
    out += "<tr>";
    for (size_t i = 0; i < fields.size(); ++i) {
      if (fields[i].IsNull()) {
        out += "<td/>";
        continue;
      }
      // Kept here: the cell's text may point into it.
      const Variant value = fields[i].Value();
      const Cell cell = MakeCell((*columns_)[i], value, base, shown);
      out += "<td";
      if (cell.office != nullptr) {
        out += cell.office->attributes;
        AppendOfficeValue(cell.number, out);
      } else if (cell.mark_text) {
        out += kOfficeTextCell;
      }
      if (cell.text.empty()) {
        out += "/>";
        continue;
      }
      out += ">";
      AppendXmlContent(cell.text, out);
      out += "</td>";
    }
    out += "</tr>";
  }
  return count;
}

size_t ExportTable::ColumnCount() const { return columns_->size(); }

const std::string& ExportTable::Caption(size_t column) const {
  return (*columns_)[column].caption;
}

bool ExportTable::IsNumberColumn(size_t column) const {
  return (*columns_)[column].kind == Column::Kind::kNumeric;
}

const OfficeCellFormat* ExportTable::ColumnOfficeFormat(size_t column, bool with_time) const {
  const Column& c = (*columns_)[column];
  if (c.kind == Column::Kind::kDate) return with_time ? &c.office_with_time : &c.office;
  if (c.kind == Column::Kind::kNumeric) return &c.office;
  return nullptr;
}

std::string ExportTable::FormatColumnNumber(size_t column, double value) const {
  const Column& c = (*columns_)[column];
  if (c.typed_number) return FormatExportNumber(value, c.format);
  if (c.format.empty() && c.money) return FormatMoneyPattern(value, euro_);
  return FormatExportNumber(value, "12");
}

ExportTable::TypedRowReader::TypedRowReader(const ExportTable& table, Recordset& rows,
                                            bool screen_dates)
    : table_(table), screen_dates_(screen_dates) {
  const size_t n = table.columns_->size();
  for (const Column& c : *table.columns_) fields_.push_back(rows.Fields(c.field));
  values_.resize(n);
  base_.resize(n);
  shown_.resize(n);
  cells_.resize(n);
}

const std::vector<ExportTable::TypedCell>& ExportTable::TypedRowReader::Read() {
  static const OfficeCellFormat kGeneral;
  for (size_t i = 0; i < fields_.size(); ++i) {
    TypedCell& out = cells_[i];
    out = TypedCell();
    if (fields_[i].IsNull()) continue;
    const Column& c = (*table_.columns_)[i];
    values_[i] = fields_[i].Value();
    const Cell cell = table_.MakeCell(c, values_[i], base_[i], shown_[i]);
    out.null = false;
    out.text = cell.text;
    out.office = cell.office;
    out.number = cell.number;
    if (screen_dates_ && c.kind == Column::Kind::kDate && c.format.empty() &&
        values_[i].type() == VarType::kDate) {
      shown_[i] = values_[i].AsString();
      out.text = shown_[i];
    }
    // A number the column gives no format is still a number, in the
    // general format, unless its text is not one.
    if (out.office == nullptr && c.kind == Column::Kind::kNumeric && c.format.empty()) {
      double number = 0;
      if (values_[i].IsNumber() && values_[i].type() != VarType::kBoolean) {
        out.number = values_[i].AsDouble();
        out.office = &kGeneral;
      } else if (ParseXPathNumber(cell.text, number)) {
        out.number = number;
        out.office = &kGeneral;
      }
    }
  }
  return cells_;
}

void ExportTable::AppendDatasetHead(std::string& out) const {
  out += "<dataset>\n";
  if (columns_->empty()) return;
  out += "  <datacolumns>\n";
  for (const Column& c : *columns_) {
    out += "    <datacolumn name=\"";
    out += c.caption_attribute;
    out += "\"/>\n";
  }
  out += "  </datacolumns>\n";
}

int64_t ExportTable::AppendDatasetRows(Recordset& rows, std::string& out) const {
  std::vector<Field> fields;
  for (const Column& c : *columns_) fields.push_back(rows.Fields(c.field));
  std::string base, shown;
  int64_t count = 0;
  for (; !rows.Eof(); rows.MoveNext(), ++count) {
    if (fields.empty()) {
      out += "    <datarow/>\n";
      continue;
    }
    out += "    <datarow>\n";
    for (size_t i = 0; i < fields.size(); ++i) {
      const Column& c = (*columns_)[i];
      out += "      <datacolumn name=\"";
      out += c.caption_attribute;
      std::string_view text;
      Variant value;  // the cell's text may point into it
      if (!fields[i].IsNull()) {
        value = fields[i].Value();
        text = MakeCell(c, value, base, shown).text;
      }
      if (text.empty()) {
        out += "\"/>\n";
        continue;
      }
      out += "\">";
      AppendXmlContent(text, out);
      out += "</datacolumn>\n";
    }
    out += "    </datarow>\n";
  }
  return count;
}

size_t ExportTable::FieldOf(size_t column) const { return (*columns_)[column].field; }
const std::string& ExportTable::CaptionAttributeOf(size_t column) const {
  return (*columns_)[column].caption_attribute;
}

}  // namespace fennick
