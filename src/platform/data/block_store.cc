// The block cache and the block-backed arrays of fetched rows.
#include "platform/data/block_store.h"

#include <cstring>
#include <mutex>

namespace fennick::data {
namespace {

class BlockCache {
 public:
  char* Take() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!idle_.empty()) {
        char* block = idle_.back();
        idle_.pop_back();
        return block;
      }
    }
    return static_cast<char*>(::operator new(kBlockBytes));
  }

  void Give(char* block) noexcept {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (idle_.size() < kCachedBlocks) {
        idle_.push_back(block);  // reserved up front: push_back cannot throw
        return;
      }
    }
    ::operator delete(block);
  }

  void Clear() {
    std::vector<char*> blocks;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      blocks.swap(idle_);
      idle_.reserve(kCachedBlocks);
    }
    for (char* block : blocks) ::operator delete(block);
  }

  BlockCache() { idle_.reserve(kCachedBlocks); }

 private:
  std::mutex mutex_;
  std::vector<char*> idle_;  // GUARDED_BY(mutex_)
};

// Never destroyed, so that recordsets in static storage can still give
// their blocks back at exit.
BlockCache& Cache() {
  static BlockCache* cache = new BlockCache;
  return *cache;
}

}  // namespace

char* AcquireBlock() { return Cache().Take(); }
void ReleaseBlock(char* block) noexcept { Cache().Give(block); }
void ReleaseCachedBlocks() { Cache().Clear(); }

void BlockRelease::operator()(char* block) const noexcept {
  if (cached) {
    ReleaseBlock(block);
  } else {
    ::operator delete(block);
  }
}

void CellArray::Grow() {
  blocks_.emplace_back(AcquireBlock(), BlockRelease{true});
  tail_ = reinterpret_cast<int64_t*>(blocks_.back().get());
}

void CellArray::Trim() {
  size_t used = size_ & (kCellsPerBlock - 1);
  if (used == 0 || used > kCellsPerBlock / 2) return;
  size_t bytes = used * sizeof(int64_t);
  BlockPtr exact(static_cast<char*>(::operator new(bytes)), BlockRelease{false});
  std::memcpy(exact.get(), blocks_.back().get(), bytes);
  blocks_.back() = std::move(exact);
  tail_ = nullptr;  // no more appends after trimming
}

void CellArray::Clear() {
  blocks_.clear();
  blocks_.shrink_to_fit();
  tail_ = nullptr;
  size_ = 0;
}

void ByteArena::Append(std::string_view value) {
  if (value.empty()) {
    slots_.Append(0);  // block 0, offset 0, length 0: no bytes are read
    return;
  }
  if (value.size() >= kLargeValue) {
    BlockPtr data(static_cast<char*>(::operator new(value.size())), BlockRelease{false});
    std::memcpy(data.get(), value.data(), value.size());
    blocks_.push_back({std::move(data), value.size()});
    slots_.Append(static_cast<int64_t>((uint64_t{blocks_.size() - 1} << 32) | kWholeBlock));
    return;
  }
  if (open_block_ < 0 || blocks_[open_block_].size + value.size() > kBlockBytes) {
    blocks_.push_back({BlockPtr(AcquireBlock(), BlockRelease{true}), 0});
    open_block_ = static_cast<int64_t>(blocks_.size() - 1);
  }
  Block& block = blocks_[open_block_];
  std::memcpy(block.data.get() + block.size, value.data(), value.size());
  slots_.Append(
      static_cast<int64_t>((uint64_t(open_block_) << 32) | (block.size << 16) | value.size()));
  block.size += value.size();
}

void ByteArena::Trim() {
  slots_.Trim();
  if (open_block_ < 0) return;
  Block& block = blocks_[open_block_];
  if (block.size <= kBlockBytes / 2) {
    BlockPtr exact(static_cast<char*>(::operator new(block.size == 0 ? 1 : block.size)),
                   BlockRelease{false});
    std::memcpy(exact.get(), block.data.get(), block.size);
    block.data = std::move(exact);
  }
  open_block_ = -1;  // no more appends after trimming
}

void ByteArena::Clear() {
  slots_.Clear();
  blocks_.clear();
  blocks_.shrink_to_fit();
  open_block_ = -1;
}

}  // namespace fennick::data
