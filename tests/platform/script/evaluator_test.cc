// The expression evaluator: grammar and precedence, the script world's
// Variant rules, built-in functions, error numbers and texts, limits, and
// the expressions cell templates write. No page runs here, so the locale is
// en-US.
#include "platform/script/evaluator.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "fennick/error.h"
#include "fennick/page.h"
#include "platform/intl/format.h"

namespace fennick::script {
namespace {

struct Case {
  const char* expression;
  const char* expected;
};

void ExpectTexts(std::initializer_list<Case> cases) {
  for (const Case& c : cases) {
    try {
      EXPECT_EQ(EvaluateToText(c.expression), c.expected) << c.expression;
    } catch (const Error& e) {
      ADD_FAILURE() << c.expression << " raised " << e.number() << " " << e.description();
    }
  }
}

struct ErrorCase {
  const char* expression;
  int32_t number;
  const char* description;
};

void ExpectErrors(std::initializer_list<ErrorCase> cases) {
  for (const ErrorCase& c : cases) {
    try {
      std::string value = EvaluateToText(c.expression);
      ADD_FAILURE() << c.expression << " gave " << value << " instead of error " << c.number;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.number) << c.expression;
      EXPECT_EQ(e.description(), c.description) << c.expression;
    }
  }
}

TEST(EvaluatorTest, OperatorPrecedenceAndAssociativity) {
  ExpectTexts({
      {"1 + 2 * 3", "7"},
      {"(1 + 2) * 3", "9"},
      {"2 ^ 3 ^ 2", "64"},        // left to right
      {"-2 ^ 2", "-4"},           // ^ binds tighter than unary minus
      {"2 ^ -1", "0.5"},          // an exponent may carry a sign
      {"-3 * -2", "6"},
      {"10 / 4 * 2", "5"},
      {"10 \\ 3 * 2", "1"},       // * before \: 10 \ 6
      {"7 \\ 2 Mod 2", "1"},      // \ before Mod: 3 Mod 2
      {"7 Mod 3 + 1", "2"},       // Mod before +: 1 + 1
      {"10 - 2 - 3", "5"},
      {"1 + 2 & 3 + 4", "37"},    // + before &
      {"\"a\" & 1 + 1", "a2"},
      {"1 + 1 = 2", "True"},      // & and + before comparisons
      {"1 < 2 = True", "True"},   // comparisons left to right
      {"Not 1 = 2", "True"},      // comparison before Not
      {"Not True And False", "False"},
      {"True Or False And False", "True"},  // And before Or
      {"True Xor True Or True", "False"},   // Or before Xor
      {"False Eqv False Xor True", "False"},
      {"True Imp False Eqv False", "True"},  // Eqv before Imp
      {"1 + Not 0", "0"},         // Not in operand position
      {"5 And 3", "1"},
      {"5 Or 3", "7"},
      {"5 Xor 3", "6"},
      {"Not 0", "-1"},
      {"((((1))))", "1"},
  });
}

TEST(EvaluatorTest, Literals) {
  ExpectTexts({
      {"\"say \"\"hi\"\"\"", "say \"hi\""},
      {"\"\"", ""},
      {"1.5E3", "1500"},
      {".5", "0.5"},
      {"&HFF", "255"},
      {"&HFFFF", "-1"},           // 16-bit hex wraps like an Integer
      {"&HFFFF&", "65535"},
      {"&H7FFFFFFF", "2147483647"},
      {"&O17", "15"},
      {"#3/5/2004#", "3/5/2004"},
      {"#2004-03-05 14:07:09#", "3/5/2004 2:07:09 PM"},
      {"#March 5, 2004#", "3/5/2004"},
      {"#2:07 PM#", "2:07:00 PM"},
      {"TRUE", "True"},
      {"false", "False"},
      {"Null", ""},
      {"Empty", ""},
      {"Nothing Is Nothing", "True"},
      {"vbCrLf = Chr(13) & Chr(10)", "True"},
      {"vbTextCompare", "1"},
      {"undeclared_name", ""},   // a variable never assigned is Empty
      {"  1 +\t2\r\n", "3"},
  });
  ExpectTexts({
      {"TypeName(1)", "Integer"},
      {"TypeName(32768)", "Long"},
      {"TypeName(2147483648)", "Double"},
      {"TypeName(1.0)", "Double"},
      {"TypeName(\"1\")", "String"},
      {"TypeName(#1/1/2000#)", "Date"},
      {"TypeName(True)", "Boolean"},
      {"TypeName(Null)", "Null"},
      {"TypeName(Empty)", "Empty"},
      {"TypeName(Nothing)", "Nothing"},
      {"TypeName(&HFFFF)", "Integer"},
      {"TypeName(&H10000)", "Long"},
      {"TypeName(-32768)", "Integer"},
  });
}

TEST(EvaluatorTest, IntegerOverflowPromotesToLongThenDouble) {
  ExpectTexts({
      {"32767 + 1", "32768"},
      {"TypeName(32767 + 1)", "Long"},
      {"TypeName(32766 + 1)", "Integer"},
      {"TypeName(-32767 - 2)", "Long"},
      {"TypeName(200 * 200)", "Long"},
      {"2147483647 + 1", "2147483648"},
      {"TypeName(2147483647 + 1)", "Double"},
      {"TypeName(65536 * 65536)", "Double"},
      {"TypeName(-(-32768))", "Long"},
      {"TypeName(True + True)", "Integer"},
      {"True + True", "-2"},
      {"TypeName(CByte(200) + CByte(100))", "Integer"},
      {"TypeName(CByte(2) + CByte(1))", "Byte"},
      {"TypeName(1 + 1.5)", "Double"},
      {"TypeName(10 / 2)", "Double"},
      {"TypeName(7 \\ 2)", "Integer"},
      {"TypeName(70000 \\ 2)", "Long"},
      {"TypeName(CCur(1) + 1)", "Currency"},
      {"TypeName(CSng(1) + 1)", "Single"},
      {"TypeName(CSng(1) + 70000)", "Double"},
  });
  ExpectErrors({
      {"1E308 * 10", 6, "Overflow"},
      {"CInt(32768)", 6, "Overflow"},
      {"CLng(2147483648)", 6, "Overflow"},
      {"CByte(256)", 6, "Overflow"},
      {"CByte(-1)", 6, "Overflow"},
      {"2147483648 \\ 1", 6, "Overflow"},
  });
}

TEST(EvaluatorTest, StringsAndNumbersMix) {
  ExpectTexts({
      // + adds numbers, joins Strings, and reads a String as a number when
      // the other side is one.
      {"\"1\" + 1", "2"},
      {"TypeName(\"1\" + 1)", "Double"},
      {"\"1\" + \"1\"", "11"},
      {"\"a\" + Empty", "a"},
      {"Empty + Empty", "0"},
      {"\"3\" * \"4\"", "12"},
      {"\"1,000\" + 1", "1001"},  // the locale's grouping is understood
      {"1 & 2", "12"},
      {"1.5 & \"\"", "1.5"},
      {"True & \"\"", "True"},
      // Strings compare byte-wise and case-sensitively.
      {"\"10\" < \"9\"", "True"},
      {"\"a\" < \"B\"", "False"},
      {"\"abc\" = \"abc\"", "True"},
      {"\"\" = Empty", "True"},
      {"0 = Empty", "True"},
      // A number literal reads the String as a number.
      {"10 < \"9\"", "False"},
      {"1 = \"1\"", "True"},
      {"\"1.0\" = 1", "True"},
      // A String literal turns a computed number into text.
      {"Len(\"abc\") = \"3\"", "True"},
      {"(5 + 5) < \"9\"", "True"},  // "10" < "9" as texts
      // Neither a literal: a number is less than any String.
      {"Len(\"ab\") < CStr(1)", "True"},
      {"Len(\"ab\") = CStr(2)", "False"},
      {"#1/2/2004# > \"1/1/2004\"", "True"},
  });
  ExpectErrors({
      {"\"a\" + 1", 13, "Type mismatch"},
      {"\"a\" * 2", 13, "Type mismatch"},
      {"1 = \"abc\"", 13, "Type mismatch"},
      {"-\"x\"", 13, "Type mismatch"},
      {"\"inf\" + 0", 13, "Type mismatch"},
  });
}

TEST(EvaluatorTest, NullPropagates) {
  ExpectTexts({
      {"IsNull(Null + 1)", "True"},
      {"IsNull(1 - Null)", "True"},
      {"IsNull(Null * 2)", "True"},
      {"IsNull(Null / 2)", "True"},
      {"IsNull(Null \\ 2)", "True"},
      {"IsNull(Null Mod 2)", "True"},
      {"IsNull(Null ^ 2)", "True"},
      {"IsNull(-Null)", "True"},
      {"IsNull(Not Null)", "True"},
      {"IsNull(Null = Null)", "True"},
      {"IsNull(Null <> 1)", "True"},
      {"IsNull(\"a\" < Null)", "True"},
      {"Null & \"x\"", "x"},
      {"IsNull(Null & Null)", "True"},
      // Null is an unknown that does not matter where the other side decides.
      {"Null And False", "False"},
      {"IsNull(Null And True)", "True"},
      {"Null Or True", "True"},
      {"IsNull(Null Or False)", "True"},
      {"IsNull(Null Xor True)", "True"},
      {"False Imp Null", "True"},
      {"Null Imp True", "True"},
      {"IsNull(True Imp Null)", "True"},
      {"Null And 0", "0"},
      // Functions that pass Null through.
      {"IsNull(Len(Null))", "True"},
      {"IsNull(Left(Null, 1))", "True"},
      {"IsNull(UCase(Null))", "True"},
      {"IsNull(Trim(Null))", "True"},
      {"IsNull(Mid(Null, 1))", "True"},
      {"IsNull(InStr(Null, \"a\"))", "True"},
      {"IsNull(Abs(Null))", "True"},
      {"IsNull(Int(Null))", "True"},
      {"IsNull(Year(Null))", "True"},
      {"IsNull(DateAdd(\"d\", 1, Null))", "True"},
      {"IsNull(Hex(Null))", "True"},
      {"IsNull(Round(Null))", "True"},
      {"IsNull(StrComp(Null, \"a\"))", "True"},
  });
  // Functions that need a value.
  ExpectErrors({
      {"CStr(Null)", 94, "Invalid use of Null"},
      {"CInt(Null)", 94, "Invalid use of Null"},
      {"CDbl(Null)", 94, "Invalid use of Null"},
      {"CDate(Null)", 94, "Invalid use of Null"},
      {"CBool(Null)", 94, "Invalid use of Null"},
      {"Replace(Null, \"a\", \"b\")", 94, "Invalid use of Null"},
      {"Left(\"abc\", Null)", 94, "Invalid use of Null"},
      {"Asc(Null)", 94, "Invalid use of Null"},
      {"Sqr(Null)", 94, "Invalid use of Null"},
      {"FormatNumber(Null)", 94, "Invalid use of Null"},
      {"Space(Null)", 94, "Invalid use of Null"},
  });
}

TEST(EvaluatorTest, EachErrorNumberWithItsText) {
  ExpectErrors({
      {"Left(\"abc\", -1)", 5, "Invalid procedure call or argument"},
      {"Mid(\"abc\", 0)", 5, "Invalid procedure call or argument"},
      {"Chr(256)", 5, "Invalid procedure call or argument"},
      {"Sqr(-1)", 5, "Invalid procedure call or argument"},
      {"Log(0)", 5, "Invalid procedure call or argument"},
      {"(-8) ^ 0.5", 5, "Invalid procedure call or argument"},
      {"DateAdd(\"x\", 1, Now)", 5, "Invalid procedure call or argument"},
      {"MonthName(13)", 5, "Invalid procedure call or argument"},
      {"FormatDateTime(Now, 5)", 5, "Invalid procedure call or argument"},
      {"InStr(0, \"a\", \"a\")", 5, "Invalid procedure call or argument"},
      {"StrComp(\"a\", \"b\", 2)", 5, "Invalid procedure call or argument"},
      {"CInt(\"40000\")", 6, "Overflow"},
      {"0 / 0", 6, "Overflow"},
      {"1 / 0", 11, "Division by zero"},
      {"1 \\ 0", 11, "Division by zero"},
      {"5 Mod 0", 11, "Division by zero"},
      {"1 \\ 0.4", 11, "Division by zero"},  // 0.4 rounds to 0
      {"CDate(\"not a date\")", 13, "Type mismatch"},
      {"CBool(\"maybe\")", 13, "Type mismatch"},
      {"Foo(1)", 13, "Type mismatch: 'Foo'"},
      {"Nothing + 1", 91, "Object variable not set"},
      {"1 Is Nothing", 424, "Object required"},
      {"Left(\"a\")", 450, "Wrong number of arguments or invalid property assignment: 'Left'"},
      {"Len", 450, "Wrong number of arguments or invalid property assignment: 'Len'"},
      {"Now(1)", 450, "Wrong number of arguments or invalid property assignment: 'Now'"},
      {"Mid(, 1)", 450, "Wrong number of arguments or invalid property assignment: 'Mid'"},
      {"1 +", 1002, "Syntax error"},
      {"", 1002, "Syntax error"},
      {"1 2", 1002, "Syntax error"},
      {"1 + * 2", 1002, "Syntax error"},
      {"12abc", 1002, "Syntax error"},
      {"1.2.3", 1002, "Syntax error"},
      {"#13/45/2004#", 1002, "Syntax error"},
      {"#3/5/2004", 1002, "Syntax error"},
      {"And", 1002, "Syntax error"},
      {"(1 + 2", 1006, "Expected ')'"},
      {"Left(\"abc\", 1", 1006, "Expected ')'"},
      {"1 ? 2", 1032, "Invalid character"},
      {"x.y", 1032, "Invalid character"},
      {"1): CreateObject(\"x\"", 1002, "Syntax error"},
      {"\"abc", 1033, "Unterminated string constant"},
      {"\"a\"\"", 1033, "Unterminated string constant"},
  });
  // Compilation errors say where reading stopped.
  try {
    Evaluate("1 + (2 * ");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.source(), "VBScript compilation error at column 10");
  }
  try {
    Evaluate("1 / 0");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.source(), "VBScript runtime error");
  }
}

