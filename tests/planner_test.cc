// The walk in memory, with a clock that moves between two queries of one
// step: what no file system does on cue.
#include <gtest/gtest.h>

#include <string>

#include "planner/a1_messages.h"
#include "reader/parser.h"
#include "start_walk.h"

namespace planner {
namespace {

// x5 asks for the leaf's time first; the leaf reads as older, newer, then
// older for good. The step whose two evaluations of x5 disagree does nothing
// and is taken again, so the walk has one LEAF step more than its count, and
// no time is cached: each evaluation asks twice.
TEST(Planner, AStepWhoseRepeatedTestDisagreesIsTakenAgain) {
  StringSink trace_sink, todo_sink;
  Output trace(trace_sink), todo(todo_sink);
  Parser parser(trace);
  parser.run("g: l\n\tcg\n");
  DependencyGraph& a1 = parser.a1;
  const std::uint64_t counted = a1.view().step_count();
  int leaf_queries = 0, queries = 0;
  a1.set_modification_time([&](VertexIndex, const char* name) -> std::int64_t {
    ++queries;
    if (std::string_view(name) == "g") return 10;
    return ++leaf_queries == 2 ? 20 : 5;
  });
  trace.flush();
  trace_sink.data.clear();
  test::start_walk(a1, todo);
  trace.flush();
  todo.flush();
  EXPECT_EQ(a1.state, DependencyGraph::STOP);
  EXPECT_EQ(todo_sink.data, "");
  EXPECT_EQ(queries, 4 * 2 + 1);  // x5 four times, then x7 once
  const std::string_view state_line = a1::kStateMain.view().substr(0, 30);  // to the name
  std::size_t steps = 0;
  for (auto at = trace_sink.data.find(state_line); at != std::string::npos;
       at = trace_sink.data.find(state_line, at + 1)) {
    ++steps;
  }
  EXPECT_EQ(steps, counted + 1);
}

}  // namespace
}  // namespace planner
