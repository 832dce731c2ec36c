// Column storage: values kept across block boundaries, large and empty
// values, nulls, trimming, and a column turning into Variants midway.
#include "platform/data/row_set.h"

#include <gtest/gtest.h>

#include <string>

#include "test_databases.h"

namespace fennick::data {
namespace {

std::string ValueText(size_t i) {
  // Lengths from 0 to 96 bytes, and every 997th value far larger than a
  // packed value may be.
  if (i % 997 == 0)
    return std::string(ByteArena::kLargeValue + i % 5000, static_cast<char>('a' + i % 26));
  return std::string(i % 97, static_cast<char>('A' + i % 26)) + std::to_string(i);
}

TEST(BlockStoreTest, ArraysKeepEveryValueAcrossBlocks) {
  CellArray cells;
  ByteArena bytes;
  const size_t n = 3 * CellArray::kCellsPerBlock + 123;
  for (size_t i = 0; i < n; ++i) {
    cells.Append(static_cast<int64_t>(i * 7919));
    bytes.Append(ValueText(i));
  }
  cells.Trim();
  bytes.Trim();
  ASSERT_EQ(cells.size(), n);
  ASSERT_EQ(bytes.size(), n);
  for (size_t i = 0; i < n; ++i) {
    ASSERT_EQ(cells[i], static_cast<int64_t>(i * 7919)) << i;
    ASSERT_EQ(bytes[i], ValueText(i)) << i;
  }
  // A small array ends up in memory of its own size, values intact.
  CellArray few;
  ByteArena short_texts;
  few.Append(5);
  short_texts.Append("");
  short_texts.Append("xy");
  few.Trim();
  short_texts.Trim();
  EXPECT_EQ(few[0], 5);
  EXPECT_EQ(short_texts[0], "");
  EXPECT_EQ(short_texts[1], "xy");
  ReleaseCachedBlocks();
}

TEST(ColumnTest, NullsPendingStorageAndVariantFallback) {
  ColumnInfo info;
  info.name = "c";
  Column column(info);
  for (int i = 0; i < 70; ++i) column.AppendNull();  // type not known yet
  column.SetStorage(Storage::kBytes);
  column.AppendBytes("first");
  column.AppendNull();
  column.AppendBytes("third");
  column.AppendVariant(Variant(int64_t{4}));  // defies the column
  column.AppendBytes("fifth");
  column.Trim();
  ASSERT_EQ(column.size(), 75u);
  EXPECT_TRUE(column.IsNull(0));
  EXPECT_TRUE(column.IsNull(69));
  EXPECT_EQ(column.Value(70), Variant("first"));
  EXPECT_TRUE(column.Value(71).IsNull());
  EXPECT_EQ(column.Value(72), Variant("third"));
  EXPECT_EQ(column.Value(73), Variant(int64_t{4}));
  EXPECT_EQ(column.Value(74), Variant("fifth"));
  EXPECT_EQ(column.storage(), Storage::kVariant);
  // Null first, then numbers, then text ignoring case.
  EXPECT_LT(column.Compare(71, 73), 0);
  EXPECT_LT(column.Compare(73, 70), 0);
  EXPECT_GT(column.Compare(72, 70), 0);
}

}  // namespace
}  // namespace fennick::data
