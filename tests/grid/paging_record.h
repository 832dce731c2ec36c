// The two paging modes side by side for the grid's rendering suites.
//
// The grid fixtures give every grid they create the paging mode named by
// FENNICK_TEST_DATABASE_PAGING ("off": every row read; anything else, or
// unset: pages read from the database, the default), and, when
// FENNICK_TEST_PAGE_RECORD names a file, append every page a test drew to
// it under the test's name, with the values of sealed tokens masked (they
// are random). tests/grid/paging_compare.sh runs the suites in both modes
// and requires the two records to be equal byte for byte.
#ifndef FENNICK_TESTS_GRID_PAGING_RECORD_H_
#define FENNICK_TESTS_GRID_PAGING_RECORD_H_

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>

namespace fennick::testing {

// The mode the fixtures' grids take.
inline bool DatabasePagingForTests() {
  const char* mode = std::getenv("FENNICK_TEST_DATABASE_PAGING");
  return mode == nullptr || std::string(mode) != "off";
}

// The page with the sealed values replaced by "#": the download token of
// binary cells and the sealed sort orders in the hidden fields. The sealed
// row count, which only a page read from the database carries, is taken
// out.
inline std::string MaskSealedTokens(const std::string& html) {
  static const std::regex kCell("(cell=)[A-Za-z0-9_\\-=%]+");
  static const std::regex kSortFields("(name=sort(def|req) value=\")[^\"]*");
  static const std::regex kRowCount("<input type=hidden name=rowcount value=\"[^\"]*\">");
  std::string masked = std::regex_replace(html, kCell, "$1#");
  masked = std::regex_replace(masked, kRowCount, "");
  return std::regex_replace(masked, kSortFields, "$1#");
}

// Appends a page the running test drew to the record, when one is kept.
inline void RecordPage(const std::string& html) {
  const char* path = std::getenv("FENNICK_TEST_PAGE_RECORD");
  if (path == nullptr || *path == '\0') return;
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::ofstream out(path, std::ios::app | std::ios::binary);
  out << "### " << (test ? std::string(test->test_suite_name()) + "." + test->name() : "?") << "\n"
      << MaskSealedTokens(html) << "\n";
}

}  // namespace fennick::testing

#endif  // FENNICK_TESTS_GRID_PAGING_RECORD_H_
