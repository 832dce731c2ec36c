// Expectations on a page, a download or a mail: that it holds a piece of
// text or does not. A failure prints the whole text it looked in.
#ifndef FENNICK_TESTS_SUPPORT_FOLD_DESIGNER_TEXT_H_
#define FENNICK_TESTS_SUPPORT_FOLD_DESIGNER_TEXT_H_

#include <gmock/gmock.h>

#include <initializer_list>
#include <string>

#define EXPECT_HAS(text, part) EXPECT_THAT(text, ::testing::HasSubstr(part))
#define EXPECT_LACKS(text, part) EXPECT_THAT(text, ::testing::Not(::testing::HasSubstr(part)))
#define ASSERT_HAS(text, part) ASSERT_THAT(text, ::testing::HasSubstr(part))
#define ASSERT_LACKS(text, part) ASSERT_THAT(text, ::testing::Not(::testing::HasSubstr(part)))

// Every part of a braced list, each checked on its own:
// EXPECT_HAS_ALL(page, {"<h2>", "</h2>"}).
#define EXPECT_HAS_ALL(text, ...) \
  for (const std::string& part_ : std::initializer_list<std::string> __VA_ARGS__) \
  EXPECT_HAS(text, part_)
#define EXPECT_LACKS_ALL(text, ...) \
  for (const std::string& part_ : std::initializer_list<std::string> __VA_ARGS__) \
  EXPECT_LACKS(text, part_)

#endif  // FENNICK_TESTS_SUPPORT_FOLD_DESIGNER_TEXT_H_
