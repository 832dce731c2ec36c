// Tests of the XSLT adapter: transforms with parameters, the security
// policy, extension functions and the stylesheet cache.
#include "platform/xml/xslt.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fennick {
namespace {

namespace fs = std::filesystem;

constexpr char kHeader[] =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>";

std::string Sheet(const std::string& body, const std::string& extra_ns = "") {
  std::string header = kHeader;
  if (!extra_ns.empty()) header.insert(header.size() - 1, " " + extra_ns);
  return header + body + "</xsl:stylesheet>";
}

XmlDocument Data(const std::string& text) {
  XmlParseResult result = XmlDocument::Parse(text);
  EXPECT_TRUE(result.ok()) << result.error;
  return std::move(result.document);
}

class XsltTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = fs::temp_directory_path() /
            ("fennick_xslt_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + std::to_string(reinterpret_cast<uintptr_t>(this)));
    fs::create_directories(site_ / "tpl");
    outside_ = site_.string() + "_outside.xml";
    { std::ofstream(site_ / "tpl" / "inside.xml") << "<v>inside</v>"; }
    { std::ofstream(outside_) << "<v>TOPSECRET</v>"; }
    policy_.readable_root = site_;
  }
  void TearDown() override {
    fs::remove_all(site_);
    fs::remove(outside_);
  }

  fs::path site_;
  fs::path outside_;
  XsltPolicy policy_;
};

TEST_F(XsltTest, TransformsWithStringParameters) {
  XsltCompileResult compiled = XsltStylesheet::Compile(Sheet(
      "<xsl:output method='text'/><xsl:param name='title' select=\"'none'\"/>"
      "<xsl:template match='/'>[<xsl:value-of select='$title'/>|"
      "<xsl:value-of select='count(//r)'/>]</xsl:template>"));
  ASSERT_TRUE(compiled.ok()) << compiled.error;
  XmlDocument data = Data("<rows><r/><r/></rows>");
  EXPECT_EQ(compiled.stylesheet->Transform(data).text, "[none|2]");
  // Both kinds of quote in one value: passed as a string, never as XPath.
  XsltResult result = compiled.stylesheet->Transform(data, {{"title", "it's \"x\" & <y>"}});
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.text, "[it's \"x\" & <y>|2]");
  EXPECT_EQ(compiled.stylesheet->Transform(data, {{"title", "count(//r)"}}).text,
            "[count(//r)|2]");
}

