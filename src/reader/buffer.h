// The reader's two token buffers. They grow as needed, so a token of any
// length (a whole file without a colon is one goal name) arrives whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace planner {

// One growing text. Appending is on the path of every name character, so it
// is a store and a compare inline; growing, which is rare, is not.
class TokenText {
 public:
  void append(char c) {
    if (size_ == capacity_) grow();
    data_[size_++] = c;
  }
  std::string_view view() const { return {data_.get(), size_}; }
  void clear() { size_ = 0; }  // keeps the storage

 private:
  void grow() {
    const std::size_t capacity = capacity_ == 0 ? 256 : 2 * capacity_;
    std::unique_ptr<char[]> data(new char[capacity]);  // not zeroed: a token can be a whole file
    if (size_ != 0) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
  }

  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

class Buffer {
 public:
  void append_goal(char c) { goal_text.append(c); }
  void append_item(char c) { item_text.append(c); }
  // Views of the collected texts; valid until the next change of the buffer.
  // The graph copies whatever it keeps.
  std::string_view copy_goal() const { return goal_text.view(); }
  std::string_view copy_item() const { return item_text.view(); }
  // Emptying keeps the storage, so a long run of rules allocates once.
  void reset_goal() { goal_text.clear(); }
  void reset_item() { item_text.clear(); }

 private:
  TokenText goal_text;  // the goal name being collected
  TokenText item_text;  // the dependency name or command text being collected
};

}  // namespace planner
