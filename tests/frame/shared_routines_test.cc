// Shared routines: the argument codec, splitting, option lists, link
// markup, type classes, ordinals, random texts, rounding, export folder.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "fennick/error.h"
#include "fennick/page.h"
#include "frame/argument_codec.h"
#include "frame/expression.h"
#include "frame/field_types.h"
#include "frame/module_state.h"
#include "frame/temp_folder.h"
#include "frame/text_routines.h"
#include "platform/web/test_server.h"

namespace fennick {
namespace {

TEST(ArgumentCodecTest, EncodesWithBlankPaddingAndDecodesBack) {
  EXPECT_EQ(EncodeArgument("abc"), "YWJj");
  EXPECT_EQ(EncodeArgument("ab"), "YWIg");  // "ab " - padded, no "="
  EXPECT_EQ(EncodeArgument(""), "");
  EXPECT_EQ(DecodeArgument("YWIg"), "ab ");
  const std::string sort = "1sort:2;lastsort:2 desc;rsort:0;";
  EXPECT_EQ(DecodeArgument(EncodeArgument(sort)).substr(0, sort.size()), sort);
  EXPECT_EQ(DecodeArgument(EncodeArgument("Größe ≥ 5")).substr(0, 13), "Größe ≥ 5");

  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    std::string bytes(rng() % 40, '\0');
    for (char& c : bytes) c = static_cast<char>(rng() & 255);
    std::string encoded = EncodeArgument(bytes);
    EXPECT_EQ(encoded.find('='), std::string::npos);
    EXPECT_EQ(encoded.size() % 4, 0u);
    std::string decoded = DecodeArgument(encoded);
    ASSERT_GE(decoded.size(), bytes.size());
    EXPECT_EQ(decoded.substr(0, bytes.size()), bytes);
    EXPECT_EQ(decoded.find_first_not_of(' ', bytes.size()), std::string::npos);
  }
  // What the browser sends back may be anything: malformed input is empty.
  for (const char* bad : {"YWJ", "YW=j", "YWJj!", "YWJjYQ==", "\xff\xfe\xfd\xfc"}) {
    EXPECT_EQ(DecodeArgument(bad), "") << bad;
  }
}

TEST(ArgumentCodecTest, GetArgumentMatchesWholeKeys) {
  const std::string pairs = "sort:3;lastsort:;rsort:0;";
  EXPECT_EQ(GetArgument(pairs, "lastsort"), "");
  EXPECT_EQ(GetArgument(pairs, "sort"), "3");
  EXPECT_EQ(GetArgument(pairs, "rsort"), "0");
  EXPECT_EQ(GetArgument("lastsort:2 desc;sort:1;", "sort"), "1");
  EXPECT_EQ(GetArgument(";curidx:12;", "curidx"), "12");
  EXPECT_EQ(GetArgument("start:21   ", "start"), "21   ");  // padding blanks stay
  EXPECT_EQ(GetArgument("", "start"), "");
  EXPECT_EQ(GetArgument("Sort:1;", "sort"), "");  // case-sensitive
}

TEST(TextRoutinesTest, SplittingAndOptionLists) {
  EXPECT_EQ(StringBefore("a=b=c", "="), "a");
  EXPECT_EQ(StringAfter("a=b=c", "="), "b=c");
  EXPECT_EQ(StringAfter("abc", "="), "");
  EXPECT_EQ(StringBefore("abc", "="), "abc");
  EXPECT_EQ(StringBefore("aXb", "x"), "aXb");  // exact case
  // Texts far beyond 32767 characters work.
  std::string long_text(100000, 'a');
  long_text += "|tail";
  EXPECT_EQ(StringAfter(long_text, "|"), "tail");
  EXPECT_EQ(StringBefore(long_text, "|").size(), 100000u);

  const std::string list = "|||Amount|=|#MONEY#|||Orders.Date|=|%d/%m|||Name|=|<b>{{Name}}</b>|||";
  EXPECT_EQ(LookupEntry(list, "Amount"), "#MONEY#");
  EXPECT_EQ(LookupEntry(list, "Orders.Date"), "%d/%m");
  EXPECT_EQ(LookupEntry(list, "Name"), "<b>{{Name}}</b>");
  EXPECT_EQ(LookupEntry(list, "Date"), "");  // not a suffix match
  EXPECT_EQ(LookupEntry("|||Last|=|value", "Last"), "value");
}

TEST(TextRoutinesTest, MakeLinkBuildsImagesAndLinks) {
  EXPECT_EQ(MakeLink("logo.GIF", "", "", "", "", "", ""),
            "<img src=\"logo.GIF\"    border=\"0\"  align=\"absmiddle\"/>");
  EXPECT_EQ(MakeLink("true.gif", "Yes", "", "", "", "", "images/"),
            "<img src=\"images/true.gif\"  alt=\"Yes\"   border=\"0\"  align=\"absmiddle\"/>");
  EXPECT_EQ(MakeLink("Serif.p", "", "", "", "", "", ""), "Serif.p");
  EXPECT_EQ(MakeLink("Next", "", "", "", "", "", ""), "Next");
  EXPECT_EQ(MakeLink("Next", "Go on", "page.asp?p=2", " class=\"nav\"", "", "", ""),
            "<a  href=\"page.asp?p=2\" class=\"nav\" title=\"Go on\">Next</a>");
  EXPECT_EQ(MakeLink("Next", "", "p.asp", "nav", "color:red", "_blank", ""),
            "<a  href=\"p.asp\" class=\"nav\" target=\"_blank\" style=\"color:red\">Next</a>");
  EXPECT_EQ(MakeLink("Next", "", "p.asp", "", " style=\"x\"", " target=_top", ""),
            "<a  href=\"p.asp\" target=_top style=\"x\">Next</a>");
  EXPECT_EQ(MakeLink("go.png", "Go", "p.asp", "", "", "", "img/"),
            "<a  href=\"p.asp\"><img src=\"img/go.png\"  alt=\"Go\"   border=\"0\"  "
            "align=\"absmiddle\"/></a>");
}

TEST(TextRoutinesTest, SmallRoutines) {
  EXPECT_EQ(PlainText("<b>Total</b> (net) 2004!", "_ "), "Total net 2004");
  EXPECT_EQ(PlainText("Größe", ""), "Gre");
  EXPECT_EQ(DigitsOnly("(555) 123-4567 x"), "5551234567");
  for (auto [n, suffix] : {std::pair{22, "nd"}, {12, "th"}, {1, "st"}, {23, "rd"}, {11, "th"},
                           {31, "st"}}) {
    EXPECT_EQ(OrdinalSuffix(n), std::to_string(n) + "<sup>" + suffix + "</sup>");
  }

  EXPECT_EQ(RandomText(0), "");
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    std::string r = RandomText(12);
    EXPECT_EQ(r.size(), 12u);
    EXPECT_EQ(r.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"),
              std::string::npos);
    seen.insert(r);
  }
  EXPECT_EQ(seen.size(), 50u);