TEST(EvaluatorTest, StringFunctions) {
  ExpectTexts({
      {"Len(\"café\")", "4"},
      {"Len(12345)", "5"},
      {"Left(\"héllo\", 2)", "hé"},
      {"Left(\"abc\", 10)", "abc"},
      {"Right(\"héllo\", 3)", "llo"},
      {"Mid(\"héllo\", 2, 3)", "éll"},
      {"Mid(\"hello\", 4)", "lo"},
      {"Mid(\"hello\", 9)", ""},
      {"InStr(\"hello\", \"l\")", "3"},
      {"InStr(4, \"hello\", \"l\")", "4"},
      {"InStr(\"héllo\", \"l\")", "3"},
      {"InStr(\"hello\", \"L\")", "0"},
      {"InStr(1, \"hello\", \"L\", 1)", "3"},
      {"InStr(\"hello\", \"\")", "1"},
      {"InStr(\"\", \"a\")", "0"},
      {"InStrRev(\"hello\", \"l\")", "4"},
      {"InStrRev(\"hello\", \"l\", 3)", "3"},
      {"InStrRev(\"hello\", \"x\")", "0"},
      {"UCase(\"straße café\")", "STRAßE CAFÉ"},  // one-to-one case mappings
      {"LCase(\"ÀÉÎ\")", "àéî"},
      {"Trim(\"  a b  \") & \"|\"", "a b|"},
      {"LTrim(\"  a  \") & \"|\"", "a  |"},
      {"RTrim(\"  a  \") & \"|\"", "  a|"},
      {"Trim(vbTab & \"a\") = vbTab & \"a\"", "True"},  // only blanks are trimmed
      {"Replace(\"a-b-c\", \"-\", \"+\")", "a+b+c"},
      {"Replace(\"a-b-c\", \"-\", \"+\", 1, 1)", "a+b-c"},
      {"Replace(\"abcabc\", \"b\", \"\", 3)", "cac"},  // starts at the start position
      {"Replace(\"aXbxc\", \"x\", \"-\", 1, -1, 1)", "a-b-c"},
      {"Replace(\"ÉtÉ\", \"é\", \"e\", 1, -1, vbTextCompare)", "ete"},
      {"Replace(\"abc\", \"\", \"-\")", "abc"},
      {"Space(3) & \"|\"", "   |"},
      {"String(3, \"xy\")", "xxx"},
      {"String(2, 65)", "AA"},
      {"StrReverse(\"añb\")", "bña"},
      {"StrComp(\"a\", \"b\")", "-1"},
      {"StrComp(\"b\", \"a\")", "1"},
      {"StrComp(\"a\", \"A\")", "1"},
      {"StrComp(\"a\", \"A\", 1)", "0"},
      {"Asc(\"A\")", "65"},
      {"Asc(\"é\")", "233"},
      {"Asc(\"€\")", "128"},
      {"AscW(\"€\")", "8364"},
      {"Chr(65) & Chr(233) & Chr(128)", "Aé€"},
      {"ChrW(8364)", "€"},
  });
  ExpectErrors({
      {"Asc(\"\")", 5, "Invalid procedure call or argument"},
      {"Space(-1)", 5, "Invalid procedure call or argument"},
      {"Replace(\"a\", \"a\", \"b\", 0)", 5, "Invalid procedure call or argument"},
      {"InStrRev(\"a\", \"a\", 0)", 5, "Invalid procedure call or argument"},
  });
}

