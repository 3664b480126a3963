// An allocator for the graph's big growing stores. An allocation of a large
// page or more comes from the system in large pages where it gives them: one
// page fault where there would be hundreds, each of which costs a trap into
// the system, and one TLB entry for a table read at random. Smaller ones are
// plain, so a small makefile costs what it did.
#pragma once

#include <cstddef>
#include <limits>
#include <new>

#include "platform/os.h"

namespace planner {

template <typename T>
struct LargePageAllocator {
  using value_type = T;

  LargePageAllocator() = default;
  template <typename U>
  explicit LargePageAllocator(const LargePageAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
    const std::size_t bytes = n * sizeof(T);
    if (bytes < os::kLargePage) return static_cast<T*>(::operator new(bytes));
    // As operator new does: the new-handler, where there is one, may free
    // memory or end the process.
    for (;;) {
      if (void* at = os::allocate_large(bytes)) return static_cast<T*>(at);
      const std::new_handler handler = std::get_new_handler();
      if (handler == nullptr) throw std::bad_alloc();
      handler();
    }
  }
  void deallocate(T* at, std::size_t n) noexcept {
    if (n * sizeof(T) < os::kLargePage) {
      ::operator delete(at);
    } else {
      os::free_large(at, n * sizeof(T));
    }
  }
  friend bool operator==(const LargePageAllocator&, const LargePageAllocator&) { return true; }
};

}  // namespace planner
