// A grid reading its request: first requests, posts, the filter bar and
// postback arguments, and the state fields it writes back.
#include <gtest/gtest.h>

#include "fennick/data_grid.h"
#include "fennick/error.h"
#include "fennick/page.h"
#include "frame/argument_codec.h"
#include "frame/module_state.h"
#include "grid/grid_object.h"
#include "grid/state/state_fields.h"
#include "grid/test_page.h"
#include "platform/crypto/seal.h"

namespace fennick {
namespace {

// A page whose request carries the given form fields (none: a first
// request) and query fields.
using testing::Fields;

class GridPageTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallSealer(Sealer::KeyFromSecret("grid tests")); }

  void Page(Fields form, Fields query = {}) {
    grid_.reset();
    page_.Open(form, query);
  }

  GridObject& NewGrid() {
    grid_ = std::make_unique<DataGrid>();
    return GridInternals(*grid_);
  }

  testing::TestPage page_;
  std::unique_ptr<DataGrid> grid_;
};

TEST_F(GridPageTest, FirstRequestStartsOnPageOneWithDefaults) {
  Page({}, {{"rurl1", "report.asp?rid=3"}});
  GridObject& g = NewGrid();
  EXPECT_EQ(g.page->start_rec, 1);
  EXPECT_EQ(g.page->page_size, 10);
  EXPECT_TRUE(g.req.page_graph);
  EXPECT_EQ(g.req.return_report, "report.asp?rid=3");
  EXPECT_EQ(g.settings.title, "Quillon");
  EXPECT_EQ(g.settings.Text("pagecounttext"), "Page @CurrentPage of @NumOfPages (@NumOfRecs recs)");
  EXPECT_EQ(g.settings.Text("sortcolasctext"), "+");
  EXPECT_EQ(g.settings.Text("filterbuttontext"), "Go");
  EXPECT_EQ(g.settings.Text("xlstext"), "Excel");
  EXPECT_EQ(g.page->text_box_style,
            " style=\"border:1px solid gray;font-size:9px;font-family:tahoma;padding:0px;"
            "text-align:center;\"");
  EXPECT_EQ(g.page->filter_field_style, " style=\"font-size:9pt;\"");
}

TEST_F(GridPageTest, PostReadsPageSizeAndFallsBackOnBadNumbers) {
  Page({{"npagesize", "25"}, {"pagesize", "10"}, {"start", "21"}});
  EXPECT_EQ(NewGrid().page->page_size, 25);
  EXPECT_EQ(GridInternals(*grid_).page->start_rec, 21);
  Page({{"npagesize", "-1"}, {"pagesize", "10"}});
  EXPECT_EQ(NewGrid().page->page_size, 10);
  Page({{"npagesize", "lots"}, {"pagesize", "15"}});
  EXPECT_EQ(NewGrid().page->page_size, 15);
  // Tampered or truncated numbers fall back to the first-request values.
  Page({{"start", "1 OR 1=1"}, {"pagesize", "x"}, {"curidx", "?"}});
  GridObject& g = NewGrid();
  EXPECT_EQ(g.page->start_rec, 1);
  EXPECT_EQ(g.page->page_size, 10);
  EXPECT_EQ(g.req.current_detail, 0);
  // Beyond 16 bits.
  Page({{"start", "70001"}, {"pagesize", "40000"}});
  EXPECT_EQ(NewGrid().page->start_rec, 70001);
  EXPECT_EQ(GridInternals(*grid_).page->page_size, 40000);
  // The property setter keeps its 16-bit type.
  Page({});
  NewGrid();
  grid_->PageSize(20);
  EXPECT_EQ(GridInternals(*grid_).page->page_size, 20);
}

