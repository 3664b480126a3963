#include "session/session.h"

#include <algorithm>
#include <limits>

#include "platform/error_line.h"
#include "reader/a0_messages.h"

namespace planner {

// A refused run ends with the refusal's step; a walk past 64 bits of steps
// counts the largest number.
Session::Session(std::string_view makefile, TimeSource times, std::uint64_t every)
    : every_(std::max<std::uint64_t>(every, 1)),
      reading_(makefile, every_),
      walk_(std::make_unique<Walk>(reading_.text(), chars() + 1, reading_.lines(), std::move(times),
                                   every_, kWarnings)),
      refusal_(walk_->refusal().empty() ? "" : error_line(walk_->refusal())),
      total_(refused() ? chars() + 2
                       : std::min(walk_->steps(), std::numeric_limits<std::uint64_t>::max() - chars() - 1) +
                             chars() + 1),
      all_lines_(refused() ? reading_.lines() : 0),
      cut_short_(makefile.find('\x1A') < makefile.size() - 1) {}  // more of the file after a 0x1A

Session::Told Session::warnings(const std::string& makefile, std::size_t cap) const {
  Warnings warnings(makefile, std::min(cap, kWarnings));
  Told told{warnings.reading(walk_->parser().notices(), cut_short_), {}};
  if (!refused() && walk_->covered() == walk_->steps()) {
    for (Warning& w : warnings.walk(whole_graph(), walk_->missing())) told.warnings.push_back(std::move(w));
  }
  told.more = warnings.more_text();
  return told;
}

Session::~Session() = default;

bool Session::step() {
  if (at_ >= total_) return false;
  seek(at_ + 1);
  return true;
}

void Session::seek(std::uint64_t n) {
  n = std::min(n, total_);
  record_.clear();
  printed_.clear();
  if (n <= chars()) {
    // The reading step's view comes from the step table, as the step did.
    from_ = reading_.go(n);
    lines_ = reading_.after(n).lines;
    if (n > 0) {
      const Parser::StepView view = Parser::step_view(from_, char_at(n - 1));
      printed_ = view.bytes;
      for (const Evaluation& e : view.evaluated) record_.add(e.condition, e.value);
      record_.took(static_cast<std::uint8_t>(view.action));
    }
  } else if (n == planning_start() || refused()) {
    from_ = walk_->parser().state;
    if (n == planning_start()) printed_ = a0::kClosing.view();
    lines_ = reading_.lines();
  } else {
    go_planning(n);
  }
  at_ = n;
}

void Session::go_planning(std::uint64_t n) {
  walk_->go(n - planning_start() - 1);
  from_ = walk_->a1().state;
  walk_->capture(true);
  walk_->step();
  printed_ = walk_->take();
  walk_->capture(false);
  lines_ = walk_->lines();
  record_ = walk_->a1().record();
}

bool Session::prepare(std::uint64_t steps) {
  if (all_lines_ != 0) return true;
  const std::uint64_t walk = walk_->steps();
  const std::uint64_t covered = walk_->covered();
  const std::uint64_t until = steps >= walk - covered ? walk : covered + steps;
  const Back back(*this);
  walk_->go(until);
  if (until == walk) all_lines_ = walk_->lines();
  return all_lines_ != 0;
}

Phase Session::phase() const {
  if (at_ == 0) return Phase::kStart;
  if (at_ <= chars()) return Phase::kReading;
  if (at_ == planning_start()) return Phase::kReadEnd;
  return refused() ? Phase::kRefused : Phase::kPlanning;
}

std::int32_t Session::state() const {
  return phase() == Phase::kPlanning ? walk_->a1().state : reader().state;
}

VertexIndex Session::top_before(int which) const {
  return phase() == Phase::kPlanning ? walk_->top_before(which) : kNoVertex;
}

std::size_t Session::stack_size(int which) const {
  return phase() == Phase::kPlanning ? walk_->stack_size(which) : 0;
}

std::uint64_t Session::todo_lines() const {
  return phase() == Phase::kPlanning ? walk_->todo_lines() : 0;
}

std::uint64_t Session::lines_before(std::uint64_t step) {
  if (step <= 1) return 0;
  if (step - 1 <= chars()) return reading_.after(step - 1).lines;
  if (step - 1 == planning_start() || refused()) return reading_.lines();
  const Back back(*this);
  walk_->go(std::min(step - 1, total_) - planning_start());
  return walk_->lines();
}

std::uint64_t Session::step_of_line(std::uint64_t line) {
  if (line < reading_.lines()) return reading_.step_of_line(line);
  if (refused()) return total_;
  const Back back(*this);
  walk_->go_before_line(line);
  while (walk_->walked() < walk_->steps()) {
    walk_->step();
    if (walk_->lines() > line) return planning_start() + walk_->walked();
  }
  return total_;
}

std::string Session::trace(std::uint64_t first, std::uint64_t last) {
  std::string bytes;
  last = std::min(last, total_);
  reading_.trace(first, std::min(last, planning_start()), &bytes);
  const std::uint64_t from = std::max(first, planning_start() + 1);
  if (from > last || refused()) return bytes;
  const Back back(*this);
  walk_->go(from - planning_start() - 1);
  walk_->capture(true);
  for (std::uint64_t s = from; s <= last; ++s) walk_->step();
  bytes += walk_->take();
  walk_->capture(false);
  return bytes;
}

std::string Session::lines(std::uint64_t first, std::uint64_t count) {
  const std::uint64_t end =
      first + std::min(count, std::numeric_limits<std::uint64_t>::max() - first);
  std::string bytes = reading_.lines(first, end);
  if (refused() || end <= reading_.lines()) return bytes;
  const Back back(*this);
  walk_->go_before_line(std::max(first, reading_.lines()));
  std::uint64_t line = walk_->lines();  // the line the next byte printed belongs to
  walk_->capture(true);
  while (walk_->walked() < walk_->steps() && line < end) {
    walk_->step();
    for (const char c : walk_->take()) {
      if (line >= first && line < end) bytes += c;
      if (c == '\n') ++line;
    }
  }
  walk_->capture(false);
  return bytes;
}

std::vector<TodoLine> Session::todo(std::uint64_t first, std::uint64_t count) {
  std::vector<TodoLine> lines;
  if (first >= todo_lines() || count == 0) return lines;
  const std::uint64_t until = at_ - planning_start();
  const Back back(*this);
  walk_->go_before_todo_line(first);
  while (walk_->walked() < until && lines.size() < count) walk_->step(&lines, first);
  if (lines.size() > count) lines.resize(count);
  return lines;
}

std::optional<std::uint64_t> Session::find(const Event& event, bool forward) {
  const bool reader = event.automaton == 0 &&
                      (event.kind == Event::Kind::kState || event.kind == Event::Kind::kCondition);
  if (reader) return reading_.find(event, at_, forward);
  if (refused()) return std::nullopt;
  const std::uint64_t here = at_ > planning_start() ? at_ - planning_start() : 0;  // taken
  const Back back(*this);
  const std::optional<std::uint64_t> step = walk_->find(event, here, forward);
  if (!step) return std::nullopt;
  return planning_start() + *step;
}

std::vector<Tally> Session::tally(std::uint64_t width) {
  if (refused()) return {};
  const std::uint64_t walk = walk_->steps();
  const std::uint64_t least = walk / kMostBuckets + (walk % kMostBuckets != 0 ? 1 : 0);
  const Back back(*this);
  return walk_->tally(std::max({width, std::uint64_t{1}, least}));
}

}  // namespace planner
