// The workload run once inside the benchmark, on the planner's own classes:
// it counts what the executable will do (trace bytes, A1 steps, file queries)
// and records the file queries in order, so they can be replayed alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct Profile {
  std::size_t reading_trace_bytes = 0;   // A0's trace, closing line included
  std::size_t planning_trace_bytes = 0;  // A1's trace
  std::uint64_t a1_steps = 0;            // A1's steps, as the graph counts them
  std::vector<std::string> queries;      // every modification-time query, in order
  double planning_seconds = 0;           // the walk with real queries, trace discarded
};

// Reads `makefile` and plans it in the current directory.
Profile profile(const std::string& makefile);

// Makes the queries of `names` with stat, in order; returns the seconds taken.
double replay_queries(const std::vector<std::string>& names);

}  // namespace bench
