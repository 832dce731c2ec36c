// Tests of the XML document adapter: safe parsing, encodings, XPath and
// node editing.
#include "platform/xml/xml_document.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fennick/error.h"

namespace fennick {
namespace {

TEST(XmlDocumentTest, ParseReportsReasonAndLine) {
  XmlParseResult good = XmlDocument::Parse("<a x='1'><b>t</b></a>");
  ASSERT_TRUE(good.ok()) << good.error;
  EXPECT_EQ(good.document.Root().Name(), "a");
  EXPECT_EQ(good.document.Root().Attribute("x"), "1");
  EXPECT_EQ(good.document.Root().Attribute("y"), std::nullopt);

  XmlParseResult bad = XmlDocument::Parse("<a>\n&nowhere;</a>");
  EXPECT_FALSE(bad.ok());
  EXPECT_EQ(bad.line, 2);
  EXPECT_EQ(bad.error, "Entity 'nowhere' not defined");
  EXPECT_FALSE(bad.document.Root());

  EXPECT_FALSE(XmlDocument::Parse("").ok());
  EXPECT_FALSE(XmlDocument::Parse("plain text").ok());
}

TEST(XmlDocumentTest, EntitiesAndExternalDtdsAreNeverLoaded) {
  std::filesystem::path secret =
      std::filesystem::temp_directory_path() / "fennick_xml_secret.txt";
  { std::ofstream(secret) << "TOPSECRET"; }
  std::string text = "<!DOCTYPE a [<!ENTITY x SYSTEM 'file://" + secret.string() +
                     "'>]><a>&x;</a>";
  XmlParseResult result = XmlDocument::Parse(text);
  if (result.ok()) {
    EXPECT_EQ(result.document.Root().Text().find("TOPSECRET"), std::string::npos);
    EXPECT_EQ(result.document.Serialize().find("TOPSECRET"), std::string::npos);
  }
  // An external DTD on the network is not fetched (the parse would hang or
  // fail on this address otherwise).
  XmlParseResult dtd = XmlDocument::Parse(
      "<!DOCTYPE a SYSTEM 'http://192.0.2.1/x.dtd'><a>ok</a>");
  ASSERT_TRUE(dtd.ok()) << dtd.error;
  EXPECT_EQ(dtd.document.Root().Text(), "ok");
  std::filesystem::remove(secret);
}

TEST(XmlDocumentTest, SerializeMatchesTheDeclaredEncoding) {
  XmlDocument doc = XmlDocument::WithRoot("city");
  doc.Root().SetText("Z\xC3\xBCrich \xE2\x82\xAC");  // "Zürich €"
  EXPECT_EQ(doc.Serialize({.encoding = "ISO-8859-1"}),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
            "<city>Z\xFCrich &#8364;</city>\n");
  EXPECT_EQ(doc.Serialize({.encoding = "UTF-8", .declaration = false}),
            "<city>Z\xC3\xBCrich \xE2\x82\xAC</city>\n");
  EXPECT_EQ(doc.Serialize(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<city>Z\xC3\xBCrich \xE2\x82\xAC</city>\n");
  EXPECT_THROW(doc.Serialize({.encoding = "NO-SUCH-CHARSET"}), Error);
}

TEST(XmlDocumentTest, EditedValuesStayText) {
  XmlDocument doc = XmlDocument::WithRoot("format");
  XmlNode entry = doc.Root().AppendElement("numeric");
  entry.SetAttribute("name", "a\"b'<c>&d");
  entry.SetText("&amp; <x/>");
  XmlNode first = doc.Root().PrependElement("datetime");
  first.SetAttribute("value", "T1");
  std::string text = doc.Serialize({.declaration = false});
  EXPECT_EQ(text,
            "<format><datetime value=\"T1\"/><numeric name=\"a&quot;b'&lt;c&gt;&amp;d\">"
            "&amp;amp; &lt;x/&gt;</numeric></format>\n");
  XmlParseResult again = XmlDocument::Parse(text);
  ASSERT_TRUE(again.ok());
  XmlNode numeric = again.document.SelectFirst("/format/numeric");
  EXPECT_EQ(numeric.Attribute("name"), "a\"b'<c>&d");
  EXPECT_EQ(numeric.Text(), "&amp; <x/>");
  EXPECT_EQ(again.document.Root().Elements().size(), 2u);
  EXPECT_EQ(again.document.Root().FirstElement().Name(), "datetime");

  numeric.RemoveAttribute("name");
  EXPECT_EQ(numeric.Attribute("name"), std::nullopt);
  numeric.MoveBefore(again.document.Root().FirstElement());
  EXPECT_EQ(again.document.Root().FirstElement().Name(), "numeric");
  numeric.Remove();
  EXPECT_FALSE(numeric);
  EXPECT_EQ(again.document.Root().OuterXml(), "<format><datetime value=\"T1\"/></format>");
}

TEST(XmlDocumentTest, SelectKnowsTheRootNamespacesAndCopiesAcrossDocuments) {
  XmlParseResult data = XmlDocument::Parse(
      "<xml xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'>"
      "<rs:data><z:row a='1'/><z:row a='2' b='x'/></rs:data></xml>");
  ASSERT_TRUE(data.ok());
  std::vector<XmlNode> rows = data.document.Select("/xml/rs:data/z:row");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].Name(), "row");
  EXPECT_EQ(rows[1].NamespaceUri(), "#RowsetSchema");
  EXPECT_EQ(rows[1].Attributes(),
            (std::vector<std::pair<std::string, std::string>>{{"a", "2"}, {"b", "x"}}));
  EXPECT_EQ(rows[0].SelectFirst("@a").Text(), "1");
  EXPECT_EQ(data.document.Select("//q:row", {{"q", "#RowsetSchema"}}).size(), 2u);
  EXPECT_TRUE(data.document.Select("//none").empty());
  EXPECT_THROW(data.document.Select("//z:row["), Error);

  XmlParseResult fragment = XmlDocument::Parse("<headers><header caption='A &amp; B'/></headers>");
  ASSERT_TRUE(fragment.ok());
  XmlNode copy = data.document.Root().AppendCopy(fragment.document.Root());
  EXPECT_EQ(copy.FirstElement().Attribute("caption"), "A & B");
  EXPECT_EQ(copy.Parent(), data.document.Root());
}

TEST(XmlDocumentTest, HtmlIsReadLeniently) {
  XmlDocument html = XmlDocument::ParseHtml(
      "<html><body><table><tr><th>N<td>Z\xC3\xBCrich &amp; co<tr><td>2</table>");
  std::vector<XmlNode> cells = html.Select("//td");
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(cells[0].Text(), "Z\xC3\xBCrich & co");
  EXPECT_EQ(html.Select("//tr").size(), 2u);
}

TEST(XmlDocumentTest, EscapeCoversMarkupAndBothQuotes) {
  EXPECT_EQ(XmlEscape("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
  EXPECT_EQ(XmlEscape(""), "");
}

}  // namespace
}  // namespace fennick
