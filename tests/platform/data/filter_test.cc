// The filter grammar: what parses (shown in canonical form), what is
// refused and where, binding to columns, and evaluation with three-valued
// logic.
#include "platform/data/filter.h"

#include <gtest/gtest.h>

#include <vector>

namespace fennick::data {
namespace {

std::string Canonical(std::string_view text) {
  FilterExpression e;
  FilterResult r = e.Parse(text);
  return r.ok() ? e.ToString() : "error: " + r.description + " @" + std::to_string(r.offset);
}

TEST(FilterParseTest, AcceptsTheGrammarAndWritesItCanonically) {
  struct Case {
    const char* text;
    const char* canonical;
  } cases[] = {
      {"a=1", "a = 1"},
      {"a = 1 or b = 2 and c = 3", "(a = 1 OR (b = 2 AND c = 3))"},
      {"(a = 1 OR b = 2) AND c = 3", "((a = 1 OR b = 2) AND c = 3)"},
      {"not a = 1 and not (b < 2)", "(NOT a = 1 AND NOT b < 2)"},
      {"a <> 1 AND b != 2 AND c <= 3 AND d >= 4 AND e < 5 AND f > 6",
       "(((((a <> 1 AND b <> 2) AND c <= 3) AND d >= 4) AND e < 5) AND f > 6)"},
      {"name like 'A%' OR name NOT LIKE '*z'", "(name LIKE 'A%' OR name NOT LIKE '*z')"},
      {"x is null or y IS NOT NULL", "(x IS NULL OR y IS NOT NULL)"},
      {"x = NULL OR y <> null", "(x IS NULL OR y IS NOT NULL)"},
      {"[Order Date] > #1/31/2004# AND `od`.amount = -1.5e2",
       "([Order Date] > #1/31/2004# AND od.amount = -1.5e2)"},
      {"[dbo].[Orders].[Total] >= .5", "Orders.Total >= .5"},
      {"\"Like\" = 'it''s'", "[Like] = 'it''s'"},
      {"flag = TRUE", "flag = TRUE"},
      {"  ", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Canonical(c.text), c.canonical) << c.text;
}

TEST(FilterParseTest, RefusesAnythingElseAndSaysWhere) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"name =", "error: expected a value, found end of filter @6"},
      {"= 5", "error: expected a field name, found \"=\" @0"},
      {"5 = name", "error: expected a field name, found \"5\" @0"},
      {"name = abc", "error: expected a value, found \"abc\" (put text in single quotes) @7"},
      {"name = 'abc", "error: unterminated string @7"},
      {"name LIKE 5", "error: LIKE needs a pattern in single quotes, found \"5\" @10"},
      {"name = 1; DROP TABLE t", "error: unexpected character \";\" @8"},
      {"name = 1 -- c", "error: unexpected character \"-\" @9"},
      {"(name = 1", "error: missing \")\" for the \"(\" at character 1 @9"},
      {"name = 1)", "error: unexpected \")\" @8"},
      {"name IN (1, 2)", "error: expected a comparison after the field name, found \"IN\" @5"},
      {"upper(name) = 'A'", "error: expected a comparison after the field upper, found \"(\" @5"},
      {"a.b.c.d = 1", "error: expected a field name after \".\" @6"},
      {"d = #2004-02-30#", "error: not a date: #2004-02-30# @4"},
      {"name > NULL", "error: NULL can only be compared with = or <> @0"},
      {"a = 1 AND", "error: expected a field name, found end of filter @9"},
      {"a IS 1", "error: expected NULL after IS, found \"1\" @5"},
      {"a NOT = 1", "error: expected LIKE after NOT, found \"=\" @6"},
      {"and = 1", "error: expected a field name, found \"and\" @0"},
  };
  for (const Case& c : cases) EXPECT_EQ(Canonical(c.text), c.error) << c.text;
  std::string deep(100, '(');
  EXPECT_EQ(Canonical(deep + "a = 1" + std::string(100, ')')),
            "error: the filter is nested too deeply @65");
}

class FakeRow : public FilterRow {
 public:
  explicit FakeRow(std::vector<Variant> values) : values_(std::move(values)) {}
  Variant Value(size_t column) const override { return values_[column]; }

 private:
  std::vector<Variant> values_;
};

const FilterColumn kColumns[] = {
    {"id", "orders", ValueClass::kNumber}, {"name", "", ValueClass::kText},
    {"placed", "", ValueClass::kDate},     {"paid", "", ValueClass::kBoolean},
    {"scan", "", ValueClass::kBinary},
};

// Parses, binds to kColumns and evaluates on the row.
std::string Match(std::string_view text, const FakeRow& row) {
  FilterExpression e;
  FilterResult r = e.Parse(text);
  if (r.ok()) r = e.Bind(kColumns);
  if (!r.ok()) return "error: " + r.description;
  return e.Matches(row) ? "yes" : "no";
}

