// The lists of many owners in one shared array, without an allocation per
// list.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <span>
#include <stdexcept>
#include <vector>

#include "platform/large_pages.h"

namespace planner {

// A list lies in one run of the array, which keeps room for it up to the next
// power of two of its length. A full list that ends the array grows where it
// is; any other full list moves to the end with room for twice its length,
// leaving its old run unused. The rules of one goal mostly come together, so
// most lists grow in place, and a list of any history costs at most about
// four times its entries.
template <typename T>
class ListPool {
 public:
  // One owner's list; empty until the first append.
  struct List {
    std::uint32_t begin = 0;  // position of the first entry in the array
    std::uint32_t size = 0;   // number of entries
  };

  // Valid until the next append to any list.
  std::span<const T> view(List list) const { return {items_.data() + list.begin, list.size}; }

  void append(List& list, const T& item) {
    if (list.size == 0 || list.size == std::bit_ceil(list.size)) make_room(list);
    items_[list.begin + list.size++] = item;
  }

 private:
  // Doubles the room of a list that has none left (or none at all).
  void make_room(List& list) {
    const std::size_t end = std::size_t{list.begin} + list.size;
    const bool in_place = list.size != 0 && end == items_.size();
    const std::size_t at = in_place ? list.begin : items_.size();
    const std::size_t room = list.size == 0 ? 1 : 2 * std::size_t{list.size};
    if (at + room > std::numeric_limits<std::uint32_t>::max())
      throw std::length_error("too many list entries");
    items_.resize(at + room);
    if (!in_place) {
      std::copy_n(items_.begin() + list.begin, list.size, items_.begin() + at);
      list.begin = static_cast<std::uint32_t>(at);
    }
  }

  std::vector<T, LargePageAllocator<T>> items_;  // every list's run, and the runs lists have left
};

}  // namespace planner
