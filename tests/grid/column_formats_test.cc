// Column formats: the entries the format methods append, and every way the
// cell writer turns a value into a cell (dates, numbers, templates,
// Booleans, regular expressions, styles, hidden columns, binary cells).
#include <gtest/gtest.h>

#include "fennick/data_grid.h"
#include "fennick/error.h"
#include "fennick/page.h"
#include "grid/download_link.h"
#include "grid/grid_object.h"
#include "grid/query/aggregate_columns.h"
#include "grid/render/cell_writer.h"
#include "grid/render/field_index.h"
#include "grid/test_page.h"
#include "platform/crypto/seal.h"

namespace fennick {
namespace {

class Row : public RowView {
 public:
  explicit Row(std::vector<Variant> values) : values_(std::move(values)) {}
  Variant Value(size_t column) const override { return values_.at(column); }

 private:
  std::vector<Variant> values_;
};

GridColumn Column(std::string name, std::string table = "",
                  TypeClass type_class = TypeClass::kText) {
  GridColumn c;
  c.name = std::move(name);
  c.table = std::move(table);
  c.column = c.name;
  c.type_class = type_class;
  return c;
}

Variant Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return Variant::Date(MakeOleDate({year, month, day, hour, minute, second, 0}));
}

// A grid on a page of /orders.asp whose request carries the given form and
// query fields, with columns set as a query would leave them.
class ColumnFormatsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallSealer(Sealer::KeyFromSecret("column format tests"));
    Page({}, {});
  }

  void Page(const testing::Fields& form, const testing::Fields& query) {
    grid_.reset();
    page_.Open(form, query);
    grid_ = std::make_unique<DataGrid>();
    g_ = &GridInternals(*grid_);
  }

  void Columns(std::vector<GridColumn> columns) { g_->result.columns = std::move(columns); }

  // The cell as the row writers get it, after the lists were normalised.
  std::string Cell(size_t column, std::vector<Variant> values) {
    NormaliseFormatLists(*g_->page);
    std::string out = "|";  // the writer appends to what is there
    WriteCell(*g_, Row(std::move(values)), column, 0, out);
    return out.substr(1);
  }

  testing::TestPage page_;
  std::unique_ptr<DataGrid> grid_;
  GridObject* g_ = nullptr;
};

TEST_F(ColumnFormatsTest, MethodsAppendEntriesThatDisplayNormalises) {
  grid_->LinkClassName("lnk");
  grid_->LinkStyle("color:red");
  grid_->LinkColumn("Name", "edit.asp?id={{ID}}", "{{Name}}", "_blank");
  grid_->LinkColumn("id", "view.asp", "View");
  grid_->NumberColumn("Qty", 0);
  grid_->PercentColumn("Share", 1);
  grid_->CurrencyColumn("Price", 2);
  grid_->BoolColumn("Paid", "Yes", "No");
  grid_->RegExColumn("Phone", "~d(\\d{3})(\\d{4})", "$1-$2");
  grid_->HiddenColumn("Secret");
  grid_->OleColumn("Doc", "pdf");
  grid_->ColumnCaption("Orders.Amount", "Total");
  grid_->CellStyle("n/a", "color:gray");
  grid_->ColumnStyle("Price", "text-align:right");
  GridPageState& p = *g_->page;
  EXPECT_EQ(p.template_list,
            "NAME|=|<a href=\"edit.asp?id={{ID}}\"  target=_blank class=\"lnk\" "
            "style=\"color:red\">{{Name}}</a>|||"
            "ID|=|<a href=\"view.asp\"  class=\"lnk\" style=\"color:red\">View</a>|||");
  EXPECT_EQ(p.number_list, "QTY|=|10|||SHARE|=|21|||PRICE|=|32|||");
  EXPECT_EQ(p.boolean_list, "PAID|=|Yes~`No|||");
  EXPECT_EQ(p.regex_list, "PHONE|=|~d(\\d{3})(\\d{4})~`$1-$2|||");
  EXPECT_EQ(p.hidden_list, "SECRET|||");
  EXPECT_EQ(p.caption_list, "Orders.Amount|=|Total|||");
  // The style lists start with "|||" at their first entry.
  EXPECT_EQ(p.cell_style_list, "|||N/A|=|color:gray|||");
  EXPECT_EQ(p.column_style_list, "|||PRICE|=|text-align:right|||");

  NormaliseFormatLists(p);
  EXPECT_EQ(p.number_list, "|||QTY|=|10|||SHARE|=|21|||PRICE|=|32|||");
  EXPECT_EQ(p.hidden_list, "|||SECRET|||");
  EXPECT_EQ(p.caption_list, "|||Orders.Amount|=|Total|||");
  EXPECT_EQ(p.ole_list, "DOC|=|pdf|||");
  EXPECT_EQ(p.cell_style_list, "|||N/A|=|color:gray|||");
  EXPECT_EQ(p.date_list, "");
  // A second grid displaying on the same page finds the lists ready.
  NormaliseFormatLists(p);
  EXPECT_EQ(p.number_list, "|||QTY|=|10|||SHARE|=|21|||PRICE|=|32|||");
}

