// The graph's vertices, in order of registration, stored compactly: names and
// command texts in an arena, the children and command lists of all vertices
// in two shared pools, and a small fixed record per vertex in chunks that
// never move. Nothing is allocated per vertex or per rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "planner/list_pool.h"
#include "planner/text_arena.h"
#include "planner/vertex.h"

namespace planner {

class GraphStore {
 public:
  // What the graph holds for one vertex; valid until the graph changes.
  struct View {
    std::string_view name;                       // followed by a NUL
    std::span<const VertexIndex> children;       // one per dependency occurrence
    std::span<const std::string_view> commands;  // in makefile order
  };

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  View operator[](VertexIndex vertex) const {
    const Record& r = record(vertex);
    return {r.name, children_.view(r.children), commands_.view(r.commands)};
  }
  // The name; its data() is NUL-terminated, a path for the C library.
  std::string_view name(VertexIndex vertex) const { return record(vertex).name; }
  std::size_t child_count(VertexIndex vertex) const { return record(vertex).children.size; }

  // Appends a vertex named `name`, without children or commands, and returns
  // its index. The caller keeps names unique.
  VertexIndex add(std::string_view name) {
    if (size_ % kChunk == 0) {
      chunks_.emplace_back();
      chunks_.back().reserve(kChunk);  // filled in place, never reallocated
    }
    chunks_.back().push_back({text_.store(name), {}, {}});
    return static_cast<VertexIndex>(size_++);
  }
  void append_child(VertexIndex goal, VertexIndex child) {
    children_.append(record(goal).children, child);
  }
  void append_command(VertexIndex goal, std::string_view text) {
    commands_.append(record(goal).commands, text_.store(text));
  }

 private:
  static constexpr unsigned kChunkBits = 12;
  static constexpr std::size_t kChunk = std::size_t{1} << kChunkBits;

  struct Record {
    std::string_view name;                      // in text_
    ListPool<VertexIndex>::List children;       // in children_
    ListPool<std::string_view>::List commands;  // in commands_, the texts in text_
  };

  const Record& record(VertexIndex vertex) const {
    return chunks_[vertex >> kChunkBits][vertex & (kChunk - 1)];
  }
  Record& record(VertexIndex vertex) {
    return chunks_[vertex >> kChunkBits][vertex & (kChunk - 1)];
  }

  std::vector<std::vector<Record>> chunks_;  // records, kChunk to a chunk
  std::size_t size_ = 0;                     // records in all chunks
  TextArena text_;                           // names and command texts
  ListPool<VertexIndex> children_;           // every vertex's children
  ListPool<std::string_view> commands_;      // every vertex's commands
};

}  // namespace planner
