// DataGrid: one SQL command or stored procedure as a paged, sortable,
// filterable HTML grid.
//
// A page creates a grid while it runs (the grid reads the page's request
// then), sets properties, and calls Display. Everything the user changes
// (page, page size, sort, filters, print view) travels in the hidden fields
// of the one form the grid writes and comes back with the next post. A grid
// belongs to its page's thread; it is not thread-safe.
#ifndef FENNICK_DATA_GRID_H_
#define FENNICK_DATA_GRID_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace fennick {

class Connection;
struct GridAccess;
struct GridObject;

class DataGrid {
 public:
  // Binds the running page and reads its request. Raises an error when no
  // page is running, and for the requests that end the page at once (an
  // image cell download, the popup filter window).
  DataGrid();
  ~DataGrid();
  DataGrid(const DataGrid&) = delete;
  DataGrid& operator=(const DataGrid&) = delete;

  // The SQL command; every ", " in it becomes ",".
  void Command(std::string_view sql);
  const std::string& Command() const;
  // A connection opened by the page (only referenced by the grid).
  void Connection(std::shared_ptr<fennick::Connection> connection);
  void MasterTable(std::string_view table);
  void CommandTimeout(int32_t seconds);
  void PageSize(int16_t rows);
  // The largest page size the browser may ask for (the page-size box, or
  // any post): a larger ask, or 0 for every row, gets this many rows.
  // Default 1000; 0 or less lifts the cap. Shared by every grid of the page.
  // A page size the page sets itself is not capped.
  void MaxPageSize(int16_t rows);
  // The most rows the print view shows (default 10000; 0 or less: every
  // row); a longer result is cut, with a note in the page pointing to the
  // exports. Shared by every grid of the page.
  void MaxPrintRows(int32_t rows);
  // Whether the grid writes the SQL it ran into the page, as an HTML
  // comment, when a filter or the command fails (default false: the SQL
  // names tables and hidden filters). Errors go to the server's log either
  // way, with the reference number the page shows.
  void ShowSqlInPage(bool on);
  // Whether the grid also keeps its state (page, page size, sort, filter)
  // in the page's address (default false): after each rendering the
  // address gets one query parameter, "fnkgrid", so that a reload, a
  // bookmark, Back or a copied link shows the same grid; on a GET that
  // carries it, turning this on reads it as a post would be read. Set it
  // right after creating the grid; what the page sets afterwards wins, as
  // over a post. One grid per page: they would share the parameter.
  void UrlState(bool on);
  void StartRec(int16_t record);
  void PageResults(bool on);
  // Whether a page may be read from the database (the default): the grid
  // then counts the rows of its filtered query and reads only the page it
  // shows, with the same output as reading every row. False reads every
  // row on every request. Whatever needs every row (the print view, a
  // graph of every row, master-details, exports, procedures) reads them
  // either way, as does an engine without a known paging clause.
  void DatabasePaging(bool on);
  // How many seconds the row count a grid's form carries back may be shown
  // again instead of counting (default 30). The count is taken again
  // anyway on Reload, for another filter or page size, and when the page
  // read contradicts it. 0 (or less) counts on every request.
  void RowCountLifetime(int32_t seconds);
  void AddRowNumbers(bool on);
  void CanFilter(bool on);
  void IsColumnar(bool on);
  void UsePopupFilters(bool on);
  void AddTopNavigationBar(bool on);
  void ShowInactiveButtons(bool on);
  void DefaultFilterFieldIndex(int16_t index);
  void DefaultFilterConditionIndex(int16_t index);
  void DefaultSortOrder(std::string_view order_by);
  void RequiredSortOrder(std::string_view order_by);
  const std::string& Title() const;
  void Title(std::string_view title);
  void PrintHeader(std::string_view html);
  void PrintFooter(std::string_view html);
  void GraphFields(std::string_view columns);
  void GraphType(int16_t type);
  void GraphOnly(bool on);
  void GraphLegendColumn(std::string_view column);
  // The graph's title, y-axis label and x-axis label (HTML).
  void SetGraphLabels(std::string_view title, std::string_view y_label, std::string_view x_label);
  void ExportFileName(std::string_view name);
  void XslExportTemplate(std::string_view path);
  void UseFastExport(bool on);
  void CreateExportFile(bool on);
  // CSV and text exports put an apostrophe before text values (and field
  // names) starting with "=", "+", "-", "@", a tab or a line break, so a
  // spreadsheet shows them instead of running them; in text exports tabs
  // and line breaks inside them become spaces. Numbers are never changed.
  void CsvSafe(bool on);
  // CSV exports start with a UTF-8 byte order mark, so spreadsheets that
  // otherwise guess a Windows code page read non-ASCII text right.
  void CsvByteOrderMark(bool on);
  // The tool bar also offers an ".xlsx" button (a real workbook: typed
  // cells with the column formats, a frozen caption row with an
  // autofilter, the footers) after the five other export buttons. Off by
  // default.
  void ExportXlsx(bool on);
  // The tool bar also offers a "PDF" button (a paginated document: title,
  // filter, the caption row on every page, the rows as the screen formats
  // them, the footers, page numbers), after the ".xlsx" one. Off by
  // default.
  void ExportPdf(bool on);
  // The paper of the PDF export: "A4" (the default) or "Letter", any case;
  // other values are ignored. Turned to landscape when the columns need
  // it.
  void PdfPaperSize(std::string_view paper);
  // The most rows an XML export through XslExportTemplate (and a report's
  // print page) transforms; more are refused with an error. Default 25,000;
  // values below 1 restore it.
  void XslExportRowLimit(int32_t rows);
  // Minutes that export files stay in TempFolderUrl before a later export
  // removes them (default 60; values below 1 count as 1).
  void ExportFileLifetime(int16_t minutes);
  void TempFolderUrl(std::string_view url);