TEST_F(ColumnFormatsTest, CaptionsByQualifiedThenBareNameInAnyCase) {
  grid_->ColumnCaption("orders.AMOUNT", "Order total");
  grid_->ColumnCaption("amount", "Amount");
  grid_->ColumnCaption("Région", "Area");
  NormaliseFormatLists(*g_->page);
  const GridPageState& p = *g_->page;
  EXPECT_EQ(ColumnCaptionOf(p, Column("Amount", "Orders")), "Order total");
  EXPECT_EQ(ColumnCaptionOf(p, Column("Amount", "Items")), "Amount");
  EXPECT_EQ(ColumnCaptionOf(p, Column("AMOUNT")), "Amount");
  EXPECT_EQ(ColumnCaptionOf(p, Column("RÉGION")), "Area");
  EXPECT_EQ(ColumnCaptionOf(p, Column("Qty", "Orders")), "Qty");
  // A caption key that merely ends like the column's name is another column.
  EXPECT_EQ(ColumnCaptionOf(p, Column("ount")), "ount");
}

TEST_F(ColumnFormatsTest, NumbersPercentAndCurrency) {
  Columns({Column("Qty"), Column("Share"), Column("Price"), Column("Plain")});
  grid_->NumberColumn("Qty", 2);
  grid_->PercentColumn("Share", 0);
  grid_->CurrencyColumn("Price", -1);
  EXPECT_EQ(Cell(0, {1234.5, 0, 0, 0}), "1,234.50");
  EXPECT_EQ(Cell(1, {0, 0.25, 0, 0}), "25%");
  EXPECT_EQ(Cell(2, {0, 0, Variant::Currency(-12345000), 0}), "-$1,234.50");
  // Texts holding numbers convert; a value that is no number fails the cell.
  EXPECT_EQ(Cell(0, {"1234.5", 0, 0, 0}), "1,234.50");
  EXPECT_EQ(Cell(0, {" 7 ", 0, 0, 0}), "7.00");
  // The error names the column, its format and the value.
  auto mismatch = [&](size_t column, std::vector<Variant> row) {
    try {
      Cell(column, std::move(row));
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kErrTypeMismatch);
      return e.description();
    }
    return std::string("converted");
  };
  EXPECT_EQ(mismatch(0, {"n/a", 0, 0, 0}),
            "Type mismatch: column Qty has the format NumberColumn(2), and its value \"n/a\" "
            "is not a number");
  // A long value is cut, never inside a character.
  EXPECT_EQ(mismatch(2, {0, 0, std::string(59, 'x') + "\xC3\xA9" + std::string(9, 'y'), 0}),
            "Type mismatch: column Price has the format CurrencyColumn(-1), and its value \"" +
                std::string(59, 'x') + "...\" is not a number");
  // Empty and Null cells write nothing, format or not.
  EXPECT_EQ(Cell(0, {Variant::Null(), 0, 0, 0}), "");
  EXPECT_EQ(Cell(0, {"", 0, 0, 0}), "");
  // Without a format numbers are written as they come.
  EXPECT_EQ(Cell(3, {0, 0, 0, 1234.5}), "1234.5");
}

