// The graph's own name index and chunked vertex list: growth must neither
// lose a name nor move a vertex, and the first registration of a name wins.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "planner/dependency_graph.h"
#include "planner/vertex_list.h"

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

TEST(VertexList, GrowsAcrossChunksWithoutMovingAVertex) {
  // Appended, not "v" + std::string: g++ 12 warns falsely on that (-Wrestrict).
  auto name = [](std::size_t i) { return std::string("v").append(std::to_string(i)); };
  VertexList list;
  const Vertex* first = &list.emplace_back("v0");
  const std::size_t count = 3 * VertexList::kChunk + 5;
  for (std::size_t i = 1; i < count; ++i) list.emplace_back(name(i));
  EXPECT_EQ(&list[0], first);
  EXPECT_EQ(list.size(), count);
  std::size_t seen = 0;
  for (const Vertex& v : list) ASSERT_EQ(v.name, name(seen++));
  EXPECT_EQ(seen, count);
  EXPECT_EQ(list[VertexList::kChunk].name, name(VertexList::kChunk));
  EXPECT_EQ(list.back().name, name(count - 1));
  EXPECT_THROW((void)list.at(count), std::out_of_range);
  const VertexList& view = list;
  const auto it =
      std::find_if(view.begin(), view.end(), [](const Vertex& v) { return v.name == "v4097"; });
  EXPECT_EQ(&*it, &list[4097]);
}

}  // namespace
}  // namespace planner
