// A run of the program that a viewer steps through: the real reader and the
// real walk, one automaton step at a time, forward and back. It holds the
// graph and a few checkpoints, never the whole trace: the bytes of any range
// of steps are made again when asked for, exactly as the program prints them.
//
// Steps, numbered from 1 (0 is before the first):
//   1 .. chars       A0 reads one character each, as the text-mode read
//                    delivers them (CR removed, nothing from 0x1A on);
//   chars + 1        A0's closing line;
//   chars + 2        the driver's refusal of the graph, when it refuses it;
//   otherwise        A1's steps, step_count() of them; the last one prints
//                    A1's closing line as well.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <optional>
#include <vector>

#include "platform/output.h"
#include "reader/parser.h"

namespace planner {

// A file's modification time by name, in whole seconds; 0 for a file that
// does not exist, as the walk reads it. Asked once per name: a session's
// files do not change while it runs.
using TimeSource = std::function<std::int64_t(std::string_view name)>;

// Where a step belongs.
enum class Phase : std::uint8_t {
  kStart,     // step 0: nothing has happened
  kReading,   // A0 read a character
  kReadEnd,   // A0 printed its closing line
  kRefused,   // the driver refused the graph: refusal() says why
  kPlanning,  // A1 took a step
};

// A condition as a step evaluated it: `number` is n for xn, and 0 for A1's
// event e1.
struct Evaluation {
  std::uint8_t number;
  bool value;
};

// A position in the makefile.
struct Position {
  std::uint64_t offset;  // in the file's bytes, from 0, CR bytes counted
  std::uint64_t line;    // from 1
  std::uint64_t column;  // in bytes from 1; a tab counts one, a CR none
};

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

class Session {
 public:
  // Steps between two checkpoints, of the reader and of the walk: a seek
  // replays fewer than this many, and a checkpoint costs a few words besides
  // the stack entries that changed since the one before.
  static constexpr std::uint64_t kEvery = std::uint64_t{1} << 14;

  // `makefile` is the file's bytes, as they would be read from disk.
  Session(std::string_view makefile, TimeSource times, std::uint64_t every = kEvery);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Steps of the whole run; the largest count when beyond 64 bits.
  std::uint64_t total() const { return total_; }
  // Steps taken: 0 to total().
  std::uint64_t at() const { return at_; }
  // Takes the next step; false at the end.
  bool step();
  // Goes to step `n` (at most total()), forward or back.
  void seek(std::uint64_t n);
  // Walks up to `steps` further than the walk has been, keeping checkpoints,
  // so that later seeks there are quick; true once the whole run is covered.
  // A viewer calls it while idle, in slices.
  bool prepare(std::uint64_t steps);
  // Trace lines of the whole run, once prepare() has covered it; 0 before.
  std::uint64_t all_lines() const { return all_lines_; }

  // --- The step just taken. ---
  Phase phase() const;
  // A0's state for the reading phases and a refusal, A1's for planning: the
  // state before the step and after it.
  std::int32_t from_state() const { return from_; }
  std::int32_t state() const;
  // Every condition it evaluated, in order; A0's that did not hold included.
  const std::vector<Evaluation>& evaluated() const { return evaluated_; }
  // n for zn; 0 for none.
  int action() const { return action_; }
  // What it printed on standard output.
  const std::string& printed() const { return printed_; }
  // The driver's error line for this run's graph, as it prints it on
  // standard error at step chars() + 2; empty for a graph the walk can take.
  const std::string& refusal() const { return refusal_; }

  // --- The reader. ---
  // Characters the text-mode read delivers, and how many A0 has read.
  std::uint64_t chars() const { return text_.size(); }
  std::uint64_t chars_read() const { return at_ < text_.size() ? at_ : text_.size(); }
  // The delivered character `index` and where it stands in the file.
  char char_at(std::uint64_t index) const { return text_[index]; }
  Position position(std::uint64_t index) const;
  std::string_view goal_text() const { return reader().buffers.copy_goal(); }
  std::string_view item_text() const { return reader().buffers.copy_item(); }
  // The graph as read so far: the first graph().size() vertices of
  // whole_graph(), each with a prefix of its children and commands there.
  const Graph& graph() const { return reader().a1.view(); }
  // The graph as reading ends, which the walk takes; for a layout drawn once.
  const Graph& whole_graph() const { return full_->a1.view(); }

