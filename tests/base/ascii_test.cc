// The ASCII helpers and the list splitter every layer shares.
#include "base/ascii.h"

#include <gtest/gtest.h>

#include <map>

#include "base/split.h"

namespace fennick {
namespace {

TEST(AsciiTest, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(AsciiLower("SELECT [Größe] FROM T_1"), "select [größe] from t_1");
  EXPECT_EQ(AsciiUpper("where a@b`c"), "WHERE A@B`C");
  // '@' and '`' differ from 'A' and 'a' by the case bit only: they must not
  // compare equal, as a compare that ORs 0x20 into every byte would have it.
  EXPECT_FALSE(EqualsIgnoreCase("@", "`"));
  EXPECT_FALSE(EqualsIgnoreCase("[", "{"));
  EXPECT_TRUE(EqualsIgnoreCase("Provider", "pROVIDER"));
  EXPECT_FALSE(EqualsIgnoreCase("Ä", "ä"));  // UTF-8 bytes compare as they stand
}

TEST(AsciiTest, ComparesPrefixesAndSearches) {
  EXPECT_LT(CompareIgnoreCase("apple", "Banana"), 0);
  EXPECT_GT(CompareIgnoreCase("b", "A"), 0);
  EXPECT_LT(CompareIgnoreCase("abc", "ABCD"), 0);
  EXPECT_EQ(CompareIgnoreCase("MiXeD", "mixed"), 0);
  EXPECT_TRUE(StartsWithIgnoreCase("AM/PM", "am/"));
  EXPECT_FALSE(StartsWithIgnoreCase("am", "am/pm"));
  EXPECT_TRUE(EndsWithIgnoreCase("photo.JPG", ".jpg"));
  EXPECT_FALSE(EndsWithIgnoreCase("jpg", ".jpg"));
  EXPECT_EQ(FindIgnoreCase("select a FROM t from u", "from"), 9u);
  EXPECT_EQ(FindIgnoreCase("select a FROM t from u", "from", 10), 16u);
  EXPECT_EQ(FindIgnoreCase("abc", "abcd"), std::string_view::npos);
  EXPECT_EQ(FindIgnoreCase("abc", "c", 5), std::string_view::npos);
  EXPECT_FALSE(ContainsIgnoreCase("abc", ""));
  std::map<std::string, int, LessIgnoreCase> by_name{{"Title", 1}};
  EXPECT_EQ(by_name.count("TITLE"), 1u);
}

TEST(AsciiTest, TrimsAndReplaces) {
  EXPECT_EQ(TrimBlanks(" \t a b \t"), "a b");
  EXPECT_EQ(TrimBlanks("\r\nx\r\n"), "\r\nx\r\n");
  EXPECT_EQ(TrimSpace("\r\n x \r\n"), "x");
  EXPECT_EQ(TrimSpace(" \t "), "");
  std::string text = "@a @a@a";
  ReplaceAll(text, "@a", "@a@a");  // a replacement holding the token is not rescanned
  EXPECT_EQ(text, "@a@a @a@a@a@a");
  ReplaceAll(text, "", "x");
  EXPECT_EQ(text, "@a@a @a@a@a@a");
}

TEST(SplitTest, KeepsEmptyItemsExceptForAnEmptyText) {
  EXPECT_EQ(SplitText("a,,b,", ","), (std::vector<std::string>{"a", "", "b", ""}));
  EXPECT_TRUE(SplitText("", ",").empty());
  EXPECT_EQ(SplitText("x|||y", "|||"), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(SplitText("abc", ""), (std::vector<std::string>{"abc"}));
  EXPECT_EQ(SplitTrimmed(" a ,, b\t,", ","), (std::vector<std::string_view>{"a", "b"}));
}

}  // namespace
}  // namespace fennick
