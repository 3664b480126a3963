// Automaton A1: the walk, one switch over the state, one member per
// condition and action. Conditions print on every evaluation, so the order
// and the repetitions below are part of the output.
#include "planner/dependency_graph.h"

#include <string_view>
#include <vector>

#include "planner/a1_messages.h"
#include "platform/os.h"

namespace planner {

DependencyGraph::DependencyGraph(Output& trace)
    : trace_(trace),
      modification_time_([](VertexIndex, const char* name) { return os::modification_time(name); }) {}

void DependencyGraph::run() {
  for (std::uint64_t steps = 1; state != STOP; ++steps) {
    step();
    // Once a write has failed the run has failed: the rest of the walk could
    // take hours and would only be thrown away.
    if (steps % kCheckEvery != 0) continue;
    if (!(trace_.ok() && (out == nullptr || out->ok()))) return;
    if (on_progress) on_progress(steps, commands_written_);
  }
}

void DependencyGraph::step() {
  record_.clear();
  rule();
  trace_state();
}

void DependencyGraph::rule() {
  switch (state) {
    case START:
      if (e1_event()) {
        z1();
        state = MAIN;
      }
      break;
    case MAIN:
      if (x1() && !x3() && !x6()) {
        z2();
        state = NOT_LEAF;
      } else if (!x1() && !x3() && !x6()) {
        state = LEAF;
      } else if (x3()) {
        state = TOPS;
      } else if (x6()) {
        state = STOP;
      }
      break;
    case LEAF:
      if (x5()) {
        state = MAIN;
        z7();
      } else if (!x5()) {
        state = MAIN;
        z6();
      }
      break;
    case NOT_LEAF:
      if (!x2()) {
        state = MAIN;
      } else if (x2()) {
        z3();
      }
      break;
    case TOPS:
      if (!x4() && !x7()) {
        state = MAIN;
        z4();
      } else if (x4() || x7()) {
        state = MAIN;
        z5();
      }
      break;
    case STOP: break;
  }
}

bool DependencyGraph::oracle_answer(bool) {
  const std::size_t asked = oracle_->given.size();
  oracle_->given.push_back(asked < oracle_->answers.size() ? oracle_->answers[asked] : true);
  return oracle_->given.back();
}

void DependencyGraph::trace_state() {
  trace_.put(a1::kStateLines[static_cast<std::size_t>(state)]);
  if (state == STOP) trace_.put(a1::kClosing);
}

// Inline in every condition, so that each puts a message of known size.
[[gnu::always_inline]] inline bool DependencyGraph::report(std::uint8_t condition, bool value,
                                                           std::string_view yes,
                                                           std::string_view no) {
  if (oracle_ != nullptr) [[unlikely]] value = oracle_answer(value);
  record_.add(condition, value);
  // Two puts of known sizes copy faster than one of either size.
  if (value) {
    trace_.put(yes);
  } else {
    trace_.put(no);
  }
  return value;
}

// The empty-stack guards below never decide anything on a plannable graph;
// they keep an unchecked one from reading past a stack.

// Not raised, it prints nothing: an empty line of its own, not a null one.
bool DependencyGraph::e1_event() { return report(0, e1, a1::kE1.view(), ""); }

bool DependencyGraph::x1() {
  if (stack1.empty()) return false;  // silent, as the trace has it
  return report(1, stack1.top().children != 0, a1::kX1.view(), a1::kNotX1.view());
}

bool DependencyGraph::x2() {
  const bool left = !stack2.empty() && stack2.top().next_child < stack2.top().children;
  return report(2, left, a1::kX2.view(), a1::kNotX2.view());
}

// Names are unique in the graph, so two copies have equal names exactly when
// they are copies of the same vertex.
bool DependencyGraph::x3() {
  const bool same = !stack1.empty() && !stack2.empty() && stack1.top().index == stack2.top().index;
  return report(3, same, a1::kX3.view(), a1::kNotX3.view());
}

bool DependencyGraph::x4() {
  return report(4, !stack2.empty() && stack2.top().marked, a1::kX4.view(), a1::kNotX4.view());
}

bool DependencyGraph::x5() {
  bool newer = false;
  if (!stack1.empty() && !stack2.empty()) {
    const std::int64_t leaf = modification_time(stack1.top().index);
    newer = leaf > modification_time(stack2.top().index);
  }
  return report(5, newer, a1::kX5.view(), a1::kNotX5.view());
}

bool DependencyGraph::x6() {
  return report(6, stack1.empty() && stack2.empty(), a1::kX6.view(), a1::kNotX6.view());
}

bool DependencyGraph::x7() {
  const bool missing = !stack2.empty() && modification_time(stack2.top().index) == 0;
  return report(7, missing, a1::kX7.view(), a1::kNotX7.view());
}

// Every push is a fresh copy: nothing walked, no mark.

void DependencyGraph::z1() {
  took(Action::kZ1);
  if (!view().empty()) stack1.push(0, view().child_count(0));
}

void DependencyGraph::z2() {
  took(Action::kZ2);
  if (!stack1.empty()) stack2.push(stack1.top());
}

void DependencyGraph::z3() {
  took(Action::kZ3);
  if (stack2.empty()) return;
  Vertex& parent = stack2.top();
  if (parent.next_child >= parent.children) return;
  const VertexIndex child = view()[parent.index].children[parent.next_child++];
  stack1.push(child, view().child_count(child));
}

void DependencyGraph::z4() {
  took(Action::kZ4);
  if (!stack1.empty()) stack1.pop();
  if (!stack2.empty()) stack2.pop();
}

void DependencyGraph::z5() {
  took(Action::kZ5);
  if (stack1.empty() || stack2.empty()) return;
  const auto commands = view()[stack1.top().index].commands;
  if (out != nullptr) {
    for (const std::string_view command : commands) {
      out->put_text(command);
      out->put_text('\n');
    }
  }
  commands_written_ += commands.size();
  stack2.pop();
  stack1.pop();
  if (!stack2.empty()) stack2.top().marked = true;
}

void DependencyGraph::z6() {
  took(Action::kZ6);
  if (!stack1.empty()) stack1.pop();
}

void DependencyGraph::z7() {
  took(Action::kZ7);
  if (!stack1.empty()) stack1.pop();
  if (!stack2.empty()) stack2.top().marked = true;
}

}  // namespace planner
