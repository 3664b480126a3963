// Building the graph, and what is known of it before it is walked.
#include "planner/graph.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "platform/error_line.h"

namespace planner {

VertexIndex Graph::add_vertex(std::string_view name) {
  const std::uint32_t hash = NameIndex::hash(name);
  const auto found = index_.find(name, hash, [this](VertexIndex i) { return this->name(i); });
  if (found) return *found;
  // The last index stays free: the name index marks empty slots with it.
  if (size_ >= std::numeric_limits<VertexIndex>::max()) throw std::length_error("too many vertices");
  if (chunks_.empty() || chunks_.back().size() == kFirstChunk << (chunks_.size() - 1)) {
    chunks_.emplace_back();
    chunks_.back().reserve(kFirstChunk << (chunks_.size() - 1));  // filled in place, never moved
  }
  chunks_.back().push_back({text_.store(name), {}, {}});
  const auto index = static_cast<VertexIndex>(size_++);
  index_.insert(hash, index);
  return index;
}

namespace {

// What a depth-first search from vertex 0 finds: the vertices it reaches in
// post-order (each after all its dependencies), or a cycle.
struct Reach {
  std::vector<VertexIndex> post_order;  // whole only when there is no cycle
  std::vector<VertexIndex> cycle;       // names of a cycle, first and last the same; or empty
};

// Iterative, so that a chain as long as the graph cannot exhaust the native
// stack.
Reach reach(const Graph& graph) {
  enum Color : unsigned char { kUnseen, kOnPath, kDone };
  std::vector<Color> color(graph.size(), kUnseen);
  struct Frame {
    VertexIndex vertex;
    std::size_t next;  // next entry of the vertex's children to follow
  };
  Reach found;
  std::vector<Frame> path{{0, 0}};
  color[0] = kOnPath;
  while (!path.empty()) {
    Frame& top = path.back();
    const auto children = graph[top.vertex].children;
    if (top.next == children.size()) {
      color[top.vertex] = kDone;
      found.post_order.push_back(top.vertex);
      path.pop_back();
      continue;
    }
    const VertexIndex child = children[top.next++];
    if (color[child] == kOnPath) {
      std::size_t i = path.size();
      while (path[i - 1].vertex != child) --i;
      for (; i <= path.size(); ++i) found.cycle.push_back(path[i - 1].vertex);
      found.cycle.push_back(child);
      return found;
    }
    if (color[child] == kUnseen) {
      color[child] = kOnPath;
      path.push_back({child, 0});
    }
  }
  return found;
}

// Counts that stay exact while they fit and stop at the largest one beyond.
std::uint64_t saturated_add(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max()
                                                           : a + b;
}
std::uint64_t saturated_mul(std::uint64_t a, std::uint64_t b) {
  return b != 0 && a > std::numeric_limits<std::uint64_t>::max() / b
             ? std::numeric_limits<std::uint64_t>::max()
             : a * b;
}

// "a -> b -> a"; a cycle of many names keeps its two ends.
std::string shown_cycle(const Graph& graph, const std::vector<VertexIndex>& cycle) {
  constexpr std::size_t kEnds = 8;
  std::string text;
  for (std::size_t i = 0; i < cycle.size(); ++i) {
    if (i == kEnds && cycle.size() > 2 * kEnds + 1) {
      text += " -> ... (" + std::to_string(cycle.size() - 2 * kEnds) + " more)";
      i = cycle.size() - kEnds;
    }
    if (i > 0) text += " -> ";
    text += clipped(graph.name(cycle[i]));
  }
  return text;
}

}  // namespace

bool Graph::plannable(std::string* err) const {
  if (empty()) {
    *err = "makefile has no rule: no goal name is followed by a colon";
    return false;
  }
  if (child_count(0) == 0) {
    *err = "first goal '" + clipped(name(0)) +
           "' has no dependencies (does its rule header lack a line end?)";
    return false;
  }
  const auto cycle = reach(*this).cycle;
  if (!cycle.empty()) {
    *err = "dependency cycle: " + shown_cycle(*this, cycle);
    return false;
  }
  return true;
}

std::vector<VertexIndex> Graph::cycle() const {
  return empty() ? std::vector<VertexIndex>{} : reach(*this).cycle;
}

// Every copy the walk pushes takes deg + 4 steps for a vertex with deg
// children (MAIN, a NOT_LEAF step per child and one that ends them, MAIN
// again, TOPS) and 2 for one without (MAIN, LEAF); the START step and the
// last MAIN step come on top. A vertex gets one copy per path from the first
// goal, a dependency listed twice counting as two paths.
std::uint64_t Graph::step_count() const {
  std::vector<VertexIndex> order = reach(*this).post_order;
  std::reverse(order.begin(), order.end());  // parents first
  std::vector<std::uint64_t> paths(size_, 0);
  paths[0] = 1;
  std::uint64_t steps = 2;
  for (const VertexIndex v : order) {
    const auto children = (*this)[v].children;
    for (const VertexIndex child : children) paths[child] = saturated_add(paths[child], paths[v]);
    const std::uint64_t per_copy = children.empty() ? 2 : children.size() + 4;
    steps = saturated_add(steps, saturated_mul(paths[v], per_copy));
  }
  return steps;
}

}  // namespace planner
