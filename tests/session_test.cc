// What no makefile of the cases and the corpus reaches: a timeline of a walk
// longer than the most buckets it may have.
#include <gtest/gtest.h>

#include <string>

#include "session/session.h"

namespace planner {
namespace {

// A goal over 40,000 leaves walks 120,006 steps; a bucket a step would be
// more than the timeline may have, so wider ones cover the walk, each of
// whole steps, and every line of todo.bat is in one.
TEST(Session, TimelineOfALongWalkKeepsToItsMostBuckets) {
  std::string makefile = "g:";
  for (int i = 0; i < 40'000; ++i) makefile += " l" + std::to_string(i);
  makefile += "\n\tlink\n";
  Session session(makefile, [](std::string_view name) { return name == "g" ? 1 : 2; });
  const std::uint64_t walk = session.total() - session.chars() - 1;
  ASSERT_GT(walk, Session::kMostBuckets);
  const std::vector<Tally> buckets = session.tally(1);
  EXPECT_EQ(buckets.size(), (walk + 1) / 2);
  std::uint64_t commands = 0;
  for (const Tally& t : buckets) commands += t.commands;
  EXPECT_EQ(commands, 1u);
}

}  // namespace
}  // namespace planner
