// The column format methods of DataGrid: each appends one entry to its
// list in the page's grid state. The cell writer reads the lists; the first
// entry for a column wins, so a later call for the same column changes
// nothing.
#include <string>

#include "fennick/data_grid.h"
#include "grid/grid_object.h"
#include "grid/render/format_lists.h"

namespace fennick {
namespace {

// The entry value of the number, percent and currency formats: the kind
// digit followed by the decimals.
std::string NumberEntry(char kind, int16_t decimals) {
  std::string entry(1, kind);
  entry.append(std::to_string(decimals));
  return entry;
}

// The style lists start with "|||" from their first entry on.
void AppendStyleEntry(std::string& list, std::string_view key, std::string_view style) {
  if (list.empty()) list.append("|||");
  AppendEntry(list, key, style);
}

}  // namespace

void DataGrid::ColumnCaption(std::string_view column, std::string_view caption) {
  // Captions keep the name as the page wrote it; they are found in any case.
  AppendEntry(g_->page->caption_list, column, caption);
}

void DataGrid::LinkColumn(std::string_view column, std::string_view url,
                          std::string_view caption, std::string_view target) {
  // The link class and style are those set when the link is added.
  std::string link = "<a href=\"";
  link.append(url);
  link.append("\" ");
  if (!target.empty()) {
    link.append(" target=");
    link.append(target);
  }
  link.append(g_->page->link_class);
  link.append(g_->page->link_style);
  link.append(">");
  link.append(caption);
  link.append("</a>");
  AppendEntry(g_->page->template_list, FormatKey(column), link);
}

void DataGrid::ReplaceColumn(std::string_view column, std::string_view replace_text) {
  AppendEntry(g_->page->template_list, FormatKey(column), replace_text);
}

void DataGrid::OleColumn(std::string_view column, std::string_view extension) {
  AppendEntry(g_->page->ole_list, FormatKey(column), extension);
}

void DataGrid::DateColumn(std::string_view column, std::string_view format) {
  AppendEntry(g_->page->date_list, FormatKey(column), format);
}

void DataGrid::NumberColumn(std::string_view column, int16_t decimals) {
  AppendEntry(g_->page->number_list, FormatKey(column), NumberEntry('1', decimals));
}

void DataGrid::PercentColumn(std::string_view column, int16_t decimals) {
  AppendEntry(g_->page->number_list, FormatKey(column), NumberEntry('2', decimals));
}

void DataGrid::CurrencyColumn(std::string_view column, int16_t decimals) {
  AppendEntry(g_->page->number_list, FormatKey(column), NumberEntry('3', decimals));
}

void DataGrid::BoolColumn(std::string_view column, std::string_view true_text,
                          std::string_view false_text) {
  std::string texts(true_text);
  texts.append("~`");
  texts.append(false_text);
  AppendEntry(g_->page->boolean_list, FormatKey(column), texts);
}

void DataGrid::RegExColumn(std::string_view column, std::string_view pattern,
                           std::string_view replace) {
  std::string entry(pattern);
  entry.append("~`");
  entry.append(replace);
  AppendEntry(g_->page->regex_list, FormatKey(column), entry);
}

void DataGrid::HiddenColumn(std::string_view column) {
  g_->page->hidden_list.append(FormatKey(column));
  g_->page->hidden_list.append("|||");
}

void DataGrid::CellStyle(std::string_view text, std::string_view style) {
  AppendStyleEntry(g_->page->cell_style_list, FormatKey(text), style);
}

void DataGrid::ColumnStyle(std::string_view column, std::string_view style) {
  AppendStyleEntry(g_->page->column_style_list, FormatKey(column), style);
}

}  // namespace fennick
