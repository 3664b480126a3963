// The graph's vertices, in order of registration, kept in fixed chunks: the
// list grows without ever moving a vertex, so a large graph is never held
// twice while it grows, and no growth copies it.
#pragma once

#include <cstddef>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "planner/vertex.h"

namespace planner {

class VertexList {
 public:
  static constexpr std::size_t kChunk = 4096;

  // Forward iteration is what callers of vertices() do; the traits let the
  // standard algorithms take it too.
  template <typename List, typename Item>
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Vertex;
    using difference_type = std::ptrdiff_t;
    using pointer = Item*;
    using reference = Item&;

    Iterator() = default;
    Iterator(List* list, std::size_t at) : list_(list), at_(at) {}
    Item& operator*() const { return (*list_)[at_]; }
    Item* operator->() const { return &(*list_)[at_]; }
    Iterator& operator++() {
      ++at_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator before = *this;
      ++at_;
      return before;
    }
    bool operator==(const Iterator& other) const { return at_ == other.at_; }

   private:
    List* list_ = nullptr;
    std::size_t at_ = 0;
  };
  using iterator = Iterator<VertexList, Vertex>;
  using const_iterator = Iterator<const VertexList, const Vertex>;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  Vertex& operator[](std::size_t i) { return chunks_[i / kChunk][i % kChunk]; }
  const Vertex& operator[](std::size_t i) const { return chunks_[i / kChunk][i % kChunk]; }
  const Vertex& at(std::size_t i) const {
    if (i >= size_) throw std::out_of_range("no such vertex");
    return (*this)[i];
  }
  const Vertex& front() const { return (*this)[0]; }
  const Vertex& back() const { return (*this)[size_ - 1]; }

  iterator begin() { return {this, 0}; }
  iterator end() { return {this, size_}; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }

  // Appends a vertex named `name` and returns it.
  Vertex& emplace_back(std::string_view name) {
    if (size_ % kChunk == 0) {
      chunks_.emplace_back();
      chunks_.back().reserve(kChunk);  // filled in place, never reallocated
    }
    ++size_;
    return chunks_.back().emplace_back(name);
  }

 private:
  std::vector<std::vector<Vertex>> chunks_;
  std::size_t size_ = 0;
};

}  // namespace planner
