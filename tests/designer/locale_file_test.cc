// Locale files: language detection from hostile headers, the default
// locale, and keys added by ReadLocaleText.
#include "designer/locale_file.h"
#include "support/fold-designer_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

namespace fennick::designer {
namespace {

namespace fs = std::filesystem;

class LocaleFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test_support::FreshTestFolder("fennick_locale_");
  }
  void TearDown() override { fs::remove_all(folder_); }
  static std::string Text(const fs::path& path) { return test_support::ReadText(path); }
  fs::path folder_;
};

TEST_F(LocaleFileTest, LanguageSuffixTrustsOnlyLetters) {
  EXPECT_EQ(LanguageSuffix("fr-CA,fr;q=0.8"), "_fr");
  EXPECT_EQ(LanguageSuffix("DE"), "_DE");
  EXPECT_EQ(LanguageSuffix(""), "");
  EXPECT_EQ(LanguageSuffix("en;q=0.9"), "");
  for (const char* hostile : {"../../etc/passwd", "..", "fr/../x", "a b", "fr%00", "abcdefghi",
                              "<script>", "fr\\x", "é"}) {
    EXPECT_EQ(LanguageSuffix(hostile), "") << hostile;
  }
  std::ofstream(folder_ / "locale_fr.xml") << "<Locale version=\"1.0\"/>";
  DetectedLocale fr = DetectLocaleFile(folder_, "fr-CA,fr;q=0.8");
  EXPECT_EQ(fr.path, folder_ / "locale_fr.xml");
  EXPECT_TRUE(fr.from_request);
  // A language without a file falls back to the default, and nothing is
  // created for it.
  DetectedLocale de = DetectLocaleFile(folder_, "de-DE");
  EXPECT_EQ(de.path, folder_ / "locale.xml");
  EXPECT_FALSE(de.from_request);
  EXPECT_EQ(DetectLocaleFile(folder_, "../../x").path, folder_ / "locale.xml");
  EXPECT_FALSE(fs::exists(folder_ / "locale_de.xml"));
}

TEST_F(LocaleFileTest, MissingFileGetsTheDefaultLocale) {
  const fs::path path = folder_ / "locale.xml";
  EXPECT_FALSE(LoadLocaleTexts(path, false).ok());
  EXPECT_FALSE(fs::exists(path));
  LocaleTexts texts = LoadLocaleTexts(path, true);
  ASSERT_TRUE(texts.ok()) << texts.error;
  EXPECT_TRUE(fs::exists(path));
  std::map<std::string, std::string> by_key(texts.texts.begin(), texts.texts.end());
  EXPECT_EQ(texts.texts.size(), 68u);
  EXPECT_EQ(texts.texts.front().first, "CloseText");
  EXPECT_EQ(by_key["FirstText"], "« First");
  EXPECT_EQ(by_key["SortOrderAscText"], "");
  EXPECT_EQ(by_key["FilterUseORText"], "Use <b>OR</b>");
  EXPECT_EQ(by_key["RefreshText"], "<font face=\"MS OUTLOOK\">C</font>");
  EXPECT_EQ(by_key["PageCountText"], "Page @CurrentPage of @NumOfPages (@NumOfRecs recs)");
}

TEST_F(LocaleFileTest, ReadLocaleTextAddsKeysToTheRoot) {
  const fs::path path = folder_ / "locale.xml";
  std::ofstream(path) << "<?xml version=\"1.0\"?>\n<!-- texts -->\n<Locale version=\"1.0\">"
                         "<TablesText>Tabellen</TablesText></Locale>";
  std::string error;
  EXPECT_EQ(ReadLocaleText(path, "TablesText", "Tables", &error), "Tabellen");
  EXPECT_EQ(ReadLocaleText(path, "tablestext", "x", &error), "x");  // case-sensitive
  EXPECT_EQ(ReadLocaleText(path, "AllowedTablesText", "Allowed Tables", &error),
            "Allowed Tables");
  EXPECT_EQ(error, "");
  const std::string text = Text(path);
  EXPECT_NE(text.find("<!-- texts -->\n<Locale version=\"1.0\"><TablesText>Tabellen</TablesText>"
                      "<tablestext>x</tablestext><AllowedTablesText>Allowed Tables"
                      "</AllowedTablesText></Locale>"),
            std::string::npos)
      << text;
  // A name that is no element name is answered but never written.
  EXPECT_EQ(ReadLocaleText(path, "a b<c", "d", &error), "d");
  EXPECT_EQ(Text(path), text);

  // A broken file: the default, the reason, the file untouched; a missing
  // one is not created.
  const fs::path broken = folder_ / "broken.xml";
  std::ofstream(broken) << "<Locale><x>";
  EXPECT_EQ(ReadLocaleText(broken, "x", "d", &error), "d");
  EXPECT_NE(error, "");
  EXPECT_EQ(Text(broken), "<Locale><x>");
  EXPECT_EQ(ReadLocaleText(folder_ / "none.xml", "x", "d", nullptr), "d");
  EXPECT_FALSE(fs::exists(folder_ / "none.xml"));
}

}  // namespace
}  // namespace fennick::designer
