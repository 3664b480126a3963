// One node of the dependency graph.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace planner {

// Position of a vertex in DependencyGraph's `graph`.
using VertexIndex = std::uint32_t;

struct Vertex {
  explicit Vertex(std::string_view vertex_name) : name(vertex_name) {}

  // The copy rule: a copy takes the commands, the name and the children, and
  // starts its walk afresh (next_child 0, marked false) whatever the source
  // holds. The planner pushes only such copies.
  Vertex(const Vertex& other)
      : commands(other.commands), name(other.name), children(other.children) {}
  Vertex& operator=(const Vertex& other) {
    commands = other.commands;
    name = other.name;
    children = other.children;
    next_child = 0;
    marked = false;
    return *this;
  }
  // A move relocates the same copy (inside a stack, say) and keeps its walk.
  Vertex(Vertex&&) noexcept = default;
  Vertex& operator=(Vertex&&) noexcept = default;
  ~Vertex() = default;

  void append_child(VertexIndex index) {
    // Most rules list a few names: one allocation instead of three.
    if (children.capacity() == 0) children.reserve(4);
    children.push_back(index);
  }
  void append_command(std::string_view text) { commands.emplace_back(text); }

  std::vector<std::string> commands;  // command lines, in makefile order
  std::string name;                   // goal or file name; the path whose time is asked
  std::vector<VertexIndex> children;  // one per dependency occurrence, duplicates kept
  std::uint32_t next_child = 0;       // entries of `children` this copy has walked
  bool marked = false;                // this copy must be rebuilt
};

}  // namespace planner