TEST(EvaluatorTest, MathAndConversionFunctions) {
  ExpectTexts({
      // Round rounds halves to even, also at decimals written as halves.
      {"Round(2.5)", "2"},
      {"Round(3.5)", "4"},
      {"Round(-2.5)", "-2"},
      {"Round(2.675, 2)", "2.68"},
      {"Round(2.665, 2)", "2.66"},
      {"Round(1.23456, 3)", "1.235"},
      {"Round(CCur(2.5))", "2"},
      {"TypeName(Round(5))", "Integer"},
      {"CInt(2.5)", "2"},
      {"CInt(3.5)", "4"},
      {"CLng(\"-7.5\")", "-8"},
      {"Int(-2.5)", "-3"},
      {"Fix(-2.5)", "-2"},
      {"Int(\"7.9\")", "7"},
      {"Abs(-3.5)", "3.5"},
      {"Abs(-32768)", "32768"},
      {"Sgn(-0.1)", "-1"},
      {"Sgn(0)", "0"},
      {"Sqr(16)", "4"},
      {"Exp(0)", "1"},
      {"Log(Exp(2))", "2"},
      {"Round(Sin(0) + Cos(0) + Tan(0) + Atn(1) * 4, 5)", "4.14159"},
      {"Hex(255)", "FF"},
      {"Hex(-1)", "FFFF"},
      {"Hex(-70000)", "FFFEEE90"},
      {"Oct(8)", "10"},
      {"Oct(-1)", "177777"},
      {"CStr(1.5)", "1.5"},
      {"CStr(True)", "True"},
      {"CStr(Empty)", ""},
      {"CDbl(\"1.5E3\")", "1500"},
      {"CSng(1.1)", "1.1"},
      {"CCur(1.23456)", "1.2346"},
      {"CBool(\"TRUE\")", "True"},
      {"CBool(\"0\")", "False"},
      {"CBool(2)", "True"},
      {"CByte(\"255\")", "255"},
      {"CDate(\"3/5/2004\")", "3/5/2004"},
      {"CDate(38051)", "3/5/2004"},
      {"TypeName(CDate(38051))", "Date"},
  });
}

