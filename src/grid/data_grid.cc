// DataGrid creation and its configuration surface: properties, texts,
// procedures and parameters.
#include "fennick/data_grid.h"

#include <algorithm>
#include <set>

#include "base/ascii.h"
#include "fennick/registry.h"
#include "frame/module_state.h"
#include "grid/export_dispatch.h"
#include "grid/field_download.h"
#include "grid/grid_object.h"
#include "grid/query/sql_text.h"
#include "grid/render/popup_filter_window.h"
#include "grid/state/request_state.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

std::string Attribute(std::string_view name, std::string_view value) {
  std::string out = " ";
  out.append(name);
  out.append("=\"");
  out.append(HtmlAttributeEscape(value));
  out.push_back('"');
  return out;
}

// Keys of the display texts that SetDisplayText accepts.
bool IsDisplayTextKey(const std::string& key) {
  static const std::set<std::string> kKeys = {
      "firsttext", "firsttitle", "prevtext", "prevtitle", "nexttext", "nexttitle", "lasttext",
      "lasttitle", "resettext", "resettitle", "reloadtext", "reloadtitle", "refreshtext",
      "refreshtitle", "sortcolasctext", "sortcolasctitle", "sortcoldesctext", "sortcoldesctitle",
      "removesorttitle", "printtext", "printtitle", "xlstext", "csvtext", "xmltext", "txttext",
      "pdftext", "doctext", "xlsxtext", "xlsxtitle", "xlstitle", "csvtitle", "xmltitle", "txttitle", "pdftitle",
      "doctitle", "pagecounttext", "pagesizetext", "showpagenumbers", "filterbuttontext",
      "filterslabeltext", "containstext", "startswithtext", "isequaltotext", "isnotequaltotext",
      "isgreaterthantext", "islessthantext", "sortorderlabeltext", "sortorderasctext",
      "sortorderdesctext", "summarylabeltext", "filterbuttontextpopup", "filterbuttontitlepopup",
      "filterfieldtext", "filterconditiontext", "filtervaluetext", "filteruseortext",
      "resetfilterstext", "graphpagingtext", "graphpagingtitle", "removegraphpagingtext",
      "removegraphpagingtitle"};
  return kKeys.count(key) != 0;
}

}  // namespace

DataGrid::DataGrid() : g_(std::make_unique<GridObject>()) {
  g_->host = BindHostContext("DataGrid");
  g_->page = &g_->host.page->State<GridPageState>();
  ReadRequestState(*g_);
  ServeFieldDownload(*g_);
  WritePopupFilterWindow(*g_);
  SetHeaderIconText();
  SetNavigationText();
  SetLanguageText();
}

DataGrid::DataGrid(std::unique_ptr<GridObject> internals) : g_(std::move(internals)) {}

DataGrid::~DataGrid() {
  // A grid that goes before the export it was asked for ran (a page that
  // never displays it) leaves that export to the end of the page, with
  // what the export needs.
  if (g_ && g_->req.export_request.armed) g_ = HandOverArmedExport(std::move(g_));
  // A connection the grid opened itself is closed with the grid; one the
  // page handed in is only let go.
  if (g_ && g_->result.owns_connection && g_->page && g_->page->connection) {
    g_->page->connection.reset();
  }
}

void DataGrid::Command(std::string_view sql) {
  // Literals and quoted names keep their blanks: 'Washington, DC' must
  // still match the row it names.
  g_->page->command = CollapseCommaBlanks(sql);
}

const std::string& DataGrid::Command() const { return g_->page->command; }

