// The checks, each against a model written here rather than against the
// program's own code: what text mode delivers, what a plannable graph is, and
// which commands a walk writes in which order.
#include "pipeline_check.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "check.h"
#include "planner/dependency_graph.h"
#include "platform/output.h"
#include "platform/text_input.h"
#include "reader/parser.h"
#include "trace_checker.h"

namespace planner::fuzz {

namespace {

// Odd, small capacities, so that messages straddle the sink's blocks.
constexpr std::size_t kTraceCapacity = 61;
constexpr std::size_t kTodoCapacity = 37;

// Text mode: every CR dropped, nothing from the first 0x1A on.
std::string delivered_model(std::string_view bytes) {
  std::string chars;
  for (const char c : bytes) {
    if (c == '\x1A') break;
    if (c != '\r') chars.push_back(c);
  }
  return chars;
}

// Feeds the reader as the program does, in blocks whose size the input
// chooses, and returns what was delivered.
std::string read_in_blocks(std::string_view bytes, Parser& parser) {
  std::string raw(bytes);
  const std::size_t block = bytes.empty() ? 1 : 1 + static_cast<unsigned char>(bytes[0]) % 32;
  std::string delivered;
  bool ended = false;
  for (std::size_t pos = 0; !ended && pos < raw.size(); pos += block) {
    const std::size_t n = std::min(block, raw.size() - pos);
    const std::string_view chars = deliver_text(raw.data() + pos, n, &ended);
    delivered.append(chars);
    parser.feed(chars);
  }
  parser.finish();
  return delivered;
}

void check_graph(const DependencyGraph& graph) {
  const auto& vertices = graph.vertices();
  const std::size_t n = vertices.size();
  for (VertexIndex i = 0; i < n; ++i) {
    const auto v = vertices[i];
    require(!v.name.empty(), "names are not empty");
    for (const char c : v.name) require(is_name_byte(c), "names hold only name bytes");
    require(graph.find_vertex(v.name) == i, "each name is registered once, at its index");
    for (const VertexIndex child : v.children) require(child < n, "every child index is valid");
    for (const std::string_view command : v.commands) {
      for (const char c : command) {
        require(is_name_byte(c) || c == ':' || c == ' ', "commands hold name bytes, ':', ' '");
      }
    }
  }
}

// The vertices reachable from the first goal in an order where every vertex
// comes before its dependencies; shorter than the reachable set exactly when
// a cycle is reachable (Kahn's algorithm).
struct Reach {
  std::vector<VertexIndex> order;
  std::size_t reachable = 0;
};

Reach reach_from_first_goal(const DependencyGraph& graph) {
  const auto& vertices = graph.vertices();
  std::vector<char> seen(vertices.size(), 0);
  std::vector<std::size_t> incoming(vertices.size(), 0);
  std::vector<VertexIndex> todo{0};
  seen[0] = 1;
  Reach reach;
  while (!todo.empty()) {
    const VertexIndex v = todo.back();
    todo.pop_back();
    ++reach.reachable;
    for (const VertexIndex c : vertices[v].children) {
      ++incoming[c];
      if (!seen[c]) {
        seen[c] = 1;
        todo.push_back(c);
      }
    }
  }
  if (incoming[0] == 0) todo.push_back(0);
  while (!todo.empty()) {
    const VertexIndex v = todo.back();
    todo.pop_back();
    reach.order.push_back(v);
    for (const VertexIndex c : vertices[v].children) {
      if (--incoming[c] == 0) todo.push_back(c);
    }
  }
  return reach;
}

// How many vertex copies the walk visits: one per path from the first goal,
// saturating just past the bound.
std::size_t walk_visits(const DependencyGraph& graph, const Reach& reach) {
  const auto& vertices = graph.vertices();
  std::vector<std::size_t> visits(vertices.size(), 0);
  for (auto it = reach.order.rbegin(); it != reach.order.rend(); ++it) {
    std::size_t total = 1;
    for (const VertexIndex c : vertices[*it].children) {
      total = std::min(total + visits[c], kMaxWalkVisits + 1);
    }
    visits[*it] = total;
  }
  return visits[0];
}

// Modification times from the name and the input alone: small values, so that
// equal times and missing files (0) come up often.
std::int64_t invented_time(std::string_view name, std::uint32_t seed) {
  std::uint32_t h = 2166136261u ^ seed;
  for (const char c : name) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return static_cast<std::int64_t>(h % 4);
}

// The walk as a plain depth-first search: dependencies from the last listed to
// the first; a goal is rebuilt when a leaf under it is newer, a goal under it
// was rebuilt, or its own file is missing. Returns "todo.bat".
std::string expected_todo(const DependencyGraph& graph, std::uint32_t seed) {
  const auto& vertices = graph.vertices();
  struct Frame {
    VertexIndex vertex;
    std::size_t walked = 0;
    bool rebuild = false;
  };
  std::string todo;
  std::vector<Frame> path{{0}};
  while (!path.empty()) {
    Frame& top = path.back();
    const auto goal = vertices[top.vertex];
    if (top.walked < goal.children.size()) {
      const VertexIndex c = goal.children[goal.children.size() - 1 - top.walked++];
      const auto child = vertices[c];
      if (!child.children.empty()) {
        path.push_back({c});
      } else if (invented_time(child.name, seed) > invented_time(goal.name, seed)) {
        top.rebuild = true;
      }
      continue;
    }
    const bool rebuild = top.rebuild || invented_time(goal.name, seed) == 0;
    path.pop_back();
    if (!rebuild) continue;
    for (const std::string_view command : goal.commands) todo.append(command) += "\r\n";
    if (!path.empty()) path.back().rebuild = true;
  }
  return todo;
}

bool starts_with(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

Outcome check_pipeline(std::string_view bytes) {
  const std::string delivered = delivered_model(bytes);
  TraceChecker checker(delivered);
  Output trace(checker, kTraceCapacity);
  const auto parser = std::make_unique<Parser>(trace);
  require(read_in_blocks(bytes, *parser) == delivered, "text mode delivers its rule's characters");
  trace.flush();
  require(checker.a0_states() == delivered.size(), "one A0 state line per delivered character");

  DependencyGraph& graph = parser->a1;
  check_graph(graph);
  const auto& vertices = graph.vertices();

  std::string err;
  const bool plannable = graph.plannable(&err);
  require(plannable == err.empty(), "a refusal always gives its reason");
  Reach reach;
  if (vertices.size() == 0) {
    require(starts_with(err, "makefile has no rule"), "no rule is refused as such");
  } else if (vertices[0].children.empty()) {
    require(starts_with(err, "first goal '"), "a leaf first goal is refused as such");
  } else {
    reach = reach_from_first_goal(graph);
    if (reach.order.size() < reach.reachable) {
      require(starts_with(err, "dependency cycle: "), "a reachable cycle is refused as such");
    } else {
      require(plannable, "a graph without those faults is planned");
    }
  }
  if (!plannable) {
    checker.finish(false);
    return Outcome::kRefused;
  }
  if (walk_visits(graph, reach) > kMaxWalkVisits) {
    checker.finish(false);
    return Outcome::kTooBigToWalk;
  }

  const std::uint32_t seed = bytes.empty() ? 0 : static_cast<unsigned char>(bytes.back());
  graph.set_modification_time(
      [seed](const std::string& name) { return invented_time(name, seed); });
  StringSink todo_sink;
  Output todo(todo_sink, kTodoCapacity);
  graph.out = &todo;
  graph.e1 = true;
  graph.run();
  trace.flush();
  todo.flush();
  require(graph.state == DependencyGraph::STOP, "the walk ends in STOP");
  require(graph.stack1.empty() && graph.stack2.empty(), "the walk ends with both stacks empty");
  checker.finish(true);
  require(todo_sink.data == expected_todo(graph, seed), "todo.bat is the depth-first walk's");
  return Outcome::kWalked;
}

}  // namespace planner::fuzz
