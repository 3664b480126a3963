// The walk in memory, with a clock that moves between two queries of one
// step: what no file system does on cue.
#include <gtest/gtest.h>

#include <string>

#include "planner/a1_messages.h"
#include "reader/parser.h"
#include "start_walk.h"

namespace planner {
namespace {

std::uint64_t count(const std::string& text, std::string_view what) {
  std::uint64_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

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
  EXPECT_EQ(count(trace_sink.data, state_line), counted + 1);
}

// The walk tells its progress every so many steps: its steps so far, and the
// commands written so far, which todo.bat holds once its output is flushed.
// Every goal of the ladder is rebuilt on each path to it.
TEST(Planner, ProgressCountsTheStepsTakenAndTheCommandsWritten) {
  std::string makefile = "g: a0 b0\n\tbuild g\n";
  for (int i = 0; i < 8; ++i) {
    for (const char* side : {"a", "b"}) {
      const std::string next = i < 7 ? " a" + std::to_string(i + 1) + " b" + std::to_string(i + 1) : " leaf";
      makefile += side + std::to_string(i) + ":" + next + "\n\tbuild\n";
    }
  }
  StringSink trace_sink, todo_sink;
  Output trace(trace_sink), todo(todo_sink);
  Parser parser(trace);
  parser.run(makefile);
  DependencyGraph& a1 = parser.a1;
  a1.set_modification_time([](VertexIndex, const char*) -> std::int64_t { return 0; });
  trace.flush();
  trace_sink.data.clear();
  const std::string_view state_line = a1::kStateMain.view().substr(0, 30);  // to the name
  std::uint64_t told = 0;
  a1.on_progress = [&](std::uint64_t steps, std::uint64_t commands) {
    ++told;
    trace.flush();
    todo.flush();
    EXPECT_EQ(steps, count(trace_sink.data, state_line));
    EXPECT_EQ(commands, count(todo_sink.data, "\r\n"));
  };
  test::start_walk(a1, todo);
  todo.flush();
  EXPECT_EQ(told, a1.view().step_count() / 512);
  EXPECT_EQ(count(todo_sink.data, "\r\n"), 511u);  // g once, each of a<i> and b<i> 2^i times
}

}  // namespace
}  // namespace planner
