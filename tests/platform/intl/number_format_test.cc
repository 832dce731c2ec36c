// FormatNumber, FormatCurrency and FormatPercent in en-US and fr-FR: the
// separators, the currency's place, negatives, decimals and rounding.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "fennick/error.h"
#include "platform/intl/format.h"

namespace fennick::intl {
namespace {

// fr-FR groups with a narrow no-break space and sets the currency and the
// percent sign apart with a no-break space.
constexpr const char* kNarrowNbsp = "\u202F";
constexpr const char* kNbsp = "\u00A0";

std::string Fr(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '_') out += kNarrowNbsp;
    else if (c == '~') out += kNbsp;
    else out += c;
  }
  return out;
}

// The locale's separators and currency; decimals (-1 the default); halves
// rounded away from zero; negatives and the tri-states (leading digit,
// parentheses, grouping); percent scaled by a hundred. In the expected text
// '_' stands for a narrow no-break space, '~' for a no-break space.
TEST(NumberFormatTest, NumbersCurrenciesAndPercents) {
  using Formatter = std::string (*)(double, int, int, int, int, std::string_view);
  const Formatter N = FormatNumber, C = FormatCurrency, P = FormatPercent;
  constexpr int D = kUseDefault;
  const struct {
    Formatter format;
    double value;
    int decimals, leading, parens, group;
    const char* locale;
    const char* expected;
  } cases[] = {
      {N, 1234567.891, 2, D, D, D, "en_US", "1,234,567.89"},
      {N, 1234567.891, 2, D, D, D, "fr_FR", "1_234_567,89"},
      {N, 1234567.891, 2, D, D, D, "de_DE", "1.234.567,89"},
      {N, 1234.5, -1, D, D, D, "en_US", "1,234.50"},
      {N, 1234.5, 0, D, D, D, "en_US", "1,235"},
      {N, 7, 3, D, D, D, "fr_FR", "7,000"},
      {N, 0.5, 0, D, D, D, "en_US", "1"},
      {N, 2.5, 0, D, D, D, "en_US", "3"},
      {N, -2.5, 0, D, D, D, "en_US", "-3"},
      {N, 0.125, 2, D, D, D, "en_US", "0.13"},
      // The value as written decides, not its binary neighbour 1.00499999...
      {N, 1.005, 2, D, D, D, "en_US", "1.01"},
      {N, -1.005, 2, D, D, D, "en_US", "-1.01"},
      {C, 2.675, 2, D, D, D, "en_US", "$2.68"},
      {P, 0.0125, 1, D, D, D, "en_US", "1.3%"},
      {N, -1234.5, 2, D, D, D, "en_US", "-1,234.50"},
      {N, -1234.5, 2, D, kTrue, D, "en_US", "(1,234.50)"},
      {N, 1234.5, 2, D, kTrue, D, "en_US", "1,234.50"},
      // A negative that rounds to zero is zero, with no sign and no parentheses.
      {N, -0.004, 2, D, D, D, "en_US", "0.00"},
      {N, -0.004, 2, D, kTrue, D, "en_US", "0.00"},
      {N, -0.005, 2, D, kTrue, D, "en_US", "(0.01)"},
      {N, 0.5, 2, kFalse, D, D, "en_US", ".50"},
      {N, -0.5, 2, kFalse, D, D, "en_US", "-.50"},
      {N, 0.5, 2, kTrue, D, D, "en_US", "0.50"},
      {N, 1234.5, 2, D, D, kFalse, "en_US", "1234.50"},
      // Spanish leaves four-digit numbers ungrouped unless grouping is asked for.
      {N, 1234, 0, D, D, D, "es_ES", "1234"},
      {N, 1234, 0, D, D, kTrue, "es_ES", "1.234"},
      {C, 1234.5, -1, D, D, D, "en_US", "$1,234.50"},
      {C, -1234.5, -1, D, D, D, "en_US", "-$1,234.50"},
      {C, -1234.5, -1, D, kTrue, D, "en_US", "($1,234.50)"},
      {C, 1234.5, -1, D, D, D, "fr_FR", "1_234,50~€"},
      {C, -1234.5, 0, D, kTrue, D, "fr_FR", "(1_235~€)"},
      {C, 1234.5, -1, D, D, D, "en_GB", "£1,234.50"},
      // The yen has no minor unit.
      {C, 1234.5, -1, D, D, D, "ja_JP", "￥1,235"},
      {P, 0.25, 0, D, D, D, "en_US", "25%"},
      {P, 0.256, 1, D, D, D, "en_US", "25.6%"},
      {P, 0.256, -1, D, D, D, "en_US", "25.60%"},
      {P, -12.5, 0, D, kTrue, D, "en_US", "(1,250%)"},
      {P, 0.256, 1, D, D, D, "fr_FR", "25,6~%"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.format(c.value, c.decimals, c.leading, c.parens, c.group, c.locale),
              Fr(c.expected))
        << c.value << " " << c.decimals << " " << c.locale;
  }
}

TEST(NumberFormatTest, CachedFormattersKeepTheirOptionsApart) {
  // One thread alternating locales and options, as a grid does column by
  // column, must get each formatter's own result every time.
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(FormatNumber(1.5, 2, kUseDefault, kUseDefault, kUseDefault, "en_US"), "1.50");
    EXPECT_EQ(FormatNumber(1.5, 0, kUseDefault, kUseDefault, kUseDefault, "en_US"), "2");
    EXPECT_EQ(FormatNumber(1.5, 2, kUseDefault, kUseDefault, kUseDefault, "fr_FR"), "1,50");
    EXPECT_EQ(FormatPercent(1.5, 0, kUseDefault, kUseDefault, kUseDefault, "en_US"), "150%");
    EXPECT_EQ(FormatNumber(-1.5, 2, kUseDefault, kTrue, kUseDefault, "en_US"), "(1.50)");
  }
}

TEST(NumberFormatTest, ThreadsFormatAtTheSameTime) {
  // Each server thread has its own formatters; threads formatting at once in
  // different locales must not disturb each other.
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &wrong] {
      const bool french = t % 2 == 1;
      for (int i = 0; i < 2000; ++i) {
        const std::string number =
            FormatNumber(1234.5, 2, kUseDefault, kUseDefault, kUseDefault,
                         french ? "fr_FR" : "en_US");
        const std::string date = FormatDateTime(38051.5, 1, french ? "fr_FR" : "en_US");
        if (number != (french ? Fr("1_234,50") : "1,234.50") ||
            date != (french ? "vendredi 5 mars 2004" : "Friday, March 5, 2004")) {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(NumberFormatTest, RejectsImpossibleDecimals) {
  try {
    FormatNumber(1, -2);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrInvalidCall);
  }
  EXPECT_THROW(FormatCurrency(1, 100), Error);
}

}  // namespace
}  // namespace fennick::intl
