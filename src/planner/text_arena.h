// Storage for the graph's names and command texts: many strings to one
// allocation, none of them ever moved, all released at once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/large_pages.h"

namespace planner {

class TextArena {
 public:
  // Blocks double from the first size to the last, so that a small makefile
  // takes little and a big one fills large pages.
  static constexpr std::size_t kFirstBlock = std::size_t{1} << 16;
  static constexpr std::size_t kLastBlock = os::kLargePage;

  // A copy of `text` followed by a NUL, so that a name can go to the C
  // library as it is. The copy stays where it is as long as the arena lives.
  std::string_view store(std::string_view text) {
    const std::size_t need = text.size() + 1;
    char* at = nullptr;
    if (need <= left_) {
      at = next_;
      next_ += need;
      left_ -= need;
    } else {
      at = fresh_block(need);
    }
    if (!text.empty()) std::memcpy(at, text.data(), text.size());
    at[text.size()] = '\0';
    return {at, text.size()};
  }

 private:
  // Room for `need` bytes in a new block. A large text gets a block of its
  // own, so the current block's rest is not thrown away for it.
  char* fresh_block(std::size_t need) {
    const bool own = need > kFirstBlock / 4;
    const std::size_t size = own ? need : block_size_;
    // Left uninitialized, as every byte is written before it is read.
    std::unique_ptr<char[], Free> owned(LargePageAllocator<char>().allocate(size), Free{size});
    char* block = owned.get();
    blocks_.push_back(std::move(owned));
    if (!own) {
      next_ = block + need;
      left_ = size - need;
      block_size_ = std::min(2 * block_size_, kLastBlock);
    }
    return block;
  }

  struct Free {
    std::size_t size;  // as allocated
    void operator()(char* block) const { LargePageAllocator<char>().deallocate(block, size); }
  };

  std::vector<std::unique_ptr<char[], Free>> blocks_;
  std::size_t block_size_ = kFirstBlock;  // of the next shared block
  char* next_ = nullptr;                  // first free byte of the current block
  std::size_t left_ = 0;                  // free bytes from next_ to the current block's end
};

}  // namespace planner
