// Block storage for fetched rows: memory in blocks of 64 KB, never moved
// once written.
//
// Fetching a result of unknown length into one growing array copies it
// again and again and, for large results, has the system map fresh pages
// on every growth. Blocks avoid both: a column grows by one block at a
// time, and freed blocks go to a process-wide cache from which the next
// result takes them, already mapped. The cache keeps at most kCachedBlocks
// idle blocks and is thread-safe; CellArray and ByteArena are not.
#ifndef FENNICK_PLATFORM_DATA_BLOCK_STORE_H_
#define FENNICK_PLATFORM_DATA_BLOCK_STORE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace fennick::data {

inline constexpr size_t kBlockBytes = 64 * 1024;
// 32 MB of idle blocks at most.
inline constexpr size_t kCachedBlocks = 512;

// A kBlockBytes block, from the cache when it has one.
char* AcquireBlock();
// Returns a block of AcquireBlock to the cache, or frees it when the cache
// is full.
void ReleaseBlock(char* block) noexcept;
// Frees every cached block (for measuring memory, and tests).
void ReleaseCachedBlocks();

// Owns a block: a cached one, or one of its own size (`cached` false).
struct BlockRelease {
  bool cached = true;
  void operator()(char* block) const noexcept;
};
using BlockPtr = std::unique_ptr<char[], BlockRelease>;

// 64-bit cells by index, in blocks.
class CellArray {
 public:
  static constexpr size_t kShift = 13;
  static constexpr size_t kCellsPerBlock = size_t{1} << kShift;  // 8192 x 8 bytes
  static_assert(kCellsPerBlock * sizeof(int64_t) == kBlockBytes);

  void Append(int64_t value) {
    size_t slot = size_ & (kCellsPerBlock - 1);
    if (slot == 0) Grow();
    tail_[slot] = value;
    ++size_;
  }
  int64_t operator[](size_t i) const {
    return reinterpret_cast<const int64_t*>(blocks_[i >> kShift].get())[i & (kCellsPerBlock - 1)];
  }
  size_t size() const { return size_; }
  // Copies a last block filled to half or less into memory of its own
  // size, so that small results do not hold whole blocks.
  void Trim();
  void Clear();

 private:
  void Grow();

  std::vector<BlockPtr> blocks_;
  int64_t* tail_ = nullptr;  // the last block's cells
  size_t size_ = 0;
};

// Byte strings by index. Values shorter than kLargeValue are packed into
// shared blocks; longer ones get a block of their own size. Each value's
// place is one 64-bit slot: block index, offset and length.
class ByteArena {
 public:
  static constexpr size_t kLargeValue = 8 * 1024;

  void Append(std::string_view value);
  std::string_view operator[](size_t i) const {
    uint64_t slot = static_cast<uint64_t>(slots_[i]);
    uint32_t length = slot & 0xFFFF;
    if (length == 0) return {};
    const Block& block = blocks_[slot >> 32];
    if (length == kWholeBlock) return std::string_view(block.data.get(), block.size);
    return std::string_view(block.data.get() + ((slot >> 16) & 0xFFFF), length);
  }
  size_t size() const { return slots_.size(); }
  void Trim();
  void Clear();

 private:
  static constexpr uint32_t kWholeBlock = 0xFFFF;  // no packed value is this long
  struct Block {
    BlockPtr data;
    size_t size;  // bytes in use
  };

  CellArray slots_;
  std::vector<Block> blocks_;
  int64_t open_block_ = -1;  // the block small values go into, if any
};

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_BLOCK_STORE_H_