// The filter bar's field, condition and text (and the fields posted with
// them) against the filter the grid makes of them.
TEST_F(GridPageTest, FilterBarBuildsQuotedClausesPerDatabase) {
  const struct {
    const char *field, *condition, *text;
    Fields more;
    const char* filter;
  } cases[] = {
      {"[Orders].[Amount]", "=", "12", {{"rsfilter", ""}}, "[Orders].[Amount] = 12"},
      {"[Orders].[Amount]", "=", "abc", {}, "[Orders].[Amount] = 'abc'"},
      {"[Name]", " LIKE 'v%'", "Sm", {}, "[Name] LIKE 'Sm%'"},
      {"[Name]", " LIKE '%v%'", "O'Brien", {}, "[Name] LIKE '%O''Brien%'"},
      {"[Name]", "<>", "x' OR '1'='1", {}, "[Name] <> 'x'' OR ''1''=''1'"},
      // Numbers stay bare only when they are plain decimals.
      {"[Id]", " > ", "1e5", {}, "[Id]  >  '1e5'"},
      // A condition the bar never offers is ignored.
      {"[Id]", "= 1 OR 1 =", "2", {{"rsfilter", "[Id] = 3"}}, "[Id] = 3"},
      // Dates as each database writes them.
      {"[OrderDate]", "=", "3/5/2004", {{"dbtype", "1"}}, "[OrderDate] = #3/5/2004#"},
      {"`OrderDate`", "=", "3/5/2004", {{"dbtype", "6"}}, "`OrderDate` = '2004-3-5'"},
      {"`Shipped`", "=", "3/5/2004", {{"dbtype", "6"}}, "`Shipped` = '3/5/2004'"},
      {"[OrderDate]", "=", "3/5/2004", {{"dbtype", "10"}}, "[OrderDate] = '2004-03-05'"},
      // Joined to the filter (even a short one, never glued), or cleared.
      {"[A]", "=", "1", {{"rsfilter", "[B] = 2"}}, "[B] = 2 AND [A] = 1"},
      {"[A]", "=", "1", {{"rsfilter", "[B] = 2"}, {"clearfilters", "ON"}}, "[A] = 1"},
      {"[A]", "=", "1", {{"rsfilter", "x=1"}}, "x=1 AND [A] = 1"},
  };
  for (const auto& c : cases) {
    Fields form = {{"search_field", c.field}, {"search_condition", c.condition},
                   {"search_text", c.text}};
    form.insert(form.end(), c.more.begin(), c.more.end());
    Page(form);
    const GridRequestState& req = NewGrid().req;
    EXPECT_EQ(req.filter_expression, c.filter) << c.field << c.condition << c.text;
    // The clause is new unless its condition was refused; the posted
    // database type and the clear box are kept.
    const bool offered = std::string(c.condition) != "= 1 OR 1 =";
    EXPECT_EQ(req.has_new_clause, offered) << c.filter;
    EXPECT_EQ(req.clause_field, offered ? c.field : "") << c.filter;
    const auto posted = [&](const std::string& name) {
      for (const auto& [k, v] : c.more) {
        if (k == name) return v;
      }
      return std::string();
    };
    EXPECT_EQ(req.clear_filters_checked, posted("clearfilters") == "ON") << c.filter;
    if (!posted("dbtype").empty()) {
      EXPECT_EQ(req.database_type, std::stoi(posted("dbtype")));
    }
  }
}

TEST_F(GridPageTest, FilterBarConditionWithoutAValueIsRemembered) {
  // A condition chosen without a value leaves the filter and is preselected.
  Page({{"search_field", "[A]"}, {"search_condition", " > "}, {"search_text", ""},
        {"rsfilter", "[B] = 2"}});
  GridObject& g = NewGrid();
  EXPECT_EQ(g.req.filter_expression, "[B] = 2");
  EXPECT_EQ(g.page->default_filter_condition_index, 5);
  EXPECT_FALSE(g.req.has_new_clause);
}

