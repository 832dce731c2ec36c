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

TEST(NumberFormatTest, SeparatorsAndDecimalsFollowTheLocale) {
  EXPECT_EQ(FormatNumber(1234567.891, 2, kUseDefault, kUseDefault, kUseDefault, "en_US"),
            "1,234,567.89");
  EXPECT_EQ(FormatNumber(1234567.891, 2, kUseDefault, kUseDefault, kUseDefault, "fr_FR"),
            Fr("1_234_567,89"));
  EXPECT_EQ(FormatNumber(1234567.891, 2, kUseDefault, kUseDefault, kUseDefault, "de_DE"),
            "1.234.567,89");
  // The default is two decimals; 0 decimals writes no separator.
  EXPECT_EQ(FormatNumber(1234.5, -1, kUseDefault, kUseDefault, kUseDefault, "en_US"),
            "1,234.50");
  EXPECT_EQ(FormatNumber(1234.5, 0, kUseDefault, kUseDefault, kUseDefault, "en_US"), "1,235");
  EXPECT_EQ(FormatNumber(7, 3, kUseDefault, kUseDefault, kUseDefault, "fr_FR"), "7,000");
}

TEST(NumberFormatTest, HalvesRoundAwayFromZero) {
  auto number = [](double value, int decimals) {
    return FormatNumber(value, decimals, kUseDefault, kUseDefault, kUseDefault, "en_US");
  };
  EXPECT_EQ(number(0.5, 0), "1");
  EXPECT_EQ(number(2.5, 0), "3");
  EXPECT_EQ(number(-2.5, 0), "-3");
  EXPECT_EQ(number(0.125, 2), "0.13");
  // The value as written decides, not its binary neighbour 1.00499999...
  EXPECT_EQ(number(1.005, 2), "1.01");
  EXPECT_EQ(number(-1.005, 2), "-1.01");
  EXPECT_EQ(FormatCurrency(2.675, 2, kUseDefault, kUseDefault, kUseDefault, "en_US"), "$2.68");
  EXPECT_EQ(FormatPercent(0.0125, 1, kUseDefault, kUseDefault, kUseDefault, "en_US"), "1.3%");
}

TEST(NumberFormatTest, NegativesAndTheTriStates) {
  EXPECT_EQ(FormatNumber(-1234.5, 2, kUseDefault, kUseDefault, kUseDefault, "en_US"),
            "-1,234.50");
  EXPECT_EQ(FormatNumber(-1234.5, 2, kUseDefault, kTrue, kUseDefault, "en_US"), "(1,234.50)");
  EXPECT_EQ(FormatNumber(1234.5, 2, kUseDefault, kTrue, kUseDefault, "en_US"), "1,234.50");
  // A negative that rounds to zero is zero, with no sign and no parentheses.
  EXPECT_EQ(FormatNumber(-0.004, 2, kUseDefault, kUseDefault, kUseDefault, "en_US"), "0.00");
  EXPECT_EQ(FormatNumber(-0.004, 2, kUseDefault, kTrue, kUseDefault, "en_US"), "0.00");
  EXPECT_EQ(FormatNumber(-0.005, 2, kUseDefault, kTrue, kUseDefault, "en_US"), "(0.01)");

  EXPECT_EQ(FormatNumber(0.5, 2, kFalse, kUseDefault, kUseDefault, "en_US"), ".50");
  EXPECT_EQ(FormatNumber(-0.5, 2, kFalse, kUseDefault, kUseDefault, "en_US"), "-.50");
  EXPECT_EQ(FormatNumber(0.5, 2, kTrue, kUseDefault, kUseDefault, "en_US"), "0.50");
  EXPECT_EQ(FormatNumber(1234.5, 2, kUseDefault, kUseDefault, kFalse, "en_US"), "1234.50");
  // Spanish leaves four-digit numbers ungrouped unless grouping is asked for.
  EXPECT_EQ(FormatNumber(1234, 0, kUseDefault, kUseDefault, kUseDefault, "es_ES"), "1234");
  EXPECT_EQ(FormatNumber(1234, 0, kUseDefault, kUseDefault, kTrue, "es_ES"), "1.234");
}

TEST(NumberFormatTest, CurrencyTakesTheLocalesSymbolPlaceAndDecimals) {
  EXPECT_EQ(FormatCurrency(1234.5, -1, kUseDefault, kUseDefault, kUseDefault, "en_US"),
            "$1,234.50");
  EXPECT_EQ(FormatCurrency(-1234.5, -1, kUseDefault, kUseDefault, kUseDefault, "en_US"),
            "-$1,234.50");
  EXPECT_EQ(FormatCurrency(-1234.5, -1, kUseDefault, kTrue, kUseDefault, "en_US"),
            "($1,234.50)");
  EXPECT_EQ(FormatCurrency(1234.5, -1, kUseDefault, kUseDefault, kUseDefault, "fr_FR"),
            Fr("1_234,50~€"));
  EXPECT_EQ(FormatCurrency(-1234.5, 0, kUseDefault, kTrue, kUseDefault, "fr_FR"),
            Fr("(1_235~€)"));
  EXPECT_EQ(FormatCurrency(1234.5, -1, kUseDefault, kUseDefault, kUseDefault, "en_GB"),
            "£1,234.50");
  // The yen has no minor unit.
  EXPECT_EQ(FormatCurrency(1234.5, -1, kUseDefault, kUseDefault, kUseDefault, "ja_JP"),
            "￥1,235");
}

TEST(NumberFormatTest, PercentScalesByAHundred) {
  EXPECT_EQ(FormatPercent(0.25, 0, kUseDefault, kUseDefault, kUseDefault, "en_US"), "25%");
  EXPECT_EQ(FormatPercent(0.256, 1, kUseDefault, kUseDefault, kUseDefault, "en_US"), "25.6%");
  EXPECT_EQ(FormatPercent(0.256, -1, kUseDefault, kUseDefault, kUseDefault, "en_US"), "25.60%");
  EXPECT_EQ(FormatPercent(-12.5, 0, kUseDefault, kTrue, kUseDefault, "en_US"), "(1,250%)");
  EXPECT_EQ(FormatPercent(0.256, 1, kUseDefault, kUseDefault, kUseDefault, "fr_FR"),
            Fr("25,6~%"));
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