TEST_F(ColumnFormatsTest, BooleansPickTheirText) {
  Columns({Column("Paid")});
  grid_->BoolColumn("Paid", "Yes", "No");
  EXPECT_EQ(Cell(0, {true}), "Yes");
  EXPECT_EQ(Cell(0, {false}), "No");
  EXPECT_EQ(Cell(0, {"True"}), "Yes");
  EXPECT_EQ(Cell(0, {int32_t{0}}), "No");
  EXPECT_EQ(Cell(0, {""}), "");
  EXPECT_EQ(Cell(0, {Variant::Null()}), "");
  EXPECT_THROW(Cell(0, {"perhaps"}), Error);
}

TEST_F(ColumnFormatsTest, LinksCarryTheRowsValuesUrlEncoded) {
  Columns({Column("ID"), Column("Name")});
  grid_->LinkColumn("Name", "edit.asp?id={{ID}}&n={{name}}", "#TEMP#");
  EXPECT_EQ(Cell(1, {int32_t{7}, "Ann"}), "<a href=\"edit.asp?id=7&n=Ann\" >Ann</a>");
  // "+" arrives as %2B; a blank as %20, so it is a blank again in a query
  // string and in a path alike.
  EXPECT_EQ(Cell(1, {"a+b c", "Ann Lee"}),
            "<a href=\"edit.asp?id=a%2Bb%20c&n=Ann%20Lee\" >Ann Lee</a>");
  // Values cannot break out of the attribute or add markup.
  EXPECT_EQ(Cell(1, {"\"><script>", "x"}),
            "<a href=\"edit.asp?id=%22%3E%3Cscript%3E&n=x\" >x</a>");
}

TEST_F(ColumnFormatsTest, TemplateTokensAndShortcuts) {
  Columns({Column("Name"), Column("Price"), Column("Note")});
  grid_->ReplaceColumn("Name", "[b]#TEMP#[/b][br][u]u[/u][i]i[/i]");
  grid_->ReplaceColumn("Price", "#MONEY# (#NUMBER#)");
  grid_->ReplaceColumn("Note", "[sql]SELECT [b]#TEMP#");
  EXPECT_EQ(Cell(0, {"Ann", 0, 0}), "<b>Ann</b><br/><u>u</u><i>i</i>");
  // #TEMP# writes "+" as %2B.
  EXPECT_EQ(Cell(0, {"C++", 0, 0}), "<b>C%2B%2B</b><br/><u>u</u><i>i</i>");
  // Only the first of the number tokens is replaced.
  EXPECT_EQ(Cell(1, {0, 1234.5, 0}), "$1,234.50 (#NUMBER#)");
  EXPECT_THROW(Cell(1, {0, "cheap", 0}), Error);
  EXPECT_EQ(Cell(2, {0, 0, "as it is"}), "as it is");

  grid_->ReplaceColumn("Price", "ignored: the first entry for a column wins");
  EXPECT_EQ(Cell(1, {0, 0.5, 0}), "$0.50 (#NUMBER#)");

  Page({}, {});
  Columns({Column("Qty"), Column("Rate")});
  grid_->ReplaceColumn("Qty", "[eval]{{Qty}}*{{Rate}}[/eval]");
  grid_->ReplaceColumn("Rate", "#PERCENT#");
  EXPECT_EQ(Cell(0, {int32_t{3}, 1.5}), "<script>document.write(eval(3*1.5));</script>");
  EXPECT_EQ(Cell(1, {int32_t{3}, 0.125}), "12.50%");
}

