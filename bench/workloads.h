// The benchmark's workloads, generated afresh in a scratch directory so that
// every run measures the same bytes on any machine.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// A makefile of `rules` rules, each a goal with three dependencies and one
// command. The first goal's dependencies are leaves, so the walk is a few
// steps and the run is the reading phase.
std::string reading_makefile(std::size_t rules);
// The same number of rules without commands, every name its own: each rule
// "tN.o: sN.c hN.h cN.h", so that every lookup of the name index is a new
// name and the index grows with every name read.
std::string distinct_makefile(std::size_t rules);

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

// Makefiles whose walk once held a deep copy of every vertex waiting on its
// stacks: each a name for the report and its text. `scale` 1 gives the full
// sizes, 10 a tenth of them.
struct MemoryCase {
  std::string name;
  std::string makefile;
};
std::vector<MemoryCase> memory_makefiles(std::size_t scale);

// Creates files a, b and c in `dir`, each newer than the next, so that a
// makefile whose rules are "a: b ..." and "b: c" has nothing to rebuild.
void lay_out_memory_files(const std::filesystem::path& dir);

// Writes `bytes` to `path`.
void write_file(const std::filesystem::path& path, const std::string& bytes);

}  // namespace bench