TEST(FilterBindTest, ResolvesNamesAndChecksLiteralsAgainstColumns) {
  FakeRow row({Variant(5), Variant("x"), Variant::Date(0), Variant(true), Variant::Binary("b")});
  EXPECT_EQ(Match("ID = 5", row), "yes");
  EXPECT_EQ(Match("Orders.id = 5", row), "yes");
  EXPECT_EQ(Match("customers.id = 5", row), "error: unknown field customers.id");
  EXPECT_EQ(Match("any.name = 'x'", row), "yes");  // the table of name is unknown
  EXPECT_EQ(Match("age > 3", row), "error: unknown field age");
  EXPECT_EQ(Match("id = 'five'", row),
            "error: the field id is compared with a number, not with 'five'");
  EXPECT_EQ(Match("id = '5'", row), "yes");
  EXPECT_EQ(Match("placed = 3", row),
            "error: the field placed is compared with a date, not with 3");
  EXPECT_EQ(Match("paid = 'perhaps'", row),
            "error: the field paid is compared with True or False, not with 'perhaps'");
  EXPECT_EQ(Match("scan = 'b'", row), "error: the binary field scan only takes IS NULL");
  EXPECT_EQ(Match("scan LIKE 'b%'", row), "error: the binary field scan only takes IS NULL");
  EXPECT_EQ(Match("scan IS NOT NULL", row), "yes");
  EXPECT_EQ(Match("name = 5", row), "no");  // text compares with the literal's text
}

TEST(FilterEvalTest, ComparesByColumnClass) {
  double date = 38051.5;  // 3/5/2004 12:00 PM
  FakeRow row({Variant(int64_t{10}), Variant("Widget"), Variant::Date(date), Variant(false),
               Variant::Binary("b")});
  struct Case {
    const char* filter;
    const char* result;
  } cases[] = {
      {"id = 10", "yes"},
      {"id <> 10", "no"},
      {"id < 10.5", "yes"},
      {"id > 9.99", "yes"},
      {"id <= 9", "no"},
      {"id >= 10", "yes"},
      {"name = 'WIDGET'", "yes"},
      {"name < 'x'", "yes"},
      {"name > 'widget'", "no"},
      {"name LIKE 'wid%'", "yes"},
      {"name LIKE '*GET'", "yes"},
      {"name LIKE '%dg%'", "yes"},
      {"name LIKE 'w*t'", "yes"},
      {"name LIKE 'w%x'", "no"},
      {"name LIKE 'widget'", "yes"},
      {"placed = #3/5/2004 12:00 PM#", "yes"},
      {"placed > '2004-03-05'", "yes"},
      {"placed < #2004-03-05 11:59:59#", "no"},
      {"paid = FALSE", "yes"},
      {"paid = 'True'", "no"},
      {"paid <> 1", "yes"},
      {"id = 10 AND NOT name LIKE 'x%'", "yes"},
  };
  for (const Case& c : cases) EXPECT_EQ(Match(c.filter, row), c.result) << c.filter;
}

TEST(FilterEvalTest, NullsMakeComparisonsUnknown) {
  FakeRow row({Variant::Null(), Variant("n"), Variant::Null(), Variant::Null(), Variant::Null()});
  EXPECT_EQ(Match("id = 1", row), "no");
  EXPECT_EQ(Match("id <> 1", row), "no");
  EXPECT_EQ(Match("NOT id = 1", row), "no");                     // unknown stays unknown
  EXPECT_EQ(Match("NOT (id = 1 AND name = 'zz')", row), "yes");  // false wins in AND
  EXPECT_EQ(Match("id = 1 OR name = 'n'", row), "yes");
  EXPECT_EQ(Match("id IS NULL AND scan IS NULL", row), "yes");
  EXPECT_EQ(Match("name NOT LIKE 'x%' AND placed IS NULL", row), "yes");
}

TEST(FilterEvalTest, LikeWildcardsMatchAnyRun) {
  EXPECT_TRUE(MatchesLike("", "%"));
  EXPECT_TRUE(MatchesLike("abc", "a%%c"));
  EXPECT_TRUE(MatchesLike("aXbXc", "a*b*c"));
  EXPECT_TRUE(MatchesLike("mississippi", "%iss%ppi"));
  EXPECT_FALSE(MatchesLike("abc", "ab"));
  EXPECT_FALSE(MatchesLike("ab", "abc%"));
  EXPECT_FALSE(MatchesLike("a_c", "abc"));
  EXPECT_TRUE(MatchesLike("a_c", "a_c"));  // "_" is no wildcard
  EXPECT_FALSE(MatchesLike("abc", "a_c"));
}

}  // namespace
}  // namespace fennick::data