TEST_F(ColumnFormatsTest, PlaceholderThatIsNoColumnStopsTheExpansion) {
  Columns({Column("ID"), Column("Name", "Customers")});
  grid_->ReplaceColumn("ID", "{{ID}}-{{Nope}}-{{ID}}");
  grid_->ReplaceColumn("Customers.Name", "{{ [Customers].Name }}:{{Customers.ID}} {{ID");
  EXPECT_EQ(Cell(0, {int32_t{7}, "Ann"}), "7-{{Nope}}-{{ID}}");
  // Placeholders may be qualified and padded; an unclosed one stays.
  EXPECT_EQ(Cell(1, {int32_t{7}, "Ann"}), "Ann:7 {{ID");
}

TEST_F(ColumnFormatsTest, VariablesFromSessionThenRequestThenCarriedQuery) {
  Page({{"region", "North West"}}, {{"year", "2004"}, {"region", "ignored"}});
  page_->session().Set("UserName", Variant("Ann Lee"));
  g_->page->carried_query = "rid=5&id=a+b%2Bc&year=1999";
  Columns({Column("X")});
  grid_->ReplaceColumn("X", "{{@username}};{{@region}};{{@year}};{{@id}};{{@missing}};");
  EXPECT_EQ(Cell(0, {"x"}), "Ann%20Lee;North%20West;2004;a%20b%2Bc;;");
  // A carried pair is found by its whole name only.
  Page({}, {});
  g_->page->carried_query = "rid=5";
  Columns({Column("X")});
  grid_->ReplaceColumn("X", "[{{@id}}]");
  EXPECT_EQ(Cell(0, {"x"}), "[]");
}

TEST_F(ColumnFormatsTest, ExecEvaluatesTheTemplateAsAnExpression) {
  Columns({Column("Qty"), Column("Name"), Column("Bad")});
  grid_->ReplaceColumn("Qty", "[exec] {{Qty}} * 2 + Len(\"{{Name}}\") [/exec]");
  grid_->ReplaceColumn("Name", "[exec]UCase(\"{{Name}}\") & \"!\"[/exec]");
  grid_->ReplaceColumn("Bad", "[exec]1 +[/exec]");
  EXPECT_EQ(Cell(0, {int32_t{7}, "Ann", 0}), "17");
  EXPECT_EQ(Cell(1, {0, "Ann", 0}), "ANN!");
  try {
    Cell(2, {0, 0, "x"});
    FAIL() << "an expression that does not parse is evaluated";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 1002);
  }
}

TEST_F(ColumnFormatsTest, RegularExpressionsReplaceTheFirstMatchCaseSensitively) {
  Columns({Column("Phone"), Column("Code")});
  grid_->RegExColumn("Phone", "~d^(\\d{3})(\\d{3})(\\d{4})$", "($1) $2-$3");
  grid_->RegExColumn("Code", "a", "X");
  EXPECT_EQ(Cell(0, {"555.123.4567", 0}), "(555) 123-4567");
  EXPECT_EQ(Cell(0, {"(555) 123 4567", 0}), "(555) 123-4567");
  EXPECT_EQ(Cell(0, {int64_t{5551234567}, 0}), "(555) 123-4567");
  // Without "~d" the value is matched as it is.
  EXPECT_EQ(Cell(1, {0, "AaBa"}), "AXBa");
}

