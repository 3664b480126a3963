// A vertex as the walk holds it, and the walk's two stacks of them.
#pragma once

#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

namespace planner {

// Position of a vertex in DependencyGraph's `graph`.
using VertexIndex = std::uint32_t;

// One copy of a graph vertex on a stack. Its name, children and commands
// never change once the reader is done, so the copy shares them with the
// graph through `index`, and owns only its walk; it keeps how many children
// there are, which the walk asks at almost every step.
struct Vertex {
  VertexIndex index;             // the graph vertex this is a copy of
  std::uint32_t children = 0;    // the vertex's number of children
  std::uint32_t next_child = 0;  // entries of the vertex's children this copy has walked
  bool marked = false;           // this copy must be rebuilt
};

// A plain value: a stack that grows moves its entries as bytes, so no walk is
// reset or carried into another entry on the way.
static_assert(std::is_trivially_copyable_v<Vertex>);
static_assert(sizeof(Vertex) <= 16);

// A last-in, first-out stack of vertex copies. The only way onto it is a
// fresh copy of a graph vertex, with nothing walked and no mark.
class VertexStack {
 public:
  void push(VertexIndex vertex, std::size_t children) {
    entries_.push_back(Vertex{vertex, static_cast<std::uint32_t>(children)});
  }
  void push(const Vertex& copy) { push(copy.index, copy.children); }
  void pop() { entries_.pop_back(); }
  Vertex& top() { return entries_.back(); }
  const Vertex& top() const { return entries_.back(); }
  bool empty() const { return entries_.empty(); }
  // Every entry, bottom first; for viewers.
  std::span<const Vertex> entries() const { return entries_; }

 private:
  std::vector<Vertex> entries_;  // bottom first
};

}  // namespace planner
