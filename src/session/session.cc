#include "session/session.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "planner/a1_messages.h"
#include "platform/error_line.h"
#include "platform/text_input.h"
#include "reader/a0_messages.h"

namespace planner {

namespace {

// Counts eight bytes at a time, as every byte of a replayed walk's trace
// passes here: a byte of `x` is zero exactly when the sum below leaves its
// top bit clear, without a carry into the next byte.
std::uint64_t line_feeds(std::string_view bytes) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  constexpr std::uint64_t kFeeds = 0x0A0A0A0A0A0A0A0Aull;
  std::uint64_t n = 0;
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes.data() + i, 8);
    const std::uint64_t x = word ^ kFeeds;
    const std::uint64_t zeros = ~(((x & kLow7) + kLow7) | x | kLow7) >> 7;  // 1 per zero byte
    n += zeros * 0x0101010101010101ull >> 56;
  }
  for (; i < bytes.size(); ++i) n += bytes[i] == '\n' ? 1 : 0;
  return n;
}

// Trace lines of A0's step on each state and byte.
std::uint64_t read_step_lines(std::int32_t state, char c) {
  static const auto lines = [] {
    std::array<std::array<std::uint8_t, 256>, Parser::kStates> table{};
    for (std::size_t s = 0; s < Parser::kStates; ++s) {
      for (std::size_t b = 0; b < 256; ++b) {
        const auto view = Parser::step_view(static_cast<std::int32_t>(s), static_cast<char>(b));
        table[s][b] = static_cast<std::uint8_t>(line_feeds(view.bytes));
      }
    }
    return table;
  }();
  return lines[static_cast<std::size_t>(state)][static_cast<unsigned char>(c)];
}

// A1's conditions by the message each prints: the trace says which were
// evaluated, and how they came out.
struct Said {
  std::string_view message;
  Evaluation evaluation;
};
const std::array<Said, 15> kSaid{{
    {a1::kE1.view(), {0, true}},    {a1::kX1.view(), {1, true}},  {a1::kNotX1.view(), {1, false}},
    {a1::kX2.view(), {2, true}},    {a1::kNotX2.view(), {2, false}}, {a1::kX3.view(), {3, true}},
    {a1::kNotX3.view(), {3, false}}, {a1::kX4.view(), {4, true}},  {a1::kNotX4.view(), {4, false}},
    {a1::kX5.view(), {5, true}},    {a1::kNotX5.view(), {5, false}}, {a1::kX6.view(), {6, true}},
    {a1::kNotX6.view(), {6, false}}, {a1::kX7.view(), {7, true}},  {a1::kNotX7.view(), {7, false}},
}};

std::vector<Evaluation> said_by(std::string_view printed) {
  std::vector<Evaluation> evaluated;
  while (!printed.empty()) {
    const std::size_t end = printed.find('\n') + 1;
    const std::string_view line = printed.substr(0, end);
    for (const Said& said : kSaid) {
      if (line == said.message) evaluated.push_back(said.evaluation);
    }
    printed.remove_prefix(end);
  }
  return evaluated;
}

}  // namespace