  void GridClassName(std::string_view value);
  void HeaderClassName(std::string_view value);
  void ItemClassName(std::string_view value);
  void AltItemClassName(std::string_view value);
  void LinkClassName(std::string_view value);
  void FooterClassName(std::string_view value);
  void PagingLinkClass(std::string_view value);
  void HeaderLinkClass(std::string_view value);
  void GridStyle(std::string_view value);
  void HeaderStyle(std::string_view value);
  void ItemStyle(std::string_view value);
  void AltItemStyle(std::string_view value);
  void LinkStyle(std::string_view value);
  void FooterStyle(std::string_view value);
  void HeaderTextStyle(std::string_view value);
  void PagingLinkStyle(std::string_view value);
  void HeaderLinkStyle(std::string_view value);
  void GridAlign(std::string_view value);
  void TextBoxStyle(std::string_view value);
  void FilterFieldStyle(std::string_view value);

  // The component version, "2.0.643".
  std::string Version() const;
  // Whether the page runs inside a transaction (never, here).
  bool GetTransactionStatus() const;

  // Stored procedures: the name, and parameters passed by name.
  void SetProcedure(std::string_view procedure);
  void AddParameter(std::string_view name, std::string_view value);
  // Opens a connection owned by the grid; a failure is shown in the page.
  // Runs a pending export at once (which ends the page).
  void CreateConnection(std::string_view connection_string);

  // Column formats, keyed by column name (or table.column); each call
  // appends one entry, and the first entry for a column wins.
  void ColumnCaption(std::string_view column, std::string_view caption);
  void LinkColumn(std::string_view column, std::string_view url, std::string_view caption,
                  std::string_view target = {});
  void ReplaceColumn(std::string_view column, std::string_view replace_text);
  void OleColumn(std::string_view column, std::string_view extension);
  void DateColumn(std::string_view column, std::string_view format);
  void NumberColumn(std::string_view column, int16_t decimals);
  void PercentColumn(std::string_view column, int16_t decimals);
  void CurrencyColumn(std::string_view column, int16_t decimals);
  void BoolColumn(std::string_view column, std::string_view true_text,
                  std::string_view false_text);
  void RegExColumn(std::string_view column, std::string_view pattern,
                   std::string_view replace);
  void HiddenColumn(std::string_view column);
  void CellStyle(std::string_view text, std::string_view style);
  void ColumnStyle(std::string_view column, std::string_view style);

