// Host services: the error trace as a page sees it, page output, the object
// context, and argument conversion of late-bound calls.
#include "frame/host.h"

#include <gtest/gtest.h>

#include "frame/dispatch.h"
#include "platform/web/test_server.h"

namespace fennick {
namespace {

using testing::TestServer;

// A rendering routine two levels below the page, as the grid's Display
// calls Bind.
void Bind(bool fail) {
  double step = 4.1;
  RunTraced("Bind", step, [&] {
    WriteToPage("<table>");
    step = 4.3;
    if (fail) throw Error(kErrTypeMismatch, "Type mismatch", "Fennick.DataGrid");
    WriteToPage("</table>");
    PageContext& page = RequirePage("Bind");
    if (page.request().QueryString("end") == "1") page.response().End();
    WriteToPage("after");
  });
}

void Display(bool fail) {
  double step = 1;
  RunTraced("Display", step, [&] {
    step = 3;
    Bind(fail);
    step = 5;
  });
}

TEST(HostServicesTest, ErrorTraceReachesThePageInnermostFirst) {
  TestServer t;
  t.server().RegisterPage(
      "/grid", [](PageContext& page) { Display(page.request().QueryString("fail") == "1"); });
  t.Start();
  auto c = t.Client();
  auto res = c.Get("/grid?fail=1");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 500);
  // The host's error block (alone: the table written before is dropped)
  // shows the chain as HTML line breaks.
  EXPECT_EQ(res->body.find("<table>"), std::string::npos) << res->body;
  EXPECT_NE(res->body.find("(13)</b><br>Type mismatch<br><i>Fennick.DataGrid<br> Bind Line: 4.3"
                           "<br> Display Line: 3</i>"),
            std::string::npos)
      << res->body;

  // Response.End inside a traced routine ends the page without an error.
  res = c.Get("/grid?end=1");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->body, "<table></table>");

  res = c.Get("/grid");
  EXPECT_EQ(res->body, "<table></table>after");
}

TEST(HostServicesTest, ErrorBoxesAndOutputNeedARunningPage) {
  EXPECT_EQ(CurrentPage(), nullptr);
  try {
    BindHostContext("DataGrid");
    FAIL() << "a component object was created without a page";
  } catch (const Error& e) {
    EXPECT_NE(e.description().find("DataGrid"), std::string::npos);
  }
  EXPECT_THROW(WriteToPage("x"), Error);

  Application app;
  PageContext page(Request(), Session(MakeMemorySessionStore(), "id"), app,
                   Server("/site", "/p.asp", nullptr, "en_US"));
  page.request().SetVariable("URL", "/reports/p.asp");
  {
    PageBinding bound(page);
    HostContext host = BindHostContext("DataGrid");
    EXPECT_EQ(host.page_url, "/reports/p.asp");
    EXPECT_EQ(host.response, &page.response());
    ShowError("No rows");
    ShowError("Fatal", true);
  }
  EXPECT_EQ(CurrentPage(), nullptr);
  EXPECT_EQ(page.response().Body(),
            "<div><font color=red face=arial>No rows</font></div>"
            "<div><font color=red face=arial size=3>Fatal</font></div>");
}

TEST(HostServicesTest, TraceWrapsForeignExceptionsButNotPageEnd) {
  double step = 2;
  try {
    RunTraced("Init", step, [] { throw std::runtime_error("disk full"); });
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.description(), "disk full");
    EXPECT_EQ(e.source(), "Fennick<br> Init Line: 2");
  }
  EXPECT_THROW(RunTraced("Init", step, [] { throw PageEnd{}; }), PageEnd);
  EXPECT_EQ(RunTraced("Init", step, [] { return 7; }), 7);
}

TEST(DispatchTest, ConvertsArgumentsToDeclaredTypes) {
  EXPECT_EQ(ConvertArgument(Variant("20"), ArgType::kInteger), Variant(int16_t{20}));
  EXPECT_EQ(ConvertArgument(Variant(32767.4), ArgType::kInteger), Variant(int16_t{32767}));
  EXPECT_EQ(ConvertArgument(Variant(2.5), ArgType::kInteger), Variant(int16_t{2}));  // to even
  for (Variant bad : {Variant(32768), Variant(-32769), Variant("40000"), Variant(1e300)}) {
    try {
      ConvertArgument(bad, ArgType::kInteger);
      FAIL() << bad.AsString();
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kErrOverflow);
      EXPECT_EQ(e.description(), "Overflow");
    }
  }
  EXPECT_EQ(ConvertArgument(Variant(int64_t{40000}), ArgType::kLong), Variant(int32_t{40000}));
  EXPECT_THROW(ConvertArgument(Variant(3e9), ArgType::kLong), Error);
  EXPECT_THROW(ConvertArgument(Variant("abc"), ArgType::kLong), Error);
  EXPECT_THROW(ConvertArgument(Variant::Null(), ArgType::kString), Error);
  EXPECT_EQ(ConvertArgument(Variant("True"), ArgType::kBoolean), Variant(true));
  EXPECT_EQ(ConvertArgument(Variant(0), ArgType::kBoolean), Variant(false));
  EXPECT_EQ(ConvertArgument(Variant(true), ArgType::kString), Variant("True"));
  EXPECT_EQ(ConvertArgument(Variant(1.5), ArgType::kString), Variant("1.5"));
}

}  // namespace
}  // namespace fennick