TEST(EvaluatorTest, DateArithmeticAcrossMonthEnds) {
  ExpectTexts({
      {"#1/31/2004# + 1", "2/1/2004"},
      {"#2/28/2004# + 1", "2/29/2004"},
      {"#2/28/2003# + 1", "3/1/2003"},
      {"#12/31/2003# + 1", "1/1/2004"},
      {"#3/1/2004# - 1", "2/29/2004"},
      {"#3/1/2004# - #2/1/2004#", "29"},
      {"TypeName(#3/1/2004# - #2/1/2004#)", "Double"},
      {"TypeName(#3/1/2004# - 1)", "Date"},
      {"DateAdd(\"m\", 1, #1/31/2004#)", "2/29/2004"},  // clamped to the month's end
      {"DateAdd(\"m\", 1, #1/31/2003#)", "2/28/2003"},
      {"DateAdd(\"m\", -1, #3/31/2004#)", "2/29/2004"},
      {"DateAdd(\"yyyy\", 1, #2/29/2004#)", "2/28/2005"},
      {"DateAdd(\"q\", 1, #11/30/2004#)", "2/28/2005"},
      {"DateAdd(\"d\", 1, #1/31/2004#)", "2/1/2004"},
      {"DateAdd(\"ww\", 1, #2/25/2004#)", "3/3/2004"},
      {"DateAdd(\"h\", 25, #1/31/2004 11:00 PM#)", "2/2/2004"},
      {"DateAdd(\"n\", -1, #3/1/2004#)", "2/29/2004 11:59:00 PM"},
      {"DateAdd(\"s\", 3661, #1/1/2004#)", "1/1/2004 1:01:01 AM"},
      {"DateDiff(\"d\", #1/31/2004#, #3/1/2004#)", "30"},
      {"DateDiff(\"m\", #1/31/2004#, #2/1/2004#)", "1"},  // boundaries crossed
      {"DateDiff(\"yyyy\", #12/31/2003#, #1/1/2004#)", "1"},
      {"DateDiff(\"d\", #3/1/2004#, #1/31/2004#)", "-30"},
      {"DateDiff(\"h\", #1/1/2004 10:59 PM#, #1/2/2004 0:01 AM#)", "2"},
      {"DateDiff(\"ww\", #2/28/2004#, #2/29/2004#)", "1"},  // Saturday to Sunday
      {"DateDiff(\"w\", #2/28/2004#, #2/29/2004#)", "0"},
      {"DateDiff(\"q\", #3/31/2004#, #4/1/2004#)", "1"},
      {"DatePart(\"y\", #3/1/2004#)", "61"},
      {"DatePart(\"q\", #8/15/2004#)", "3"},
      {"DatePart(\"ww\", #1/1/2004#)", "1"},
      {"DatePart(\"ww\", #1/4/2004#)", "2"},  // 1/4/2004 is a Sunday
      {"DatePart(\"w\", #3/5/2004#, vbMonday)", "5"},
      {"DateSerial(2004, 2, 30)", "3/1/2004"},
      {"DateSerial(2004, 3, 0)", "2/29/2004"},
      {"DateSerial(2004, 13, 1)", "1/1/2005"},
      {"DateSerial(2004, 0, 1)", "12/1/2003"},
      {"DateSerial(99, 1, 1)", "1/1/1999"},
      {"TimeSerial(14, 7, 9)", "2:07:09 PM"},
      {"TimeSerial(0, 90, 0)", "1:30:00 AM"},
      {"Year(#3/5/2004#) & \"-\" & Month(#3/5/2004#) & \"-\" & Day(#3/5/2004#)", "2004-3-5"},
      {"Hour(#2:07:09 PM#) & \":\" & Minute(#2:07:09 PM#) & \":\" & Second(#2:07:09 PM#)",
       "14:7:9"},
      {"Weekday(#3/5/2004#)", "6"},
      {"Weekday(#3/5/2004#, vbMonday)", "5"},
      {"WeekdayName(6)", "Friday"},
      {"WeekdayName(1, True, vbMonday)", "Mon"},
      {"MonthName(3)", "March"},
      {"MonthName(3, True)", "Mar"},
      {"DateValue(\"3/5/2004 2:07 PM\")", "3/5/2004"},
      {"TimeValue(\"3/5/2004 2:07 PM\")", "2:07:00 PM"},
      {"Year(Now) >= 2024", "True"},
      {"Date = DateValue(Now)", "True"},
      {"Time < 1", "True"},
  });
  ExpectErrors({
      {"DateSerial(10000, 1, 1)", 5, "Invalid procedure call or argument"},
      {"DateAdd(\"yyyy\", 9000, #1/1/2004#)", 5, "Invalid procedure call or argument"},
      {"#12/31/9999# + 1", 6, "Overflow"},
  });
}

