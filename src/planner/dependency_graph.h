// Automaton A1: walks the dependency graph from the first goal with two
// stacks of vertex copies, compares modification times, and writes the
// commands that must run.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "planner/a1_messages.h"
#include "planner/automaton.h"
#include "planner/graph.h"
#include "planner/vertex.h"
#include "platform/output.h"

namespace planner {

// The modification time of a vertex's file, by its NUL-terminated name, in
// whole seconds; 0 when the file cannot be queried (missing files above all).
// The vertex's index comes along for those that keep something per vertex.
using ModificationTimeFn = std::function<std::int64_t(VertexIndex vertex, const char* name)>;

class DependencyGraph {
 public:
  enum State : std::int32_t { START, MAIN, LEAF, NOT_LEAF, TOPS, STOP };
  static constexpr std::size_t kStates = STOP + 1;
  static constexpr auto kStateNames =
      std::to_array<std::string_view>({"START", "MAIN", "LEAF", "NOT_LEAF", "TOPS", "STOP"});
  // x1 to x7; the event e1 is condition 0.
  static constexpr std::size_t kConditions = 7;
  // The action a step took, numbered as z1 to z7.
  enum class Action : std::uint8_t { kNone, kZ1, kZ2, kZ3, kZ4, kZ5, kZ6, kZ7 };
  static constexpr std::size_t kActions = 7;

  // Writes its trace to `trace`; asks the file system for modification times.
  explicit DependencyGraph(Output& trace);

  // --- Building, called by the reader and handed on to the graph. ---
  // Registers a rule's goal.
  VertexIndex add_vertex(std::string_view name) { return graph.add_goal(name); }
  void add_dependency(VertexIndex goal, std::string_view dependency) {
    graph.add_dependency(goal, dependency);
  }
  void add_command(VertexIndex goal, std::string_view text) { graph.add_command(goal, text); }

  // The graph, as the walk and every viewer read it once reading has ended.
  const Graph& view() const { return graph; }

  // --- Walking: for a graph that view().plannable() accepts. ---

  // Steps A1 until STOP. Needs `out` set and `e1` raised. Stops early, without
  // the closing line, once a write to the trace or to `out` has failed.
  void run();
  // One step and its state line; the step that reaches STOP prints the
  // closing line as well.
  void step();
  // What the last step evaluated, every condition that printed a line, and
  // the action it took.
  const StepRecord& record() const { return record_; }

  // Every step A1 can take, found by running rule() on each state with every
  // sequence of condition values, and what the page and the docs say of it.
  static const AutomatonTable& table();

  // Told every kCheckEvery steps of run() how many steps it has taken and how
  // many commands it has written; for a progress line.
  std::function<void(std::uint64_t steps, std::uint64_t commands)> on_progress;

  // Replaces the file system query: a viewer's table of times, or a test's
  // clock kept in memory.
  void set_modification_time(ModificationTimeFn fn) { modification_time_ = std::move(fn); }

  // --- Fields of A1. ---
  std::int32_t state = START;  // current state of A1; always one of State
  VertexStack stack1;          // vertices waiting; the top is the active one
  VertexStack stack2;          // vertices whose children are being walked
  bool e1 = false;             // the start event, raised by the driver
  Output* out = nullptr;       // "todo.bat", owned and closed by the driver

 private:
  // Steps between two looks at the outputs: a step prints a few hundred bytes
  // at most, so a failed write stops the walk within about one output buffer.
  static constexpr std::uint64_t kCheckEvery = 512;

  Graph graph;  // filled by the reader; the walk only reads it, through view()
  Output& trace_;
  ModificationTimeFn modification_time_;
  StepRecord record_;                 // of the last step
  // While table() runs rule(): the values the conditions give, in turn,
  // whatever the stacks say, true past the chosen `answers`; `given` is
  // every value given. Null in every walk.
  struct Oracle {
    std::vector<bool> answers;
    std::vector<bool> given;
  };
  Oracle* oracle_ = nullptr;
  std::uint64_t commands_written_ = 0;  // by z5, for on_progress

  std::int64_t modification_time(VertexIndex vertex) const {
    return modification_time_(vertex, view().name(vertex).data());
  }
  void rule();
  void trace_state();
  bool report(std::uint8_t condition, bool value, std::string_view yes, std::string_view no);
  bool oracle_answer(bool value);
  void took(Action action) { record_.took(static_cast<std::uint8_t>(action)); }

  bool e1_event();
  bool x1();
  bool x2();
  bool x3();
  bool x4();
  bool x5();
  bool x6();
  bool x7();
  void z1();
  void z2();
  void z3();
  void z4();
  void z5();
  void z6();
  void z7();
};

static_assert(DependencyGraph::kStateNames.size() == DependencyGraph::kStates);
static_assert(a1::kStateLines.size() == DependencyGraph::kStates);
static_assert([] {
  for (std::size_t s = 0; s < DependencyGraph::kStates; ++s) {
    if (!names_last(a1::kStateLines[s], DependencyGraph::kStateNames[s])) return false;
  }
  return true;
}());
static_assert(static_cast<std::size_t>(DependencyGraph::Action::kZ7) == DependencyGraph::kActions);

}  // namespace planner
