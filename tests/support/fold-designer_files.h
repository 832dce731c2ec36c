// Files of one test: a fresh folder named after the running test and the
// process, and whole files read back (ReadText).
#ifndef FENNICK_TESTS_SUPPORT_FOLD_DESIGNER_FILES_H_
#define FENNICK_TESTS_SUPPORT_FOLD_DESIGNER_FILES_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/markdown.h"

namespace fennick::test_support {

// Empties and makes <temp>/<prefix><pid>_<test name>; the caller removes it.
inline std::filesystem::path FreshTestFolder(const std::string& prefix) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      (prefix + std::to_string(::getpid()) + "_" +
       ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return std::filesystem::canonical(folder);
}

}  // namespace fennick::test_support

#endif  // FENNICK_TESTS_SUPPORT_FOLD_DESIGNER_FILES_H_