TEST_F(ColumnFormatsTest, DatesNamedTokensAndPictures) {
  Columns({Column("D1"), Column("D2"), Column("D3"), Column("D4"), Column("Plain")});
  grid_->DateColumn("D1", "1");
  grid_->DateColumn("D2", "%D/%m/%Y %h%n %P");
  grid_->DateColumn("D3", "dddd d mmm yyyy, hh:nn");
  grid_->DateColumn("D4", "7");
  const Variant when = Date(2004, 3, 5, 14, 7, 9);
  EXPECT_EQ(Cell(0, {when, 0, 0, 0, 0}), "Friday, March 5, 2004");
  EXPECT_EQ(Cell(1, {0, when, 0, 0, 0}), "05/3/2004 2:07 PM");
  EXPECT_EQ(Cell(2, {0, 0, when, 0, 0}), "Friday 5 Mar 2004, 14:07");
  // Texts holding dates convert; others fail the cell.
  EXPECT_EQ(Cell(0, {"2004-03-05", 0, 0, 0, 0}), "Friday, March 5, 2004");
  try {
    Cell(2, {0, 0, "soon", 0, 0});
    FAIL() << "a text that is no date converts";
  } catch (const Error& e) {
    EXPECT_EQ(e.description(), "Type mismatch: column D3 has the format "
                               "DateColumn(\"dddd d mmm yyyy, hh:nn\"), and its value \"soon\" "
                               "is not a date");
  }
  // A named format beyond 0 to 4 is refused.
  EXPECT_THROW(Cell(3, {0, 0, 0, when, 0}), Error);

  // Without a format a date shows as the page's locale writes it, or in the
  // report designer's default picture; numbers never become dates.
  EXPECT_EQ(Cell(4, {0, 0, 0, 0, when}), "3/5/2004 2:07:09 PM");
  g_->page->default_date_format = "yyyy-mm-dd";
  EXPECT_EQ(Cell(4, {0, 0, 0, 0, when}), "2004-03-05");
  EXPECT_EQ(Cell(4, {0, 0, 0, 0, "March 5, 2004"}), "2004-03-05");
  EXPECT_EQ(Cell(4, {0, 0, 0, 0, "38051"}), "38051");
  EXPECT_EQ(Cell(4, {0, 0, 0, 0, "not a date"}), "not a date");
}

TEST_F(ColumnFormatsTest, StylesWrapCellsInDivs) {
  Columns({Column("Status"), Column("Price"), Column("Note")});
  grid_->CellStyle("N/A", "color:gray;");
  grid_->ColumnStyle("Price", "text-align:right;");
  grid_->ColumnStyle("Note", "font-style:italic;");
  grid_->NumberColumn("Price", 0);
  EXPECT_EQ(Cell(0, {"n/a", 0, 0}), "<div style=\"color:gray;\">n/a</div>");
  EXPECT_EQ(Cell(0, {"N/A", 0, 0}), "<div style=\"color:gray;\">N/A</div>");
  EXPECT_EQ(Cell(0, {"N/A later", 0, 0}), "N/A later");
  EXPECT_EQ(Cell(1, {0, 12.0, 0}), "<div style=\"text-align:right;\">12</div>");
  // The cell's style comes first, the column's is added after it.
  EXPECT_EQ(Cell(2, {0, 0, "n/A"}), "<div style=\"color:gray;font-style:italic;\">n/A</div>");
  EXPECT_EQ(Cell(2, {0, 0, ""}), "");
}

TEST_F(ColumnFormatsTest, HiddenColumnsByQualifiedOrBareName) {
  grid_->HiddenColumn("ID");
  grid_->HiddenColumn("orders.Amount");
  NormaliseFormatLists(*g_->page);
  const GridPageState& p = *g_->page;
  EXPECT_TRUE(IsHiddenColumn(p, Column("id")));
  EXPECT_TRUE(IsHiddenColumn(p, Column("ID", "Orders")));
  EXPECT_TRUE(IsHiddenColumn(p, Column("Amount", "Orders")));
  EXPECT_FALSE(IsHiddenColumn(p, Column("Amount", "Items")));
  EXPECT_FALSE(IsHiddenColumn(p, Column("Amount")));
  // A hidden name is not hidden inside a longer one.
  EXPECT_FALSE(IsHiddenColumn(p, Column("CustomerID")));
  EXPECT_FALSE(IsHiddenColumn(p, Column("I")));
}

