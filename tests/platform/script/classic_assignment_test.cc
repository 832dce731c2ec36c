// Classic assignments: what is rewritten into setter calls, and everything
// that must be left exactly as it was.
#include "platform/script/classic_assignment.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fennick {
namespace {

TEST(ClassicAssignmentTest, RewritesAssignmentsToStoresAndNothingElse) {
  struct Row {
    const char* code;
    const char* rewritten;  // nullptr: left as it is
  };
  const Row rows[] = {
      {"Session(\"a\") = 1;", "Session.Set(\"a\",  1);"},
      {"Session.Item('a')=x, Application.Contents(k) = y;",
       "Session.Set('a',x), Application.Set(k,  y);"},
      {"Response.Cookies(\"lang\") = \"fr\"", "Response.Cookies(\"lang\",  \"fr\")"},
      {"if (ok) Session('a') = 1; else { Session('a') = 2 }\nif (a) break\nSession('b') = 3",
       "if (ok) Session.Set('a',  1); else { Session.Set('a',  2) }\nif (a) break\n"
       "Session.Set('b',  3)"},
      // A line break ends the value where a semicolon would be inserted, and
      // not where the expression goes on.
      {"Session('a') = x\nApplication('b') = f(1,\n 2) +\n 3\n- 4\nResponse.Cookies('c') = "
       "z++\n++y",
       "Session.Set('a',  x)\nApplication.Set('b',  f(1,\n 2) +\n 3\n- 4)\n"
       "Response.Cookies('c',  z++)\n++y"},
      {"Session(Request('k')) = Request.Form('v') + Session('old');",
       "Session.Set(Request('k'),  Request.Form('v') + Session('old'));"},
      {"a = Session('x') = Application('y') = 1",
       "a = Session.Set('x',  Application.Set('y',  1))"},
      {"Session(Session('k') = 'x') = 2", "Session.Set(Session.Set('k',  'x'),  2)"},
      {"c ? Session('a') = d ? 1 : 2 : Session('b') = {k: [3, 4]}",
       "c ? Session.Set('a',  d ? 1 : 2) : Session.Set('b',  {k: [3, 4]})"},
      {"Session('r') = /=\\)[/]/g.test(s) ? 1 : 2",
       "Session.Set('r',  /=\\)[/]/g.test(s) ? 1 : 2)"},
      {"Session('n') += 1", "Session.Set(__fnkc0 = ('n'), Session(__fnkc0) + ( 1))"},
      {"Application.Item(k) *= 2; Session(k) >>>= s",
       "Application.Set(__fnkc0 = (k), Application(__fnkc0) * ( 2)); "
       "Session.Set(__fnkc1 = (k), Session(__fnkc1) >>> ( s))"},
      // Comparisons, and assignments inside strings, comments, regular
      // expressions, template literals and the page's literal text.
      {"if (Session('a') == 1 || Session('b') === 2 || Session('c') != 3) {}", nullptr},
      {"s = \"Session('a') = 1\"; // Session('b') = 2\n/* Session('c') = 3 */", nullptr},
      {"r = /Session\\('d'\\) = 4/g; t = `Session('e') = ${Session('e')}`", nullptr},
      {"__fnkw(\"<% Session('f') = 5 %>\\n\\\nSession('g') = 6\");", nullptr},
      // Division is not a regular expression: the second "/" does not hide
      // the assignment after it.
      {"x = a / b; Session('h') = c / 2", "x = a / b; Session.Set('h',  c / 2)"},
      // Calls that cannot be assigned to stay the compiler's error.
      {"foo(1) = 2; x.Session('a') = 1; a + Session('b') = 2", nullptr},
      {"Session() = 1; Session('a', 'b') = 1; Session('a')('b') = 1", nullptr},
      {"Response.Cookies('a') += 'x'; new Session('a') = 1; Session.Set('a', 1)", nullptr},
  };
  for (const Row& row : rows) {
    ClassicRewrite out = RewriteClassicAssignments(row.code);
    EXPECT_EQ(out.code, row.rewritten ? row.rewritten : row.code) << row.code;
    // No line moves.
    EXPECT_EQ(std::count(out.code.begin(), out.code.end(), '\n'),
              std::count(row.code, row.code + std::char_traits<char>::length(row.code), '\n'));
  }
  EXPECT_EQ(RewriteClassicAssignments("Session(a) -= 1; Session(b) |= 2").temporaries, 2u);
}

}  // namespace
}  // namespace fennick
