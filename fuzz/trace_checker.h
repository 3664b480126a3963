// A sink that reads the trace as it streams past, line by line, and aborts on
// the first line that is not one of the automata's messages in its place.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/output.h"

namespace planner::fuzz {

class TraceChecker final : public Sink {
 public:
  // `delivered` is what text mode hands the reader; every A0 condition line
  // must show the character it was asked about.
  explicit TraceChecker(std::string_view delivered) : delivered_(delivered) {}

  bool write(std::string_view bytes, std::string* err) override;
  // After the last flush: the trace must end with a closing line, A1's when
  // `walked`, A0's otherwise.
  void finish(bool walked) const;

  std::size_t a0_states() const { return a0_states_; }
  std::size_t a1_states() const { return a1_states_; }

 private:
  enum class Phase { kReading, kRead, kWalking, kWalked };

  void line(std::string_view text);
  void a0_line(std::string_view text);
  void a1_line(std::string_view text);

  std::string_view delivered_;
  std::string pending_;  // the unfinished last line of the bytes so far
  Phase phase_ = Phase::kReading;
  bool expect_blank_ = false;  // a line feed shown as a condition's character
  bool stopped_ = false;       // A1 has printed its STOP state line
  std::size_t a0_states_ = 0;
  std::size_t a1_states_ = 0;
};

}  // namespace planner::fuzz