// Counts the line feeds of what it is given, and keeps it when asked to.
class Session::Sink final : public planner::Sink {
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
struct Session::Checkpoint {
  struct Stack {
    std::size_t size = 0;      // entries
    std::size_t keep = 0;      // entries below this are the previous checkpoint's
    std::vector<Vertex> top;   // the entries from `keep` up
    std::vector<Mark> marks;   // for stack 2: the marks of `top`
  };
  std::uint64_t walked = 0;      // A1 steps taken
  std::int32_t state = DependencyGraph::START;
  std::uint64_t lines = 0;       // trace lines printed, the reader's included
  std::uint64_t todo_lines = 0;  // lines of todo.bat written
  std::array<Stack, 2> stacks;
};

Session::Session(std::string_view makefile, TimeSource times, std::uint64_t every)
    : every_(std::max<std::uint64_t>(every, 1)), times_(std::move(times)) {
  const std::string_view read = makefile.substr(0, makefile.find('\x1A'));
  for (std::size_t i = 0; i < read.size(); ++i) {
    if (read[i] == '\r') cr_before_.push_back(i - cr_before_.size());
  }
  text_ = read;
  bool ended = false;
  text_.resize(deliver_text(text_.data(), text_.size(), &ended).size());
  line_starts_.push_back(0);
  for (std::size_t i = 0; i < text_.size(); ++i) {
    if (text_[i] == '\n') line_starts_.push_back(i + 1);
  }

  trace_sink_ = std::make_unique<Sink>();
  todo_sink_ = std::make_unique<Sink>();
  read_sink_ = std::make_unique<Sink>();
  read_sink_->count = false;
  trace_ = std::make_unique<Output>(*trace_sink_);
  todo_ = std::make_unique<Output>(*todo_sink_);
  read_out_ = std::make_unique<Output>(*read_sink_);
  // A mark of the reader's state every every_ characters, from its table.
  ReadMark mark{Parser::LINE, 0};
  for (std::size_t i = 0; i < text_.size(); ++i) {
    if (i % every_ == 0) {
      read_marks_.push_back(mark);
      read_summaries_.emplace_back();
    }
    read_summaries_.back().add(read_step(mark.state, text_[i]));
    mark.lines += read_step_lines(mark.state, text_[i]);
    mark.state = Parser::step_view(mark.state, text_[i]).next;
  }
  if (text_.size() % every_ == 0) read_marks_.push_back(mark);
  read_lines_ = mark.lines + 1;  // and the closing line
  // The whole reading once, for the graph the walk takes.
  full_ = std::make_unique<Parser>(*trace_);
  trace_sink_->count = false;
  full_->run(text_);
  trace_->flush();
  trace_sink_->count = true;
  trace_sink_->lines = read_lines_;

  std::string err;
  if (!full_->a1.view().plannable(&err)) {
    refusal_ = error_line(err);
    total_ = text_.size() + 2;
    all_lines_ = read_lines_;
  } else {
    const std::uint64_t walk = full_->a1.view().step_count();
    const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    total_ = walk > most - planning_start() ? most : planning_start() + walk;
    DependencyGraph& a1 = full_->a1;
    a1.set_modification_time([this](VertexIndex vertex, const char* name) {
      if (times_of_.size() <= vertex) times_of_.resize(full_->a1.view().size());
      if (!times_of_[vertex]) times_of_[vertex] = times_(name);
      return *times_of_[vertex];
    });
    a1.out = todo_.get();
    a1.e1 = true;
    filter_words_ = std::clamp<std::size_t>((full_->a1.view().size() + 63) / 64, 1, 4);
    open_filter_.assign(filter_words_, 0);
    checkpoints_.push_back({0, a1.state, read_lines_, 0, {}});
  }
  reader_ = std::make_unique<Parser>(*read_out_);
}

Session::~Session() = default;

bool Session::step() {
  if (at_ >= total_) return false;
  seek(at_ + 1);
  return true;
}

void Session::seek(std::uint64_t n) {
  n = std::min(n, total_);
  evaluated_.clear();
  action_ = 0;
  printed_.clear();
  if (n <= text_.size()) {
    go_reading(n);
  } else if (n == planning_start()) {
    from_ = full_->state;
    printed_ = a0::kClosing.view();
    lines_ = read_lines_;
  } else if (!refusal_.empty()) {
    from_ = full_->state;
    lines_ = read_lines_;
  } else {
    go_planning(n);
  }
  at_ = n;
}

bool Session::prepare(std::uint64_t steps) {
  if (all_lines_ != 0) return true;
  const std::uint64_t walk = total_ - planning_start();
  const std::uint64_t last = checkpoints_.back().walked;
  const std::uint64_t until = steps >= walk - last ? walk : last + steps;
  const std::uint64_t back = at_;
  walk_to(until);
  if (until == walk) all_lines_ = trace_sink_->lines;
  seek(back);
  return all_lines_ != 0;
}

// Brings reader_ to n characters read; the step's view comes from the step
// table, as the step itself did.
void Session::go_reading(std::uint64_t n) {
  // The last character is fed alone, so that the state before it is known.
  if (reader_read_ > n) {
    reader_ = std::make_unique<Parser>(*read_out_);
    reader_read_ = 0;
  }
  if (n > reader_read_) {
    reader_->feed(std::string_view(text_).substr(reader_read_, n - 1 - reader_read_));
    reader_from_ = reader_->state;
    reader_->feed(std::string_view(text_).substr(n - 1, 1));
    reader_read_ = n;
  }
  read_out_->flush();
  from_ = n == 0 ? Parser::LINE : reader_from_;
  lines_ = read_state(n).lines;
  if (n == 0) return;
  const Parser::StepView view = Parser::step_view(from_, text_[n - 1]);
  printed_ = view.bytes;
  action_ = static_cast<int>(view.action);
  for (const Parser::Evaluation& e : view.evaluated) evaluated_.push_back({e.condition, e.value});
}

Session::ReadMark Session::read_state(std::uint64_t read) const {
  ReadMark mark = read_marks_[read / every_];
  for (std::uint64_t i = read / every_ * every_; i < read; ++i) {
    mark.lines += read_step_lines(mark.state, text_[i]);
    mark.state = Parser::step_view(mark.state, text_[i]).next;
  }
  return mark;
}

void Session::go_planning(std::uint64_t n) {
  walk_to(n - planning_start() - 1);
  DependencyGraph& a1 = full_->a1;
  from_ = a1.state;
  trace_sink_->capture = true;
  walk_step(nullptr, 0);
  trace_->flush();
  trace_sink_->capture = false;
  printed_.swap(trace_sink_->captured);
  trace_sink_->captured.clear();
  lines_ = trace_sink_->lines;
  action_ = static_cast<int>(a1.action());
  evaluated_ = said_by(printed_);
}

// Brings the walk to `walked` steps taken, from the nearest checkpoint before
// it unless it is already on the way there.
void Session::walk_to(std::uint64_t walked) {
  const Checkpoint& nearest = checkpoints_[static_cast<std::size_t>(
      std::min<std::uint64_t>(walked / every_, checkpoints_.size() - 1))];
  if (walked_ < nearest.walked || walked_ > walked) restore(nearest);
  trace_sink_->capture = false;
  while (walked_ < walked) walk_step(nullptr, 0);
  trace_->flush();
}

void Session::restore(const Checkpoint& checkpoint) {
  trace_->flush();
  todo_->flush();
  DependencyGraph& a1 = full_->a1;
  a1.state = checkpoint.state;
  const auto at = static_cast<std::size_t>(&checkpoint - checkpoints_.data());
  for (int which = 0; which < 2; ++which) {
    VertexStack& stack = which == 0 ? a1.stack1 : a1.stack2;
    while (!stack.empty()) stack.pop();
    // Each entry from the latest checkpoint that holds it.
    std::vector<Vertex> entries(checkpoint.stacks[which].size);
    std::vector<Mark> marks(which == 1 ? entries.size() : 0);
    for (std::size_t c = at, need = entries.size(); need > 0; --c) {
      const Checkpoint::Stack& kept = checkpoints_[c].stacks[which];
      for (std::size_t i = kept.keep; i < need; ++i) {
        entries[i] = kept.top[i - kept.keep];
        if (which == 1) marks[i] = kept.marks[i - kept.keep];
      }
      need = std::min(need, kept.keep);
    }
    for (const Vertex& entry : entries) {
      stack.push(entry.index);
      stack.top() = entry;
    }
    if (which == 1) marks_ = std::move(marks);
  }
  walked_ = checkpoint.walked;
  todo_lines_ = checkpoint.todo_lines;
  trace_sink_->lines = checkpoint.lines;
  low1_ = checkpoint.stacks[0].size;
  low2_ = checkpoint.stacks[1].size;
}

// One step of A1, and the session's bookkeeping beside it: the marks of
// stack 2's entries, the lines of todo.bat (kept in `written` from line
// `first_written` on, when given), and a checkpoint where one is due.
void Session::walk_step(std::vector<TodoLine>* written, std::uint64_t first_written) {
  DependencyGraph& a1 = full_->a1;
  const std::uint64_t step = planning_start() + walked_ + 1;
  // z5 writes top 2's commands; why it rebuilds is known before the step.
  const bool tops = a1.state == DependencyGraph::TOPS && !a1.stack2.empty();
  const Vertex top2 = tops ? a1.stack2.top() : Vertex{};
  const Mark top_mark = tops ? marks_.back() : Mark{};
  // z7 marks for the leaf on top 1, z5 for the child it pops from top 2.
  const VertexIndex cause = tops                 ? top2.index
                            : a1.stack1.empty() ? 0
                                                : a1.stack1.top().index;
  const std::int32_t from = a1.state;
  const std::size_t size1_before = a1.stack1.entries().size();
  a1.step();
  ++walked_;
  const std::size_t size1 = a1.stack1.entries().size();
  const std::size_t size2 = a1.stack2.entries().size();
  marks_.resize(size2);  // a pushed entry starts unmarked
  const DependencyGraph::Action action = a1.action();
  if ((action == DependencyGraph::Action::kZ5 || action == DependencyGraph::Action::kZ7) &&
      size2 > 0) {
    Mark& mark = marks_.back();
    if (mark.count++ == 0) {
      mark.first = step;
      mark.by = cause;
    }
  }
  low1_ = std::min(low1_, size1);
  low2_ = std::min(low2_, size2);
  if (action == DependencyGraph::Action::kZ5) {
    const auto commands = a1.view()[top2.index].commands;
    for (std::size_t i = 0; written != nullptr && i < commands.size(); ++i) {
      if (todo_lines_ + i < first_written) continue;
      written->push_back({std::string(commands[i]), step, top2.index, !top2.marked,
                          top2.marked ? top_mark.first : 0, top2.marked ? top_mark.count : 0,
                          top2.marked ? top_mark.by : 0});
    }
    todo_lines_ += commands.size();
  }
  summarise_step(from, top2.marked, size1_before,
                 action == DependencyGraph::Action::kZ5 ? a1.view()[top2.index].commands.size() : 0,
                 (action == DependencyGraph::Action::kZ5 || action == DependencyGraph::Action::kZ7) &&
                     size2 > 0);
  if (walked_ % every_ != 0) return;
  if (walked_ / every_ == checkpoints_.size()) {
    keep_checkpoint();
  } else {
    low1_ = size1;
    low2_ = size2;
  }
}

void Session::keep_checkpoint() {
  trace_->flush();
  const DependencyGraph& a1 = full_->a1;
  Checkpoint checkpoint{walked_, a1.state, trace_sink_->lines, todo_lines_, {}};
  // Stack 2's top can change in place (z3, z5, z7), so the entry at its
  // lowest level is kept too.
  const std::array<std::size_t, 2> keep{low1_, low2_ > 0 ? low2_ - 1 : 0};
  for (int which = 0; which < 2; ++which) {
    const auto entries = (which == 0 ? a1.stack1 : a1.stack2).entries();
    Checkpoint::Stack& kept = checkpoint.stacks[which];
    kept.size = entries.size();
    kept.keep = keep[which];
    kept.top.assign(entries.begin() + static_cast<std::ptrdiff_t>(kept.keep), entries.end());
    if (which == 1) {
      kept.marks.assign(marks_.begin() + static_cast<std::ptrdiff_t>(kept.keep), marks_.end());
    }
  }
  checkpoints_.push_back(std::move(checkpoint));
  low1_ = a1.stack1.entries().size();
  low2_ = a1.stack2.entries().size();
}

Phase Session::phase() const {
  if (at_ == 0) return Phase::kStart;
  if (at_ <= text_.size()) return Phase::kReading;
  if (at_ == planning_start()) return Phase::kReadEnd;
  return refusal_.empty() ? Phase::kPlanning : Phase::kRefused;
}

std::int32_t Session::state() const {
  return phase() == Phase::kPlanning ? full_->a1.state : reader().state;
}

Position Session::position(std::uint64_t index) const {
  const auto crs = std::upper_bound(cr_before_.begin(), cr_before_.end(), index) - cr_before_.begin();
  const auto line =
      std::upper_bound(line_starts_.begin(), line_starts_.end(), index) - line_starts_.begin();
  return {index + static_cast<std::uint64_t>(crs), static_cast<std::uint64_t>(line),
          index - line_starts_[static_cast<std::size_t>(line) - 1] + 1};
}

std::size_t Session::stack_size(int which) const {
  if (phase() != Phase::kPlanning) return 0;
  return (which == 1 ? full_->a1.stack1 : full_->a1.stack2).entries().size();
}

StackEntry Session::stack_entry(int which, std::size_t index) const {
  const Vertex& entry = (which == 1 ? full_->a1.stack1 : full_->a1.stack2).entries()[index];
  const Mark mark = which == 2 ? marks_[index] : Mark{};
  return {entry.index, entry.next_child, entry.marked, mark.first, mark.count, mark.by};
}

std::uint64_t Session::todo_lines() const {
  return phase() == Phase::kPlanning ? todo_lines_ : 0;
}

std::uint64_t Session::lines_before(std::uint64_t step) {
  if (step <= 1) return 0;
  if (step - 1 <= text_.size()) return read_state(step - 1).lines;
  if (step - 1 == planning_start() || !refusal_.empty()) return read_lines_;
  const std::uint64_t back = at_;
  walk_to(std::min(step - 1, total_) - planning_start());
  const std::uint64_t lines = trace_sink_->lines;
  seek(back);
  return lines;
}

std::uint64_t Session::step_of_line(std::uint64_t line) {
  if (line + 1 == read_lines_) return planning_start();
  if (line < read_lines_) {
    // The last mark at or before the line, then step by step from it.
    const auto after = std::upper_bound(
        read_marks_.begin(), read_marks_.end(), line,
        [](std::uint64_t l, const ReadMark& mark) { return l < mark.lines; });
    const auto index = static_cast<std::uint64_t>(after - read_marks_.begin()) - 1;
    ReadMark mark = read_marks_[index];
    for (std::uint64_t i = index * every_;; ++i) {
      mark.lines += read_step_lines(mark.state, text_[i]);
      if (mark.lines > line) return i + 1;
      mark.state = Parser::step_view(mark.state, text_[i]).next;
    }
  }
  if (!refusal_.empty()) return total_;
  const std::uint64_t back = at_;
  const auto after = std::upper_bound(
      checkpoints_.begin(), checkpoints_.end(), line,
      [](std::uint64_t l, const Checkpoint& c) { return l < c.lines; });
  walk_to((after - 1)->walked);
  std::uint64_t step = total_;
  const std::uint64_t last = total_ - planning_start();
  while (walked_ < last) {
    walk_step(nullptr, 0);
    trace_->flush();
    if (trace_sink_->lines > line) {
      step = planning_start() + walked_;
      break;
    }
  }
  seek(back);
  return step;
}

std::string Session::trace(std::uint64_t first, std::uint64_t last) {
  std::string bytes;
  last = std::min(last, total_);
  std::uint64_t s = std::max<std::uint64_t>(first, 1);
  if (s <= text_.size()) {
    std::int32_t state = read_state(s - 1).state;
    for (; s <= std::min<std::uint64_t>(last, text_.size()); ++s) {
      const Parser::StepView view = Parser::step_view(state, text_[s - 1]);
      bytes += view.bytes;
      state = view.next;
    }
  }
  if (s <= last && s == planning_start()) {
    bytes += a0::kClosing.view();
    ++s;
  }
  if (s > last || !refusal_.empty()) return bytes;
  const std::uint64_t back = at_;
  walk_to(s - planning_start() - 1);
  trace_sink_->capture = true;
  for (; s <= last; ++s) walk_step(nullptr, 0);
  trace_->flush();
  trace_sink_->capture = false;
  bytes += trace_sink_->captured;
  trace_sink_->captured.clear();
  seek(back);
  return bytes;
}

std::string Session::lines(std::uint64_t first, std::uint64_t count) {
  std::string bytes;
  const std::uint64_t end = first + std::min(count, std::numeric_limits<std::uint64_t>::max() - first);
  std::uint64_t line = 0;  // the line the next byte printed belongs to
  const auto keep = [&](std::string_view printed) {
    for (const char c : printed) {
      if (line >= first && line < end) bytes += c;
      if (c == '\n') ++line;
    }
  };
  if (first < read_lines_) {
    // From the last mark of the reader at or before the line.
    const auto after = std::upper_bound(
        read_marks_.begin(), read_marks_.end(), first,
        [](std::uint64_t l, const ReadMark& mark) { return l < mark.lines; });
    const auto index = static_cast<std::uint64_t>(after - read_marks_.begin()) - 1;
    std::int32_t state = read_marks_[index].state;
    line = read_marks_[index].lines;
    for (std::uint64_t i = index * every_; i < text_.size() && line < end; ++i) {
      const Parser::StepView view = Parser::step_view(state, text_[i]);
      keep(view.bytes);
      state = view.next;
    }
    keep(a0::kClosing.view());
  }
  if (line >= end || !refusal_.empty() || end <= read_lines_) return bytes;
  const std::uint64_t back = at_;
  const auto after = std::upper_bound(
      checkpoints_.begin(), checkpoints_.end(), std::max(first, read_lines_),
      [](std::uint64_t l, const Checkpoint& c) { return l < c.lines; });
  walk_to((after - 1)->walked);
  line = trace_sink_->lines;
  trace_sink_->capture = true;
  const std::uint64_t last = total_ - planning_start();
  while (walked_ < last && line < end) {
    walk_step(nullptr, 0);
    trace_->flush();
    keep(trace_sink_->captured);
    trace_sink_->captured.clear();
  }
  trace_sink_->capture = false;
  seek(back);
  return bytes;
}

std::vector<TodoLine> Session::todo(std::uint64_t first, std::uint64_t count) {
  std::vector<TodoLine> lines;
  if (first >= todo_lines() || count == 0) return lines;
  const std::uint64_t back = at_;
  const std::uint64_t until = back - planning_start();
  const auto after = std::upper_bound(
      checkpoints_.begin(), checkpoints_.end(), first,
      [](std::uint64_t l, const Checkpoint& c) { return l < c.todo_lines; });
  walk_to((after - 1)->walked);
  while (walked_ < until && lines.size() < count) walk_step(&lines, first);
  if (lines.size() > count) lines.resize(count);
  seek(back);
  return lines;
}

}  // namespace planner
