// The walk's index of events: a summary of every interval of steps between
// two checkpoints, made from each step's own record as the walk first goes
// through it, so that "run until" skips whole intervals and replays only the
// one that holds the event.
#include <algorithm>

#include "session/walk.h"

namespace planner {

void Walk::summarise(std::size_t size1_before, std::uint64_t commands, bool marked,
                     bool first_time) {
  const DependencyGraph& a1 = parser_->a1;
  last_ = Summary::of(a1.state, a1.record().evaluated());
  last_.commands = commands;
  last_.marks = marked ? 1 : 0;
  const std::size_t size1 = a1.stack1.entries().size();
  last_active_ = size1 != size1_before && size1 > 0 ? a1.stack1.top().index : kNoVertex;
  if (last_active_ != kNoVertex) last_.active.set(last_active_ % Summary::kActive);
  // A step walked again adds nothing: a seek back into the interval being
  // summarised walks some of its steps twice.
  if (!first_time) return;
  open_.add(last_);
  if (walked_ % every_ != 0 && walked_ != steps_) return;
  summaries_.push_back(open_);
  open_ = {};
}

std::optional<std::uint64_t> Walk::find(const Event& event, std::uint64_t here, bool forward) {
  // Steps [first, last) from 0 are looked at; step j is the walk's step j + 1.
  const std::uint64_t first = forward ? here : 0;
  const std::uint64_t last = forward ? steps_ : here > 0 ? here - 1 : 0;
  std::optional<std::uint64_t> found;
  if (first >= last) return found;
  const auto happens = [&] {
    return event.kind == Event::Kind::kActive ? last_active_ == event.number : last_.has(event);
  };
  const std::uint64_t count = (last - 1) / every_ - first / every_ + 1;
  for (std::uint64_t n = 0; n < count && !found; ++n) {
    const std::uint64_t k = forward ? first / every_ + n : (last - 1) / every_ - n;
    if (k < summaries_.size() && !summaries_[k].has(event)) continue;
    const std::uint64_t from = std::max(first, k * every_);
    const std::uint64_t to = std::min(last, (k + 1) * every_);
    go(from);
    for (std::uint64_t j = from; j < to && !(found && forward); ++j) {
      step();
      if (happens()) found = j + 1;
    }
  }
  return found;
}

std::vector<Tally> Walk::tally(std::uint64_t width) {
  std::vector<Tally> buckets(static_cast<std::size_t>(steps_ / width + (steps_ % width != 0 ? 1 : 0)));
  for (std::uint64_t from = 0; from < steps_; from += every_) {
    const std::uint64_t k = from / every_;
    const std::uint64_t to = std::min(steps_, from + every_);
    // An interval that one bucket holds whole is taken from its summary.
    if (k < summaries_.size() && from / width == (to - 1) / width) {
      Tally& bucket = buckets[static_cast<std::size_t>(from / width)];
      bucket.commands += summaries_[k].commands;
      bucket.marks += summaries_[k].marks;
      continue;
    }
    go(from);
    for (std::uint64_t j = from; j < to; ++j) {
      step();
      Tally& bucket = buckets[static_cast<std::size_t>(j / width)];
      bucket.commands += last_.commands;
      bucket.marks += last_.marks;
    }
  }
  return buckets;
}

}  // namespace planner