TEST_F(ColumnFormatsTest, QualifiedKeyFirstThenBareNameThenListOrder) {
  Columns({Column("Amount", "Orders"), Column("Amount", "Items"), Column("When", "Orders")});
  grid_->NumberColumn("Amount", 0);
  grid_->NumberColumn("ORDERS.amount", 2);
  grid_->CurrencyColumn("When", 2);
  grid_->DateColumn("Orders.When", "yyyy");
  EXPECT_EQ(Cell(0, {1.5, 1.5, 0}), "1.50");
  EXPECT_EQ(Cell(1, {1.5, 1.5, 0}), "2");
  // Dates come before numbers, whichever was set first.
  EXPECT_EQ(Cell(2, {0, 0, Date(2004, 3, 5)}), "2004");
  EXPECT_EQ(CellKey(Column("Amount", "Orders")), "ORDERS.AMOUNT");
  EXPECT_EQ(CellKey(Column("Amount")), "AMOUNT");
}

TEST_F(ColumnFormatsTest, FormatsAddedBetweenCellsApply) {
  Columns({Column("Price")});
  EXPECT_EQ(Cell(0, {2.5}), "2.5");
  grid_->CurrencyColumn("Price", 2);
  EXPECT_EQ(Cell(0, {2.5}), "$2.50");
  grid_->ColumnStyle("Price", "x");
  EXPECT_EQ(Cell(0, {2.5}), "<div style=\"x\">$2.50</div>");
  // The same position holding another column is resolved again.
  Columns({Column("Qty")});
  EXPECT_EQ(Cell(0, {2.5}), "2.5");
}

TEST_F(ColumnFormatsTest, ColumnarLayoutKeepsLineBreaks) {
  Columns({Column("Notes")});
  EXPECT_EQ(Cell(0, {"one\r\ntwo\nthree"}), "one\r\ntwo\nthree");
  g_->page->is_columnar = true;
  EXPECT_EQ(Cell(0, {"one\r\ntwo\nthree\r\n"}), "one<br>two\nthree<br>");
}

TEST_F(ColumnFormatsTest, AggregateColumnsTakeTheirBaseColumnsFormat) {
  grid_->Command("SELECT Region, SUM([Price]) AS SUM_2, sum(Orders.Qty) as sum_20, "
                 "MAX(Price) AS MAX FROM Orders GROUP BY Region");
  Columns({Column("SUM_2"), Column("sum_20"), Column("MAX"), Column("AVG_9")});
  grid_->CurrencyColumn("Price", 2);
  grid_->NumberColumn("Qty", 1);
  grid_->NumberColumn("MAX", 3);
  EXPECT_EQ(Cell(0, {10.0, 0, 0, 0}), "$10.00");
  EXPECT_EQ(Cell(1, {0, 10.0, 0, 0}), "10.0");
  EXPECT_EQ(Cell(2, {0, 0, 10.0, 0}), "10.000");
  EXPECT_EQ(Cell(3, {0, 0, 0, 10.0}), "10");
  // Hiding a column does not hide its aggregates.
  grid_->HiddenColumn("Price");
  EXPECT_FALSE(IsHiddenColumn(*g_->page, g_->result.columns[0]));

  EXPECT_TRUE(IsAggregateColumn("STDEV_1"));
  EXPECT_FALSE(IsAggregateColumn("MAX"));
  EXPECT_FALSE(IsAggregateColumn("SUMMARY"));
  EXPECT_EQ(AggregateBaseColumn("SELECT AVG( `Price` ) AS AVG_1 FROM t", "AVG_1"), "Price");
  EXPECT_EQ(AggregateBaseColumn("SELECT Price AS SUM_1 FROM t", "SUM_1"), "SUM_1");
  EXPECT_EQ(AggregateBaseColumn("SELECT SUM() AS SUM_1 FROM t", "SUM_1"), "SUM_1");
  EXPECT_EQ(AggregateBaseColumn("SELECT SUM(x) AS SUM_10 FROM t", "SUM_1"), "SUM_1");
}

