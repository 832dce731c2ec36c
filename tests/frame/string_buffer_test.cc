// StringBuffer: content, growth in steps and the late-bound face.
#include "fennick/string_buffer.h"

#include <gtest/gtest.h>

#include "fennick/error.h"
#include "fennick/registry.h"

namespace fennick {
namespace {

TEST(StringBufferTest, AppendsAfterReInitAndSetString) {
  StringBuffer b;
  EXPECT_EQ(b.ToString(), "");
  b.ReInit();
  b.Append("ab");
  b.Append("c");
  EXPECT_EQ(b.ToString(), "abc");
  EXPECT_EQ(b.Length(), 3u);

  b.SetString("xy");
  EXPECT_EQ(b.Capacity(), 2 + StringBuffer::kGrowthStep);
  b.Append("z");
  EXPECT_EQ(b.ToString(), "xyz");

  b.ReInit();
  EXPECT_EQ(b.ToString(), "");
  EXPECT_EQ(b.Capacity(), 0u);
}

TEST(StringBufferTest, GrowsInStepsAndKeepsLongAppends) {
  StringBuffer b;
  std::string big(2 * StringBuffer::kGrowthStep + 123, 'q');
  big[0] = 'A';
  big.back() = 'Z';
  b.Append(big);
  EXPECT_EQ(b.ToString(), big);
  // Three steps are needed: the content must stay below the buffer size.
  EXPECT_EQ(b.Capacity(), 3 * StringBuffer::kGrowthStep);

  // Exactly filling the spare room still grows (length + n >= size).
  StringBuffer c;
  c.SetString("");
  c.Append(std::string(StringBuffer::kGrowthStep, 'x'));
  EXPECT_EQ(c.Capacity(), 2 * StringBuffer::kGrowthStep);
  EXPECT_EQ(c.Length(), StringBuffer::kGrowthStep);
}

TEST(StringBufferTest, LateBoundMembers) {
  auto obj = CreateComponentObject("fennick.stringbuffer");
  ASSERT_TRUE(obj);
  Variant ab("ab"), c(int16_t{7});
  obj->Invoke("reinit", InvokeKind::kMethod, {});
  obj->Invoke("Append", InvokeKind::kMethod, std::span<const Variant>(&ab, 1));
  obj->Invoke("APPEND", InvokeKind::kMethod, std::span<const Variant>(&c, 1));
  EXPECT_EQ(obj->Invoke("ToString", InvokeKind::kMethod, {}).AsString(), "ab7");
  EXPECT_THROW(obj->Invoke("Nope", InvokeKind::kMethod, {}), Error);
  EXPECT_THROW(obj->Invoke("Append", InvokeKind::kMethod, {}), Error);
}

}  // namespace
}  // namespace fennick
