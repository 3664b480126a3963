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

// Something a step can do, for a viewer's "run until".
struct Event {
  enum class Kind : std::uint8_t {
    kState,      // the automaton's step ends in state `number`: its state line names it
    kCondition,  // the automaton evaluates condition `number` (xn; 0 for A1's e1) to `value`
    kCommand,    // A1 writes a line to todo.bat (z5 of a vertex with commands)
    kMark,       // A1 marks a copy on stack 2 (z7, or z5 with a parent left on stack 2)
    kActive,     // A1 pushes or pops stack 1 and leaves vertex `number` on top
  };
  Kind kind;
  int automaton;          // 0 for A0, 1 for A1; only kState and kCondition are A0's too
  std::uint32_t number;   // the state, condition or vertex; unused by kCommand and kMark
  bool value;             // kCondition's outcome; unused by the others
};

// What a range of A1's steps did, for a timeline.
struct Tally {
  std::uint64_t commands = 0;  // lines of todo.bat written
  std::uint64_t marks = 0;     // steps that set a mark
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

  // --- Searching (session_index.cc). Each interval between two checkpoints
  // of the walk, and between two marks of the reader, keeps a summary of what
  // its steps did, made as the checkpoints are; a search skips the intervals
  // whose summary rules the event out and replays only the others. Parts of
  // the walk not prepared yet are walked on the way. ---
  // The nearest step after the current one (`forward`) or before it where
  // `event` happens; none when there is none. Leaves the view as it was.
  std::optional<std::uint64_t> find(const Event& event, bool forward);
  // A1's steps in buckets of `width` from its first step (bucket b holds steps
  // planning start + b * width + 1 onwards), at most kMostBuckets of them: a
  // wider width is taken when needed. Empty for a refused run. An interval
  // that one bucket holds whole is taken from its summary; the others are
  // replayed, so a width that is a multiple of `every` costs no walking once
  // the run is prepared. Leaves the view as it was.
  static constexpr std::uint64_t kMostBuckets = std::uint64_t{1} << 16;
  std::vector<Tally> tally(std::uint64_t width);
  // Steps between two checkpoints, as constructed.
  std::uint64_t every() const { return every_; }

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
  // What one step did, or the steps of an interval did together.
  struct Summary {
    std::uint8_t states = 0;     // bit s: a step ended in state s
    std::uint8_t held = 0;       // bit n: condition xn (0: e1) came out true
    std::uint8_t failed = 0;     // bit n: it came out false
    std::uint64_t commands = 0;  // lines of todo.bat written
    std::uint64_t marks = 0;     // steps that set a mark
    void add(const Summary& other);
    bool has(const Event& event) const;  // the event, but for kActive
  };
  static constexpr VertexIndex kNoVertex = ~VertexIndex{0};

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
  // A0's step on a state and a character, as a summary.
  static const Summary& read_step(std::int32_t state, char c);
  void summarise_step(std::int32_t from, bool top2_marked, std::size_t size1_before,
                      std::uint64_t commands, bool marked);
  bool step_has(const Event& event) const;
  bool interval_may_have(std::size_t interval, const Event& event) const;
  std::optional<std::uint64_t> find_reading(const Event& event, bool forward);
  std::optional<std::uint64_t> find_walking(const Event& event, bool forward);
  std::uint64_t intervals() const { return (total_ - planning_start() + every_ - 1) / every_; }

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

  // The index of events (session_index.cc).
  std::vector<Summary> read_summaries_;  // A0: one per every_ characters
  std::vector<Summary> summaries_;       // A1: one per interval walked whole, from the first
  // Of each interval summarised, a filter of the vertices a step left active:
  // filter_words_ words, bit v % (64 * filter_words_) for vertex v, so exact
  // for graphs of up to 64 * filter_words_ vertices.
  std::vector<std::uint64_t> active_filters_;
  std::size_t filter_words_ = 1;      // 1 to 4, by the graph's size
  Summary open_;                      // of the interval being walked for the first time
  std::vector<std::uint64_t> open_filter_;
  Summary last_;                      // what the last walk step did
  VertexIndex last_active_ = kNoVertex;  // the vertex it left active; kNoVertex: none
};

}  // namespace planner