  // Display texts by key ("firsttext", "pagecounttext", ...); an unknown key
  // is ignored.
  void SetDisplayText(std::string_view name, std::string_view value);
  void SetLanguageText(std::string_view filter = "<b>Filter(s):</b>",
                       std::string_view sort_text = "<b>Sort Order:</b>",
                       std::string_view filter_button = "Go",
                       std::string_view contains = "contains",
                       std::string_view is_equal_to = "is equal to",
                       std::string_view is_not_equal_to = "is not equal to",
                       std::string_view is_less_than = "is less than",
                       std::string_view is_greater_than = "is greater than");
  void SetNavigationText(std::string_view first = "&laquo; First", std::string_view prev = "&laquo;",
                         std::string_view next = "&raquo;", std::string_view last = "Last &raquo;",
                         std::string_view reset = "Reset", std::string_view reload = "Reload",
                         std::string_view page_count =
                             "Page @CurrentPage of @NumOfPages (@NumOfRecs recs)",
                         std::string_view page_size = "Page Size:",
                         bool show_page_numbers = true);
  void SetHeaderIconText(std::string_view refresh = "<font face='MS OUTLOOK'>C</font>",
                         std::string_view column_asc = "+", std::string_view column_desc = "-");

  // Totals. Each is off until the page sets it, and then belongs to this
  // grid alone (the report designer's settings are the page's and apply
  // when the page sets none). Names are checked when Display runs, once the
  // result's columns are known: an unknown column raises error 5 naming it
  // and the member ("AddSummary: no column 'Qty' in the result"), before
  // anything of the grid is written.
  //
  // A line of the summary box under the grid: `function` (SUM, AVG, MIN,
  // MAX, COUNT, STDEV or VAR, any case; anything else raises error 5 at
  // once) of `column` over the whole filtered result, computed by the
  // database and formatted like the column's cells. `caption` is HTML
  // written as given; empty: function + " " + column.
  void AddSummary(std::string_view function, std::string_view column,
                  std::string_view caption = {});
  // A total / an average cell at the end of every row (and its header),
  // adding the row's number and money columns after the first.
  void RowTotals(bool on);
  void RowAverages(bool on);
  // The "Total" / "Average" row under the table: a comma-separated list of
  // columns (bare or table.column, any case), each a number or money
  // column, or "*" for every such column; empty: no row. Exports carry the
  // rows too, over the whole filtered result.
  void FooterTotals(std::string_view columns);
  void FooterAverages(std::string_view columns);
  // What the footer rows add: "Page" (the default, the rows shown) or
  // "Result" (every row of the filtered result, computed by the database;
  // a column whose cells the browser computes, "[eval]", gets an empty
  // cell then). Anything else raises error 5.
  void FooterScope(std::string_view scope);
  // When a filter matches nothing, keep the filter bar, the filter and
  // sort summary and the navigation bar's Reset link under the
  // "No records returned!" text, so the user can change or drop the
  // filter. Default false: the text alone.
  void KeepBarsWhenEmpty(bool on);

  // Opens the grid's recordset for the current request (the query builder
  // only; rendering draws from it).
  void OpenRecordset();

  // Writes the whole grid to the page: form, tool bar, navigation and
  // filter bars, the table of the current page, the filter and sort summary
  // and the hidden state fields. Call once per grid and request; it
  // consumes the recordset. Problems with the connection, the command or a
  // filter are shown in the page; other errors escape with the trace.
  void Display();

  // Whether values from the database may carry markup into the page. Off
  // (the default), a value written as plain text is HTML-encoded.
  void AllowHtmlInData(bool on);

 private:
  friend struct GridAccess;
  // A grid over internals another grid object left (its armed export).
  explicit DataGrid(std::unique_ptr<GridObject> internals);
  std::unique_ptr<GridObject> g_;
};

}  // namespace fennick

#endif  // FENNICK_DATA_GRID_H_
