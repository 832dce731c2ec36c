// New report ids: their shape, and widening past taken ones.
#include "designer/report_id.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace fennick::designer {
namespace {

std::tm At(int year, int month, int day, int hour, int minute) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_isdst = -1;
  return t;
}

TEST(ReportIdTest, TenDigitsFromTheMinute) {
  EXPECT_EQ(ReportIdFor(At(2026, 3, 5, 14, 7), 4), "6030514074");
  EXPECT_EQ(ReportIdFor(At(2030, 12, 31, 0, 0), 9), "0123100009");
  for (int i = 0; i < 50; ++i) {
    const int digit = RandomIdDigit();
    EXPECT_GE(digit, 1);
    EXPECT_LE(digit, 9);
  }
}

// A hundred new reports in one minute: the nine ids of the minute, then
// wider ones of the same minute; never a refusal, never another minute's.
TEST(ReportIdTest, IdsOfAFullMinuteAreWidened) {
  std::set<std::string> taken;
  auto is_taken = [&](std::string_view id) { return taken.count(std::string(id)) != 0; };
  const std::tm now = At(2026, 12, 31, 23, 59);
  for (int i = 0; i < 100; ++i) {
    const std::string id = UniqueReportId(now, 4, is_taken);
    EXPECT_EQ(id.substr(0, 9), "612312359") << id;
    EXPECT_TRUE(i < 9 ? id.size() == 10 : id.size() >= 12) << id;
    EXPECT_TRUE(taken.insert(id).second) << id;
  }
  EXPECT_TRUE(taken.count("6123123594") && taken.count("6123123593"));
}

TEST(ReportIdTest, TypedIdsAndMatching) {
  EXPECT_TRUE(IsAcceptableNewId("HR"));
  EXPECT_TRUE(IsAcceptableNewId("sales_2026-q1"));
  for (const char* bad : {"", "a b", "a\"b", "<x>", "a;b", "é", "a/b", "a&b"}) {
    EXPECT_FALSE(IsAcceptableNewId(bad)) << bad;
  }
  EXPECT_FALSE(IsAcceptableNewId(std::string(65, 'a')));
  EXPECT_EQ(NormalizeId("  hr x "), "HR X");
}

}  // namespace
}  // namespace fennick::designer
