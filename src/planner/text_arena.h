// Storage for the graph's names and command texts: many strings to one
// allocation, none of them ever moved, all released at once.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace planner {

class TextArena {
 public:
  static constexpr std::size_t kBlock = std::size_t{1} << 16;
  // A longer text gets a block of its own.
  static constexpr std::size_t kLargest = kBlock / 4 - 1;

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

  // Returns the room of `stored`, the last text stored, to the arena; for a
  // text of at most kLargest bytes.
  void take_back(std::string_view stored) {
    next_ -= stored.size() + 1;
    left_ += stored.size() + 1;
  }

 private:
  // Room for `need` bytes in a new block. A large text gets a block of its
  // own, so the current block's rest is not thrown away for it.
  char* fresh_block(std::size_t need) {
    const bool own = need > kLargest + 1;
    // Left uninitialized, as every byte is written before it is read (not
    // std::make_unique_for_overwrite, which some C++ libraries still lack).
    blocks_.emplace_back(new char[own ? need : kBlock]);
    char* block = blocks_.back().get();
    if (!own) {
      next_ = block + need;
      left_ = kBlock - need;
    }
    return block;
  }

  std::vector<std::unique_ptr<char[]>> blocks_;
  char* next_ = nullptr;  // first free byte of the current block
  std::size_t left_ = 0;  // free bytes from next_ to the current block's end
};

}  // namespace planner
