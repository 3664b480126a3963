#include "trace_checker.h"

#include <array>

#include "check.h"
#include "planner/a1_messages.h"
#include "reader/a0_messages.h"

namespace planner::fuzz {

namespace {

// A message without its CR LF, as a line of the trace.
std::string_view body(std::string_view message) {
  require(message.size() >= 2 && message.substr(message.size() - 2) == "\r\n",
          "message ends with CR LF");
  return message.substr(0, message.size() - 2);
}

struct Condition {
  std::string_view prefix;
  bool (*holds)(char);
};

const std::array<Condition, 5> kA0Conditions{{
    {a0::kX1.view(), [](char c) { return is_name_byte(c); }},
    {a0::kX2.view(), [](char c) { return c == ':'; }},
    {a0::kX3.view(), [](char c) { return c == ' '; }},
    {a0::kX4.view(), [](char c) { return c == '\n'; }},
    {a0::kX5.view(), [](char c) { return c == '\t'; }},
}};

const std::array<std::string_view, 7> kA0States{
    body(a0::kStateLine.view()),    body(a0::kStateGoal.view()),
    body(a0::kStateColon.view()),   body(a0::kStateDependency.view()),
    body(a0::kStateSpace.view()),   body(a0::kStateDetermine.view()),
    body(a0::kStateCommand.view()),
};

const std::array<std::string_view, 15> kA1Conditions{
    body(a1::kE1.view()),    body(a1::kX1.view()), body(a1::kNotX1.view()), body(a1::kX2.view()),
    body(a1::kNotX2.view()), body(a1::kX3.view()), body(a1::kNotX3.view()), body(a1::kX4.view()),
    body(a1::kNotX4.view()), body(a1::kX5.view()), body(a1::kNotX5.view()), body(a1::kX6.view()),
    body(a1::kNotX6.view()), body(a1::kX7.view()), body(a1::kNotX7.view()),
};

const std::array<std::string_view, 5> kA1Moving{
    body(a1::kStateStart.view()),   body(a1::kStateMain.view()), body(a1::kStateLeaf.view()),
    body(a1::kStateNotLeaf.view()), body(a1::kStateTops.view()),
};

bool one_of(std::string_view text, const auto& lines) {
  for (const std::string_view known : lines) {
    if (text == known) return true;
  }
  return false;
}

}  // namespace

bool TraceChecker::write(std::string_view bytes, std::string*) {
  pending_.append(bytes);
  std::size_t start = 0;
  for (std::size_t end; (end = pending_.find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    line(std::string_view(pending_).substr(start, end - start));
  }
  pending_.erase(0, start);
  return true;
}

void TraceChecker::finish(bool walked) const {
  require(pending_.empty(), "trace ends with a whole line");
  require(!expect_blank_, "a line feed's condition line is complete");
  require(phase_ == (walked ? Phase::kWalked : Phase::kRead), "trace ends with the closing line");
}

void TraceChecker::line(std::string_view text) {
  require(text.find_first_of("\r\n") == std::string_view::npos,
          "every CR and LF of the trace is a CR LF pair");
  if (phase_ == Phase::kReading) {
    a0_line(text);
  } else {
    a1_line(text);
  }
}

void TraceChecker::a0_line(std::string_view text) {
  if (expect_blank_) {
    require(text.empty(), "a line feed shown as a character ends its line");
    expect_blank_ = false;
    return;
  }
  if (one_of(text, kA0States)) {
    require(a0_states_ < delivered_.size(), "no more A0 state lines than characters");
    ++a0_states_;
    return;
  }
  if (text == body(a0::kClosing.view())) {
    require(a0_states_ == delivered_.size(), "one A0 state line per delivered character");
    phase_ = Phase::kRead;
    return;
  }
  for (const Condition& condition : kA0Conditions) {
    if (!text.starts_with(condition.prefix)) continue;
    require(a0_states_ < delivered_.size(), "a condition line belongs to a character");
    const char c = delivered_[a0_states_];
    require(condition.holds(c), "a condition line is printed only when it holds");
    const std::string_view shown = text.substr(condition.prefix.size());
    if (c == '\n') {
      require(shown.empty(), "a line feed is shown as a line end");
      expect_blank_ = true;
    } else {
      require(shown.size() == 1 && shown[0] == c, "a condition line shows its character");
    }
    return;
  }
  violated("unknown line in A0's trace");
}

void TraceChecker::a1_line(std::string_view text) {
  require(phase_ != Phase::kWalked, "nothing follows A1's closing line");
  require(!stopped_ || text == body(a1::kClosing.view()), "only the closing line follows STOP");
  phase_ = Phase::kWalking;
  if (one_of(text, kA1Conditions)) return;
  if (one_of(text, kA1Moving)) {
    ++a1_states_;
    return;
  }
  if (text == body(a1::kStateStop.view())) {
    ++a1_states_;
    stopped_ = true;
    return;
  }
  if (text == body(a1::kClosing.view())) {
    require(stopped_, "A1 closes only after STOP");
    phase_ = Phase::kWalked;
    return;
  }
  violated("unknown line in A1's trace");
}

}  // namespace planner::fuzz
