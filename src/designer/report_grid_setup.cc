// The grid of a report page: a checked definition turned into the grid's
// captions, cell formats, aggregates, graph, sorting, paging and totals,
// and the statement put on it.
#include <algorithm>

#include "base/ascii.h"
#include "base/split.h"
#include "designer/quillon2.h"
#include "designer/report_query.h"
#include "fennick/grid_report.h"
#include "frame/module_state.h"
#include "grid/grid_object.h"
#include "grid/report_grid.h"

namespace fennick::designer {
namespace {

std::string Html(std::string_view text) { return Server::HTMLEncode(text); }
std::string Url(std::string_view text) { return Server::URLEncode(text); }

// The non-empty items of a comma list, trimmed.
std::vector<std::string> CommaItems(std::string_view list) {
  std::vector<std::string> items;
  for (std::string_view item : SplitTrimmed(list, ",")) {
    if (!item.empty()) items.emplace_back(item);
  }
  return items;
}

// The text before `separator` and after it; all of it and "" without one.
std::pair<std::string, std::string> SplitAt(std::string_view text, std::string_view separator) {
  size_t at = text.find(separator);
  if (at == std::string_view::npos) return {std::string(text), ""};
  return {std::string(text.substr(0, at)), std::string(text.substr(at + separator.size()))};
}

// Whether a format is an [sql] expression (any case), as the statement
// builder reads it.
bool IsSqlFormat(std::string_view format) {
  const std::string lower = AsciiLower(format);
  return lower.find("[sql]") != std::string::npos && lower.find("[/sql]") != std::string::npos;
}

// The grid caption of an aggregate column.
const char* AggregateWord(size_t list) {
  static const char* kWords[] = {"Sum", "Avg", "Min", "Max", "StDev", "Var"};
  return kWords[list];
}

// The captions and cell formats of the report's fields. A format that is
// no known code is said in red inside the report's own text: GetReport
// writes nothing to the page.
void SetFieldFormats(ReportGrid& report_grid, const ReportDefinition& r,
                     const std::string& images_url, const std::string& page_url,
                     const std::string& id) {
  DataGrid& grid = report_grid.grid();
  for (const std::string& field : CommaItems(r.fields)) {
    const std::string caption = ReportSchemaValue(r.schema, field, "c");
    if (!caption.empty()) grid.ColumnCaption(field, caption);
    const std::string format = ReportSchemaValue(r.schema, field, "f");
    if (format.size() < 2) continue;
    // An [sql] format computes the column in the statement; its cells are
    // written as the database gives them.
    if (IsSqlFormat(format)) continue;
    const std::string code = AsciiUpper(format.substr(0, 2));
    const std::string rest = format.substr(2);
    if (code == "D1") {
      grid.DateColumn(field, "%A, %B %d%O %Y");
    } else if (code == "D2") {
      grid.DateColumn(field, "%D-%b-%y");
    } else if (code == "D3") {
      grid.DateColumn(field, "2");
    } else if (code == "D4") {
      grid.DateColumn(field, "%d/%m/%y");
    } else if (code == "T1") {
      grid.DateColumn(field, "3");
    } else if (code == "T2") {
      grid.DateColumn(field, "4");
    } else if (code == "N1") {
      grid.NumberColumn(field, 2);
    } else if (code == "N2") {
      grid.CurrencyColumn(field, 2);
    } else if (code == "N3") {
      grid.PercentColumn(field, 0);
    } else if (code == "N4") {
      grid.NumberColumn(field, 0);
    } else if (code == "C8") {
      int decimals = 0;
      for (char c : rest) {
        if (c < '0' || c > '9' || decimals > 99) break;
        decimals = decimals * 10 + (c - '0');
      }
      grid.NumberColumn(field, static_cast<int16_t>(decimals));
    } else if (code == "B1") {
      grid.BoolColumn(field, "Yes", "No");
    } else if (code == "B2") {
      grid.BoolColumn(field, "True", "False");
    } else if (code == "B3") {
      grid.BoolColumn(field, "On", "Off");
    } else if (code == "C2") {
      auto [yes, no] = SplitAt(rest, "?");
      grid.BoolColumn(field, yes, no);
    } else if (code == "C6") {
      grid.BoolColumn(field,
                      "<img src=\"" + Html(images_url) + "true.gif\" border=0 align=absmiddle>",
                      "<img src=\"" + Html(images_url) + "false.gif\" border=0 align=absmiddle>");
    } else if (code == "S1") {
      grid.RegExColumn(field, "~d(\\d{3})(\\d{3})(\\d{4})", "($1) $2-$3");
    } else if (code == "S2") {
      grid.RegExColumn(field, "~d(\\d{3})(\\d{3})(\\d{4})", "$1-$2-$3");
    } else if (code == "S3") {
      grid.RegExColumn(field, "~d(\\d{3})(\\d{2})(\\d{4})", "$1-$2-$3");
    } else if (code == "S4") {
      grid.ReplaceColumn(field, "<a href=\"#TEMP#\">#TEMP#</a>");
    } else if (code == "S5") {
      grid.ReplaceColumn(field, "<a href=\"mailto:#TEMP#\">#TEMP#</a>");
    } else if (code == "S6") {
      grid.ReplaceColumn(field, "<img src=\"#TEMP#\">");
    } else if (code == "C1") {
      auto [target, parameter] = SplitAt(rest, "?");
      grid.LinkColumn(field,
                      page_url + "?rid=" + Url(target) + "&rurl1=" + Url(id) + "&n_" +
                          Url(parameter) + "=#TEMP#",
                      "#TEMP#");
    } else if (code == "C3") {
      auto [url, text] = SplitAt(rest, "-?");
      grid.ReplaceColumn(field, "<a href=\"" + url + "\" target=qlnpop>" + text + "</a>");
    } else if (code == "C4") {
      grid.HiddenColumn(field);
    } else if (code == "C5") {
      grid.ReplaceColumn(field, rest);
    } else if (code == "C7") {
      grid.OleColumn(field, rest);
    } else if (code == "O1") {
      grid.OleColumn(field, "");
    } else {
      report_grid.WriteLine("<font color=red>Invalid field format for <b>" + Html(field) +
                            "</b></font>");
    }
  }
}

}  // namespace

void Quillon2::ConfigureGrid(ReportGrid& report_grid, const std::string& id) {
  DataGrid& grid = report_grid.grid();
  GridObject& g = GridInternals(grid);
  const ReportDefinition& r = report_;
  if (!r.summary.empty()) SetSummarySpecification(grid, r.summary);
  const auto& css = settings_.css_classes;
  grid.GridClassName(css[0]);
  grid.HeaderClassName(css[1]);
  grid.HeaderLinkClass(css[2]);
  grid.ItemClassName(css[3]);
  grid.AltItemClassName(css[4]);
  grid.FooterClassName(css[5]);
  grid.PagingLinkClass(css[6]);
  grid.LinkClassName(css[7]);

  SetFieldFormats(report_grid, r, settings_.images_url, host_.page_url, id);

  if (r.grpby == 1) {
    if (r.agcaps.empty()) {
      if (r.count == 1) grid.ColumnCaption("COUNT_1", "Count");
      const std::string* lists[] = {&r.sum, &r.avg, &r.min, &r.max, &r.stdev, &r.var};
      const char* prefixes[] = {"SUM_", "AVG_", "MIN_", "MAX_", "STDEV_", "VAR_"};
      for (size_t l = 0; l < 6; ++l) {
        const std::vector<std::string> items = CommaItems(*lists[l]);
        for (size_t n = 0; n < items.size(); ++n) {
          std::string caption = ReportSchemaValue(r.schema, items[n], "c");
          if (caption.empty()) caption = items[n];
          grid.ColumnCaption(
              prefixes[l] + std::to_string(n + 1),
              caption + " <i style='font-weight:normal;'>(" + AggregateWord(l) + ")</i>");
        }
      }
    } else {
      std::string_view rest = r.agcaps;
      while (!rest.empty()) {
        size_t amp = rest.find('&', 1);
        std::string_view pair = rest.substr(rest.front() == '&' ? 1 : 0,
                                            amp == std::string_view::npos ? rest.size() : amp);
        if (pair.size() && pair.back() == '&') pair.remove_suffix(1);
        auto [alias, caption] = SplitAt(pair, "=");
        if (!alias.empty()) grid.ColumnCaption(alias, caption);
        if (amp == std::string_view::npos) break;
        rest = rest.substr(amp);
      }
    }
  }

  if (r.chart == 1) {
    grid.GraphType(r.graph);
    if (r.conly == 2) grid.GraphOnly(true);
    if (!r.legend.empty()) grid.GraphLegendColumn(r.legend);
    grid.SetGraphLabels(r.gtitle, r.ylabel, r.xlabel);
    if (!r.gflds.empty()) grid.GraphFields(r.gflds);
  }

  if (r.isproc == 1) {
    // A procedure returns what it returns: the report shows the fields it
    // selected, and no other column of the result.
    SetShownFields(grid, r.fields);
  } else {
    if (r.sortdef == 1) {
      if (r.rtype == 2) {
        grid.RequiredSortOrder("AUTO");
      } else {
        grid.DefaultSortOrder("1");
      }
    }
    if (r.shwsrch != 0 && !r.filters.empty()) {
      std::string text;
      for (const std::string& entry : CommaItems(r.filters)) {
        std::string shown = entry;
        ReplaceAll(shown, "|", ",");
        text += (text.empty() ? "" : "<br>") + FilterDisplayText(shown);
      }
      g.designer.designer_filter_text = text;
      g.designer.filter_text_summary = true;
      g.designer.filter_text_when_empty = true;
    }
  }
  for (const std::string& hidden : CommaItems(display_.hidden_fields)) grid.HiddenColumn(hidden);

  const bool first_request = host_.request->FormFields().Count() == 0;
  if (display_.override_page_size >= 0) {
    grid.PageSize(static_cast<int16_t>(std::min<int32_t>(display_.override_page_size, 32767)));
  } else if (first_request) {
    grid.PageSize(r.pagesize > 0 ? r.pagesize : display_.default_page_size);
  }
  if (r.rtype == 2 && !r.mtbl.empty()) grid.MasterTable(r.mtbl);
  if (r.rfmt == 2) grid.IsColumnar(true);
  grid.AddRowNumbers(r.rownum != 0);
  SetColumnTotals(grid, r.coltotal != 0);
  SetColumnAverages(grid, r.colavg != 0);
  SetRowTotals(grid, r.rowtotal != 0);
  SetRowAverages(grid, r.rowavg != 0);
  if (!r.nftotal.empty()) SetTotalFields(grid, r.nftotal);
  if (!r.nfavg.empty()) SetAverageFields(grid, r.nfavg);
  if (r.grpby == 1) {
    SetAggregateFields(grid, AggregateList::kSum, r.sum);
    SetAggregateFields(grid, AggregateList::kAvg, r.avg);
    SetAggregateFields(grid, AggregateList::kMin, r.min);
    SetAggregateFields(grid, AggregateList::kMax, r.max);
    SetAggregateFields(grid, AggregateList::kStdev, r.stdev);
    SetAggregateFields(grid, AggregateList::kVar, r.var);
  }

  grid.CanFilter(permissions_.filter);
  grid.UsePopupFilters(display_.use_popup_filters);
  grid.AddTopNavigationBar(display_.add_top_navigation_bar);
  grid.ShowInactiveButtons(display_.show_inactive_buttons);
  if (display_.default_filter_field_index >= 0) {
    grid.DefaultFilterFieldIndex(display_.default_filter_field_index);
  }
  if (display_.default_filter_condition_index >= 0) {
    grid.DefaultFilterConditionIndex(display_.default_filter_condition_index);
  }
  if (!display_.print_header.empty()) grid.PrintHeader(display_.print_header);
  if (!display_.print_footer.empty()) grid.PrintFooter(display_.print_footer);
  if (display_.command_timeout > 0) grid.CommandTimeout(display_.command_timeout);
  g.designer.page_break_after_report = display_.page_break_after;
  GridPageState& p = *g.page;
  p.use_fast_export = display_.use_fast_export;
  p.create_export_file = display_.create_export_file;
  p.xsl_export_template = display_.xsl_export_template;
  p.is_euro_decimal_format = display_.is_euro_decimal_format;
  p.encoding = display_.encoding;
  grid.CsvSafe(display_.csv_safe);
  grid.ExportXlsx(display_.export_xlsx);
  grid.ExportPdf(display_.export_pdf);
  if (!display_.pdf_paper_size.empty()) grid.PdfPaperSize(display_.pdf_paper_size);
  p.default_date_format = settings_.default_date_format;
  p.carried_query = PreservedQuery();

  if (std::shared_ptr<Connection> connection = DesignerConnection()) {
    grid.Connection(connection);
    p.connection_string = settings_.connection_string;
  }
  grid.Title(r.rtitle);
}

void Quillon2::SetStatement(DataGrid& grid, const std::string& sql) {
  if (report_.isproc != 1) {
    grid.Command(sql);
    return;
  }
  // The call is read back into the procedure and its named parameters, so
  // a typed value reaches the database as a parameter, never as SQL.
  std::optional<ProcedureCall> call = ParseProcedureCall(sql);
  if (!call) return;  // the grid then reports the missing command
  grid.SetProcedure(call->procedure);
  for (const auto& [name, value] : call->arguments) grid.AddParameter(name, value);
}

}  // namespace fennick::designer