TEST(EvaluatorTest, FormattingAndTests) {
  ExpectTexts({
      {"FormatNumber(1234.5, 2)", "1,234.50"},
      {"FormatNumber(1234.5, 0)", "1,235"},
      {"FormatNumber(0.5, 2, 0)", ".50"},
      {"FormatNumber(1234.5, 1, , , 0)", "1234.5"},  // arguments left out
      {"FormatPercent(0.25, 0)", "25%"},
      {"FormatCurrency(1234.5)", "$1,234.50"},
      {"FormatNumber(\"1234.5\", 1)", "1,234.5"},
      {"FormatDateTime(#3/5/2004 14:07:09#)", "3/5/2004 2:07:09 PM"},
      {"FormatDateTime(#3/5/2004 14:07:09#, vbLongDate)", "Friday, March 5, 2004"},
      {"FormatDateTime(#3/5/2004 14:07:09#, 2)", "3/5/2004"},
      {"FormatDateTime(#3/5/2004 14:07:09#, 3)", "2:07:09 PM"},
      {"FormatDateTime(#3/5/2004 14:07:09#, 4)", "14:07"},
      {"IsNumeric(\"12.5\")", "True"},
      {"IsNumeric(\" 12 \")", "True"},
      {"IsNumeric(\"1,234.5\")", "True"},
      {"IsNumeric(\"&HFF\")", "True"},
      {"IsNumeric(\"12abc\")", "False"},
      {"IsNumeric(\"\")", "False"},
      {"IsNumeric(\"nan\")", "False"},
      {"IsNumeric(Empty)", "True"},
      {"IsNumeric(Null)", "False"},
      {"IsNumeric(#1/1/2004#)", "False"},
      {"IsDate(\"3/5/2004\")", "True"},
      {"IsDate(\"March 5, 2004\")", "True"},
      {"IsDate(\"2004-03-05\")", "True"},
      {"IsDate(\"hello\")", "False"},
      {"IsDate(38051)", "False"},
      {"IsEmpty(Empty) And IsEmpty(x) And Not IsEmpty(\"\")", "True"},
      {"IsNull(Null) And Not IsNull(Empty)", "True"},
      {"IsObject(Nothing)", "True"},
      {"IsArray(1)", "False"},
      {"VarType(\"x\") & VarType(1) & VarType(Null)", "821"},
      {"VarType(1.5) = vbDouble", "True"},
  });
}

