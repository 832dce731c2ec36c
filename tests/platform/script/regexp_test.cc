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

// The column formats' rewrites (phone numbers), the first match only unless
// global, case sensitivity as an option, the replacement syntax, subjects
// that are not valid UTF-8.
TEST(RegExpTest, Replace) {
  constexpr bool G = true, I = true, _ = false;
  const struct {
    const char* pattern;
    std::string text;
    const char* replacement;
    bool global, ignore_case;
    std::string expected;
  } cases[] = {
      {R"((\d{3})(\d{3})(\d{4}))", "5551234567", "($1) $2-$3", _, _, "(555) 123-4567"},
      // Text around the digits is kept; a value that does not match is unchanged.
      {R"((\d{3})(\d{3})(\d{4}))", "tel 5551234567 x", "($1) $2-$3", _, _,
       "tel (555) 123-4567 x"},
      {R"((\d{3})(\d{3})(\d{4}))", "12345", "($1) $2-$3", _, _, "12345"},
      {R"(^(\d{3})(\d{4})$)", "5551234", "$1-$2", _, _, "555-1234"},
      {"a", "banana", "o", _, _, "bonana"},
      {"a", "banana", "o", G, _, "bonono"},
      {"x", "banana", "o", G, _, "banana"},
      // Empty matches advance one character at a time, also over UTF-8.
      {"x*", "abc", "-", G, _, "-a-b-c-"},
      {"a*", "baaac", "-", G, _, "-b--c-"},
      {"", "é€", "|", G, _, "|é|€|"},
      {"abc", "xABCx", "-", _, _, "xABCx"},
      {"abc", "xABCx", "-", _, I, "x-x"},
      {"é", "CAFÉ", "e", _, I, "CAFe"},
      {"(b)(c)", "abcd", "[$2$1]", _, _, "a[cb]d"},
      {"b", "abcd", "[$&]", _, _, "a[b]cd"},
      {"b", "abcd", "[$`]", _, _, "a[a]cd"},
      {"b", "abcd", "[$']", _, _, "a[cd]cd"},
      {"b", "abcd", "$$1", _, _, "a$1cd"},
      // Not a group: copied as written, also a trailing "$".
      {"(b)", "abcd", "$2$0$x$", _, _, "a$2$0$x$cd"},
      // A group that took no part gives nothing.
      {"(x)?b", "abcd", "<$1>", _, _, "a<>cd"},
      // Two digits when that group exists, else one digit and a literal digit.
      {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)", "abcdefghijkl", "$12$10", _, _, "lj"},
      {"(a)(b)", "ab", "$12", _, _, "a2"},
      // Global replacement refers to each match's own text and surroundings.
      {R"((\w)(\d))", "a1 b2", "$2$1", G, _, "1a 2b"},
      {"cd", "ab\xff\xfe" "cd", "X", _, _, "ab\xff\xfe" "X"},
      {"", "a\xff", "-", G, _, "-a-\xff-"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Rewrite(c.pattern, c.text, c.replacement, c.global, c.ignore_case), c.expected)
        << c.pattern << " on " << c.text;
  }
  RegExp re;
  re.Pattern("hello");
  EXPECT_FALSE(re.Test("HELLO world"));
  re.IgnoreCase(true);  // a changed flag must not reuse the old compilation
  EXPECT_TRUE(re.Test("HELLO world"));
  re.IgnoreCase(false);
  EXPECT_FALSE(re.Test("HELLO world"));
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
