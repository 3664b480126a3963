// A1's table: its steps found by running rule() on every state with every
// sequence of condition values, and its words in English for the viewers.
#include <stdexcept>
#include <utility>

#include "planner/a1_messages.h"
#include "planner/dependency_graph.h"

namespace planner {

namespace {

AutomatonTable words() {
  const auto& n = DependencyGraph::kStateNames;
  const auto& l = a1::kStateLines;
  return {
      "A1",
      a1::kClosing.view(),
      "A1 has finished the walk",
      {
          {n[0], "waits for the start event e1", l[0]},
          {n[1], "decides what to do with the top of stack 1", l[1]},
          {n[2], "top 1 has no children: compares its file's time with its parent's", l[2]},
          {n[3], "pushes top 2's children onto stack 1, one a step", l[3]},
          {n[4], "both tops are the same vertex, its children done: rebuilds it or not", l[4]},
          {n[5], "both stacks are empty: the walk is over", l[5]},
      },
      {
          {0, "e1", "the start event has happened", "the start event has not happened",
           a1::kE1.view(), "", ""},
          {1, "x1", "top 1 has children", "top 1 has no children", a1::kX1.view(),
           a1::kNotX1.view(), "", "{top1} has children", "{top1} has no children"},
          {2, "x2", "top 2 has children not pushed yet", "top 2 has no children left to push",
           a1::kX2.view(), a1::kNotX2.view(), "", "{top2} has children not pushed yet",
           "{top2} has no children left to push"},
          {3, "x3", "the tops are the same vertex", "the tops are different vertices",
           a1::kX3.view(), a1::kNotX3.view(), "", "{top1} is on both tops",
           "{top1} and {top2} are different vertices"},
          {4, "x4", "top 2 is marked", "top 2 is not marked", a1::kX4.view(), a1::kNotX4.view(), "",
           "{top2} is marked", "{top2} is not marked"},
          {5, "x5", "top 1's file is newer than top 2's", "top 1's file is not newer than top 2's",
           a1::kX5.view(), a1::kNotX5.view(), "", "{top1} ({time1}) is newer than {top2} ({time2})",
           "{top1} ({time1}) is not newer than {top2} ({time2})"},
          {6, "x6", "both stacks are empty", "a stack is not empty", a1::kX6.view(),
           a1::kNotX6.view(), ""},
          {7, "x7", "top 2's file is missing", "top 2's file exists", a1::kX7.view(),
           a1::kNotX7.view(), "", "{top2}'s file is missing", "{top2}'s file exists ({time2})"},
      },
      {
          {1, "z1", "pushes the first goal on stack 1", "pushes {pushed}, the first goal, on stack 1"},
          {2, "z2", "copies top 1 onto stack 2", "copies {top1} onto stack 2"},
          {3, "z3", "pushes top 2's next child on stack 1", "pushes {pushed}, the next child of {top2}, on stack 1"},
          {4, "z4", "pops both stacks: up to date", "pops {top1} from both stacks: it is up to date"},
          {5, "z5", "writes top 1's commands to todo.bat, pops both, marks the parent",
           "writes {commands} of {top1} to todo.bat, pops it from both stacks and marks {parent}"},
          {6, "z6", "pops a leaf that is not newer", "pops {top1}, not newer than {top2}"},
          {7, "z7", "pops a newer leaf and marks top 2", "pops {top1} and marks {top2}"},
      },
      {},
      {},
  };
}

bool consistent(const std::vector<Evaluation>& evaluated) {
  for (const Evaluation& e : evaluated) {
    for (const Evaluation& other : evaluated) {
      if (other.condition == e.condition && other.value != e.value) return false;
    }
  }
  return true;
}

}  // namespace

// Each state's steps, one per way its conditions can come out: the first run
// takes true for every condition; each later one follows a run up to one of
// the conditions it was given true for, and takes it false. A scratch graph
// of a goal with one child keeps one copy on each stack, so that x1 always
// prints and the actions have something to act on; no file is asked for.
const AutomatonTable& DependencyGraph::table() {
  static const AutomatonTable table = [] {
    AutomatonTable t = words();
    StringSink sink;
    Output trace(sink);
    DependencyGraph scratch(trace);
    const VertexIndex goal = scratch.add_vertex("g");
    scratch.add_dependency(goal, "c");
    scratch.set_modification_time([](VertexIndex, const char*) { return std::int64_t{0}; });
    for (std::int32_t from = START; from < STOP; ++from) {
      std::vector<std::vector<bool>> pending{{}};
      while (!pending.empty()) {
        Oracle oracle{std::move(pending.back()), {}};
        pending.pop_back();
        scratch.stack1 = {};
        scratch.stack2 = {};
        scratch.stack1.push(goal, 1);
        scratch.stack2.push(goal, 1);
        scratch.state = from;
        scratch.record_.clear();
        scratch.oracle_ = &oracle;
        scratch.rule();
        scratch.oracle_ = nullptr;
        if (scratch.record_.evaluations() > StepRecord::kMost) {
          throw std::logic_error("A1 step with too many conditions");
        }
        const std::span<const Evaluation> seen = scratch.record_.evaluated();
        std::vector<Evaluation> evaluated(seen.begin(), seen.end());
        t.outcomes.push_back({from, evaluated, scratch.record_.action(), scratch.state,
                              consistent(evaluated)});
        for (std::size_t i = oracle.given.size(); i-- > oracle.answers.size();) {
          std::vector<bool> next(oracle.given.begin(), oracle.given.begin() + static_cast<std::ptrdiff_t>(i));
          next.push_back(false);
          pending.push_back(std::move(next));
        }
      }
    }
    t.transitions = transitions_of(t, false);
    return t;
  }();
  return table;
}

}  // namespace planner
