// Building the graph, and the checks that must pass before it is walked.
#include "planner/dependency_graph.h"

#include <limits>

#include "platform/os.h"

namespace planner {

DependencyGraph::DependencyGraph(Output& trace)
    : trace_(trace),
      modification_time_([](const char* name) { return os::modification_time(name); }) {}

std::optional<VertexIndex> DependencyGraph::find_vertex(std::string_view name) const {
  return find_vertex(name, NameIndex::hash(name));
}

std::optional<VertexIndex> DependencyGraph::find_vertex(std::string_view name,
                                                        std::uint32_t hash) const {
  return index_.find(name, hash, [this](VertexIndex i) { return graph.name(i); });
}

VertexIndex DependencyGraph::add_vertex(std::string_view name) {
  const std::uint32_t hash = NameIndex::hash(name);
  if (const auto found = find_vertex(name, hash)) return *found;
  // The last index stays free: the name index marks empty slots with it.
  if (graph.size() >= std::numeric_limits<VertexIndex>::max())
    throw std::length_error("too many vertices");
  const VertexIndex index = graph.add(name);
  index_.insert(hash, index);
  return index;
}

void DependencyGraph::add_dependency(std::string_view goal, std::string_view dependency) {
  add_dependency(add_vertex(goal), dependency);
}

void DependencyGraph::add_dependency(VertexIndex goal, std::string_view dependency) {
  const VertexIndex child = add_vertex(dependency);
  graph.append_child(goal, child);
}

void DependencyGraph::add_command(std::string_view goal, std::string_view text) {
  // The reader registers every goal before its first command; a command for
  // an unknown goal has nowhere to go.
  if (const auto found = find_vertex(goal)) add_command(*found, text);
}

void DependencyGraph::add_command(VertexIndex goal, std::string_view text) {
  graph.append_command(goal, text);
}

namespace {

// Finds a dependency cycle reachable from vertex 0 and returns its names,
// first and last the same; empty when there is none. Iterative, so that a
// chain as long as the graph cannot exhaust the native stack.
std::vector<VertexIndex> reachable_cycle(const GraphStore& graph) {
  enum Color : unsigned char { kUnseen, kOnPath, kDone };
  std::vector<Color> color(graph.size(), kUnseen);
  struct Frame {
    VertexIndex vertex;
    std::size_t next;  // next entry of the vertex's children to follow
  };
  std::vector<Frame> path{{0, 0}};
  color[0] = kOnPath;
  while (!path.empty()) {
    Frame& top = path.back();
    const auto children = graph[top.vertex].children;
    if (top.next == children.size()) {
      color[top.vertex] = kDone;
      path.pop_back();
      continue;
    }
    const VertexIndex child = children[top.next++];
    if (color[child] == kOnPath) {
      std::vector<VertexIndex> cycle;
      std::size_t i = path.size();
      while (path[i - 1].vertex != child) --i;
      for (; i <= path.size(); ++i) cycle.push_back(path[i - 1].vertex);
      cycle.push_back(child);
      return cycle;
    }
    if (color[child] == kUnseen) {
      color[child] = kOnPath;
      path.push_back({child, 0});
    }
  }
  return {};
}

// A name as a message shows it: a goal can be a whole file long, and an error
// stays one readable line.
std::string shown(std::string_view name) {
  constexpr std::size_t kLongest = 80;
  return name.size() <= kLongest ? std::string(name)
                                 : std::string(name.substr(0, kLongest)) + "...";
}

// "a -> b -> a"; a cycle of many names keeps its two ends.
std::string shown_cycle(const GraphStore& graph, const std::vector<VertexIndex>& cycle) {
  constexpr std::size_t kEnds = 8;
  std::string text;
  for (std::size_t i = 0; i < cycle.size(); ++i) {
    if (i == kEnds && cycle.size() > 2 * kEnds + 1) {
      text += " -> ... (" + std::to_string(cycle.size() - 2 * kEnds) + " more)";
      i = cycle.size() - kEnds;
    }
    if (i > 0) text += " -> ";
    text += shown(graph.name(cycle[i]));
  }
  return text;
}

}  // namespace

bool DependencyGraph::plannable(std::string* err) const {
  if (graph.empty()) {
    *err = "makefile has no rule: no goal name is followed by a colon";
    return false;
  }
  if (graph.child_count(0) == 0) {
    *err = "first goal '" + shown(graph.name(0)) +
           "' has no dependencies (does its rule header lack a line end?)";
    return false;
  }
  const auto cycle = reachable_cycle(graph);
  if (!cycle.empty()) {
    *err = "dependency cycle: " + shown_cycle(graph, cycle);
    return false;
  }
  return true;
}

}  // namespace planner