// Expressions as cell templates write them, after the grid has put the
// row's values in place of their placeholders.
TEST(EvaluatorTest, TemplateStyleExpressions) {
  ExpectTexts({
      {"\"Total: \" & FormatNumber(1234.5 * 2, 2)", "Total: 2,469.00"},
      {"FormatCurrency(19.99 * 3)", "$59.97"},
      {"UCase(Left(\"smith\", 1)) & Mid(\"smith\", 2)", "Smith"},
      {"\"Qty \" & 12 & \" @ \" & FormatNumber(2.5, 2)", "Qty 12 @ 2.50"},
      {"Round(17 / 3, 2)", "5.67"},
      {"FormatPercent(45 / 60, 1)", "75.0%"},
      {"Year(#3/5/2004#) - 1970 & \" years\"", "34 years"},
      {"DateDiff(\"d\", #3/1/2004#, #3/15/2004#) & \" days\"", "14 days"},
      {"MonthName(Month(#3/5/2004#)) & \" \" & Year(#3/5/2004#)", "March 2004"},
      {"FormatDateTime(DateAdd(\"d\", 30, #1/15/2004#), vbShortDate)", "2/14/2004"},
      {"Replace(\"John Smith\", \" \", \"&nbsp;\")", "John&nbsp;Smith"},
      {"Len(Trim(\"  abc  \")) > 0", "True"},
      {"\"<b>\" & \"Open\" & \"</b>\"", "<b>Open</b>"},
      {"Trim(\"  \" & \"Smith\" & \", \" & \"John\")", "Smith, John"},
      {"(100 - 80) / 100 * 100 & \"%\"", "20%"},
      {"CInt(\"42\") Mod 2 = 0", "True"},
      {"InStr(\"jane@example.com\", \"@\") > 0", "True"},
      {"Mid(\"jane@example.com\", InStr(\"jane@example.com\", \"@\") + 1)", "example.com"},
      {"String(5 - Len(\"42\"), \"0\") & \"42\"", "00042"},
      {"Right(\"00000\" & 42, 5)", "00042"},
      {"Hex(255) & Hex(128) & Hex(0)", "FF800"},
      {"\"$\" & FormatNumber(CDbl(\"1234.5\") * 1.1, 2)", "$1,357.95"},
      {"Sgn(-5) * -1", "1"},
      {"\"\" & Null & \"x\"", "x"},
  });
}

