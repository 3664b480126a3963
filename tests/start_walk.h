// The walk started as the driver starts it, for code that runs A1 in memory:
// the plan's output set, the start event raised, then run().
#pragma once

#include "planner/dependency_graph.h"

namespace planner::test {

inline void start_walk(DependencyGraph& a1, Output& todo) {
  a1.out = &todo;
  a1.e1 = true;
  a1.run();
}

}  // namespace planner::test