TEST_F(XsltTest, OutputFollowsTheStylesheetsEncoding) {
  XsltCompileResult compiled = XsltStylesheet::Compile(Sheet(
      "<xsl:output method='xml' encoding='ISO-8859-1'/>"
      "<xsl:template match='/'><c><xsl:value-of select='.'/></c></xsl:template>"));
  ASSERT_TRUE(compiled.ok()) << compiled.error;
  XsltResult result = compiled.stylesheet->Transform(Data("<a>Z\xC3\xBCrich \xE2\x82\xAC</a>"));
  EXPECT_EQ(result.text,
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<c>Z\xFCrich &#8364;</c>\n");
}

TEST_F(XsltTest, CompileErrorsCarryTheReason) {
  XsltCompileResult not_xml = XsltStylesheet::Compile("<xsl:stylesheet");
  EXPECT_FALSE(not_xml.ok());
  EXPECT_FALSE(not_xml.error.empty());
  XsltCompileResult not_xslt = XsltStylesheet::Compile(Sheet("<xsl:template match='/'><xsl:value-of/></xsl:template>"));
  EXPECT_FALSE(not_xslt.ok());
  EXPECT_NE(not_xslt.error.find("select"), std::string::npos) << not_xslt.error;
  XsltCompileResult missing = XsltStylesheet::CompileFile(site_ / "none.xsl");
  EXPECT_FALSE(missing.ok());
}

TEST_F(XsltTest, DocumentReadsStayInsideTheSite) {
  std::string body =
      "<xsl:output method='text'/><xsl:param name='p'/>"
      "<xsl:template match='/'><xsl:value-of select='document($p)/v'/></xsl:template>";
  XsltCompileResult compiled = XsltStylesheet::Compile(Sheet(body));
  ASSERT_TRUE(compiled.ok()) << compiled.error;
  XmlDocument data = Data("<a/>");
  XsltResult inside =
      compiled.stylesheet->Transform(data, {{"p", (site_ / "tpl" / "inside.xml").string()}}, policy_);
  ASSERT_TRUE(inside.ok()) << inside.error;
  EXPECT_EQ(inside.text, "inside");

  for (std::string path :
       {outside_.string(), "file://" + outside_.string(),
        (site_ / "tpl" / ".." / ".." / outside_.filename()).string(), std::string("/etc/passwd")}) {
    XsltResult refused = compiled.stylesheet->Transform(data, {{"p", path}}, policy_);
    EXPECT_EQ(refused.text.find("TOPSECRET"), std::string::npos) << path;
    EXPECT_FALSE(refused.ok()) << path;
    EXPECT_NE(refused.error.find("not allowed"), std::string::npos) << refused.error;
  }
  // No policy root: no file at all.
  EXPECT_FALSE(compiled.stylesheet
                   ->Transform(data, {{"p", (site_ / "tpl" / "inside.xml").string()}})
                   .ok());
  // The network is never read.
  EXPECT_FALSE(compiled.stylesheet->Transform(data, {{"p", "http://192.0.2.1/x.xml"}}, policy_).ok());
}

TEST_F(XsltTest, WritesAreRefused) {
  fs::path target = site_ / "written.txt";
  XsltCompileResult compiled = XsltStylesheet::Compile(
      Sheet("<xsl:template match='/'><exsl:document href='" + target.string() +
                "' method='text'>owned</exsl:document><r/></xsl:template>",
            "xmlns:exsl='http://exslt.org/common' extension-element-prefixes='exsl'"));
  ASSERT_TRUE(compiled.ok()) << compiled.error;
  XsltResult result = compiled.stylesheet->Transform(Data("<a/>"), {}, policy_);
  EXPECT_FALSE(result.ok());
  EXPECT_FALSE(fs::exists(target));

  fs::path nested = site_ / "newdir" / "x.txt";
  XsltCompileResult mkdir = XsltStylesheet::Compile(
      Sheet("<xsl:template match='/'><exsl:document href='" + nested.string() +
                "' method='text'>x</exsl:document></xsl:template>",
            "xmlns:exsl='http://exslt.org/common' extension-element-prefixes='exsl'"));
  ASSERT_TRUE(mkdir.ok()) << mkdir.error;
  EXPECT_FALSE(mkdir.stylesheet->Transform(Data("<a/>"), {}, policy_).ok());
  EXPECT_FALSE(fs::exists(site_ / "newdir"));
}

TEST_F(XsltTest, IncludesStayInsideTheSite) {
  { std::ofstream(site_ / "tpl" / "part.xsl") << Sheet("<xsl:template name='p'>part</xsl:template>"); }
  fs::path outside_sheet = site_.string() + "_outside.xsl";
  { std::ofstream(outside_sheet) << Sheet("<xsl:template name='p'>TOPSECRET</xsl:template>"); }
  std::string body = "<xsl:output method='text'/><xsl:include href='%s'/>"
                     "<xsl:template match='/'><xsl:call-template name='p'/></xsl:template>";
  auto with = [&](const std::string& href) {
    std::string text = body;
    text.replace(text.find("%s"), 2, href);
    return Sheet(text);
  };
  XsltCompileResult inside = XsltStylesheet::Compile(with("part.xsl"), policy_, site_ / "tpl" / "main.xsl");
  ASSERT_TRUE(inside.ok()) << inside.error;
  EXPECT_EQ(inside.stylesheet->Transform(Data("<a/>")).text, "part");
  XsltCompileResult outside = XsltStylesheet::Compile(with(outside_sheet.string()), policy_,
                                                      site_ / "tpl" / "main.xsl");
  EXPECT_FALSE(outside.ok());
  fs::remove(outside_sheet);
}

TEST_F(XsltTest, ExtensionFunctionsAreCalledWithStrings) {
  RegisterXsltFunction("urn:fennick-test", "join", [](const std::vector<std::string>& args) {
    std::string out;
    for (const std::string& arg : args) out += "<" + arg + ">";
    return out;
  });
  RegisterXsltFunction("urn:fennick-test", "fail", [](const std::vector<std::string>&) -> std::string {
    throw std::runtime_error("broken");
  });
  XsltCompileResult compiled = XsltStylesheet::Compile(
      Sheet("<xsl:output method='text'/><xsl:template match='/'>"
            "<xsl:value-of select=\"t:join(/a/@x, 'y', 3)\"/></xsl:template>",
            "xmlns:t='urn:fennick-test'"));
  ASSERT_TRUE(compiled.ok()) << compiled.error;
  EXPECT_EQ(compiled.stylesheet->Transform(Data("<a x='1'/>")).text, "<1><y><3>");

  XsltCompileResult failing = XsltStylesheet::Compile(
      Sheet("<xsl:output method='text'/><xsl:template match='/'>"
            "<xsl:value-of select=\"t:fail()\"/></xsl:template>",
            "xmlns:t='urn:fennick-test'"));
  ASSERT_TRUE(failing.ok()) << failing.error;
  XsltResult result = failing.stylesheet->Transform(Data("<a/>"));
  EXPECT_FALSE(result.ok());
  EXPECT_NE(result.error.find("broken"), std::string::npos) << result.error;
}

TEST_F(XsltTest, CacheCompilesOncePerTextAndPerFileVersion) {
  XsltCache cache(8);
  std::string text = Sheet("<xsl:output method='text'/><xsl:template match='/'>one</xsl:template>");
  XsltCompileResult first = cache.FromText(text);
  XsltCompileResult second = cache.FromText(text);
  ASSERT_TRUE(first.ok());
  EXPECT_EQ(first.stylesheet, second.stylesheet);
  EXPECT_FALSE(cache.FromText("<broken").ok());

  fs::path file = site_ / "tpl" / "s.xsl";
  { std::ofstream(file) << text; }
  XsltCompileResult from_file = cache.FromFile(file);
  ASSERT_TRUE(from_file.ok()) << from_file.error;
  EXPECT_EQ(cache.FromFile(file).stylesheet, from_file.stylesheet);
  { std::ofstream(file) << Sheet("<xsl:output method='text'/><xsl:template match='/'>two</xsl:template>"); }
  fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(5));
  XsltCompileResult changed = cache.FromFile(file);
  ASSERT_TRUE(changed.ok());
  EXPECT_NE(changed.stylesheet, from_file.stylesheet);
  EXPECT_EQ(changed.stylesheet->Transform(Data("<a/>")).text, "two");
  EXPECT_FALSE(cache.FromFile(site_ / "missing.xsl").ok());
}

TEST_F(XsltTest, OneStylesheetServesSeveralThreads) {
  XsltCompileResult compiled = XsltCache::Shared().FromText(Sheet(
      "<xsl:output method='text'/><xsl:param name='n'/>"
      "<xsl:template match='/'><xsl:value-of select='concat($n, count(//r))'/></xsl:template>"));
  ASSERT_TRUE(compiled.ok());
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      XmlDocument data = Data("<rows><r/><r/><r/></rows>");
      for (int i = 0; i < 200; ++i) {
        std::string n = std::to_string(t);
        if (compiled.stylesheet->Transform(data, {{"n", n}}).text != n + "3") ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace fennick