  // --- The walk: both stacks, bottom first. ---
  std::size_t stack_size(int which) const;
  StackEntry stack_entry(int which, std::size_t index) const;

  // --- What the run writes, by range. A query walks to the range and back,
  // so it costs about as much as a seek. ---
  // Trace lines printed up to the current step.
  std::uint64_t trace_lines() const { return lines_; }
  // Trace lines printed by the steps before `step`.
  std::uint64_t lines_before(std::uint64_t step);
  // The step that printed trace line `line` (from 0).
  std::uint64_t step_of_line(std::uint64_t line);
  // The bytes printed by steps `first` to `last`, both included.
  std::string trace(std::uint64_t first, std::uint64_t last);
  // The bytes of trace lines `first` to `first + count - 1` (from 0; fewer at
  // the run's end), each with its line end: a window of the trace, made in
  // one walk.
  std::string lines(std::uint64_t first, std::uint64_t count);
  // Lines of todo.bat written up to the current step.
  std::uint64_t todo_lines() const;
  // Up to `count` lines of todo.bat from line `first` (from 0), of those
  // written up to the current step.
  std::vector<TodoLine> todo(std::uint64_t first, std::uint64_t count);

 private:
  struct Checkpoint;
  class Sink;
  struct Mark {  // of an entry of stack 2
    std::uint64_t first = 0;  // the first step that marked it; 0: none
    std::uint64_t count = 0;  // steps that marked it
    VertexIndex by = 0;       // the first mark's leaf (z7) or rebuilt child (z5)
  };
  // A0 after a number of characters: its state, and the trace lines printed.
  struct ReadMark {
    std::int32_t state;
    std::uint64_t lines;
  };

  const Parser& reader() const { return reading() ? *reader_ : *full_; }
  bool reading() const { return at_ <= text_.size(); }
  std::uint64_t planning_start() const { return text_.size() + 1; }

  void go_reading(std::uint64_t n);
  void go_planning(std::uint64_t n);
  ReadMark read_state(std::uint64_t read) const;
  void walk_to(std::uint64_t walked);
  void restore(const Checkpoint& checkpoint);
  void walk_step(std::vector<TodoLine>* written, std::uint64_t first_written);
  void keep_checkpoint();

  std::uint64_t every_;                    // steps between two checkpoints
  std::string text_;                       // the delivered characters
  std::vector<std::uint64_t> cr_before_;   // for each CR: the delivered index it precedes
  std::vector<std::uint64_t> line_starts_;  // delivered index of each line's first character
  TimeSource times_;
  std::vector<std::optional<std::int64_t>> times_of_;  // by vertex, once asked

  // The trace and todo.bat of the walk, counted and captured where asked;
  // the reading steps' trace, which comes from the step table instead.
  std::unique_ptr<Sink> trace_sink_, todo_sink_, read_sink_;
  std::unique_ptr<Output> trace_, todo_, read_out_;
  std::unique_ptr<Parser> full_;    // has read everything; A1 walks its graph
  std::unique_ptr<Parser> reader_;  // for the reading steps, read up to the current one
  std::uint64_t reader_read_ = 0;   // characters reader_ has read
  std::int32_t reader_from_ = 0;    // its state before the last of them

  std::uint64_t total_ = 0;
  std::uint64_t at_ = 0;
  std::string refusal_;  // the error line the driver would print; empty: none

  // The step just taken.
  std::int32_t from_ = 0;
  std::vector<Evaluation> evaluated_;
  int action_ = 0;
  std::string printed_;
  std::uint64_t lines_ = 0;  // trace lines printed up to it

  // The walk's bookkeeping beside A1's own state.
  std::uint64_t walked_ = 0;      // A1 steps taken
  std::uint64_t todo_lines_ = 0;  // lines of todo.bat written so far
  std::vector<Mark> marks_;       // one per entry of stack 2
  std::size_t low1_ = 0, low2_ = 0;  // least sizes of the stacks since the last checkpoint

  std::vector<ReadMark> read_marks_;  // after every every_ characters, from none
  std::uint64_t read_lines_ = 0;  // lines of A0's whole trace, closing line included
  std::uint64_t all_lines_ = 0;   // lines of the whole run's trace; 0: not known yet
  std::vector<Checkpoint> checkpoints_;  // every every_ steps of A1, from its start
};

}  // namespace planner
