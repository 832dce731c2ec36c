// The designer object inside a made-up page: property forms, the message
// box, the locale's button texts and the builder's group list.
#include "designer/quillon2.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "designer/reports_file.h"
#include "fennick/page.h"
#include "platform/web/private_files.h"
#include "support/fold-designer_files.h"

namespace fennick::designer {
namespace {

namespace fs = std::filesystem;

class Quillon2Test : public ::testing::Test {
 protected:
  Quillon2Test()
      : root_(test_support::FreshTestFolder("fennick_quillon2_")) {
    fs::create_directories(root_ / "data");
    Request request;
    request.SetVariable("URL", "/pages/q.asp");
    request.MutableQuery().Add("rid", "R1");
    request.MutableQuery().Add("dept", "a&b");
    page_ = std::make_unique<PageContext>(std::move(request),
                                          Session(MakeMemorySessionStore(), "s1"), app_,
                                          Server(root_, "/pages/q.asp", nullptr, "en_US"));
    binding_ = std::make_unique<PageBinding>(*page_);
  }
  ~Quillon2Test() override {
    binding_.reset();
    page_.reset();
    fs::remove_all(root_);
  }
  std::string Body() const { return page_->response().Body(); }

  fs::path root_;
  Application app_;
  std::unique_ptr<PageContext> page_;
  std::unique_ptr<PageBinding> binding_;
};

TEST_F(Quillon2Test, PropertiesTakeTheirStoredForms) {
  Quillon2 q;
  EXPECT_EQ(q.settings().reports_file, root_ / "pages" / "reports.xml");
  EXPECT_EQ(q.settings().home_url, "/pages/q.asp?dept=a%26b");  // own keys dropped
  q.ReportsFile("..\\data\\reports.xml");
  EXPECT_EQ(q.settings().reports_file, root_ / "data" / "reports.xml");
  EXPECT_THROW(q.ReportsFile("..\\..\\..\\etc\\passwd"), Error);
  q.HiddenReports(" hr, mktg ");
  EXPECT_EQ(q.settings().hidden_reports, ",HR,MKTG,");
  q.UseReports("");
  EXPECT_EQ(q.settings().use_reports, "");
  q.ImagesUrl("img");
  EXPECT_EQ(q.settings().images_url, "img/");
  q.LocaleFolder("/data");
  EXPECT_TRUE(q.settings().auto_detect_locale);
  EXPECT_EQ(q.settings().locale_folder, root_ / "data");
  q.CodePage(1252);
  EXPECT_EQ(page_->response().CodePage(), 1252);
  q.permissions().SetAdmin(false);
  EXPECT_TRUE(q.permissions().change_report_group);

  // Files the designer was given are never served, whatever their name.
  q.ReportsFile("/data/my-reports.txt");
  q.LocaleFile("/data/texts.txt");
  EXPECT_TRUE(IsPrivateFile(root_ / "data" / "my-reports.txt", "plain"));
  EXPECT_TRUE(IsPrivateFile(root_ / "data" / "texts.txt", "plain"));
  EXPECT_FALSE(IsPrivateFile(root_ / "data" / "other.txt", "plain"));
}

TEST_F(Quillon2Test, MessageBoxIsWrittenExactly) {
  ShowMessagePage("Errors Occured", "Could not save report", "red", "/p.asp?x=\"1\"");
  EXPECT_EQ(Body(),
            "<title>Errors Occured</title><table><tr><td nowrap=\"true\"><div "
            "style='background-color:lightyellow;border:1px solid #cccccc;padding:10px;'><font "
            "face=arial size=3 color=red><b>Errors Occured!</b><br>Could not save report</font>"
            "<br><div align=right><a href=\"javascript:document.forms[0].submit()\">Try Again</a> "
            "<a href=\"/p.asp?x=&quot;1&quot;\" title=\"Return home\">Return</a></div></div>"
            "</td></tr></table>");
}

TEST_F(Quillon2Test, LocaleSetsButtonTextsAndGridTexts) {
  std::ofstream(root_ / "data" / "locale.xml")
      << "<Locale version=\"1.0\"><!-- x --><CLOSETEXT> Schließen </CLOSETEXT>"
         "<HomeTitle></HomeTitle><NextText>weiter</NextText></Locale>";
  Quillon2 q;
  q.LocaleFile("/data/locale.xml");
  DataGrid grid;
  q.LoadLocale(&grid);
  EXPECT_EQ(q.buttons().close_text, "Schließen");
  EXPECT_EQ(q.buttons().home_title, "");
  EXPECT_EQ(q.buttons().build_text, "Build Report");
  EXPECT_EQ(Body(), "");

  // A broken file: the message, and the texts stay.
  std::ofstream(root_ / "data" / "locale.xml") << "<Locale><CloseText>x";
  q.LoadLocale(&grid);
  EXPECT_NE(Body().find("<b>Invalid XML Document!</b><br>Your language file <b>'locale.xml'</b> "
                        "is either corrupt or does not exist."),
            std::string::npos)
      << Body();
  EXPECT_EQ(q.buttons().close_text, "Schließen");

  // A missing default file is written out from the built-in locale.
  q.LocaleFile("/data/fresh.xml");
  q.LoadLocale(nullptr);
  EXPECT_TRUE(fs::exists(root_ / "data" / "fresh.xml"));
  EXPECT_EQ(q.buttons().close_text, "Close");
}

TEST_F(Quillon2Test, GroupOptionsAreEncoded) {
  Quillon2 q;
  q.ReportsFile("/data/reports.xml");
  ReportsFile file(root_ / "data" / "reports.xml");
  ASSERT_TRUE(file.SaveGroup("HR", "People & \"pay\"", true, true).ok());
  EXPECT_EQ(q.GroupOptions("HR"),
            "<option value=\"\">General Reports</option><option selected value=\"HR\">People "
            "&amp; &quot;pay&quot;</option>");
  std::ofstream(root_ / "data" / "reports.xml") << "<broken";
  EXPECT_EQ(q.GroupOptions(""), "<option>ERROR! REPORTS NOT FOUND</Option>");
}

}  // namespace
}  // namespace fennick::designer
