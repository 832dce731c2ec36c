// Work outside the script engine stops at the deadline of the page bound to
// the thread: regular expressions over long texts and expression
// evaluations in a native loop.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "fennick/error.h"
#include "fennick/page.h"
#include "platform/script/evaluator.h"
#include "platform/script/regexp.h"

namespace fennick::script {
namespace {

using Clock = std::chrono::steady_clock;

class PageDeadlineTest : public ::testing::Test {
 protected:
  PageDeadlineTest()
      : store_(MakeMemorySessionStore()),
        page_(Request(), Session(store_, "s"), application_, Server(".", "/", nullptr, "en_US")) {}

  double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
  }

  std::shared_ptr<SessionStore> store_;
  Application application_;
  PageContext page_;
};

// Backtracks just under the step limit at each of 38,000 start positions:
// seconds of work in one match, each attempt within its own bound.
std::string SlowSubject() {
  std::string text;
  for (int i = 0; i < 2000; ++i) text.append(std::string(18, 'a')).push_back('!');
  text.push_back('b');
  return text;
}

TEST_F(PageDeadlineTest, ARegularExpressionStopsAtTheDeadline) {
  RegExp re;
  re.Pattern("(a+)+b");
  EXPECT_TRUE(re.Test("aab"));  // no page bound: no deadline

  PageBinding binding(page_);
  page_.Deadline(Clock::now() + std::chrono::seconds(1));
  EXPECT_TRUE(re.Test("aab"));
  auto start = Clock::now();
  try {
    re.Test(SlowSubject());
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrPageTimeLimit);
    EXPECT_EQ(e.description(),
              "Regular expression \"(a+)+b\" was stopped at the page's time limit");
  }
  double seconds = SecondsSince(start);
  EXPECT_GE(seconds, 0.5);
  EXPECT_LT(seconds, 2.0);
  // Past the deadline even a quick match is refused.
  EXPECT_THROW(re.Test("aab"), Error);
}

TEST_F(PageDeadlineTest, LeadingSettingsAndErrorOffsetsAreThePatternsOwn) {
  RegExp re;
  re.Pattern("(*LIMIT_MATCH=5000)(*UCP)\\w+");
  EXPECT_TRUE(re.Test("word"));
  re.Pattern("ab(");
  try {
    re.Test("x");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrRegExpSyntax);
    EXPECT_EQ(e.description(),
              "Syntax error in regular expression \"ab(\": missing closing parenthesis at "
              "offset 3");
  }
}

TEST_F(PageDeadlineTest, EvaluationsStopAtTheDeadline) {
  PageBinding binding(page_);
  page_.Deadline(Clock::now() + std::chrono::milliseconds(300));
  // A grid's cell loop: evaluations until the deadline stops them.
  auto start = Clock::now();
  int done = 0;
  try {
    for (;;) {
      EvaluateToText("Len(String(10000, \"x\") & \"" + std::to_string(done % 7) + "\")");
      ++done;
    }
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrPageTimeLimit);
    EXPECT_EQ(e.description(), "The page reached its time limit and was stopped");
    EXPECT_EQ(e.source(), "Expression");
  }
  EXPECT_GT(done, 0);
  EXPECT_LT(SecondsSince(start), 1.0);
  page_.Deadline(Clock::time_point::max());
  EXPECT_EQ(EvaluateToText("1 + 1"), "2");
}

}  // namespace
}  // namespace fennick::script
