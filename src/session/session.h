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
//
// The reading (reading.h) and the walk (walk.h) each replay their automaton;
// the session numbers their steps as one run and answers for both.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "driver/warnings.h"
#include "session/reading.h"
#include "session/summary.h"
#include "session/walk.h"

namespace planner {

// Where a step belongs.
enum class Phase : std::uint8_t {
  kStart,     // step 0: nothing has happened
  kReading,   // A0 read a character
  kReadEnd,   // A0 printed its closing line
  kRefused,   // the driver refused the graph: refusal() says why
  kPlanning,  // A1 took a step
};

class Session {
 public:
  // Steps between two checkpoints, of the reader and of the walk: a seek
  // replays fewer than this many, and a checkpoint costs a few words besides
  // the stack entries that changed since the one before.
  static constexpr std::uint64_t kEvery = std::uint64_t{1} << 14;
  // Warnings told in full, at the most; the rest are counted.
  static constexpr std::size_t kWarnings = 1000;

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
  // Every condition it evaluated, in order, as the automaton recorded it:
  // A0's that did not hold included, A1's that printed nothing not.
  std::span<const Evaluation> evaluated() const { return record_.evaluated(); }
  // n for zn; 0 for none.
  int action() const { return record_.action(); }
  // What it printed on standard output.
  const std::string& printed() const { return printed_; }
  // A1's top of stack `which` (1 or 2) before the step; kNoVertex when that
  // stack was empty, or outside the walk.
  VertexIndex top_before(int which) const;
  // The driver's error line for this run's graph, as it prints it on
  // standard error at step chars() + 2; empty for a graph the walk can take.
  const std::string& refusal() const { return refusal_; }

  // --- The reader. ---
  // Characters the text-mode read delivers, and how many A0 has read.
  std::uint64_t chars() const { return reading_.chars(); }
  std::uint64_t chars_read() const { return std::min(at_, chars()); }
  // The delivered character `index` and where it stands in the file.
  char char_at(std::uint64_t index) const { return reading_.text()[index]; }
  Position position(std::uint64_t index) const { return reading_.position(index); }
  // A byte for each of the file's first `bytes` (up to a 0x1A): 1 where A0
  // dropped the byte it read there, else 0.
  std::string dropped(std::uint64_t bytes) const { return reading_.dropped(bytes); }
  std::string_view goal_text() const { return reader().buffers.copy_goal(); }
  std::string_view item_text() const { return reader().buffers.copy_item(); }
  // The graph as read so far: the first graph().size() vertices of
  // whole_graph(), each with a prefix of its children and commands there.
  const Graph& graph() const { return reader().a1.view(); }
  // The graph as reading ends, which the walk takes; for a layout drawn once.
  const Graph& whole_graph() const { return walk_->a1().view(); }
  // A vertex's modification time as the walk reads it.
  std::int64_t time_of(VertexIndex vertex) { return walk_->time_of(vertex); }

  // The warnings the program prints for this makefile, given by the name
  // `makefile`: the reader's, and, once prepare() has covered the whole
  // walk, the walk's; at most `cap` (up to kWarnings), then the line that
  // says how many more were due ("N more not shown"; empty: none).
  struct Told {
    std::vector<Warning> warnings;
    std::string more;
  };
  Told warnings(const std::string& makefile, std::size_t cap) const;

  // --- The walk: stack 1 and stack 2, bottom first. ---
  std::size_t stack_size(int which) const;
  StackEntry stack_entry(int which, std::size_t index) const { return walk_->stack_entry(which, index); }

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

  // --- Searching. Parts of the walk not prepared yet are walked on the way. ---
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
  // Queries walk the replay away from the current step; this brings it back.
  class Back {
   public:
    explicit Back(Session& session) : session_(session), at_(session.at_) {}
    ~Back() { session_.seek(at_); }
    Back(const Back&) = delete;
    Back& operator=(const Back&) = delete;

   private:
    Session& session_;
    std::uint64_t at_;
  };

  const Parser& reader() const { return at_ <= chars() ? reading_.parser() : walk_->parser(); }
  std::uint64_t planning_start() const { return chars() + 1; }
  bool refused() const { return !refusal_.empty(); }
  void go_planning(std::uint64_t n);

  std::uint64_t every_;
  Reading reading_;
  std::unique_ptr<Walk> walk_;
  std::string refusal_;  // the error line the driver would print; empty: none
  std::uint64_t total_;
  std::uint64_t all_lines_;  // lines of the whole run's trace; 0: not known yet
  bool cut_short_;           // a 0x1A byte ended the input before the file's end
  std::uint64_t at_ = 0;

  // The step just taken.
  std::int32_t from_ = 0;
  StepRecord record_;
  std::string printed_;
  std::uint64_t lines_ = 0;  // trace lines printed up to it
};

}  // namespace planner
