// The progress line of a long walk. A vertex reached by several paths is
// walked once per path, so a small makefile can walk for hours; a user
// watching a terminal is told how far the walk is and how long it will take.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace planner {

// Made only when standard error is a terminal, so standard output and
// todo.bat never change; shown once the walk has run for a second, so a short
// walk shows nothing. Rewritten in place a few times a second; cleared when
// the walk ends, so that the prompt or an error line starts on a clean line,
// and blanked by a signal that ends the run.
class Progress {
 public:
  using Clock = std::chrono::steady_clock;

  // `now` reads the clock: the steady clock, or one that a caller moves.
  explicit Progress(std::uint64_t total_steps, Clock::time_point (*now)() = Clock::now);
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  ~Progress() { clear(); }

  // Called often: reads the clock only on every kClockEvery-th call.
  void update(std::uint64_t steps, std::uint64_t commands);
  void clear();

 private:
  static constexpr unsigned kClockEvery = 8;

  void draw(const std::string& line);

  std::uint64_t total_;          // steps of the whole walk
  Clock::time_point (*now_)();   // the clock
  Clock::time_point start_;      // when the walk began
  Clock::time_point next_draw_;  // no redraw before this
  unsigned calls_ = 0;           // updates since the clock was last read
  std::size_t width_ = 0;        // characters of the line now on screen; 0: none
};

}  // namespace planner
