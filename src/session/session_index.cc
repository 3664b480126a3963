// The session's index of events: a summary of every interval of steps
// between two checkpoints of the walk (and between two marks of the reader),
// made as the checkpoints are, so that "run until" skips whole intervals and
// replays only the one that holds the event. It costs a few bytes per
// interval and a filter of up to four words, never anything per step.
#include <algorithm>
#include <array>
#include <initializer_list>

#include "session/session.h"

namespace planner {

namespace {

using Action = DependencyGraph::Action;

constexpr std::uint8_t bit(int n) { return static_cast<std::uint8_t>(1u << n); }

}  // namespace

void Session::Summary::add(const Summary& other) {
  states |= other.states;
  held |= other.held;
  failed |= other.failed;
  commands += other.commands;
  marks += other.marks;
}

bool Session::Summary::has(const Event& event) const {
  switch (event.kind) {
    case Event::Kind::kState: return event.number < 8 && (states & bit(static_cast<int>(event.number))) != 0;
    case Event::Kind::kCondition:
      return event.number < 8 && ((event.value ? held : failed) & bit(static_cast<int>(event.number))) != 0;
    case Event::Kind::kCommand: return commands > 0;
    case Event::Kind::kMark: return marks > 0;
    case Event::Kind::kActive: return false;
  }
  return false;
}

const Session::Summary& Session::read_step(std::int32_t state, char c) {
  static const auto table = [] {
    std::array<std::array<Summary, 256>, Parser::kStates> steps{};
    for (std::size_t s = 0; s < Parser::kStates; ++s) {
      for (std::size_t b = 0; b < 256; ++b) {
        const auto view = Parser::step_view(static_cast<std::int32_t>(s), static_cast<char>(b));
        Summary& step = steps[s][b];
        step.states = bit(view.next);
        for (const Parser::Evaluation& e : view.evaluated) (e.value ? step.held : step.failed) |= bit(e.condition);
      }
    }
    return steps;
  }();
  return table[static_cast<std::size_t>(state)][static_cast<unsigned char>(c)];
}

// What the walk step just taken did, kept for a search and added to the
// summary of its interval when that is being walked for the first time. Its
// conditions follow from how it went, as a session's times never change and
// repeated evaluations agree: A1's messages by situation, read backwards.
void Session::summarise_step(std::int32_t from, bool top2_marked, std::size_t size1_before,
                             std::uint64_t commands, bool marked) {
  const DependencyGraph& a1 = full_->a1;
  const std::int32_t to = a1.state;
  const Action action = a1.action();
  Summary step;
  step.states = bit(to);
  step.commands = commands;
  step.marks = marked ? 1 : 0;
  const auto held = [&step](std::initializer_list<int> conditions) {
    for (const int n : conditions) step.held |= bit(n);
  };
  const auto failed = [&step](std::initializer_list<int> conditions) {
    for (const int n : conditions) step.failed |= bit(n);
  };
  switch (from) {
    case DependencyGraph::START: held({0}); break;
    case DependencyGraph::MAIN:
      if (to == DependencyGraph::NOT_LEAF) {
        held({1});
        failed({3, 6});
      }
      if (to == DependencyGraph::LEAF) failed({1, 3, 6});
      if (to == DependencyGraph::TOPS) held({1, 3});
      if (to == DependencyGraph::STOP) {
        failed({3});
        held({6});
      }
      break;
    case DependencyGraph::LEAF:
      if (action == Action::kZ7) held({5});
      else failed({5});
      break;
    case DependencyGraph::NOT_LEAF:
      if (action == Action::kZ3) held({2});
      else failed({2});
      break;
    case DependencyGraph::TOPS:
      if (top2_marked) {
        held({4});
        break;
      }
      failed({4});
      if (action == Action::kZ5) held({7});
      else failed({7});
      break;
    default: break;
  }
  const std::size_t size1 = a1.stack1.entries().size();
  last_ = step;
  last_active_ = size1 != size1_before && size1 > 0 ? a1.stack1.top().index : kNoVertex;

  // Steps of an interval already summarised, walked again, add nothing; the
  // first walk through the open one adds every step, from its checkpoint on.
  const std::uint64_t interval = (walked_ - 1) / every_;
  if (interval != summaries_.size()) return;
  open_.add(step);
  if (last_active_ != kNoVertex) {
    const std::uint64_t b = last_active_ % (64 * filter_words_);
    open_filter_[b / 64] |= std::uint64_t{1} << (b % 64);
  }
  if (walked_ % every_ != 0 && walked_ != total_ - planning_start()) return;
  summaries_.push_back(open_);
  active_filters_.insert(active_filters_.end(), open_filter_.begin(), open_filter_.end());
  open_ = {};
  open_filter_.assign(filter_words_, 0);
}

bool Session::step_has(const Event& event) const {
  return event.kind == Event::Kind::kActive ? last_active_ == event.number : last_.has(event);
}

bool Session::interval_may_have(std::size_t interval, const Event& event) const {
  if (event.kind != Event::Kind::kActive) return summaries_[interval].has(event);
  const std::uint64_t b = event.number % (64 * filter_words_);
  return (active_filters_[interval * filter_words_ + b / 64] >> (b % 64) & 1) != 0;
}

std::optional<std::uint64_t> Session::find(const Event& event, bool forward) {
  const bool reader = event.automaton == 0 &&
                      (event.kind == Event::Kind::kState || event.kind == Event::Kind::kCondition);
  if (reader) return find_reading(event, forward);
  if (!refusal_.empty()) return std::nullopt;
  return find_walking(event, forward);
}

// Step s reads character s - 1; its state comes from the mark of its interval.
std::optional<std::uint64_t> Session::find_reading(const Event& event, bool forward) {
  const std::uint64_t chars = text_.size();
  // Steps before the current one read the characters before `end`.
  const std::uint64_t end = std::min(at_ > 0 ? at_ - 1 : 0, chars);
  const std::uint64_t first = forward ? std::min(at_, chars) : 0;
  const std::uint64_t last = forward ? chars : end;  // characters [first, last) are looked at
  std::optional<std::uint64_t> found;
  if (first >= last) return found;
  // Forward, interval by interval from the first; back, from the last.
  const std::uint64_t count = (last - 1) / every_ - first / every_ + 1;
  for (std::uint64_t n = 0; n < count; ++n) {
    const std::uint64_t k = forward ? first / every_ + n : (last - 1) / every_ - n;
    const std::uint64_t from = std::max(first, k * every_);
    const std::uint64_t to = std::min(last, (k + 1) * every_);
    if (!read_summaries_[k].has(event)) continue;  // nothing in the whole interval
    std::int32_t state = read_state(from).state;
    for (std::uint64_t i = from; i < to; ++i) {
      const Summary& step = read_step(state, text_[i]);
      if (step.has(event)) {
        found = i + 1;
        if (forward) return found;
      }
      state = Parser::step_view(state, text_[i]).next;
    }
    if (found) return found;
  }
  return found;
}

// Walk step j (from 0) is the session's step planning_start() + j + 1.
std::optional<std::uint64_t> Session::find_walking(const Event& event, bool forward) {
  const std::uint64_t walk = total_ - planning_start();
  const std::uint64_t here = at_ > planning_start() ? at_ - planning_start() : 0;  // taken
  const std::uint64_t first = forward ? here : 0;
  const std::uint64_t last = forward ? walk : here > 0 ? here - 1 : 0;  // steps [first, last)
  std::optional<std::uint64_t> found;
  if (first >= last) return found;
  const std::uint64_t back = at_;
  const std::uint64_t count = (last - 1) / every_ - first / every_ + 1;
  for (std::uint64_t n = 0; n < count && !found; ++n) {
    const std::uint64_t k = forward ? first / every_ + n : (last - 1) / every_ - n;
    const std::uint64_t from = std::max(first, k * every_);
    const std::uint64_t to = std::min(last, (k + 1) * every_);
    if (k < summaries_.size() && !interval_may_have(static_cast<std::size_t>(k), event)) continue;
    walk_to(from);
    for (std::uint64_t j = from; j < to && !(found && forward); ++j) {
      walk_step(nullptr, 0);
      if (step_has(event)) found = planning_start() + j + 1;
    }
  }
  seek(back);
  return found;
}

std::vector<Tally> Session::tally(std::uint64_t width) {
  std::vector<Tally> buckets;
  if (!refusal_.empty()) return buckets;
  const std::uint64_t walk = total_ - planning_start();
  width = std::max({width, std::uint64_t{1}, walk / kMostBuckets + (walk % kMostBuckets != 0 ? 1 : 0)});
  buckets.resize(static_cast<std::size_t>(walk / width + (walk % width != 0 ? 1 : 0)));
  const std::uint64_t back = at_;
  for (std::uint64_t k = 0; k < intervals(); ++k) {
    const std::uint64_t from = k * every_;
    const std::uint64_t to = std::min(walk, from + every_);
    if (k < summaries_.size() && from / width == (to - 1) / width) {
      Tally& bucket = buckets[static_cast<std::size_t>(from / width)];
      bucket.commands += summaries_[k].commands;
      bucket.marks += summaries_[k].marks;
      continue;
    }
    walk_to(from);
    for (std::uint64_t j = from; j < to; ++j) {
      walk_step(nullptr, 0);
      Tally& bucket = buckets[static_cast<std::size_t>(j / width)];
      bucket.commands += last_.commands;
      bucket.marks += last_.marks;
    }
  }
  seek(back);
  return buckets;
}

}  // namespace planner
