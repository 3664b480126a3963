// Warnings on standard error, for what a run changed or passed over without a
// word: bytes of the makefile that the grammar drops, the rest of a file after
// a 0x1A byte, and dependencies that are neither a goal nor a file. The trace
// and todo.bat do not change for them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "planner/graph.h"
#include "reader/notices.h"

namespace planner {

class Warnings {
 public:
  // No more are printed; the last line says how many more there were.
  static constexpr std::size_t kShown = 10;

  // `makefile` is the name the makefile was given by.
  explicit Warnings(std::string makefile) : makefile_(std::move(makefile)) {}

  // After the reading: a line for each makefile line that dropped bytes.
  void dropped(const Notices& notices);
  // A 0x1A byte at `line` and `column` ended the input before the file did.
  void cut_short(std::uint64_t line, std::uint64_t column);
  // After the walk: `names`, which the walk found without a file and no rule
  // names as its goal, in the order it first asked for them.
  void missing(const Graph& graph, const std::vector<VertexIndex>& names);
  // Says how many were not shown, if any; before an error line, if one comes.
  void finish();

 private:
  void say(const std::string& message);
  std::string at(std::uint64_t line, std::uint64_t column) const;

  std::string makefile_;
  std::size_t shown_ = 0;
  std::uint64_t more_ = 0;  // not shown
};

}  // namespace planner
