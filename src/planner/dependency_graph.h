// The dependency graph and automaton A1, which walks it from the first goal
// and writes the commands that must run.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "planner/graph_store.h"
#include "planner/name_index.h"
#include "planner/vertex.h"
#include "platform/output.h"

namespace planner {

// A file's modification time by NUL-terminated name, in whole seconds; 0 when
// the file cannot be queried (missing files above all).
using ModificationTimeFn = std::function<std::int64_t(const char* name)>;

class DependencyGraph {
 public:
  enum State : std::int32_t { START, MAIN, LEAF, NOT_LEAF, TOPS, STOP };

  // Writes its trace to `trace`; asks the file system for modification times.
  explicit DependencyGraph(Output& trace);

  // --- Building, called by the reader. ---

  // Registers `name` unless it is known, and returns its index either way.
  VertexIndex add_vertex(std::string_view name);
  // Adds an edge from the registered `goal` to `dependency`, registering the
  // dependency first. Duplicate edges and self-dependencies are kept. The
  // reader keeps the goal's index from its add_vertex, so a goal name, which
  // can be very long, is never looked up again.
  void add_dependency(VertexIndex goal, std::string_view dependency);
  // Appends a command to the registered `goal`.
  void add_command(VertexIndex goal, std::string_view text);

  // --- Planning. ---

  // Whether the walk can run: there is a first goal, it has a dependency,
  // and no dependency cycle is reachable from it. Otherwise sets *err to a
  // one-line reason. run() must not be called on a graph that fails this.
  bool plannable(std::string* err) const;

  // How many steps run() will take, fixed by the graph whatever the files'
  // times; for a plannable graph only. A count beyond 64 bits gives the
  // largest one.
  std::uint64_t step_count() const;

  // Steps A1 until STOP, then prints the closing line. Needs `out` set and
  // `e1` raised. Stops early, without the closing line, once a write to the
  // trace or to `out` has failed.
  void run();

  // Told every kCheckEvery steps of run() how many steps it has taken and how
  // many commands it has written; for a progress line.
  std::function<void(std::uint64_t steps, std::uint64_t commands)> on_progress;

  // Replaces the file system query, for tests that keep their clock in
  // memory.
  void set_modification_time(ModificationTimeFn fn) { modification_time_ = std::move(fn); }

  const GraphStore& vertices() const { return graph; }

  // --- Fields of A1. ---
  std::int32_t state = START;  // current state of A1
  VertexStack stack1;          // vertices waiting; the top is the active one
  VertexStack stack2;          // vertices whose children are being walked
  bool e1 = false;             // the start event, raised by the driver
  Output* out = nullptr;       // "todo.bat", owned and closed by the driver

 private:
  // Steps between two looks at the outputs: a step prints a few hundred bytes
  // at most, so a failed write stops the walk within about one output buffer.
  static constexpr std::uint64_t kCheckEvery = 512;
  std::uint64_t commands_written_ = 0;  // by z5, for on_progress

  // The graph proper, in order of registration; vertex 0 is the first goal.
  GraphStore graph;
  // Index of every name in `graph`, so that lookups stay constant-time.
  NameIndex index_;
  // Index of the vertex named `name` (of hash `hash`), first registered wins;
  // compares whole names byte by byte.
  std::optional<VertexIndex> find_vertex(std::string_view name, std::uint32_t hash) const;
  Output& trace_;
  ModificationTimeFn modification_time_;

  std::int64_t modification_time(const char* name) const { return modification_time_(name); }
  void step();
  void trace_state();
  bool report(bool value, std::string_view yes, std::string_view no);

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

}  // namespace planner
