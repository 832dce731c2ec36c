// The controls around the grid's table: the navigation bar at the edges of
// the result, the inline filter bar with its distinct-value drop-down, and
// the popup filter script and button.
#include "grid/query/database_type.h"
#include "grid/render/filter_bar.h"
#include "grid/render/navigation_bar.h"
#include "grid/render_fixture.h"

namespace fennick {
namespace {

// The active paging link to the page starting at record `start`.
std::string PageLink(const std::string& text, int start) {
  return "&nbsp;<a  href=\"javascript:__doPostBack('" +
         EncodeArgument("2start:" + std::to_string(start) + ";") + "')\">" + text + "</a>&nbsp;";
}

class NavigationBarTest : public RenderTest {
 protected:
  std::string Bar(int64_t first, int64_t page_size, int64_t last, bool bottom = true) {
    std::string out;
    WriteNavigationBar(Internals(), first, page_size, last, true, bottom, out);
    return out;
  }
};

TEST_F(NavigationBarTest, MiddlePageOfNinetyFiveRecords) {
  Grid({});
  const std::string bar = Bar(40, 10, 94);
  EXPECT_EQ(bar.find("<table cellpadding=4 width=\"100%\"><tr><td width=\"99%\">"
                     "Page 5 of 10 (95 recs)" +
                     PageLink("&laquo; First", 1) + "..." + PageLink("&laquo;", 31) +
                     PageLink("2", 11) + PageLink("3", 21) + PageLink("4", 31) +
                     "&nbsp;[5]&nbsp;" + PageLink("6", 51) + PageLink("7", 61) +
                     PageLink("8", 71) + PageLink("&raquo;", 51) + "..." +
                     PageLink("Last &raquo;", 91) + "&nbsp;</td>"),
            0u)
      << bar;
  EXPECT_THAT(bar, Not(HasSubstr(PageLink("1", 1))));
  EXPECT_THAT(bar, Not(HasSubstr(PageLink("9", 81))));
  // Reset, the page-size box that posts, and reload to the same start.
  EXPECT_THAT(bar, HasSubstr("<td nowrap>&nbsp;<a  href=\"javascript:__doPostBack('" +
                             EncodeArgument("3start:1;") + "')\">Reset</a>&nbsp;Page Size:&nbsp;"
                             "<input size=2 name=npagesize value=\"10\" "));
  EXPECT_THAT(bar, HasSubstr("<a  href=\"javascript:__doPostBack('" + EncodeArgument("2start:41;") +
                             "')\">Reload</a></td></tr></table>"));
}

TEST_F(NavigationBarTest, FirstPageLeavesOutOrDimsTheBackButtons) {
  Grid({});
  std::string bar = Bar(0, 10, 94);
  EXPECT_THAT(bar, Not(HasSubstr("First")));
  EXPECT_THAT(bar, Not(HasSubstr("&laquo;")));
  EXPECT_THAT(bar, HasSubstr("Page 1 of 10 (95 recs)&nbsp;[1]&nbsp;" + PageLink("2", 11)));
  EXPECT_THAT(bar, HasSubstr(PageLink("4", 31) + PageLink("&raquo;", 11) + "..."));

  Grid({}).ShowInactiveButtons(true);
  grid_->SetNavigationText("first.gif", "prev.gif");
  bar = Bar(0, 10, 94);
  EXPECT_THAT(bar,
      HasSubstr("&nbsp;<img src=\"first.gif\"    style=\"filter:alpha(opacity=30);"
                "-moz-opacity:0.5;opacity: 0.5;\" border=\"0\"  align=\"absmiddle\"/>&nbsp;"));
  EXPECT_THAT(bar, HasSubstr("<img src=\"prev.gif\""));
}

TEST_F(NavigationBarTest, LastPageTargetsAndEndsOfTheRange) {
  Grid({});
  // 20 records: the last page starts at record 11; on it, nothing follows.
  std::string bar = Bar(0, 10, 19);
  EXPECT_THAT(bar, HasSubstr(PageLink("Last &raquo;", 11)));
  bar = Bar(10, 10, 19);
  EXPECT_THAT(bar, Not(HasSubstr("Last")));
  EXPECT_THAT(bar, Not(HasSubstr("&raquo;")));
  EXPECT_THAT(bar, Not(HasSubstr("...")));
  EXPECT_THAT(bar, HasSubstr("Page 2 of 2 (20 recs)"));
  // One record: one page, no links at all.
  bar = Bar(0, 10, 0);
  EXPECT_THAT(bar, HasSubstr("Page 1 of 1 (1 recs)&nbsp;[1]&nbsp;&nbsp;</td>"));
}

TEST_F(NavigationBarTest, PageNumbersOffAndCustomTexts) {
  Grid({}).SetDisplayText("showpagenumbers", "False");
  grid_->SetDisplayText("pagecounttext", "@NumOfRecs rows, @CurrentPage/@NumOfPages");
  grid_->SetDisplayText("NextTitle", "Forward");
  const std::string bar = Bar(40, 10, 94);
  EXPECT_THAT(bar, Not(HasSubstr("[")));
  EXPECT_THAT(bar, Not(HasSubstr("...")));
  EXPECT_THAT(bar,
      HasSubstr("95 rows, 5/10" + PageLink("&laquo; First", 1) + PageLink("&laquo;", 31) +
                "&nbsp;<a  href=\"javascript:__doPostBack('" + EncodeArgument("2start:51;") +
                "')\" title=\"Forward\">&raquo;</a>&nbsp;"));
}

TEST_F(NavigationBarTest, TopBarCopiesThePageSizeAndWithoutTheBoxItIsHidden) {
  Grid({});
  std::string bar = Bar(0, 10, 94, false);
  EXPECT_THAT(bar, HasSubstr("Page Size:&nbsp;<input size=2 onblur=\"this.form.npagesize.value="
                             "this.value\" value=\"10\" "));
  EXPECT_THAT(bar, Not(HasSubstr("name=npagesize")));

  Internals().designer.page_size_box = false;
  bar = Bar(0, 10, 94);
  EXPECT_THAT(bar, HasSubstr("<input type=hidden name=npagesize value=\"10\"></td></tr></table>"));
  EXPECT_THAT(bar, Not(HasSubstr("Reload")));
  EXPECT_THAT(Bar(0, 10, 94, false), Not(HasSubstr("npagesize")));
}

TEST_F(RenderTest, TopNavigationBarStandsAboveTheTable) {
  AddRows(12);
  Grid({}).AddTopNavigationBar(true);
  const std::string html = Show();
  EXPECT_EQ(Count(html, "Page 1 of 2 (12 recs)"), 2u);
  EXPECT_LT(html.find("Page 1 of 2"), html.find("<th>"));
}

TEST_F(RenderTest, FilterBarOffersTheColumnsConditionsAndTheF9TextBox) {
  AddRows(3);
  DataGrid& grid = Grid({});
  grid.HiddenColumn("Amount");
  grid.DefaultFilterFieldIndex(2);
  grid.DefaultFilterConditionIndex(2);
  const std::string html = Show();
  EXPECT_THAT(html,
      HasSubstr("<td style='color:gray;'><div style='display:none;'><input type=checkbox "
                "value=ON name=clearfilters id=clearfilters /><label for=clearfilters>"
                "<font class=clearfilters>Reset filters</font></label></div></td>"));
  EXPECT_THAT(html,
      HasSubstr("name=search_field  style=\"font-size:9pt;\"><option value=\"\">&nbsp;"
                "</option><option  value=\"[Orders].[Id]\">Id</option><option  selected "
                "value=\"[Orders].[Name]\">Name</option></select>"));
  EXPECT_THAT(html, HasSubstr("<option  value=\" LIKE '%v%'\">contains</option><option  selected  "
                              "value=\"=\">is equal to</option>"));
  EXPECT_THAT(html, HasSubstr("<option  value=\" LIKE 'v%'\">starts with</option></select>&nbsp;"));
  EXPECT_THAT(html, HasSubstr("<input name=search_text  style=\"border:1px solid gray;"));
  EXPECT_THAT(html,
      HasSubstr(" onkeyup=\"if(event.keyCode==120){this.form.useddst.value=1;"
                "this.form.submit();}\" title='Click inside and Hit F9 to switch to drop "
                "down'><input type=hidden name=useddst value=0>&nbsp;<input  "
                "style=\"font-size:9pt;\" type=button onclick=\"this.form.start.value=1;"
                "this.form.__FARGS.value='';this.form.submit();\" value=Go ></td></tr>"
                "</table>"));
}

TEST_F(RenderTest, DropDownListsTheDistinctValuesUnderTheFilter) {
  AddRows(9);
  Grid({{"search_field", "[Orders].[Region]"}, {"useddst", "1"}},
       "SELECT Id,Name,Region FROM Orders ORDER BY Id");
  std::string html = Show();
  const std::string other =
      "<option>Other&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;</option>"
      "</select><input type=hidden name=useddst value=1>";
  EXPECT_THAT(html,
      HasSubstr("name=search_text><option value=\"\">&nbsp;</option><option>East</option>"
                "<option>North</option><option>West</option>" + other));
  // The posted field is selected again.
  EXPECT_THAT(html, HasSubstr("<option  selected value=\"[Orders].[Region]\">"));

  // Under a filter only the values of the filtered rows are offered.
  Grid({{"search_field", "[Orders].[Region]"}, {"useddst", "1"}, {"rsfilter", "Id < 3"}},
       "SELECT Id,Name,Region FROM Orders");
  html = Show();
  EXPECT_THAT(html,
      HasSubstr("&nbsp;</option><option>North</option><option>West</option>" + other));
}

TEST_F(RenderTest, DropDownNeverQueriesAFieldTheBarDidNotOffer) {
  AddRows(3);
  connection_->Execute("CREATE TABLE Secrets (Word VARCHAR(10))");
  connection_->Execute("INSERT INTO Secrets VALUES ('topsecret')");
  const std::string other =
      "<option value=\"\">&nbsp;</option><option>Other&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;"
      "&nbsp;&nbsp;&nbsp;&nbsp;</option></select>";
  for (const std::string field :
       {"(SELECT Word FROM Secrets)", "[Orders].[Amount]", "Word FROM Secrets --"}) {
    DataGrid& grid = Grid({{"search_field", field}, {"useddst", "1"}});
    grid.HiddenColumn("Amount");
    const std::string html = Show();
    EXPECT_THAT(html, Not(HasSubstr("topsecret"))) << field;
    EXPECT_THAT(html, HasSubstr(other)) << field << html;
  }
}

TEST_F(RenderTest, PopupFiltersWriteTheScriptTheButtonAndTheSessionValue) {
  AddRows(3);
  Grid({}).UsePopupFilters(true);
  const std::string html = Show();
  EXPECT_EQ(html.find(
                "<script language=\"javascript\">function __doGetBack(args){var f=document."
                "FNKQuillon;if(args.substring(0,1)=='_'){args=eval(\"f.btnExp\"+args.substring(1)"
                "+\".value\");};var a=args.substr(0,args.length-1);var i=args.substr(args.length-"
                "1);var q=\"/orders.asp?a=\"+i+\"&del='&args=\"+a+\"\";var w=330;var h=230;var "
                "LeftPosition = (screen.width) ? (screen.width-w)/2 : 0;var TopPosition = "
                "(screen.height) ? (screen.height-h)/2 : 0;var settings = 'height='+h+',width='+w+"
                "',top='+TopPosition+',left='+LeftPosition+',menubar=0,scrollbars=0,resizable=1';"
                "var win = window.open(q,\"wizard\",settings);}</script>"),
            0u)
      << html;
  EXPECT_THAT(html,
      HasSubstr("<td  align=center width='99%' class=middleCell><input type=hidden "
                "name=btnExpfilter value=\"j\"><a  href=\"javascript:__doGetBack('_filter')"
                "\" title=\"Filter this report\">Search</a></td>"));
  // A page URL cannot end the script's string.
  Internals().host.page_url = "/o\";alert(1);//.asp";
  std::string script;
  WritePopupFilterScript(Internals(), script);
  EXPECT_THAT(script, HasSubstr("var q=\"/o%22;alert(1);//.asp?a=\"+i+\""));
  // No inline bar beside the popup.
  EXPECT_THAT(html, Not(HasSubstr("name=search_condition")));
  const std::string packed = DecodeArgument(Sess().Get("PopUpFilters").AsString());
  EXPECT_THAT(packed, HasSubstr("Filter this report"));
  EXPECT_THAT(packed, HasSubstr("[Orders].[Name]"));
}

}  // namespace
}  // namespace fennick