void DataGrid::MasterTable(std::string_view table) {
  g_->page->master_table = table;
  g_->page->master_mode = true;
}
void DataGrid::CommandTimeout(int32_t seconds) { g_->page->command_timeout = seconds; }
void DataGrid::PageSize(int16_t rows) {
  g_->page->page_size = rows;
  g_->page->page_size_from_request = false;
}
void DataGrid::MaxPageSize(int16_t rows) { CurrentModuleState().max_page_size = rows; }
void DataGrid::MaxPrintRows(int32_t rows) { CurrentModuleState().max_print_rows = rows; }
void DataGrid::ShowSqlInPage(bool on) { g_->settings.show_sql_in_page = on; }
void DataGrid::StartRec(int16_t record) { g_->page->start_rec = record; }
void DataGrid::PageResults(bool on) { g_->page->page_results = on; }
void DataGrid::DatabasePaging(bool on) { g_->settings.database_paging = on; }
void DataGrid::RowCountLifetime(int32_t seconds) { g_->settings.row_count_lifetime = seconds; }
void DataGrid::AddRowNumbers(bool on) { g_->page->add_row_numbers = on; }
void DataGrid::CanFilter(bool on) { g_->page->can_filter = on; }
void DataGrid::IsColumnar(bool on) { g_->page->is_columnar = on; }
void DataGrid::UsePopupFilters(bool on) { g_->page->use_popup_filters = on; }
void DataGrid::AddTopNavigationBar(bool on) { g_->page->add_top_navigation_bar = on; }
void DataGrid::AllowHtmlInData(bool on) { g_->page->allow_html_in_data = on; }
void DataGrid::ShowInactiveButtons(bool on) { g_->page->show_inactive_buttons = on; }
void DataGrid::DefaultFilterFieldIndex(int16_t index) {
  g_->page->default_filter_field_index = index;
}
void DataGrid::DefaultFilterConditionIndex(int16_t index) {
  g_->page->default_filter_condition_index = index;
}
void DataGrid::DefaultSortOrder(std::string_view order_by) {
  g_->settings.default_sort_order = order_by;
}
void DataGrid::RequiredSortOrder(std::string_view order_by) {
  g_->settings.required_sort_order = order_by;
}
const std::string& DataGrid::Title() const { return g_->settings.title; }
void DataGrid::Title(std::string_view title) { g_->settings.title = title; }
void DataGrid::PrintHeader(std::string_view html) { g_->page->print_header = html; }
void DataGrid::PrintFooter(std::string_view html) { g_->page->print_footer = html; }

void DataGrid::GraphFields(std::string_view columns) {
  // Kept as ",a,b," with the blanks around commas removed, so a column is
  // found by searching "," + name + ",". An empty text keeps the list set
  // before (none: every numeric column is graphed), rather than storing ",,"
  // which no column matches.
  if (TrimBlanks(columns).empty()) return;
  std::string list;
  std::string item;
  auto flush = [&] {
    list.append(TrimBlanks(item));
    item.clear();
  };
  for (char c : columns) {
    if (c == ',') {
      flush();
      list.push_back(',');
    } else {
      item.push_back(c);
    }
  }
  flush();
  g_->settings.graph_fields = "," + list + ",";
}

void DataGrid::GraphType(int16_t type) { g_->settings.graph_type = type; }
void DataGrid::SetGraphLabels(std::string_view title, std::string_view y_label,
                              std::string_view x_label) {
  g_->settings.graph_title = title;
  g_->settings.graph_y_label = y_label;
  g_->settings.graph_x_label = x_label;
}
void DataGrid::GraphOnly(bool on) { g_->settings.graph_only = on; }
void DataGrid::GraphLegendColumn(std::string_view column) {
  g_->settings.graph_legend_column = column;
}
void DataGrid::ExportFileName(std::string_view name) { g_->settings.export_file_name = name; }
void DataGrid::CsvByteOrderMark(bool on) { g_->settings.csv_byte_order_mark = on; }
void DataGrid::ExportXlsx(bool on) { g_->settings.export_xlsx = on; }
void DataGrid::ExportPdf(bool on) { g_->settings.export_pdf = on; }
void DataGrid::PdfPaperSize(std::string_view paper) {
  const std::string_view trimmed = TrimBlanks(paper);
  if (EqualsIgnoreCase(trimmed, "A4")) g_->settings.pdf_paper_size = "A4";
  if (EqualsIgnoreCase(trimmed, "Letter")) g_->settings.pdf_paper_size = "Letter";
}
void DataGrid::XslExportRowLimit(int32_t rows) {
  g_->settings.xsl_export_row_limit = rows < 1 ? GridSettings().xsl_export_row_limit : rows;
}
void DataGrid::XslExportTemplate(std::string_view path) { g_->page->xsl_export_template = path; }
void DataGrid::UseFastExport(bool on) { g_->page->use_fast_export = on; }
void DataGrid::CreateExportFile(bool on) { g_->page->create_export_file = on; }
void DataGrid::CsvSafe(bool on) { g_->settings.csv_safe = on; }
void DataGrid::ExportFileLifetime(int16_t minutes) {
  g_->settings.export_file_lifetime_minutes = std::max<int16_t>(1, minutes);
}

void DataGrid::TempFolderUrl(std::string_view url) {
  std::string folder(TrimBlanks(url));
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  CurrentModuleState().temp_folder_url = folder;
}

