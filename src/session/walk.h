// The planning phase of a session: A1's walk over the whole graph, replayed
// to any of its steps from checkpoints, with what a viewer asks besides A1's
// own state: the marks of stack 2's entries, the lines of todo.bat and why
// each was written, and the index of events by interval.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/output.h"
#include "reader/parser.h"
#include "session/summary.h"

namespace planner {

// A file's modification time by name, in whole seconds; 0 for a file that
// does not exist, as the walk reads it. Asked once per name: a session's
// files do not change while it runs.
using TimeSource = std::function<std::int64_t(std::string_view name)>;

// No vertex, where a vertex may be named.
inline constexpr VertexIndex kNoVertex = ~VertexIndex{0};

// An entry of one of A1's stacks.
struct StackEntry {
  VertexIndex vertex;
  std::uint32_t walked;     // children of the vertex this copy has pushed
  bool marked;              // this copy must be rebuilt
  std::uint64_t marked_at;  // the first step that marked it; 0: none
  std::uint64_t marks;      // how many steps marked it
  VertexIndex marked_by;    // what the first mark came from: a newer leaf (z7) or a
                            // rebuilt child (z5), told apart by its children; 0 when unmarked
};

// A line of todo.bat.
struct TodoLine {
  std::string text;         // the command, without its line end
  std::uint64_t step;       // the step that wrote it (z5)
  VertexIndex vertex;       // whose command it is
  bool missing;             // rebuilt because its file does not exist (x7), not marked (x4)
  std::uint64_t marked_at;  // when marked: the first step that marked it
  std::uint64_t marks;      // when marked: how many steps marked it
  VertexIndex marked_by;    // when marked: the leaf or child behind the first mark
};

// What a range of A1's steps did, for a timeline.
struct Tally {
  std::uint64_t commands = 0;  // lines of todo.bat written
  std::uint64_t marks = 0;     // steps that set a mark
};

class Walk {
 public:
  // Reads `text` whole, for the graph; `base` is the session's step before
  // the walk's first, `read_lines` the trace lines the reading printed.
  // The reading keeps `notices` of what it read, for warnings.
  Walk(std::string_view text, std::uint64_t base, std::uint64_t read_lines, TimeSource times,
       std::uint64_t every, std::size_t notices);
  ~Walk();

  const Parser& parser() const { return *parser_; }
  const DependencyGraph& a1() const { return parser_->a1; }
  // Why the walk cannot run on this graph; empty when it can.
  const std::string& refusal() const { return refusal_; }
  // A1's steps, step_count() of the graph; the largest count when beyond 64 bits.
  std::uint64_t steps() const { return steps_; }

  // Steps taken, and the walk brought to `walked` of them, from the nearest
  // checkpoint before unless it is already on the way there.
  std::uint64_t walked() const { return walked_; }
  // Steps walked through at least once.
  std::uint64_t covered() const { return reached_; }
  void go(std::uint64_t walked);
  // One step, keeping the lines of todo.bat it writes from line `first` on
  // in *written when given, and a checkpoint where one is due.
  void step(std::vector<TodoLine>* written = nullptr, std::uint64_t first = 0);
  // The walk to the latest checkpoint whose trace lines (or lines of
  // todo.bat) are at most `lines`.
  void go_before_line(std::uint64_t lines);
  void go_before_todo_line(std::uint64_t lines);

  // What the steps print from now on is kept, until taken.
  void capture(bool on);
  std::string take();
  // Trace lines printed up to the current step, the reading's included.
  std::uint64_t lines();
  std::uint64_t todo_lines() const { return todo_lines_; }

  // --- The step just taken. ---
  const Summary& last() const { return last_; }
  // The vertex it left active, pushing or popping stack 1; kNoVertex: none.
  VertexIndex last_active() const { return last_active_; }
  // The tops of stack 1 and stack 2 before it; kNoVertex for an empty stack.
  VertexIndex top_before(int which) const { return which == 1 ? before1_ : before2_; }

  // --- Both stacks, bottom first. ---
  std::size_t stack_size(int which) const { return stack(which).entries().size(); }
  StackEntry stack_entry(int which, std::size_t index) const;

  // A vertex's time, as the walk reads it.
  std::int64_t time_of(VertexIndex vertex);
  // The names the walk found without a file that no rule has as its goal, in
  // the order it first asked for them: all of them once covered() is steps().
  const std::vector<VertexIndex>& missing() const { return missing_; }

  // --- The index (walk_index.cc). ---
  // The nearest walk step after `here` steps (`forward`) or before it where
  // `event` happens, counted from 1; the walk is left anywhere.
  std::optional<std::uint64_t> find(const Event& event, std::uint64_t here, bool forward);
  // A1's steps in buckets of `width` (at least 1); the walk is left anywhere.
  std::vector<Tally> tally(std::uint64_t width);

 private:
  struct Checkpoint;
  class Sink;
  struct Mark {  // of an entry of stack 2
    std::uint64_t first = 0;  // the first step that marked it; 0: none
    std::uint64_t count = 0;  // steps that marked it
    VertexIndex by = 0;       // the first mark's leaf (z7) or rebuilt child (z5)
  };

  const VertexStack& stack(int which) const { return which == 1 ? a1().stack1 : a1().stack2; }
  void restore(const Checkpoint& checkpoint);
  void keep_checkpoint();
  void summarise(std::size_t size1_before, std::uint64_t commands, bool marked, bool first_time);

  std::uint64_t every_;  // steps between two checkpoints
  std::uint64_t base_;   // the session's step before the walk's first
  TimeSource times_;
  std::vector<std::optional<std::int64_t>> times_of_;  // by vertex, once asked
  std::vector<bool> asked_;                           // by vertex: the walk has asked
  std::vector<VertexIndex> missing_;

  // The trace and todo.bat of the walk, counted and captured where asked.
  std::unique_ptr<Sink> trace_sink_, todo_sink_;
  std::unique_ptr<Output> trace_, todo_;
  std::unique_ptr<Parser> parser_;  // has read everything; A1 walks its graph
  std::string refusal_;
  std::uint64_t steps_ = 0;

  std::uint64_t walked_ = 0;      // A1 steps taken
  std::uint64_t reached_ = 0;     // the most steps ever taken
  std::uint64_t todo_lines_ = 0;  // lines of todo.bat written so far
  std::vector<Mark> marks_;       // one per entry of stack 2
  // Least sizes of stack 1 and stack 2 since the last checkpoint.
  std::size_t low1_ = 0, low2_ = 0;
  std::vector<Checkpoint> checkpoints_;  // every every_ steps, from the start

  Summary last_;                        // what the last step did
  VertexIndex last_active_ = kNoVertex;
  VertexIndex before1_ = kNoVertex, before2_ = kNoVertex;
  std::vector<Summary> summaries_;  // one per interval walked whole, from the first
  Summary open_;                    // of the interval being walked for the first time
};

}  // namespace planner
