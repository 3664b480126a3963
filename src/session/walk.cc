#include "session/walk.h"

#include <algorithm>
#include <array>

#include "driver/warnings.h"
#include "session/reading.h"

namespace planner {

// Counts the line feeds of what it is given, and keeps it when asked to.
class Walk::Sink final : public planner::Sink {
 public:
  bool write(std::string_view bytes, std::string*) override {
    if (count) lines += line_feeds(bytes);
    if (capture) captured.append(bytes);
    return true;
  }
  std::uint64_t lines = 0;  // line feeds so far
  bool count = true;
  bool capture = false;
  std::string captured;
};

// The walk after a number of its steps. The stacks are kept as what changed
// since the previous checkpoint: the entries from the lowest level either
// stack fell to, so that a stack of many entries that stays is kept once.
struct Walk::Checkpoint {
  struct Stack {
    std::size_t size = 0;     // entries
    std::size_t keep = 0;     // entries below this are the previous checkpoint's
    std::vector<Vertex> top;  // the entries from `keep` up
    std::vector<Mark> marks;  // for stack 2: the marks of `top`
  };
  std::uint64_t walked = 0;      // A1 steps taken
  std::int32_t state = DependencyGraph::START;
  std::uint64_t lines = 0;       // trace lines printed, the reading's included
  std::uint64_t todo_lines = 0;  // lines of todo.bat written
  Stack stack1, stack2;
};

Walk::Walk(std::string_view text, std::uint64_t base, std::uint64_t read_lines, TimeSource times,
           std::uint64_t every, std::size_t notices)
    : every_(every), base_(base), times_(std::move(times)) {
  trace_sink_ = std::make_unique<Sink>();
  todo_sink_ = std::make_unique<Sink>();
  trace_ = std::make_unique<Output>(*trace_sink_);
  todo_ = std::make_unique<Output>(*todo_sink_);
  parser_ = std::make_unique<Parser>(*trace_, notices);
  // The reading's trace is counted already.
  trace_sink_->count = false;
  parser_->run(text);
  trace_->flush();
  trace_sink_->count = true;
  trace_sink_->lines = read_lines;
  DependencyGraph& a1 = parser_->a1;
  refusal_ = planner::refusal(a1.view(), parser_->notices());
  if (!refusal_.empty()) return;
  steps_ = a1.view().step_count();
  // The walk's own queries, as the driver's, tell which dependencies are
  // neither goals nor files; a viewer's do not.
  asked_.resize(a1.view().size());
  a1.set_modification_time([this](VertexIndex vertex, const char*) {
    const std::int64_t time = time_of(vertex);
    if (!asked_[vertex]) {
      asked_[vertex] = true;
      if (time == 0 && !parser_->a1.view().is_goal(vertex)) missing_.push_back(vertex);
    }
    return time;
  });
  a1.out = todo_.get();
  a1.e1 = true;
  checkpoints_.push_back({0, a1.state, read_lines, 0, {}, {}});
}

Walk::~Walk() = default;

std::int64_t Walk::time_of(VertexIndex vertex) {
  if (times_of_.size() <= vertex) times_of_.resize(a1().view().size());
  if (!times_of_[vertex]) times_of_[vertex] = times_(a1().view().name(vertex));
  return *times_of_[vertex];
}

void Walk::go(std::uint64_t walked) {
  const Checkpoint& nearest = checkpoints_[static_cast<std::size_t>(
      std::min<std::uint64_t>(walked / every_, checkpoints_.size() - 1))];
  if (walked_ < nearest.walked || walked_ > walked) restore(nearest);
  trace_sink_->capture = false;
  while (walked_ < walked) step();
}

void Walk::go_before_line(std::uint64_t lines) {
  const auto after = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), lines,
                                      [](std::uint64_t l, const Checkpoint& c) { return l < c.lines; });
  go((after - 1)->walked);
}

void Walk::go_before_todo_line(std::uint64_t lines) {
  const auto after = std::upper_bound(
      checkpoints_.begin(), checkpoints_.end(), lines,
      [](std::uint64_t l, const Checkpoint& c) { return l < c.todo_lines; });
  go((after - 1)->walked);
}

void Walk::capture(bool on) {
  trace_->flush();
  trace_sink_->capture = on;
}

std::string Walk::take() {
  trace_->flush();
  return std::exchange(trace_sink_->captured, {});
}

std::uint64_t Walk::lines() {
  trace_->flush();
  return trace_sink_->lines;
}