  EXPECT_EQ(RoundUp(2.1), 3);
  EXPECT_EQ(RoundUp(2.0), 2);
  EXPECT_EQ(RoundUp(-2.5), -2);
  EXPECT_EQ(RoundUp(32766.2), 32767);
  EXPECT_THROW(RoundUp(32767.5), Error);
}

// ADO type codes (mode 1) and server type names (other modes).
TEST(FieldTypesTest, ClassifiesAdoCodesAndServerTypeNames) {
  using enum TypeClass;
  const struct {
    std::vector<const char*> names;
    int mode;
    TypeClass expected;
  } cases[] = {
      {{"2", "3", "4", "5", "14", "16", "18", "19", "20", "21", "131"}, 1, kNumber},
      {{"6"}, 1, kMoney},
      {{"7", "133", "134", "135"}, 1, kDate},
      {{"11", "17"}, 1, kBoolean},
      {{"72"}, 1, kGuid},
      {{"204", "205"}, 1, kBinary},
      {{"200", "varchar"}, 1, kText},
      {{"nvarchar", "uniqueidentifier"}, 2, kText},
      {{"ntext"}, 9, kText},
      {{"bigint", "decimal"}, 2, kNumber},
      {{"smalldatetime"}, 2, kDate},
      {{"smallmoney"}, 9, kMoney},
      {{"bit"}, 2, kBoolean},
      {{"timestamp", "varbinary", "image"}, 2, kBinary},
      {{"int"}, 5, kText},  // other modes
  };
  for (const auto& c : cases) {
    for (const char* name : c.names) {
      EXPECT_EQ(ClassifyFieldType(name, c.mode), c.expected) << name << " " << c.mode;
    }
  }
}

TEST(TempFolderTest, CreatesTheExportFolderUnderTheSite) {
  testing::TempSite site;
  Application app;
  PageContext page(Request(), Session(MakeMemorySessionStore(), "id"), app,
                   Server(site.root(), "/reports/list.asp", nullptr, "en_US"));
  PageBinding bound(page);
  EnsureTempFolder();
  EXPECT_EQ(CurrentModuleState().temp_folder_url, "tmp/");
  EXPECT_TRUE(std::filesystem::is_directory(site.root() / "reports" / "tmp"));

  CurrentModuleState().temp_folder_url = "/exports";
  EnsureTempFolder();
  EXPECT_EQ(CurrentModuleState().temp_folder_url, "/exports/");
  EXPECT_TRUE(std::filesystem::is_directory(site.root() / "exports"));

  // A folder outside the site is never created; the URL still gets its "/".
  CurrentModuleState().temp_folder_url = "../../outside";
  EnsureTempFolder();
  EXPECT_EQ(CurrentModuleState().temp_folder_url, "../../outside/");
  EXPECT_FALSE(std::filesystem::exists(site.root().parent_path() / "outside"));
}

TEST(ExpressionTest, EvaluatesTrimmedScriptExpressions) {
  EXPECT_EQ(EvaluateExpression("  1 + 2 * 3 "), "7");
  EXPECT_EQ(EvaluateExpression("\"Total: \" & FormatNumber(1234.5, 2)"), "Total: 1,234.50");
  try {
    EvaluateExpression("1 / 0");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrDivisionByZero);
  }
}

}  // namespace
}  // namespace fennick