TEST_F(GridPageTest, PostBackArgumentsApplyAfterFields) {
  auto post = [&](const std::string& argument, Fields more = {}) {
    more.emplace_back("__FARGS", EncodeArgument(argument));
    Page(more);
    return &NewGrid();
  };
  GridObject* g = post("1sort:2;lastsort:3 desc,1;rsort:0;", {{"sort", "1"}});
  EXPECT_EQ(g->req.requested_sort, "2");
  EXPECT_EQ(g->req.last_sort, "3 desc,1");
  EXPECT_FALSE(g->req.remove_sort);
  g = post("1sort:2;lastsort:2;rsort:1;");
  EXPECT_TRUE(g->req.remove_sort);
  g = post("2start:31;", {{"start", "11"}});
  EXPECT_EQ(g->page->start_rec, 31);
  g = post("3start:1;", {{"rsfilter", "[A] = 1"}, {"sort", "2"}, {"lastsort", "2"}, {"start", "41"}});
  EXPECT_EQ(g->req.filter_expression, "");
  EXPECT_EQ(g->req.requested_sort, "");
  EXPECT_EQ(g->req.last_sort, "");
  EXPECT_EQ(g->page->start_rec, 1);
  g = post("4fmt:EXCEL;hdr:Id,Name;ttl:Orders;;dat:;num:;");
  EXPECT_TRUE(g->req.export_request.pending);
  EXPECT_EQ(g->req.export_request.format, "excel");
  EXPECT_EQ(g->req.export_request.captions, "Id,Name");
  EXPECT_EQ(g->settings.title, "Orders");
  EXPECT_TRUE(post("5")->req.print_view);
  g = post("6;curidx:7;", {{"showall", "True"}});
  EXPECT_EQ(g->req.current_detail, 7);
  EXPECT_FALSE(g->req.show_all_details);
  EXPECT_TRUE(post("7")->req.show_all_details);
  EXPECT_FALSE(post("8", {{"pgraph", "True"}})->req.page_graph);
  EXPECT_TRUE(post("9", {{"pgraph", "False"}})->req.page_graph);
  // Not a code: ignored; malformed Base64: ignored; sort lists keep numbers.
  EXPECT_EQ(post("0start:5;", {{"start", "3"}})->page->start_rec, 3);
  Page({{"__FARGS", "%%%"}, {"start", "3"}});
  EXPECT_EQ(NewGrid().page->start_rec, 3);
  g = post("1sort:(SELECT 1) OR 1;lastsort:;rsort:0;");
  EXPECT_EQ(g->req.requested_sort, "");
}

TEST_F(GridPageTest, StateFieldsRoundTripEncodedAndSealed) {
  Page({});
  GridObject& g = NewGrid();
  grid_->DefaultSortOrder("Name DESC");
  g.req.filter_expression = "[Name] = 'a\"b<script>'";
  g.req.order_list = "2 desc";
  g.page->page_size = 20;
  WriteStateFields(g);
  const std::string& html = page_->response().Body();
  EXPECT_THAT(html,
      HasSubstr("<input type=hidden name=rsfilter value=\"[Name] = 'a&quot;b&lt;script&gt;'\">"));
  EXPECT_THAT(html, HasSubstr("<input type=hidden name=mastercols value=\"\"><input type=hidden "
                              "name=sortreq value=\"\"><input type=hidden name=sortdef value=\""));
  EXPECT_THAT(html,
      HasSubstr("<input type=hidden name=sort value=\"2 desc\"><input type=hidden "
                "name=rsort value=\"0\"><input type=hidden name=pagesize value=\"20\">"
                "<input type=hidden name=curidx value=\"0\"><input type=hidden "
                "name=showall value=\"False\"><input type=hidden name=start value=\"1\">"));
  EXPECT_THAT(html,
      HasSubstr("<input type=hidden name=pgraph value=\"True\"><input type=hidden "
                "name=dbtype value=\"0\"><input type=hidden name=__FARGS value=\"\">"));
  EXPECT_THAT(html, Not(HasSubstr("Name DESC")));  // sealed

  // The sealed order comes back on the next post.
  Page({{"sortdef", testing::HiddenValue(html, "sortdef")}});
  EXPECT_EQ(NewGrid().settings.default_sort_order, "Name DESC");
}

