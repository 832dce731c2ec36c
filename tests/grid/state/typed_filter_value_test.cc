// Filter-bar values read in the display form of their column.
#include <gtest/gtest.h>

#include "grid/state/typed_filter_value.h"

namespace fennick {
namespace {

TEST(TypedFilterValueTest, NumbersAndDatesAsTheColumnShowsThem) {
  struct Case {
    const char* text;
    int ado_type;
    const char* number_entry;
    const char* locale;
    const char* literal;  // nullptr: stays text
  };
  const Case cases[] = {
      {"$40,000", 6, "32", "en_US", "40000"},
      {"(1,234.50)", 5, "12", "en_US", "-1234.5"},
      {"12%", 5, "20", "en_US", "0.12"},
      {"12 %", 131, "21", "fr_FR", "0.12"},
      {"1.234,5", 5, "", "de_DE", "1234.5"},
      {"1 234,5 €", 6, "32", "fr_FR", "1234.5"},
      {"7", 3, "", "en_US", "7"},
      // A percent sign outside a percent column, or text, is no number.
      {"12%", 5, "12", "en_US", nullptr},
      {"lots", 5, "32", "en_US", nullptr},
      // Dates as the page's locale writes them.
      {"3/5/2004", 7, "", "en_US", "#2004-03-05 00:00:00#"},
      {"05/03/2004 14:07", 135, "", "fr_FR", "#2004-03-05 14:07:00#"},
      {"March 5, 2004", 7, "", "en_US", "#2004-03-05 00:00:00#"},
      {"5 Mar 2004", 7, "", "en_US", "#2004-03-05 00:00:00#"},
      {"Friday, March 5, 2004", 7, "", "en_US", "#2004-03-05 00:00:00#"},
      {"3/5/2004 2:07:09 PM", 135, "", "en_US", "#2004-03-05 14:07:09#"},
      // Text columns keep the text.
      {"$40,000", 200, "32", "en_US", nullptr},
  };
  for (const Case& c : cases) {
    const std::optional<std::string> literal =
        TypedFilterLiteral(c.text, c.ado_type, c.number_entry, c.locale);
    if (c.literal == nullptr) {
      EXPECT_FALSE(literal) << c.text << " gave " << literal.value_or("");
    } else {
      EXPECT_EQ(literal.value_or("(none)"), c.literal) << c.text << " in " << c.locale;
    }
  }
}

}  // namespace
}  // namespace fennick
