// The warnings of a run, as data: what the reader made of the makefile where
// its author may have meant something else, and the dependencies the walk
// found neither a goal nor a file; and the refusal line, with its cause in
// the makefile when the reader's notices know it. The driver prints them on
// standard error, and a viewer of a run shows the same texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "planner/graph.h"
#include "reader/notices.h"

namespace planner {

struct Warning {
  // What the warning is about: a notice of the reader (the same values as
  // Notices::Kind), the rest of a file after a 0x1A byte, or the walk.
  enum class Kind : std::uint8_t {
    kDropped,
    kComment,
    kDefinition,
    kReference,
    kOption,
    kPath,
    kPattern,
    kWildcard,
    kContinuation,
    kGained,
    kIndented,
    kLongName,
    kFirstGoal,
    kNoColon,
    kLostAtEnd,
    kCutShort,
    kMissing
  };
  Kind kind = Kind::kDropped;
  // The message after "planner: warning: "; warning_line(text) is the line
  // printed. A warning about the makefile begins "FILE:LINE:COLUMN: ".
  std::string text;
  // Where in the makefile: line and column from 1 (a tab counts one column,
  // a CR none), and the delivered offset of that character, which the
  // reading step numbered offset + 1 reads. All 0 for a warning of the walk.
  std::uint64_t line = 0;
  std::uint64_t column = 0;
  std::uint64_t offset = 0;
  // The last makefile line the warning speaks of (a name read over several
  // lines, the line whose words a header gained); `line` when only that one.
  std::uint64_t last_line = 0;
  // kMissing: the vertex of the name, for a viewer to find where the walk
  // met it; unused by the others.
  VertexIndex vertex = 0;
};

class Warnings {
 public:
  // The driver's cap; a viewer may ask for more.
  static constexpr std::size_t kShown = 10;

  // `makefile` is the name the makefile was given by; at most `cap`
  // warnings are shown in all, the rest counted.
  explicit Warnings(std::string makefile, std::size_t cap = kShown)
      : makefile_(std::move(makefile)), cap_(cap) {}

  // After the reading: the reader's warnings, one per makefile line and
  // cause, in makefile order; when more are due than the cap allows, the
  // first ones, and among them the one that names the first goal, the one
  // planned, whenever there is one. `cut_short`: a 0x1A byte ended the input
  // before the file ended. Asks the parser's notices, so their records must
  // be kept up to the cap (Parser's `notices_kept`).
  std::vector<Warning> reading(const Notices& notices, bool cut_short);
  // After the walk: `missing`, the names the walk found without a file that
  // no rule has as its goal, in the order it first asked; within what the
  // cap leaves.
  std::vector<Warning> walk(const Graph& graph, const std::vector<VertexIndex>& missing);
  // How many were due and not shown so far, and the text of the line that
  // says so ("N more not shown"); empty when none.
  std::uint64_t more() const { return more_; }
  std::string more_text() const;

 private:
  std::string makefile_;
  std::size_t cap_;
  std::size_t shown_ = 0;
  std::uint64_t more_ = 0;
};

// Why the walk cannot run on `graph` (no rule, a first goal without
// dependencies, a dependency cycle), as the one error line's message, with
// the cause in the makefile that `notices` (the reading that made the graph)
// know; empty when the walk can run. error_line() of it is the line printed.
std::string refusal(const Graph& graph, const Notices& notices);

}  // namespace planner
