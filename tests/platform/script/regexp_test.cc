// RegExp: the column formats' rewrites, replacement syntax, options, syntax
// of the script world's patterns, and failures that must not hang a page.
#include "platform/script/regexp.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "fennick/error.h"

namespace fennick::script {
namespace {

std::string Rewrite(std::string_view pattern, std::string_view text,
                    std::string_view replacement, bool global = false,
                    bool ignore_case = false) {
  RegExp re;
  re.Pattern(pattern);
  re.Global(global);
  re.IgnoreCase(ignore_case);
  return re.Replace(text, replacement);
}

TEST(RegExpTest, PhoneNumberFormats) {
  EXPECT_EQ(Rewrite(R"((\d{3})(\d{3})(\d{4}))", "5551234567", "($1) $2-$3"),
            "(555) 123-4567");
  // Text around the digits is kept; a value that does not match is unchanged.
  EXPECT_EQ(Rewrite(R"((\d{3})(\d{3})(\d{4}))", "tel 5551234567 x", "($1) $2-$3"),
            "tel (555) 123-4567 x");
  EXPECT_EQ(Rewrite(R"((\d{3})(\d{3})(\d{4}))", "12345", "($1) $2-$3"), "12345");
  EXPECT_EQ(Rewrite(R"(^(\d{3})(\d{4})$)", "5551234", "$1-$2"), "555-1234");
}

TEST(RegExpTest, FirstMatchOnlyUnlessGlobal) {
  EXPECT_EQ(Rewrite("a", "banana", "o"), "bonana");
  EXPECT_EQ(Rewrite("a", "banana", "o", true), "bonono");
  EXPECT_EQ(Rewrite("x", "banana", "o", true), "banana");
  // Empty matches advance one character at a time, also over UTF-8.
  EXPECT_EQ(Rewrite("x*", "abc", "-", true), "-a-b-c-");
  EXPECT_EQ(Rewrite("a*", "baaac", "-", true), "-b--c-");
  EXPECT_EQ(Rewrite("", "é€", "|", true), "|é|€|");
}

TEST(RegExpTest, CaseSensitivityIsAnOption) {
  EXPECT_EQ(Rewrite("abc", "xABCx", "-"), "xABCx");
  EXPECT_EQ(Rewrite("abc", "xABCx", "-", false, true), "x-x");
  EXPECT_EQ(Rewrite("é", "CAFÉ", "e", false, true), "CAFe");
  RegExp re;
  re.Pattern("hello");
  EXPECT_FALSE(re.Test("HELLO world"));
  re.IgnoreCase(true);  // a changed flag must not reuse the old compilation
  EXPECT_TRUE(re.Test("HELLO world"));
  re.IgnoreCase(false);
  EXPECT_FALSE(re.Test("HELLO world"));
}

TEST(RegExpTest, ReplacementSyntax) {
  EXPECT_EQ(Rewrite("(b)(c)", "abcd", "[$2$1]"), "a[cb]d");
  EXPECT_EQ(Rewrite("b", "abcd", "[$&]"), "a[b]cd");
  EXPECT_EQ(Rewrite("b", "abcd", "[$`]"), "a[a]cd");
  EXPECT_EQ(Rewrite("b", "abcd", "[$']"), "a[cd]cd");
  EXPECT_EQ(Rewrite("b", "abcd", "$$1"), "a$1cd");
  // Not a group: copied as written, also a trailing "$".
  EXPECT_EQ(Rewrite("(b)", "abcd", "$2$0$x$"), "a$2$0$x$cd");
  // A group that took no part gives nothing.
  EXPECT_EQ(Rewrite("(x)?b", "abcd", "<$1>"), "a<>cd");
  // Two digits when that group exists, else one digit and a literal digit.
  std::string twelve_groups = "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)";
  EXPECT_EQ(Rewrite(twelve_groups, "abcdefghijkl", "$12$10"), "lj");
  EXPECT_EQ(Rewrite("(a)(b)", "ab", "$12"), "a2");
  // Global replacement refers to each match's own text and surroundings.
  EXPECT_EQ(Rewrite(R"((\w)(\d))", "a1 b2", "$2$1", true), "1a 2b");
}

TEST(RegExpTest, ScriptPatternSyntax) {
  RegExp re;
  auto matches = [&re](std::string_view pattern, std::string_view text) {
    re.Pattern(pattern);
    return re.Test(text);
  };
  EXPECT_TRUE(matches(R"(^\d+$)", "12345"));
  EXPECT_FALSE(matches(R"(^\d+$)", "12a45"));
  EXPECT_FALSE(matches(R"(^\d+$)", "123\n"));  // $ is the very end
  EXPECT_TRUE(matches(R"(\bcat\b)", "a cat sat"));
  EXPECT_FALSE(matches(R"(\bcat\b)", "concatenate"));
  EXPECT_TRUE(matches(R"(^\w+\s\w+$)", "two_words here"));
  EXPECT_TRUE(matches(R"(\u00e9)", "café"));
  EXPECT_TRUE(matches(R"(\x41)", "A"));
  EXPECT_TRUE(matches(R"(^(?:ab)+$)", "ababab"));
  EXPECT_TRUE(matches(R"(^\d+(?=px$))", "12px"));
  EXPECT_TRUE(matches(R"(^\d+(?!px))", "12px"));  // backtracks to 1, then 2px
  EXPECT_FALSE(matches(R"(^\d+(?!\d|px))", "12px"));
  EXPECT_FALSE(matches("[]", "anything"));
  EXPECT_EQ(Rewrite("<.+?>", "<b>x</b>", ""), "x</b>");
  EXPECT_EQ(Rewrite("<.+>", "<b>x</b>", ""), "");
  EXPECT_FALSE(matches("a.b", "a\rb"));  // . matches no line break
  re.Pattern("^b$");
  EXPECT_FALSE(re.Test("a\r\nb\r\nc"));
  re.Multiline(true);
  EXPECT_TRUE(re.Test("a\r\nb\r\nc"));
}

TEST(RegExpTest, InvalidUtf8SubjectsAreMatched) {
  std::string bad = "ab\xff\xfe" "cd";
  EXPECT_EQ(Rewrite("cd", bad, "X"), "ab\xff\xfe" "X");
  EXPECT_EQ(Rewrite("", "a\xff", "-", true), "-a-\xff-");
}

TEST(RegExpTest, InvalidPatternNamesThePattern) {
  RegExp re;
  re.Pattern("(abc");
  try {
    re.Test("abc");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrRegExpSyntax);
    EXPECT_NE(e.description().find("\"(abc\""), std::string::npos) << e.description();
  }
  re.Pattern("a{2,1}");
  EXPECT_THROW(re.Replace("aa", "b"), Error);
  // The failed compilation is not cached as a success.
  re.Pattern("(abc");
  EXPECT_THROW(re.Test("abc"), Error);
}

TEST(RegExpTest, CatastrophicPatternRaisesInsteadOfHanging) {
  RegExp re;
  re.Pattern("^(a+)+$");
  std::string text(40, 'a');
  text.push_back('!');
  try {
    re.Test(text);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrRegExpLimit);
    EXPECT_NE(e.description().find("^(a+)+$"), std::string::npos);
  }
  re.Global(true);
  re.Pattern("(x+x+)+$");
  EXPECT_THROW(re.Replace(std::string(40, 'x') + "y", "-"), Error);
  // The same pattern still works on texts it can decide quickly.
  EXPECT_EQ(re.Replace("xxxx", "-"), "-");
}

TEST(RegExpTest, CopiesAndThreadsShareNothingMutable) {
  RegExp re;
  re.Pattern(R"((\d)(\d))");
  RegExp copy = re;
  copy.Global(true);
  EXPECT_EQ(re.Replace("12 34", "$2$1"), "21 34");
  EXPECT_EQ(copy.Replace("12 34", "$2$1"), "21 43");
  std::string other_thread;
  std::thread t([&copy, &other_thread] { other_thread = copy.Replace("56", "$2$1"); });
  t.join();
  EXPECT_EQ(other_thread, "65");
}

}  // namespace
}  // namespace fennick::script