TEST_F(ColumnFormatsTest, BinaryCellsLinkWithOneSealedTokenPerColumn) {
  grid_->Command("SELECT Photo, Doc FROM Products WHERE Id = 3");
  g_->page->connection_string = "Provider=SQLite;Data Source=shop.db";
  g_->page->carried_query = "rid=5&cell=evil&R=9&a=x&s=kept&t=\"><b>";
  Columns({Column("Photo", "Products", TypeClass::kBinary), Column("Doc", "Products", TypeClass::kBinary)});
  grid_->OleColumn("Products.Doc", "pdf");

  std::string img;
  WriteBinaryCell(*g_, 0, 4, img);
  std::string link;
  WriteBinaryCell(*g_, 1, 4, link);
  std::string next_row;
  WriteBinaryCell(*g_, 0, 5, next_row);

  auto token = [](const std::string& html) {
    size_t at = html.find("&amp;cell=");
    EXPECT_NE(at, std::string::npos) << html;
    at += 10;
    return html.substr(at, html.find_first_of("&\"", at) - at);
  };
  const std::string photo = token(img);
  const std::string doc = token(link);
  // The link keeps a=i, ext and r; the page's own "s" is carried, its
  // "cell", "a" and "r" are not (the link's own would arrive twice).
  EXPECT_EQ(img, "<img src=\"/orders.asp?a=i&amp;r=4&amp;cell=" + photo +
                     "&amp;rid=5&amp;s=kept&amp;t=&quot;&gt;&lt;b&gt;\" border=0>");
  EXPECT_EQ(link, "<a href=\"/orders.asp?a=i&amp;ext=pdf&amp;r=4&amp;cell=" + doc +
                      "&amp;rid=5&amp;s=kept&amp;t=&quot;&gt;&lt;b&gt;\">pdf</a>");
  EXPECT_THAT(img, Not(HasSubstr("SELECT")));
  EXPECT_THAT(img, Not(HasSubstr("shop.db")));
  EXPECT_EQ(token(next_row), photo);  // sealed once per column, not per row

  // Command, connection string and column come back together, and only as
  // a download link.
  const std::optional<DownloadTarget> opened = OpenDownloadLink(doc);
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->command, g_->page->command);
  EXPECT_EQ(opened->connection_string, "Provider=SQLite;Data Source=shop.db");
  EXPECT_EQ(opened->column, 1u);
  EXPECT_EQ(OpenDownloadLink(photo)->column, 0u);
  EXPECT_FALSE(OpenSealed(SealPurpose::kSortDefault, photo));
  EXPECT_FALSE(OpenDownloadLink(SealText(SealPurpose::kSortDefault, "Name")));

  // A changed command is sealed anew.
  grid_->Command("SELECT Photo FROM Products");
  std::string again;
  WriteBinaryCell(*g_, 0, 0, again);
  EXPECT_EQ(OpenDownloadLink(token(again))->command, "SELECT Photo FROM Products");
}

TEST(FieldIndexTest, MatchesTrimmedUnqualifiedNamesInAnyCase) {
  std::vector<GridColumn> columns = {Column("Id"), Column("[Orders].[Total]"), Column("`x`.name"),
                                     Column("ID")};
  EXPECT_EQ(FieldIndex(columns, " id "), 0);
  EXPECT_EQ(FieldIndex(columns, "TOTAL"), 1);
  EXPECT_EQ(FieldIndex(columns, "Items.total"), 1);
  EXPECT_EQ(FieldIndex(columns, "Name"), 2);
  EXPECT_EQ(FieldIndex(columns, "Qty"), -1);
  EXPECT_EQ(FieldIndex(columns, ""), -1);
}

}  // namespace
}  // namespace fennick
