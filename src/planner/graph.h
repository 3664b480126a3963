// The dependency graph: one vertex per distinct name, in order of
// registration, with its children and commands; vertex 0 is the first goal.
// The reader fills it; once reading has ended, the walk and every viewer
// read it through a const reference.
//
// Stored compactly: names and command texts in an arena, the children and
// command lists of all vertices in two shared pools, a small fixed record per
// vertex in chunks that never move, and an index by name beside them.
// Nothing is allocated per vertex or per rule.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "planner/list_pool.h"
#include "planner/name_index.h"
#include "planner/text_arena.h"
#include "planner/vertex.h"
#include "platform/large_pages.h"

namespace planner {

class Graph {
 public:
  // What the graph holds for one vertex; valid until the graph changes.
  struct View {
    std::string_view name;                       // followed by a NUL
    std::span<const VertexIndex> children;       // one per dependency occurrence
    std::span<const std::string_view> commands;  // in makefile order
  };

  // --- Building, called by the reader. ---

  // Registers `name` unless it is known, and returns its index either way.
  // Names are compared whole, byte by byte; the first registration wins.
  VertexIndex add_vertex(std::string_view name);
  // The same for the goal of a rule, which is remembered as one.
  VertexIndex add_goal(std::string_view name) {
    const VertexIndex goal = add_vertex(name);
    if (goals_.size() <= goal) goals_.resize(std::size_t{goal} + 1);
    goals_[goal] = true;
    return goal;
  }
  // Adds an edge from the registered `goal` to `dependency`, registering the
  // dependency first. Duplicate edges and self-dependencies are kept. The
  // reader keeps the goal's index from its add_vertex, so a goal name, which
  // can be very long, is never looked up again.
  void add_dependency(VertexIndex goal, std::string_view dependency) {
    const VertexIndex child = add_vertex(dependency);
    children_.append(record(goal).children, child);
  }
  // Appends a command to the registered `goal`.
  void add_command(VertexIndex goal, std::string_view text) {
    commands_.append(record(goal).commands, text_.store(text));
  }

  // --- Reading. ---

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  View operator[](VertexIndex vertex) const {
    const Record& r = record(vertex);
    return {r.name, children_.view(r.children), commands_.view(r.commands)};
  }
  // The name; its data() is NUL-terminated, a path for the C library.
  std::string_view name(VertexIndex vertex) const { return record(vertex).name; }
  std::size_t child_count(VertexIndex vertex) const { return record(vertex).children.size; }
  // Whether a rule names the vertex as its goal; a name seen only as a
  // dependency is not.
  bool is_goal(VertexIndex vertex) const { return vertex < goals_.size() && goals_[vertex]; }

  // Whether the walk can run: there is a first goal, it has a dependency,
  // and no dependency cycle is reachable from it. Otherwise sets *err to a
  // one-line reason. The walk must not start on a graph that fails this.
  bool plannable(std::string* err) const;
  // A dependency cycle that the first goal reaches, its first vertex again
  // at its end, the one plannable() names; empty when there is none.
  std::vector<VertexIndex> cycle() const;

  // How many steps the walk will take, fixed by the graph whatever the
  // files' times; for a plannable graph only. A count beyond 64 bits gives
  // the largest one.
  std::uint64_t step_count() const;

 private:
  // Chunk k holds kFirstChunk << k records: a small graph stays small, and a
  // big one has chunks of large pages.
  static constexpr unsigned kFirstChunkBits = 12;
  static constexpr std::size_t kFirstChunk = std::size_t{1} << kFirstChunkBits;

  struct Record {
    std::string_view name;                      // in text_
    ListPool<VertexIndex>::List children;       // in children_
    ListPool<std::string_view>::List commands;  // in commands_, the texts in text_
  };

  using Chunk = std::vector<Record, LargePageAllocator<Record>>;  // filled in place, never moved

  // Where a vertex's record lies: its chunk, and its place in the chunk.
  struct Place {
    std::size_t chunk;
    std::size_t at;
  };
  static Place place_of(VertexIndex vertex) {
    // The size of the vertex's chunk, in kFirstChunk records.
    const std::size_t size = std::bit_floor((std::size_t{vertex} >> kFirstChunkBits) + 1);
    return {static_cast<std::size_t>(std::countr_zero(size)),
            vertex + kFirstChunk - kFirstChunk * size};
  }
  const Record& record(VertexIndex vertex) const {
    const Place place = place_of(vertex);
    return chunks_[place.chunk][place.at];
  }
  Record& record(VertexIndex vertex) {
    const Place place = place_of(vertex);
    return chunks_[place.chunk][place.at];
  }

  std::vector<Chunk> chunks_;            // records, chunk k from vertex kFirstChunk * (2^k - 1)
  std::size_t size_ = 0;                 // records in all chunks
  TextArena text_;                       // names and command texts
  ListPool<VertexIndex> children_;       // every vertex's children
  ListPool<std::string_view> commands_;  // every vertex's commands
  NameIndex index_;                      // every name, so that lookups stay constant-time
  std::vector<bool> goals_;              // by vertex: a rule's goal; past its end: not
};

}  // namespace planner