TEST(EvaluatorTest, LimitsAreRefused) {
  // 64 KB of expression is accepted, a byte more is not.
  std::string longest = "Len(\"" + std::string(kMaxExpressionLength - 7, 'a') + "\")";
  EXPECT_EQ(EvaluateToText(longest), std::to_string(kMaxExpressionLength - 7));
  try {
    Evaluate(longest + " ");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 7);
  }
  // 256 levels of nesting are accepted, 257 are not; also for unary
  // operators and calls, and without exhausting the stack.
  auto nested = [](int depth, const char* open, const char* close) {
    std::string s;
    for (int i = 0; i < depth; ++i) s += open;
    s += "1";
    for (int i = 0; i < depth; ++i) s += close;
    return s;
  };
  EXPECT_EQ(EvaluateToText(nested(255, "(", ")")), "1");
  for (const auto& [open, close] : {std::pair{"(", ")"}, std::pair{"-", ""},
                                    std::pair{"Not ", ""}, std::pair{"Abs(", ")"}}) {
    try {
      Evaluate(nested(300, open, close));
      ADD_FAILURE() << open;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), 28) << open;
      EXPECT_EQ(e.description(), "Out of stack space");
    }
  }
  // A long flat chain is no nesting.
  std::string chain = "0";
  for (int i = 0; i < 10000; ++i) chain += "+1";
  EXPECT_EQ(EvaluateToText(chain), "10000");
  // Texts built by an expression are bounded, each and in all, so that no
  // expression keeps the thread busy.
  std::string sum = "0";
  for (int i = 0; i < 20; ++i) sum += " + Len(Space(1000000))";
  std::string joined = "String(400, \"a\")";
  for (int i = 1; i < 2000; ++i) joined += " & String(400, \"a\")";
  EXPECT_EQ(EvaluateToText("Len(" + joined + ")"), "800000");  // a chain costs its length once
  EXPECT_EQ(EvaluateToText(
                "InStr(String(1000000, \"a\"), String(500000, \"a\") & \"b\") + "
                "InStrRev(String(1000000, \"a\"), \"b\" & String(500000, \"a\")) + "
                "Len(Replace(String(1000000, \"a\"), String(500000, \"a\") & \"b\", \"\"))"),
            "1000000");  // searches take linear time
  ExpectErrors({
      {sum.c_str(), 7, "Out of memory"},
      {"Space(2000000)", 7, "Out of memory"},
      {"String(600000, \"a\") & String(600000, \"b\")", 7, "Out of memory"},
      {"Replace(String(300000, \"a\"), \"a\", \"aaaa\")", 7, "Out of memory"},
  });
}