void DataGrid::GridClassName(std::string_view v) { g_->page->grid_class = Attribute("class", v); }
void DataGrid::HeaderClassName(std::string_view v) { g_->page->header_class = Attribute("class", v); }
void DataGrid::ItemClassName(std::string_view v) { g_->page->item_class = Attribute("class", v); }
void DataGrid::AltItemClassName(std::string_view v) {
  g_->page->alt_item_class = Attribute("class", v);
}
void DataGrid::LinkClassName(std::string_view v) { g_->page->link_class = Attribute("class", v); }
void DataGrid::FooterClassName(std::string_view v) { g_->page->footer_class = Attribute("class", v); }
void DataGrid::PagingLinkClass(std::string_view v) {
  g_->page->paging_link_class = Attribute("class", v);
}
void DataGrid::HeaderLinkClass(std::string_view v) {
  g_->page->header_link_class = Attribute("class", v);
}
void DataGrid::GridStyle(std::string_view v) { g_->page->grid_style = Attribute("style", v); }
void DataGrid::HeaderStyle(std::string_view v) { g_->page->header_style = Attribute("style", v); }
void DataGrid::ItemStyle(std::string_view v) { g_->page->item_style = Attribute("style", v); }
void DataGrid::AltItemStyle(std::string_view v) { g_->page->alt_item_style = Attribute("style", v); }
void DataGrid::LinkStyle(std::string_view v) { g_->page->link_style = Attribute("style", v); }
void DataGrid::FooterStyle(std::string_view v) { g_->page->footer_style = Attribute("style", v); }
void DataGrid::HeaderTextStyle(std::string_view v) {
  g_->page->header_text_style = Attribute("style", v);
}
void DataGrid::PagingLinkStyle(std::string_view v) {
  g_->page->paging_link_style = Attribute("style", v);
}
void DataGrid::HeaderLinkStyle(std::string_view v) {
  g_->page->header_link_style = Attribute("style", v);
}
void DataGrid::GridAlign(std::string_view v) { g_->page->grid_align = Attribute("align", v); }
void DataGrid::TextBoxStyle(std::string_view v) { g_->page->text_box_style = Attribute("style", v); }
void DataGrid::FilterFieldStyle(std::string_view v) {
  g_->page->filter_field_style = Attribute("style", v);
}

std::string DataGrid::Version() const { return std::string(kVersion); }

bool DataGrid::GetTransactionStatus() const { return IsInTransaction(); }

void DataGrid::SetProcedure(std::string_view procedure) { g_->settings.procedure_name = procedure; }

void DataGrid::AddParameter(std::string_view name, std::string_view value) {
  g_->settings.parameters.append(name);
  g_->settings.parameters.append("|=|");
  g_->settings.parameters.append(value);
  g_->settings.parameters.append("|||");
}

void DataGrid::SetDisplayText(std::string_view name, std::string_view value) {
  const std::string key = AsciiLower(name);
  if (!IsDisplayTextKey(key)) return;
  if (key == "showpagenumbers") {
    try {
      g_->settings.show_page_numbers = Variant(value).AsBool();
    } catch (const std::exception&) {
      g_->settings.show_page_numbers = false;  // not a Boolean text
    }
    return;
  }
  g_->settings.texts[key] = value;
}

void DataGrid::SetLanguageText(std::string_view filter, std::string_view sort_text,
                               std::string_view filter_button, std::string_view contains,
                               std::string_view is_equal_to, std::string_view is_not_equal_to,
                               std::string_view is_less_than, std::string_view is_greater_than) {
  auto& t = g_->settings.texts;
  t["filterslabeltext"] = filter;
  t["sortorderlabeltext"] = sort_text;
  t["filterbuttontext"] = filter_button;
  t["containstext"] = contains;
  t["isequaltotext"] = is_equal_to;
  t["isnotequaltotext"] = is_not_equal_to;
  t["islessthantext"] = is_less_than;
  t["isgreaterthantext"] = is_greater_than;
}

void DataGrid::SetNavigationText(std::string_view first, std::string_view prev,
                                 std::string_view next, std::string_view last,
                                 std::string_view reset, std::string_view reload,
                                 std::string_view page_count, std::string_view page_size,
                                 bool show_page_numbers) {
  auto& t = g_->settings.texts;
  t["firsttext"] = first;
  t["prevtext"] = prev;
  t["nexttext"] = next;
  t["lasttext"] = last;
  t["resettext"] = reset;
  t["reloadtext"] = reload;
  t["pagecounttext"] = page_count;
  t["pagesizetext"] = page_size;
  g_->settings.show_page_numbers = show_page_numbers;
}

void DataGrid::SetHeaderIconText(std::string_view refresh, std::string_view column_asc,
                                 std::string_view column_desc) {
  auto& t = g_->settings.texts;
  t["refreshtext"] = refresh;
  t["sortcolasctext"] = column_asc;
  t["sortcoldesctext"] = column_desc;
}

}  // namespace fennick
