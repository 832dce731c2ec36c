// ParseLocaleNumber: what a user may type as a number in en-US and in
// comma-decimal locales, and what is refused.
#include <gtest/gtest.h>

#include <optional>

#include "platform/intl/format.h"

namespace fennick::intl {
namespace {

std::optional<double> Number(std::string_view text, std::string_view locale = "en_US") {
  double value = 0;
  if (!ParseLocaleNumber(text, value, locale)) return std::nullopt;
  return value;
}

TEST(NumberParseTest, AcceptsTheLocalesWriting) {
  EXPECT_EQ(Number("1,234.5"), 1234.5);
  EXPECT_EQ(Number("  -1,234,567.25 "), -1234567.25);
  EXPECT_EQ(Number("$1,234.50"), 1234.5);
  EXPECT_EQ(Number("-$5"), -5);
  EXPECT_EQ(Number("($5.00)"), -5);
  EXPECT_EQ(Number("5-"), -5);
  EXPECT_EQ(Number("+.5"), 0.5);
  EXPECT_EQ(Number("1.5E3"), 1500);
  EXPECT_EQ(Number("&H1F"), 31);
  EXPECT_EQ(Number("1.234,5", "de_DE"), 1234.5);
  EXPECT_EQ(Number("-1.234,50 €", "de_DE"), -1234.5);
  // French groups with a no-break space; users type any blank.
  EXPECT_EQ(Number("1 234,5", "fr_FR"), 1234.5);
  EXPECT_EQ(Number("1\u202F234,5\u00A0€", "fr_FR"), 1234.5);
  EXPECT_EQ(Number("(1 234,5 €)", "fr_FR"), -1234.5);
}

TEST(NumberParseTest, RefusesWhatIsNoNumber) {
  for (const char* text : {"", " ", "-", "abc", "1,,2", ",5", "1.2.3", "--5", "-5-", "(5",
                           "(-5)", "5)", "50%", "1 234", "1e", "$$5", "5 apples", "1.5,2"}) {
    EXPECT_EQ(Number(text), std::nullopt) << text;
  }
  // A dot is neither separator in French.
  EXPECT_EQ(Number("1.5", "fr_FR"), std::nullopt);
  EXPECT_EQ(Number("1,234.5", "de_DE"), std::nullopt);
}

}  // namespace
}  // namespace fennick::intl