void Walk::restore(const Checkpoint& checkpoint) {
  trace_->flush();
  todo_->flush();
  DependencyGraph& a1 = parser_->a1;
  a1.state = checkpoint.state;
  const auto at = static_cast<std::size_t>(&checkpoint - checkpoints_.data());
  for (const int which : {1, 2}) {
    VertexStack& stack = which == 1 ? a1.stack1 : a1.stack2;
    const auto kept = [which](const Checkpoint& c) -> const Checkpoint::Stack& {
      return which == 1 ? c.stack1 : c.stack2;
    };
    // Each entry from the latest checkpoint that holds it.
    std::vector<Vertex> entries(kept(checkpoint).size);
    std::vector<Mark> marks(which == 2 ? entries.size() : 0);
    for (std::size_t c = at, need = entries.size(); need > 0; --c) {
      const Checkpoint::Stack& k = kept(checkpoints_[c]);
      for (std::size_t i = k.keep; i < need; ++i) {
        entries[i] = k.top[i - k.keep];
        if (which == 2) marks[i] = k.marks[i - k.keep];
      }
      need = std::min(need, k.keep);
    }
    stack = {};
    for (const Vertex& entry : entries) {
      stack.push(entry);
      stack.top() = entry;
    }
    if (which == 2) marks_ = std::move(marks);
  }
  walked_ = checkpoint.walked;
  todo_lines_ = checkpoint.todo_lines;
  trace_sink_->lines = checkpoint.lines;
  low1_ = checkpoint.stack1.size;
  low2_ = checkpoint.stack2.size;
}

// One step of A1, and the bookkeeping beside it. z7 marks top 2 for the leaf
// on top 1, z5 the new top 2 for the child it pops; z5 writes the commands of
// the copy on top 2, and why it rebuilds is known before the step.
void Walk::step(std::vector<TodoLine>* written, std::uint64_t first) {
  DependencyGraph& a1 = parser_->a1;
  const std::uint64_t step = base_ + walked_ + 1;
  before1_ = a1.stack1.empty() ? kNoVertex : a1.stack1.top().index;
  before2_ = a1.stack2.empty() ? kNoVertex : a1.stack2.top().index;
  const Vertex top2 = a1.stack2.empty() ? Vertex{} : a1.stack2.top();
  const Mark top2_mark = a1.stack2.empty() ? Mark{} : marks_.back();
  const VertexIndex cause = a1.state == DependencyGraph::TOPS ? before2_ : before1_;
  const std::size_t size1_before = a1.stack1.entries().size();
  const bool first_time = walked_ == reached_;
  a1.step();
  reached_ = std::max(reached_, ++walked_);
  const std::size_t size1 = a1.stack1.entries().size();
  const std::size_t size2 = a1.stack2.entries().size();
  marks_.resize(size2);  // a pushed entry starts unmarked
  const auto action = static_cast<DependencyGraph::Action>(a1.record().action());
  const bool rebuilt = action == DependencyGraph::Action::kZ5;
  const bool marked = (rebuilt || action == DependencyGraph::Action::kZ7) && size2 > 0;
  if (marked) {
    Mark& mark = marks_.back();
    if (mark.count++ == 0) {
      mark.first = step;
      mark.by = cause;
    }
  }
  low1_ = std::min(low1_, size1);
  low2_ = std::min(low2_, size2);
  const std::size_t commands = rebuilt ? a1.view()[top2.index].commands.size() : 0;
  for (std::size_t i = 0; written != nullptr && i < commands; ++i) {
    if (todo_lines_ + i < first) continue;
    written->push_back({std::string(a1.view()[top2.index].commands[i]), step, top2.index,
                        !top2.marked, top2.marked ? top2_mark.first : 0,
                        top2.marked ? top2_mark.count : 0, top2.marked ? top2_mark.by : 0});
  }
  todo_lines_ += commands;
  summarise(size1_before, commands, marked, first_time);
  if (walked_ % every_ != 0) return;
  if (walked_ / every_ == checkpoints_.size()) {
    keep_checkpoint();
  } else {
    low1_ = size1;
    low2_ = size2;
  }
}

void Walk::keep_checkpoint() {
  const DependencyGraph& a1 = parser_->a1;
  Checkpoint checkpoint{walked_, a1.state, lines(), todo_lines_, {}, {}};
  for (const int which : {1, 2}) {
    const auto entries = stack(which).entries();
    Checkpoint::Stack& kept = which == 1 ? checkpoint.stack1 : checkpoint.stack2;
    kept.size = entries.size();
    // Stack 2's top can change in place (z3, z5, z7), so the entry at its
    // lowest level is kept too.
    kept.keep = which == 1 ? low1_ : low2_ > 0 ? low2_ - 1 : 0;
    kept.top.assign(entries.begin() + static_cast<std::ptrdiff_t>(kept.keep), entries.end());
    if (which == 2) {
      kept.marks.assign(marks_.begin() + static_cast<std::ptrdiff_t>(kept.keep), marks_.end());
    }
  }
  checkpoints_.push_back(std::move(checkpoint));
  low1_ = a1.stack1.entries().size();
  low2_ = a1.stack2.entries().size();
}

StackEntry Walk::stack_entry(int which, std::size_t index) const {
  const Vertex& entry = stack(which).entries()[index];
  const Mark mark = which == 2 ? marks_[index] : Mark{};
  return {entry.index, entry.next_child, entry.marked, mark.first, mark.count, mark.by};
}

}  // namespace planner