// A sealed field holds only what this server sealed for that very field:
// a forged value, the other sort field's token or a download link's token
// ends the request with 400 before the grid runs anything, and the answer
// says nothing of what the value held.
TEST_F(GridPageTest, SealedFieldFromAnotherPlaceIsRefused) {
  const std::string sort_default = SealText(SealPurpose::kSortDefault, "Name DESC");
  const std::string sort_required = SealText(SealPurpose::kSortRequired, "Id");
  const std::string download =
      SealParts(SealPurpose::kFieldDownload,
                {"SELECT Pic FROM Pics", "Data Source=secret.db;Password=pw", "1"});
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"sortdef", "1; DROP TABLE Orders"}, {"sortdef", sort_required}, {"sortreq", sort_default},
      {"sortdef", download},               {"sortreq", download},
  };
  for (const auto& [field, value] : refused) {
    Page({{field, value}, {"pagesize", "10"}});
    page_->response().Write("<p>written before the grid</p>");
    EXPECT_THROW(NewGrid(), PageEnd) << field;
    EXPECT_EQ(page_->response().Status(), "400 Bad Request") << field;
    EXPECT_EQ(page_->response().ContentType(), "text/plain");
    EXPECT_EQ(page_->response().Body(), "The form is not valid.") << field;
  }
  Page({{"sortdef", sort_default}, {"sortreq", sort_required}});
  GridObject& g = NewGrid();
  EXPECT_EQ(g.settings.default_sort_order, "Name DESC");
  EXPECT_EQ(g.settings.required_sort_order, "Id");
}

TEST(PostBackScriptTest, IsWrittenExactly) {
  EXPECT_STREQ(kPostBackScript,
               "<script>function __doPostBack(args){var f=document.FNKQuillon;if(args.substring(0,"
               "1)=='_'){args=eval(\"f.btnExp\"+args.substring(1)+\".value\");};f.__FARGS.value="
               "args;f.submit();}</script>");
}

TEST_F(GridPageTest, CarriedQueryStringSkipsTheGridsOwnFields) {
  Page({});
  GridObject& g = NewGrid();
  g.page->carried_query = "rid=5&sort=9&x y=1&n_Region=West";
  WriteStateFields(g);
  const std::string& html = page_->response().Body();
  EXPECT_THAT(html,
      HasSubstr("<input type=hidden name=__CQS value=\"rid=5&amp;sort=9&amp;x y=1&amp;"
                "n_Region=West\"><input type=hidden name=rid value=\"5\"><input "
                "type=hidden name=n_Region value=\"West\">"));
}

TEST_F(GridPageTest, SettersStoreReadyAttributes) {
  Page({});
  GridObject& g = NewGrid();
  grid_->GridClassName("grid");
  grid_->HeaderStyle("color:red");
  grid_->GridAlign("center");
  grid_->Command("SELECT a, b,  c FROM t");
  grid_->GraphFields(" Amount , Tax,Total ");
  grid_->TempFolderUrl(" exports ");
  grid_->SetDisplayText("FirstText", "First");
  grid_->SetDisplayText("nosuchkey", "x");
  grid_->SetDisplayText("showpagenumbers", "False");
  EXPECT_EQ(g.page->grid_class, " class=\"grid\"");
  EXPECT_EQ(g.page->header_style, " style=\"color:red\"");
  EXPECT_EQ(g.page->grid_align, " align=\"center\"");
  EXPECT_EQ(grid_->Command(), "SELECT a,b, c FROM t");
  EXPECT_EQ(g.settings.graph_fields, ",Amount,Tax,Total,");
  EXPECT_EQ(CurrentModuleState().temp_folder_url, "exports/");
  EXPECT_EQ(g.settings.Text("firsttext"), "First");
  EXPECT_EQ(g.settings.texts.count("nosuchkey"), 0u);
  EXPECT_FALSE(g.settings.show_page_numbers);

  // Two grids on one page share the page's values; a new grid resets some.
  grid_->PageSize(30);
  DataGrid second;
  EXPECT_EQ(GridInternals(second).page, g.page);
  EXPECT_EQ(g.page->page_size, 10);  // read again from the (first) request
  EXPECT_EQ(g.page->grid_class, "");
  EXPECT_EQ(g.page->command, "SELECT a,b, c FROM t");
}

}  // namespace
}  // namespace fennick
