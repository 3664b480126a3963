// What both automata tell about themselves: the record of the step just
// taken, and the table of every step their switch can take, which the
// session, the page and the docs read instead of writing the automata again.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace planner {

// A condition as a step evaluated it: `condition` is n for xn, 0 for A1's
// event e1.
struct Evaluation {
  std::uint8_t condition;
  bool value;
  friend bool operator==(const Evaluation&, const Evaluation&) = default;
};

// What one step did: the conditions it evaluated, in order, and its action.
class StepRecord {
 public:
  // No step of either automaton evaluates more; building the tables checks it.
  static constexpr std::size_t kMost = 8;

  void clear() {
    evaluations_ = 0;
    action_ = 0;
  }
  // A plain store: it runs on every evaluation of the walk. The mask keeps a
  // step that evaluated too many within the array; the tables refuse one.
  void add(std::uint8_t condition, bool value) {
    evaluated_[evaluations_++ & (kMost - 1)] = {condition, value};
  }
  void took(std::uint8_t action) { action_ = action; }

  std::span<const Evaluation> evaluated() const {
    return {evaluated_.data(), evaluations_ < kMost ? evaluations_ : kMost};
  }
  std::size_t evaluations() const { return evaluations_; }
  std::uint8_t action() const { return action_; }  // n for zn; 0: none

 private:
  static_assert((kMost & (kMost - 1)) == 0);
  std::array<Evaluation, kMost> evaluated_{};
  std::uint8_t evaluations_ = 0;
  std::uint8_t action_ = 0;
};

// An automaton as viewers read it. Its steps are found by running its own
// switch on every state and every outcome of its conditions; the names, the
// trace lines and the English glosses come with them.
struct AutomatonTable {
  struct State {
    std::string_view name;   // as the state line prints it
    std::string_view gloss;  // what the state does
    std::string_view line;   // the state line, CP866 bytes
  };
  struct Condition {
    std::uint8_t number;     // n for xn; 0 for e1
    std::string_view name;   // "x1", "e1"
    std::string_view holds;  // what it means when true
    std::string_view fails;  // ... and when false
    std::string_view said;   // its trace line when true, CP866; A0's line goes on with the character
    std::string_view denied;  // when false; empty: it prints nothing
    std::string_view label;  // a short name for a diagram ("name char"); empty: none
    // What it said of the step's vertices, true and false, for a viewer to
    // fill in: {top1} and {top2} name the tops before the step, {time1} and
    // {time2} their files' times. Empty: the gloss says it all.
    std::string_view told_holds = "";
    std::string_view told_fails = "";
  };
  struct Action {
    std::uint8_t number;  // n for zn
    std::string_view name;
    std::string_view gloss;
    // What it did to the step's vertices: {top1} and {top2} as above,
    // {pushed} the top of stack 1 after the step, {parent} the top of stack 2
    // after it, {commands} the lines it wrote. Empty: the gloss says it all.
    std::string_view told = "";
  };
  // One way a step can go: in state `from`, the conditions evaluated in this
  // order, with these values, lead to `action` (0: none) and state `to`.
  struct Outcome {
    std::int32_t from;
    std::vector<Evaluation> evaluated;
    std::uint8_t action;
    std::int32_t to;
    // A condition evaluated twice in the step gave the same value both
    // times. An inconsistent outcome is taken only when a file changes
    // between two queries of one step.
    bool consistent;
  };
  // The consistent outcomes of a state that lead to the same action and
  // state, as one edge of its diagram.
  struct Transition {
    std::int32_t from;
    std::int32_t to;
    std::uint8_t action;
    // When it is taken: any of these conjunctions holds.
    std::vector<std::vector<Evaluation>> guard;
    std::string label;  // for a diagram: "x1 ¬x3 ¬x6 / z2"
    std::string gloss;  // the same in English
  };

  std::string_view name;      // "A0", "A1"
  std::string_view closing;   // its closing line, CP866
  std::string_view finished;  // what the closing line means
  std::vector<State> states;  // by number
  std::vector<Condition> conditions;
  std::vector<Action> actions;
  std::vector<Outcome> outcomes;  // by state, in the order the switch takes them
  std::vector<Transition> transitions;

  const Condition* condition(std::uint8_t number) const;
  const Action* action(std::uint8_t number) const;
  // "x5: top 1's file is newer than top 2's"; "¬x5: ..." when false.
  std::string gloss(const Evaluation& evaluation) const;
};

// The transitions of `table`'s consistent outcomes, their guards made short:
// conjunctions that differ in one condition's value only are merged, and a
// condition that another conjunction of the guard decides alone is dropped
// from the others. `exclusive`: at most one condition holds in a step (A0's
// classes of a character), so a conjunction is the one that held, and
// outcomes where none held are left out.
std::vector<AutomatonTable::Transition> transitions_of(const AutomatonTable& table, bool exclusive);

}  // namespace planner
