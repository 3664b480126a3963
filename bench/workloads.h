// The benchmark's workloads, generated afresh in a scratch directory so that
// every run measures the same bytes on any machine.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace bench {

// A makefile of `rules` rules, each a goal with three dependencies and one
// command. The first goal's dependencies are leaves, so the walk is a few
// steps and the run is the reading phase.
std::string reading_makefile(std::size_t rules);

// The planning workload: a root over `blocks` blocks; each block depends on
// `per_block` of the 8 * `per_block` mid goals, each mid on three leaves.
// Mids share blocks, so the walk visits every mid once per path.
struct PlanShape {
  std::size_t blocks;
  std::size_t per_block;
};
std::string planning_makefile(PlanShape shape);

// Creates every file the planning makefile names in `dir` and sets their
// times: leaves older than their mid, except in the first eighth of mids,
// whose source is newer, so the blocks over them and the root are rebuilt.
void lay_out_planning_files(const std::filesystem::path& dir, PlanShape shape);

// Writes `bytes` to `path`.
void write_file(const std::filesystem::path& path, const std::string& bytes);

}  // namespace bench
