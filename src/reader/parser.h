// Automaton A0: reads a makefile one character at a time and fills the
// dependency graph. Its state table is the makefile grammar.
#pragma once

#include <cstdint>
#include <string_view>

#include "planner/dependency_graph.h"
#include "platform/output.h"
#include "reader/buffer.h"

namespace planner {

class Parser {
 public:
  enum State : std::int32_t { LINE, GOAL, COLON, DEPENDENCY, SPACE, DETERMINE, COMMAND };

  // Traces to `trace`, which the graph `a1` traces to as well.
  explicit Parser(Output& trace);

  // Steps A0 once per character. The characters are those the text-mode read
  // delivers (see deliver_text); feed may be called once per block.
  void feed(std::string_view chars);
  // The end of input: prints the closing line. A token still being collected
  // is not delivered.
  void finish();
  // The whole input at once: feed, then finish.
  void run(std::string_view chars) {
    feed(chars);
    finish();
  }

  char ch = 0;                // the character just read
  std::int32_t state = LINE;  // current state of A0; always one of State
  Buffer buffers;             // the token buffers
  DependencyGraph a1;         // the graph the actions fill; A1 runs on it later

 private:
  // The actions, as a step taken from the table names them; every step
  // takes at most one, as the five character classes are disjoint.
  enum class Action : std::uint8_t { kNone, kZ1, kZ2, kZ3, kZ4, kZ5, kZ6 };
  struct StepTable;

  // One step as the state table reads, one condition after the other; feed
  // takes its steps from a table built this way.
  void step();
  void trace_state();
  bool report(bool value, std::string_view message);

  bool x1();
  bool x2();
  bool x3();
  bool x4();
  bool x5();
  void z1();
  void z2();
  void z3();
  void z4();
  void z5();
  void z6();

  Output& trace_;
  // The vertex that z3 registered for the goal in buffers; only z6 changes
  // the goal, and every z4 and z5 comes after its z3, so dependencies and
  // commands need no second lookup of a name that may be very long.
  VertexIndex goal_ = 0;
  // The action the last plain step took, as the table records it.
  Action performed_ = Action::kNone;
};

}  // namespace planner