namespace fennick {
namespace {

TEST_F(RenderTest, PopupWindowListsWhatTheButtonStoredAndKeepsTheDelimiterSafe) {
  AddRows(3);
  DataGrid& grid = Grid({});
  grid.UsePopupFilters(true);
  grid.ColumnCaption("Name", "Customer");
  grid.DefaultFilterFieldIndex(2);
  Show();

  auto window = [&](const std::string& del) {
    EXPECT_THROW(Grid({}, kSelect, {{"a", "j"}, {"del", del}, {"args", ""}}), PageEnd);
    return Output();
  };
  std::string html = window("'");
  EXPECT_EQ(html.find("<html><head><title>Filter this report</title><script>var del=\"'\"; "
                      "function addFilter(){"),
            0u)
      << html;
  EXPECT_THAT(html,
      HasSubstr("<style>form{margin:0px;}</style></head><body><b>Filter this report</b>"
                "<form name=f1><table border=0>"));
  EXPECT_THAT(html,
      HasSubstr("<select name=search_field><option value=''><option value=\"131_[Orders]."
                "[Id]\">Id</option><option Selected  value=\"200_[Orders].[Name]\">"
                "Customer</option>"));
  EXPECT_THAT(html, HasSubstr("<option value=\" LIKE 'v%'\">starts with</option></select>"));
  EXPECT_THAT(html, HasSubstr("f.rsfilter.value=f1.filter.value;f.submit();window.close();}"));
  EXPECT_THAT(html, HasSubstr("<input type=hidden name=filter></form></body></html>"));

  // The delimiter is echoed into a script: only "#" and "'" get there.
  EXPECT_NE(window("#").find("var del=\"#\";"), std::string::npos);
  html = window("\";alert(1);//");
  EXPECT_THAT(html, Not(HasSubstr("alert(1)")));
  EXPECT_THAT(html, HasSubstr("var del=\"'\";"));
}

TEST_F(RenderTest, AnErrorWhileDrawingCarriesTheBindAndDisplaySteps) {
  AddRows(3);
  // A date format on a text column cannot convert its values.
  Grid({}).DateColumn("Name", "yyyy");
  try {
    grid_->Display();
    FAIL() << "the bad format was accepted";
  } catch (const Error& e) {
    EXPECT_THAT(e.source(), HasSubstr("<br> Bind Line: 12<br> Display Line: 6"));
  }
}

}  // namespace
}  // namespace fennick
