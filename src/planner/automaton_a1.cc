// Automaton A1: the walk, one switch over the state, one member per
// condition and action. Conditions print on every evaluation, so the order
// and the repetitions below are part of the output.
#include <string_view>

#include "planner/a1_messages.h"
#include "planner/dependency_graph.h"

namespace planner {

void DependencyGraph::run() {
  for (std::uint64_t steps = 1; state != STOP; ++steps) {
    step();
    trace_state();
    // Once a write has failed the run has failed: the rest of the walk could
    // take hours and would only be thrown away.
    if (steps % kCheckEvery != 0) continue;
    if (!(trace_.ok() && (out == nullptr || out->ok()))) return;
    if (on_progress) on_progress(steps, commands_written_);
  }
  trace_.put(a1::kClosing);
}

void DependencyGraph::step() {
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
    default: break;
  }
}

void DependencyGraph::trace_state() {
  switch (state) {
    case START: trace_.put(a1::kStateStart); break;
    case MAIN: trace_.put(a1::kStateMain); break;
    case LEAF: trace_.put(a1::kStateLeaf); break;
    case NOT_LEAF: trace_.put(a1::kStateNotLeaf); break;
    case TOPS: trace_.put(a1::kStateTops); break;
    default: trace_.put(a1::kStateStop); break;
  }
}

bool DependencyGraph::report(bool value, std::string_view yes, std::string_view no) {
  trace_.put(value ? yes : no);
  return value;
}

// The empty-stack guards below never decide anything on a plannable graph;
// they keep an unchecked one from reading past a stack.

bool DependencyGraph::e1_event() {
  if (e1) trace_.put(a1::kE1);
  return e1;
}

bool DependencyGraph::x1() {
  if (stack1.empty()) return false;  // silent, as the trace has it
  return report(!stack1.back().children.empty(), a1::kX1.view(), a1::kNotX1.view());
}

bool DependencyGraph::x2() {
  const bool left = !stack2.empty() && stack2.back().next_child < stack2.back().children.size();
  return report(left, a1::kX2.view(), a1::kNotX2.view());
}

bool DependencyGraph::x3() {
  const bool same = !stack1.empty() && !stack2.empty() && stack1.back().name == stack2.back().name;
  return report(same, a1::kX3.view(), a1::kNotX3.view());
}

bool DependencyGraph::x4() {
  return report(!stack2.empty() && stack2.back().marked, a1::kX4.view(), a1::kNotX4.view());
}

bool DependencyGraph::x5() {
  bool newer = false;
  if (!stack1.empty() && !stack2.empty()) {
    const std::int64_t leaf = modification_time(stack1.back().name);
    newer = leaf > modification_time(stack2.back().name);
  }
  return report(newer, a1::kX5.view(), a1::kNotX5.view());
}

bool DependencyGraph::x6() {
  return report(stack1.empty() && stack2.empty(), a1::kX6.view(), a1::kNotX6.view());
}

bool DependencyGraph::x7() {
  const bool missing = !stack2.empty() && modification_time(stack2.back().name) == 0;
  return report(missing, a1::kX7.view(), a1::kNotX7.view());
}

void DependencyGraph::z1() {
  if (!graph.empty()) stack1.push_back(graph[0]);
}

void DependencyGraph::z2() {
  if (!stack1.empty()) stack2.push_back(stack1.back());
}

void DependencyGraph::z3() {
  if (stack2.empty()) return;
  Vertex& parent = stack2.back();
  if (parent.next_child >= parent.children.size()) return;
  const VertexIndex k = parent.next_child++;
  stack1.push_back(graph[parent.children[k]]);
}

void DependencyGraph::z4() {
  if (!stack1.empty()) stack1.pop_back();
  if (!stack2.empty()) stack2.pop_back();
}

void DependencyGraph::z5() {
  if (stack1.empty() || stack2.empty()) return;
  if (out != nullptr) {
    for (const std::string& command : stack1.back().commands) {
      out->put_text(command);
      out->put_text('\n');
    }
  }
  commands_written_ += stack1.back().commands.size();
  stack2.pop_back();
  stack1.pop_back();
  if (!stack2.empty()) stack2.back().marked = true;
}

void DependencyGraph::z6() {
  if (!stack1.empty()) stack1.pop_back();
}

void DependencyGraph::z7() {
  if (!stack1.empty()) stack1.pop_back();
  if (!stack2.empty()) stack2.back().marked = true;
}

}  // namespace planner
