#include "planner/dependency_graph.h"

#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

namespace planner {
namespace {

using test::describe;

class GraphTest : public ::testing::Test {
 protected:
  StringSink sink;
  Output trace{sink};
  DependencyGraph g{trace};

  std::string refusal() {
    std::string err;
    EXPECT_FALSE(g.plannable(&err));
    return err;
  }
};

TEST_F(GraphTest, RegistersInOrderAndAccumulatesAcrossRules) {
  g.add_vertex("all");
  g.add_dependency("all", "a");
  g.add_dependency("all", "b");
  g.add_vertex("a");
  g.add_dependency("a", "c");
  g.add_command("all", "link");
  g.add_command("a", "");
  g.add_dependency("b", "a");    // first seen as a dependency, later a goal
  g.add_dependency("all", "c");  // lists that grow after others have
  g.add_command("all", "strip");
  EXPECT_EQ(describe(g), "all: a b c\n\tlink\n\tstrip\na: c\n\t\nb: a\nc:\n");
  EXPECT_EQ(g.find_vertex("c"), 3u);
  EXPECT_FALSE(g.find_vertex("d"));
}

TEST_F(GraphTest, NamesAreWholeAndCaseSensitive) {
  g.add_vertex("a.o");
  g.add_vertex("A.o");
  g.add_vertex("a.");
  g.add_vertex("a.o");
  EXPECT_EQ(describe(g), "a.o:\nA.o:\na.:\n");
}

TEST_F(GraphTest, DuplicateEdgesAndSelfDependencyAreKept) {
  g.add_dependency("a", "b");
  g.add_dependency("a", "b");
  g.add_dependency("a", "a");
  EXPECT_EQ(describe(g), "a: b b a\nb:\n");
}

TEST_F(GraphTest, CommandForUnknownGoalChangesNothing) {
  g.add_command("ghost", "x");
  EXPECT_EQ(describe(g), "");
}

TEST_F(GraphTest, RefusesGraphsTheWalkCannotTake) {
  EXPECT_EQ(refusal(), "makefile has no rule: no goal name is followed by a colon");
  g.add_vertex("all");
  g.add_dependency("x", "y");
  EXPECT_EQ(refusal(),
            "first goal 'all' has no dependencies (does its rule header lack a line end?)");
}

TEST_F(GraphTest, ReportsAReachableCycleAsAPath) {
  g.add_dependency("all", "lib");
  g.add_dependency("all", "a");
  g.add_dependency("a", "b");
  g.add_dependency("b", "c");
  g.add_dependency("c", "a");
  EXPECT_EQ(refusal(), "dependency cycle: a -> b -> c -> a");
}

TEST_F(GraphTest, AcceptsDiamondsAndUnreachableCycles) {
  g.add_dependency("g", "x");
  g.add_dependency("g", "y");
  g.add_dependency("x", "s");
  g.add_dependency("y", "s");
  g.add_dependency("u", "v");
  g.add_dependency("v", "u");
  std::string err;
  EXPECT_TRUE(g.plannable(&err)) << err;
}

TEST_F(GraphTest, LongChainNeedsNoDeepRecursion) {
  constexpr int kLength = 100000;
  for (int i = 0; i < kLength; ++i) g.add_dependency(std::to_string(i), std::to_string(i + 1));
  std::string err;
  EXPECT_TRUE(g.plannable(&err)) << err;
  g.add_dependency(std::to_string(kLength), "0");
  EXPECT_EQ(refusal(),
            "dependency cycle: 0 -> 1 -> 2 -> 3 -> 4 -> 5 -> 6 -> 7 -> ... (99986 more) -> "
            "99994 -> 99995 -> 99996 -> 99997 -> 99998 -> 99999 -> 100000 -> 0");
}

TEST_F(GraphTest, LongNamesAreShortenedInMessages) {
  const std::string goal(100000, 'g');
  g.add_vertex(goal);
  EXPECT_EQ(refusal(), "first goal '" + goal.substr(0, 80) +
                           "...' has no dependencies (does its rule header lack a line end?)");
}

}  // namespace
}  // namespace planner
