#include <gtest/gtest.h>

#include <map>
#include <string>

#include "planner/dependency_graph.h"
#include "reader/parser.h"
#include "test_util.h"

namespace planner {
namespace {

using test::decode;

// Reads a makefile and plans it against a clock kept in memory: names absent
// from `times` are missing files.
struct Plan {
  std::string trace;  // the A1 part of the trace, decoded
  std::string todo;   // "todo.bat" as written, raw bytes
  int queries = 0;    // modification-time queries made
  std::uint64_t counted = 0;  // the steps counted before the walk
};

Plan plan(std::string_view makefile, std::map<std::string, std::int64_t> times) {
  StringSink trace_sink;
  StringSink todo_sink;
  Output trace(trace_sink);
  Output todo(todo_sink);
  Parser parser(trace);
  parser.run(makefile);
  trace.flush();
  trace_sink.data.clear();

  Plan result;
  DependencyGraph& a1 = parser.a1;
  std::string err;
  EXPECT_TRUE(a1.plannable(&err)) << err;
  a1.set_modification_time([&](const std::string& name) {
    ++result.queries;
    const auto it = times.find(name);
    return it == times.end() ? 0 : it->second;
  });
  result.counted = a1.step_count();
  a1.out = &todo;
  a1.e1 = true;
  a1.run();
  trace.flush();
  todo.flush();
  EXPECT_EQ(a1.state, DependencyGraph::STOP);
  EXPECT_TRUE(a1.stack1.empty());
  EXPECT_TRUE(a1.stack2.empty());
  result.trace = decode(trace_sink.data);
  result.todo = todo_sink.data;
  return result;
}

std::string golden(const std::string& name) {
  return test::read_file(std::string(PLANNER_TEST_DATA "/") + name);
}

constexpr std::string_view kWorked =
    "app: main.obj\n\tlink main.obj\nmain.obj: main.c\n\tcc main.c\n";

// The worked example and its two variants, with the queries each makes: x5
// asks twice per evaluation, x7 once, and nothing is cached.
TEST(AutomatonA1, WorkedExampleAndVariants) {
  const struct {
    std::map<std::string, std::int64_t> times;
    const char* trace;
    std::string todo;
    int queries;
  } variants[] = {
      {{{"app", 250}, {"main.obj", 200}, {"main.c", 300}},
       "worked_example.trace",
       "cc main.c\r\nlink main.obj\r\n",
       2},
      {{{"app", 250}, {"main.obj", 200}, {"main.c", 150}},
       "worked_example_fresh.trace",
       "",
       4 + 1 + 1},
      {{{"main.obj", 200}, {"main.c", 150}},
       "worked_example_no_app.trace",
       "link main.obj\r\n",
       4 + 1 + 2},
  };
  for (const auto& v : variants) {
    const Plan p = plan(kWorked, v.times);
    EXPECT_EQ(p.trace, golden(v.trace));
    EXPECT_EQ(p.todo, v.todo) << v.trace;
    EXPECT_EQ(p.queries, v.queries) << v.trace;
  }
}

// The walk's length is fixed by the graph alone: the count made before the
// walk is the number of its steps.
TEST(AutomatonA1, StepCountIsTheNumberOfStateLines) {
  const char* const makefiles[] = {
      "g: a\na: b\nb: c\n",                               // chain
      "g: a0 b0\na0: a1 b1\nb0: a1 b1\na1: l\nb1: l\n",  // diamond ladder
      "g: l l\n",                                          // listed twice
      "g: a b\na: s\nb: s\ns: l\n",                       // several parents
      "g: a b c d e f g1 h\n",                             // wide
  };
  for (const char* makefile : makefiles) {
    const Plan p = plan(makefile, {});
    EXPECT_EQ(p.counted, test::lines_starting(p.trace, "Автомат A1 перешел")) << makefile;
  }
}

TEST(AutomatonA1, EqualTimesNeverMark) {
  const Plan p = plan("g: l\n\tbuild\n", {{"g", 100}, {"l", 100}});
  EXPECT_NE(p.trace.find("!x5: время модификации вершины стека 1 меньше или равно времени "
                         "модификации вершины стека 2\n!x5: "),
            std::string::npos);
  EXPECT_EQ(p.todo, "");
}

TEST(AutomatonA1, MissingLeafNeverRebuildsMissingGoalAlways) {
  EXPECT_EQ(plan("g: l\n\tbuild\n", {{"g", 100}}).todo, "");
  EXPECT_EQ(plan("g: l\n\tbuild\n", {{"l", 100}}).todo, "build\r\n");
  // Time exactly 0 counts as missing.
  EXPECT_EQ(plan("g: l\n\tbuild\n", {{"g", 0}, {"l", -5}}).todo, "build\r\n");
}

TEST(AutomatonA1, NewerNonLeafChildDoesNotRebuildItsParent) {
  EXPECT_EQ(plan("g: m\n\tcg\nm: l\n\tcm\n", {{"g", 10}, {"m", 50}, {"l", 20}}).todo, "");
}

TEST(AutomatonA1, AllCommandsOfARebuiltGoalInOrderEmptyOnesToo) {
  EXPECT_EQ(plan("g: l\n\tone\n\t\n\tthree\n", {{"l", 1}}).todo, "one\r\n\r\nthree\r\n");
}

TEST(AutomatonA1, DuplicateDependencyIsWalkedTwice) {
  const Plan p = plan("g: l l\n\tcg\n", {{"g", 10}, {"l", 20}});
  EXPECT_EQ(p.todo, "cg\r\n");
  EXPECT_EQ(p.queries, 2 * 2);
}

TEST(AutomatonA1, FinalStepPrintsX3AndX6TwiceWithoutX1) {
  const Plan p = plan("g: l\n", {{"g", 10}, {"l", 5}});
  const std::string tail =
      "Автомат A1 перешел в состояние MAIN\n"
      "!x3: вершины стеков не совпадают\n"
      "x6 : стек 1 и стек 2 пусты\n"
      "!x3: вершины стеков не совпадают\n"
      "x6 : стек 1 и стек 2 пусты\n"
      "Автомат A1 перешел в состояние STOP\n"
      "Aвтомат A1 закончил работу\n";
  ASSERT_GE(p.trace.size(), tail.size());
  EXPECT_EQ(p.trace.substr(p.trace.size() - tail.size()), tail);
}

// A clock that moves between two queries of the same step: the step then
// does nothing, repeats its state line and tests again.
TEST(AutomatonA1, DisagreeingRepeatedQueryRepeatsTheStep) {
  StringSink trace_sink;
  Output trace(trace_sink);
  Parser parser(trace);
  parser.run("g: l\n");
  DependencyGraph& a1 = parser.a1;
  int calls = 0;
  // LEAF: first x5 false (l=5 vs g=10), the repeat true (l=20), then false.
  a1.set_modification_time([&](const std::string& name) -> std::int64_t {
    ++calls;
    if (name == "g") return 10;
    return calls == 3 ? 20 : 5;
  });
  StringSink todo_sink;
  Output todo(todo_sink);
  a1.out = &todo;
  a1.e1 = true;
  trace.flush();
  trace_sink.data.clear();
  a1.run();
  trace.flush();
  const std::string t = decode(trace_sink.data);
  EXPECT_NE(t.find("!x5: время модификации вершины стека 1 меньше или равно времени модификации "
                   "вершины стека 2\nx5 : время модификации вершины стека 1 больше времени "
                   "модификации вершины стека 2\nАвтомат A1 перешел в состояние LEAF\n!x5"),
            std::string::npos)
      << t;
  EXPECT_EQ(a1.state, DependencyGraph::STOP);
}

}  // namespace
}  // namespace planner
