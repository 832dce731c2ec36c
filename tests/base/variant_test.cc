// Variant conversions and OLE dates.
#include "fennick/variant.h"

#include <gtest/gtest.h>

#include <tuple>

#include "fennick/error.h"

namespace fennick {
namespace {

TEST(VariantTest, OleDatesRoundTripThroughCivilParts) {
  DateParts p{2004, 3, 5, 14, 7, 9};
  double d = MakeOleDate(p);
  EXPECT_NEAR(d, 38051.588298611, 1e-8);
  DateParts back = SplitOleDate(d);
  EXPECT_EQ(std::tie(back.year, back.month, back.day, back.hour, back.minute, back.second),
            std::tuple(2004, 3, 5, 14, 7, 9));
  EXPECT_EQ(MakeOleDate({1899, 12, 30}), 0);
  EXPECT_EQ(MakeOleDate({1900, 1, 1}), 2);
  // Months and days roll over as DateSerial does.
  EXPECT_EQ(MakeOleDate({2004, 13, 1}), MakeOleDate({2005, 1, 1}));
  EXPECT_EQ(MakeOleDate({2004, 3, 0}), MakeOleDate({2004, 2, 29}));
  EXPECT_EQ(MakeOleDate({2004, 0, 1}), MakeOleDate({2003, 12, 1}));
  EXPECT_EQ(OleWeekday(d), 6);  // Friday
  EXPECT_EQ(OleWeekday(0), 7);  // Saturday
  // Before day 0 the time is a positive fraction after a negative day.
  DateParts early = SplitOleDate(-1.25);
  EXPECT_EQ(early.day, 29);
  EXPECT_EQ(early.hour, 6);
  EXPECT_EQ(MakeOleDate({1899, 12, 29, 6, 0, 0}), -1.25);
}

TEST(VariantTest, TextFormsAreInvariant) {
  EXPECT_EQ(Variant(1.5).AsString(), "1.5");
  EXPECT_EQ(Variant(0.1 + 0.2).AsString(), "0.3");
  EXPECT_EQ(Variant(1e20).AsString(), "1E+20");
  EXPECT_EQ(Variant(-2.5e-20).AsString(), "-2.5E-20");
  EXPECT_EQ(Variant(123456789012345.0).AsString(), "123456789012345");
  EXPECT_EQ(Variant(true).AsString(), "True");
  EXPECT_EQ(Variant::Currency(123450).AsString(), "12.345");
  EXPECT_EQ(Variant::Null().AsString(), "");
  EXPECT_EQ(Variant::Date(MakeOleDate({2004, 3, 5, 14, 7, 9})).AsString(), "3/5/2004 2:07:09 PM");
  EXPECT_EQ(Variant::Date(MakeOleDate({2004, 3, 5})).AsString(), "3/5/2004");
  EXPECT_EQ(Variant::Date(0.5).AsString(), "12:00:00 PM");
}

TEST(VariantTest, NumericConversions) {
  EXPECT_EQ(Variant(" 12.5 ").AsDouble(), 12.5);
  EXPECT_EQ(Variant(".5").AsDouble(), 0.5);
  EXPECT_EQ(Variant("&H1F").AsDouble(), 31);
  EXPECT_EQ(Variant(true).AsInt64(), -1);
  EXPECT_EQ(Variant(2.5).AsInt64(), 2);
  EXPECT_EQ(Variant(3.5).AsInt64(), 4);
  EXPECT_TRUE(Variant(" true").AsBool());
  EXPECT_FALSE(Variant("0").AsBool());
  for (const char* bad : {"", "abc", "1.2.3", "--1", "1e", "+-1"}) {
    try {
      Variant(bad).AsDouble();
      FAIL() << bad;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kErrTypeMismatch) << bad;
    }
  }
}

}  // namespace
}  // namespace fennick
