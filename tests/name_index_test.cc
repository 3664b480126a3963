// The graph's own name index: growth must not lose a name, and the first
// registration of a name wins.
#include <gtest/gtest.h>

#include <string>

#include "planner/dependency_graph.h"

namespace planner {
namespace {

TEST(NameIndex, GrowthFindsEveryNameAndFirstRegisteredWins) {
  StringSink sink;
  Output trace(sink);
  DependencyGraph g(trace);
  // Far past the first table and several doublings, with names that share
  // long prefixes, differ only in case, or are empty.
  constexpr VertexIndex kNames = 20'000;
  auto name = [](VertexIndex i) {
    return (i % 2 ? "lib/" : "LIB/") + std::string(i % 5, 'x') + std::to_string(i);
  };
  EXPECT_EQ(g.add_vertex(""), 0u);
  for (VertexIndex i = 1; i < kNames; ++i) ASSERT_EQ(g.add_vertex(name(i)), i);
  for (VertexIndex i = 1; i < kNames; ++i) {
    ASSERT_EQ(g.find_vertex(name(i)), i) << name(i);
    ASSERT_EQ(g.add_vertex(name(i)), i);  // known: the first index, nothing added
  }
  EXPECT_EQ(g.find_vertex(""), 0u);
  EXPECT_EQ(g.vertices().size(), kNames);
  EXPECT_FALSE(g.find_vertex("lib/0"));
  EXPECT_FALSE(g.find_vertex(name(kNames)));
  std::string with_nul = name(3);  // the same bytes and a NUL: another name
  with_nul.push_back('\0');
  EXPECT_FALSE(g.find_vertex(with_nul));
}

}  // namespace
}  // namespace planner
