// What the cases and the corpus do not reach natively: a timeline of a walk
// longer than the most buckets it may have, and the walk's warnings.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "session/session.h"

namespace planner {
namespace {

// A goal over n leaves walks 3n + 6 steps; a bucket a step would be more
// than the timeline may have, so the narrowest width that keeps to them
// covers the walk, each bucket of whole steps, and every line of todo.bat is
// in one. 65,534 leaves walk exactly three times the most buckets.
TEST(Session, TimelineOfALongWalkKeepsToItsMostBuckets) {
  for (const auto& [leaves, buckets_of_walk] : {std::pair{40'000, 60'003}, {65'534, 65'536}}) {
    std::string makefile = "g:";
    for (int i = 0; i < leaves; ++i) makefile += " l" + std::to_string(i);
    makefile += "\n\tlink\n";
    Session session(makefile, [](std::string_view name) { return name == "g" ? 1 : 2; });
    ASSERT_EQ(session.total() - session.chars() - 1, 3u * leaves + 6);
    const std::vector<Tally> buckets = session.tally(1);
    EXPECT_EQ(buckets.size(), buckets_of_walk) << leaves;
    std::uint64_t commands = 0;
    for (const Tally& t : buckets) commands += t.commands;
    EXPECT_EQ(commands, 1u);
  }
}

// Only a dependency that is neither a goal nor a file is warned about, once
// the walk is prepared, as the program warns after its walk.
TEST(Session, WarnsOfTheWalksMissingDependencies) {
  Session session("g: a b c\n\tx\nc: b\n", [](std::string_view name) { return name == "b" ? 2 : 0; });
  EXPECT_TRUE(session.warnings("m", 10).warnings.empty());
  while (!session.prepare(7)) {
  }
  const std::vector<Warning> told = session.warnings("m", 10).warnings;
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].text, "'a' (a dependency of 'g') is never a goal and does not exist");
}

}  // namespace
}  // namespace planner
