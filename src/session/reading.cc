#include "session/reading.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/text_input.h"
#include "reader/a0_messages.h"

namespace planner {

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

namespace {

// What A0's step on every state and byte prints and does, from its table.
struct ReadSteps {
  ReadSteps() {
    for (std::size_t s = 0; s < Parser::kStates; ++s) {
      for (std::size_t b = 0; b < 256; ++b) {
        const Parser::StepView v = Parser::step_view(static_cast<std::int32_t>(s), static_cast<char>(b));
        lines[s][b] = static_cast<std::uint8_t>(line_feeds(v.bytes));
        summaries[s][b] = Summary::of(v.next, v.evaluated);
      }
    }
  }
  static const ReadSteps& get() {
    static const ReadSteps steps;
    return steps;
  }
  std::array<std::array<std::uint8_t, 256>, Parser::kStates> lines{};
  std::array<std::array<Summary, 256>, Parser::kStates> summaries{};
};

// Trace lines of A0's step on `state` and `c`, and what the step did.
std::uint64_t read_step_lines(std::int32_t state, char c) {
  return ReadSteps::get().lines[static_cast<std::size_t>(state)][static_cast<unsigned char>(c)];
}
const Summary& read_step(std::int32_t state, char c) {
  return ReadSteps::get().summaries[static_cast<std::size_t>(state)][static_cast<unsigned char>(c)];
}

}  // namespace

Reading::Reading(std::string_view makefile, std::uint64_t every) : every_(every) {
  const std::string_view read = makefile.substr(0, makefile.find('\x1A'));
  std::uint64_t delivered = 0;  // characters before this one that text mode delivers
  for (const char c : read) {
    if (c == '\r') {
      cr_before_.push_back(delivered);
    } else {
      ++delivered;
    }
  }
  text_ = read;
  bool ended = false;
  text_.resize(deliver_text(text_.data(), text_.size(), &ended).size());
  line_starts_.push_back(0);
  for (std::size_t i = 0; i < text_.size(); ++i) {
    if (text_[i] == '\n') line_starts_.push_back(i + 1);
  }
  Mark mark{Parser::LINE, 0};
  for (std::size_t i = 0; i < text_.size(); ++i) {
    if (i % every_ == 0) {
      marks_.push_back(mark);
      summaries_.emplace_back();
    }
    summaries_.back().add(read_step(mark.state, text_[i]));
    mark.lines += read_step_lines(mark.state, text_[i]);
    mark.state = Parser::step_view(mark.state, text_[i]).next;
  }
  if (text_.size() % every_ == 0) marks_.push_back(mark);
  lines_ = mark.lines + 1;  // and the closing line
  parser_ = std::make_unique<Parser>(out_);
}

Position Reading::position(std::uint64_t index) const {
  const auto crs = std::upper_bound(cr_before_.begin(), cr_before_.end(), index) - cr_before_.begin();
  const auto line =
      std::upper_bound(line_starts_.begin(), line_starts_.end(), index) - line_starts_.begin();
  return {index + static_cast<std::uint64_t>(crs), static_cast<std::uint64_t>(line),
          index - line_starts_[static_cast<std::size_t>(line) - 1] + 1};
}

std::string Reading::dropped(std::uint64_t bytes) const {
  std::string marks(std::min<std::uint64_t>(bytes, text_.size() + cr_before_.size()), '\0');
  std::int32_t state = Parser::LINE;
  std::size_t crs = 0;  // CRs before the character
  for (std::uint64_t i = 0; i < text_.size(); ++i) {
    while (crs < cr_before_.size() && cr_before_[crs] <= i) ++crs;
    if (i + crs >= marks.size()) break;
    const Parser::StepView view = Parser::step_view(state, text_[i]);
    const auto held = [](const Evaluation& e) { return e.value; };
    if (std::none_of(view.evaluated.begin(), view.evaluated.end(), held)) marks[i + crs] = 1;
    state = view.next;
  }
  return marks;
}

Reading::Mark Reading::after(std::uint64_t read) const {
  Mark mark = marks_[read / every_];
  for (std::uint64_t i = read / every_ * every_; i < read; ++i) {
    mark.lines += read_step_lines(mark.state, text_[i]);
    mark.state = Parser::step_view(mark.state, text_[i]).next;
  }
  return mark;
}

std::size_t Reading::mark_of_line(std::uint64_t line) const {
  const auto after = std::upper_bound(marks_.begin(), marks_.end(), line,
                                      [](std::uint64_t l, const Mark& m) { return l < m.lines; });
  return static_cast<std::size_t>(after - marks_.begin()) - 1;
}

std::uint64_t Reading::step_of_line(std::uint64_t line) const {
  if (line + 1 >= lines_) return text_.size() + 1;
  const std::size_t index = mark_of_line(line);
  Mark mark = marks_[index];
  for (std::uint64_t i = index * every_;; ++i) {
    mark.lines += read_step_lines(mark.state, text_[i]);
    if (mark.lines > line) return i + 1;
    mark.state = Parser::step_view(mark.state, text_[i]).next;
  }
}

void Reading::trace(std::uint64_t first, std::uint64_t last, std::string* bytes) const {
  std::uint64_t s = std::max<std::uint64_t>(first, 1);
  if (s <= text_.size()) {
    std::int32_t state = after(s - 1).state;
    for (; s <= std::min<std::uint64_t>(last, text_.size()); ++s) {
      const Parser::StepView view = Parser::step_view(state, text_[s - 1]);
      bytes->append(view.bytes);
      state = view.next;
    }
  }
  if (s <= last && s == text_.size() + 1) bytes->append(a0::kClosing.view());
}

std::string Reading::lines(std::uint64_t first, std::uint64_t end) const {
  std::string bytes;
  if (first >= lines_) return bytes;
  const std::size_t index = mark_of_line(first);
  std::uint64_t line = marks_[index].lines;  // the line the next byte printed belongs to
  const auto keep = [&](std::string_view printed) {
    for (const char c : printed) {
      if (line >= first && line < end) bytes += c;
      if (c == '\n') ++line;
    }
  };
  std::int32_t state = marks_[index].state;
  for (std::uint64_t i = index * every_; i < text_.size() && line < end; ++i) {
    const Parser::StepView view = Parser::step_view(state, text_[i]);
    keep(view.bytes);
    state = view.next;
  }
  keep(a0::kClosing.view());
  return bytes;
}

// Step s reads character s - 1; its state comes from the mark of its interval.
std::optional<std::uint64_t> Reading::find(const Event& event, std::uint64_t at, bool forward) const {
  const std::uint64_t chars = text_.size();
  // Steps before the current one read the characters before `end`.
  const std::uint64_t end = std::min(at > 0 ? at - 1 : 0, chars);
  const std::uint64_t first = forward ? std::min(at, chars) : 0;
  const std::uint64_t last = forward ? chars : end;  // characters [first, last) are looked at
  std::optional<std::uint64_t> found;
  if (first >= last) return found;
  // Forward, interval by interval from the first; back, from the last.
  const std::uint64_t count = (last - 1) / every_ - first / every_ + 1;
  for (std::uint64_t n = 0; n < count; ++n) {
    const std::uint64_t k = forward ? first / every_ + n : (last - 1) / every_ - n;
    if (!summaries_[k].has(event)) continue;  // nothing in the whole interval
    const std::uint64_t from = std::max(first, k * every_);
    const std::uint64_t to = std::min(last, (k + 1) * every_);
    std::int32_t state = after(from).state;
    for (std::uint64_t i = from; i < to; ++i) {
      if (read_step(state, text_[i]).has(event)) {
        found = i + 1;
        if (forward) return found;
      }
      state = Parser::step_view(state, text_[i]).next;
    }
    if (found) return found;
  }
  return found;
}

// The last character is fed alone, so that the state before it is known.
std::int32_t Reading::go(std::uint64_t read) {
  if (read_ > read) {
    parser_ = std::make_unique<Parser>(out_);
    read_ = 0;
  }
  if (read > read_) {
    parser_->feed(text_.substr(read_, read - 1 - read_));
    from_ = parser_->state;
    parser_->feed(text_.substr(read - 1, 1));
    read_ = read;
  }
  out_.flush();
  return read == 0 ? Parser::LINE : from_;
}

}  // namespace planner
