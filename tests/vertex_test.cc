#include "planner/vertex.h"

#include <gtest/gtest.h>

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

  // Deep: changing the source later leaves the copies alone.
  Vertex changed = walked();
  const Vertex before = changed;
  changed.commands[0] = "changed";
  changed.children.push_back(7);
  EXPECT_EQ(before.commands[0], "link");
  EXPECT_EQ(before.children.size(), 2u);
}

}  // namespace
}  // namespace planner
