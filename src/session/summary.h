// The session's index of events: what a step did, or the steps of an
// interval between two checkpoints did together, so that "run until" skips
// every interval whose summary rules an event out and replays only the one
// that holds it. A summary costs a few words, never anything per step.
#pragma once

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <span>

#include "planner/automaton.h"
#include "reader/parser.h"

namespace planner {

// Something a step can do, for a viewer's "run until".
struct Event {
  enum class Kind : std::uint8_t {
    kState,      // the automaton's step ends in state `number`: its state line names it
    kCondition,  // the automaton evaluates condition `number` (xn; 0 for A1's e1) to `value`
    kCommand,    // A1 writes a line to todo.bat (z5 of a vertex with commands)
    kMark,       // A1 marks a copy on stack 2 (z7, or z5 with a parent left on stack 2)
    kActive,     // A1 pushes or pops stack 1 and leaves vertex `number` on top
  };
  static constexpr std::uint8_t kKinds = static_cast<std::uint8_t>(Kind::kActive) + 1;
  Kind kind;
  int automaton;          // 0 for A0, 1 for A1; only kState and kCondition are A0's too
  std::uint32_t number;   // the state, condition or vertex; unused by kCommand and kMark
  bool value;             // kCondition's outcome; unused by the others
};

struct Summary {
  // Wide enough for both automata, as the compiler checks.
  static constexpr std::size_t kStates = std::max(Parser::kStates, DependencyGraph::kStates);
  static constexpr std::size_t kConditions =
      std::max(Parser::kConditions, DependencyGraph::kConditions) + 1;  // and e1, as 0
  // Vertices told apart by the filter of active ones: exact for a graph of
  // up to this many vertices; beyond, vertex v shares bit v % kActive.
  static constexpr std::size_t kActive = 256;

  std::bitset<kStates> states;      // bit s: a step ended in state s
  std::bitset<kConditions> held;    // bit n: condition n came out true
  std::bitset<kConditions> failed;  // ... came out false
  std::bitset<kActive> active;      // a step left a vertex of this bit active
  std::uint64_t commands = 0;       // lines of todo.bat written
  std::uint64_t marks = 0;          // steps that set a mark

  // A step that ends in state `to` after these evaluations.
  static Summary of(std::int32_t to, std::span<const Evaluation> evaluated) {
    Summary s;
    s.states.set(static_cast<std::size_t>(to));
    for (const Evaluation& e : evaluated) (e.value ? s.held : s.failed).set(e.condition);
    return s;
  }
  void add(const Summary& other) {
    states |= other.states;
    held |= other.held;
    failed |= other.failed;
    active |= other.active;
    commands += other.commands;
    marks += other.marks;
  }
  // Whether the steps may hold the event: exactly, but for kActive, whose
  // filter may hold another vertex's bit.
  bool has(const Event& event) const {
    const std::uint32_t n = event.number;
    if (event.kind == Event::Kind::kState) return n < kStates && states.test(n);
    if (event.kind == Event::Kind::kCondition) return n < kConditions && (event.value ? held : failed).test(n);
    if (event.kind == Event::Kind::kCommand) return commands > 0;
    if (event.kind == Event::Kind::kMark) return marks > 0;
    return active.test(n % kActive);
  }
};

}  // namespace planner
