// Automaton A0: reads a makefile one character at a time and fills the
// dependency graph. Its state table is the makefile grammar.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "planner/automaton.h"
#include "planner/dependency_graph.h"
#include "platform/output.h"
#include "reader/a0_messages.h"
#include "reader/buffer.h"
#include "reader/notices.h"

namespace planner {

class Parser {
 public:
  enum State : std::int32_t { LINE, GOAL, COLON, DEPENDENCY, SPACE, DETERMINE, COMMAND };
  static constexpr std::size_t kStates = COMMAND + 1;
  static constexpr auto kStateNames = std::to_array<std::string_view>(
      {"LINE", "GOAL", "COLON", "DEPENDENCY", "SPACE", "DETERMINE", "COMMAND"});
  static constexpr std::size_t kConditions = 5;  // x1 to x5
  // The action a step takes, numbered as z1 to z6.
  enum class Action : std::uint8_t { kNone, kZ1, kZ2, kZ3, kZ4, kZ5, kZ6 };
  static constexpr std::size_t kActions = 6;

  // Everything one step does, from the step table.
  struct StepView {
    std::string_view bytes;                 // its condition line, if one held, and its state line
    std::int32_t next;                      // the state after it
    Action action;                          // what it did
    std::span<const Evaluation> evaluated;  // every condition it evaluated, in order
  };

  // Traces to `trace`, which the graph `a1` traces to as well. The notices
  // keep their first `notices_kept` records and count the rest.
  explicit Parser(Output& trace, std::size_t notices_kept = Notices::kKept);

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

  // The step A0 takes on character `c` in `state`, exactly as feed takes it:
  // for viewers, which regenerate the trace of any range of steps and explain
  // each one without reading again.
  static StepView step_view(std::int32_t state, char c);
  // Every step A0 can take, read off the step table, and what the page and
  // the docs say of it.
  static const AutomatonTable& table();

  // What the reading did that its author may not have meant, for warnings.
  const Notices& notices() const { return notices_; }
  // Characters fed so far.
  std::uint64_t chars_fed() const { return fed_; }

  char ch = 0;                // the character just read
  std::int32_t state = LINE;  // current state of A0; always one of State
  Buffer buffers;             // the token buffers
  DependencyGraph a1;         // the graph the actions fill; A1 runs on it later

 private:
  // feed() does not evaluate conditions one by one: it replays a table,
  // worked out once from step() below, of what the step on every state and
  // byte prints, where it leads and which action it takes. So step(), the
  // conditions and trace_state() run only while the table is built; the
  // actions run in feed() as well. A step that took two actions could not be
  // replayed, and building the table refuses it.
  struct StepTable;
  // What feed() does on a step besides its bytes and state: z1 or z2, the
  // actions of most characters, inline; or something rare, out of line.
  enum class Dispatch : std::uint8_t { kNone, kZ1, kZ2, kRare };
  // The rare: another action, or a dropped byte, a line end or the first
  // goal's first character for the notices, which A0 itself does not keep.
  // One table serves both, so noticing costs a clean makefile nothing.
  enum class Rare : std::uint8_t {
    kZ3, kZ4, kZ5, kZ6, kZ1First, kDropped, kLineEnd, kZ4LineEnd, kZ5LineEnd
  };

  // The rare thing feed() does on a step, in state `at` on character `c` at
  // `offset`.
  void act(Rare rare, char c, std::size_t at, std::uint64_t offset);
  void step();
  void trace_state();
  bool report(std::uint8_t condition, bool value, std::string_view message);
  // Notes what a step did, for the table: one bit per action, so that a step
  // that took two shows it. A plain store, cheap where feed() runs the actions.
  void took(Action action) { performed_ |= 1u << static_cast<unsigned>(action); }

  bool x1();
  bool x2();
  bool x3();
  bool x4();
  bool x5();
  void z1();
  void z2();
  // What z1 and z2 do to the buffers, which feed() does without the members,
  // on the character it holds.
  void z1_on(char c) { buffers.append_goal(c); }
  void z2_on(char c) { buffers.append_item(c); }
  void z3();
  void z4();
  void z5();
  void z6();

  // For the notices: the character at `offset` was dropped, ended a line,
  // or began a goal name; `in` is the state it was read in.
  void dropped(std::uint64_t offset, char c, std::int32_t in);
  void line_end(std::uint64_t offset, std::int32_t in);
  std::string_view last_dependency() const;
  void goal_started(std::uint64_t offset, bool first) { notices_.goal_started(offset, first); }

  Output& trace_;
  Notices notices_;
  std::uint64_t fed_ = 0;  // characters fed so far
  // The vertex that z3 registered for the goal in buffers; only z6 changes
  // the goal, and every z4 and z5 comes after its z3, so dependencies and
  // commands need no second lookup of a name that may be very long.
  VertexIndex goal_ = 0;
  // While the table is built: the actions the step took, a bit each, and the
  // conditions it evaluated.
  unsigned performed_ = 0;
  StepRecord record_;
};

static_assert(Parser::kStateNames.size() == Parser::kStates);
static_assert(static_cast<std::size_t>(Parser::Action::kZ6) == Parser::kActions);
static_assert(a0::kStateLines.size() == Parser::kStates);
static_assert([] {
  for (std::size_t s = 0; s < Parser::kStates; ++s) {
    if (!names_last(a0::kStateLines[s], Parser::kStateNames[s])) return false;
  }
  return true;
}());
// The notices are told the state as their own Where.
static_assert(static_cast<int>(Notices::Where::kLine) == Parser::LINE &&
              static_cast<int>(Notices::Where::kGoal) == Parser::GOAL &&
              static_cast<int>(Notices::Where::kColon) == Parser::COLON &&
              static_cast<int>(Notices::Where::kDependency) == Parser::DEPENDENCY &&
              static_cast<int>(Notices::Where::kSpace) == Parser::SPACE &&
              static_cast<int>(Notices::Where::kDetermine) == Parser::DETERMINE &&
              static_cast<int>(Notices::Where::kCommand) == Parser::COMMAND);

}  // namespace planner
