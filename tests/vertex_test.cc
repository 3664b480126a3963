#include "planner/vertex.h"

#include <gtest/gtest.h>

#include <utility>

namespace planner {
namespace {

Vertex walked() {
  Vertex v("app");
  v.append_child(1);
  v.append_child(1);
  v.append_command("link");
  v.append_command("");
  v.next_child = 2;
  v.marked = true;
  return v;
}

TEST(Vertex, CopyTakesContentAndResetsTheWalk) {
  const Vertex source = walked();
  const Vertex copy = source;  // NOLINT(performance-unnecessary-copy-initialization)
  EXPECT_EQ(copy.name, "app");
  EXPECT_EQ(copy.children, (std::vector<VertexIndex>{1, 1}));
  EXPECT_EQ(copy.commands, (std::vector<std::string>{"link", ""}));
  EXPECT_EQ(copy.next_child, 0u);
  EXPECT_FALSE(copy.marked);

  Vertex assigned("other");
  assigned.next_child = 1;
  assigned.marked = true;
  assigned = source;
  EXPECT_EQ(assigned.name, "app");
  EXPECT_EQ(assigned.next_child, 0u);
  EXPECT_FALSE(assigned.marked);
}

TEST(Vertex, CopyIsDeep) {
  Vertex source = walked();
  const Vertex copy = source;
  source.commands[0] = "changed";
  source.children.push_back(7);
  source.name += "x";
  EXPECT_EQ(copy.commands[0], "link");
  EXPECT_EQ(copy.children.size(), 2u);
  EXPECT_EQ(copy.name, "app");
}

// Relocation inside a growing stack is not a copy: the walk state survives.
TEST(Vertex, MoveKeepsTheWalk) {
  std::vector<Vertex> stack;
  stack.push_back(walked());
  stack.back().next_child = 1;
  stack.back().marked = true;
  for (int i = 0; i < 100; ++i) stack.emplace_back("filler");
  EXPECT_EQ(stack.front().next_child, 1u);
  EXPECT_TRUE(stack.front().marked);
}

}  // namespace
}  // namespace planner