TEST(EvaluatorTest, CachedParsesGiveFreshValues) {
  // The same text evaluated repeatedly, and from another thread, gives the
  // same value; a cached parse must not keep a previous result.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(EvaluateToText("Len(\"abc\") + 1"), "4");
  // More distinct texts than one cache generation holds.
  for (int i = 0; i < 1500; ++i) {
    std::string e = std::to_string(i) + " * 2";
    ASSERT_EQ(EvaluateToText(e), std::to_string(i * 2));
  }
  EXPECT_EQ(EvaluateToText("Len(\"abc\") + 1"), "4");
  std::string other;
  std::thread t([&other] { other = EvaluateToText("Len(\"abc\") + 1"); });
  t.join();
  EXPECT_EQ(other, "4");
  // A failed parse is raised again, not cached as a value.
  EXPECT_THROW(Evaluate("1 +"), Error);
  EXPECT_THROW(Evaluate("1 +"), Error);
}

// Formatting, date texts and the reading of typed numbers and dates follow
// the page's locale; parsed expressions cached under one locale serve
// another unchanged.
TEST(EvaluatorTest, FollowsThePageLocale) {
  const char* month = "MonthName(3)";
  const char* number = "FormatNumber(1234.5, 2)";
  const char* date = "CStr(#3/5/2004#)";
  EXPECT_EQ(EvaluateToText(month), "March");
  EXPECT_EQ(EvaluateToText(date), "3/5/2004");
  Application application;
  PageContext page(Request(), Session(MakeMemorySessionStore(), "s"), application,
                   Server(".", "/report.asp", {}, "en_US"));
  PageBinding binding(page);
  page.response().LCID(1036);
  EXPECT_EQ(EvaluateToText(month), "mars");
  EXPECT_EQ(EvaluateToText(number), intl::FormatNumber(1234.5, 2, -2, -2, -2, "fr_FR"));
  EXPECT_NE(EvaluateToText(number), "1,234.50");
  EXPECT_EQ(EvaluateToText(date), intl::FormatDateTime(38051, 0, "fr_FR"));
  ExpectTexts({
      {"\"1,5\" + 1", "2.5"},            // typed in the locale; written invariant
      {"\"1.5\" + 1", "2.5"},            // the invariant form still reads
      {"Month(CDate(\"05/03/2004\"))", "3"},
      {"IsNumeric(\"1,5\")", "True"},
      {"Day(#3/5/2004#)", "5"},           // literals are US-ordered everywhere
  });
}

TEST(EvaluatorTest, ValueToTextWritesCellText) {
  EXPECT_EQ(ValueToText(Variant::Null()), "");
  EXPECT_EQ(ValueToText(Variant()), "");
  EXPECT_EQ(ValueToText(Variant(1.5)), "1.5");
  EXPECT_EQ(ValueToText(Variant::Date(38051.5)), "3/5/2004 12:00:00 PM");
  EXPECT_EQ(ValueToText(Variant(true)), "True");
  EXPECT_THROW(ValueToText(Variant::Nothing()), Error);
}

}  // namespace
}  // namespace fennick::script
