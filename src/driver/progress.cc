#include "driver/progress.h"

#include <cstdio>
#include <limits>

#include "platform/os.h"

namespace planner {

namespace {

using namespace std::chrono_literals;

// 27262972 as "27,262,972".
std::string grouped(std::uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

// "0:07", "1:02:03", then days and years for walks no one will wait for.
std::string duration(double seconds) {
  const auto s = static_cast<std::uint64_t>(seconds);
  char text[64];
  if (s < 3600) {
    std::snprintf(text, sizeof text, "%u:%02u", unsigned(s / 60), unsigned(s % 60));
  } else if (s < std::uint64_t{100} * 3600) {
    std::snprintf(text, sizeof text, "%u:%02u:%02u", unsigned(s / 3600), unsigned(s / 60 % 60),
                  unsigned(s % 60));
  } else if (seconds < 1000 * 86400.0) {
    std::snprintf(text, sizeof text, "%.0f days", seconds / 86400);
  } else {
    std::snprintf(text, sizeof text, "%.3g years", seconds / (365.25 * 86400));
  }
  return text;
}

}  // namespace

Progress::Progress(std::uint64_t total_steps, Clock::time_point (*now)())
    : total_(total_steps),
      now_(now),
      start_(now()),
      next_draw_(start_ + 1s) {}

void Progress::update(std::uint64_t steps, std::uint64_t commands) {
  if (++calls_ < kClockEvery) return;
  calls_ = 0;
  const Clock::time_point now = now_();
  if (now < next_draw_) return;
  next_draw_ = now + 250ms;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const double done = static_cast<double>(steps) / static_cast<double>(total_);
  const bool saturated = total_ == std::numeric_limits<std::uint64_t>::max();
  char percent[16];
  std::snprintf(percent, sizeof percent, "%.1f%%", 100 * done);
  draw("planner: step " + grouped(steps) + " of " + (saturated ? "over " : "") + grouped(total_) +
       " (" + percent + "), " + grouped(commands) + " commands written, " + duration(elapsed) +
       " elapsed, about " + duration(elapsed / done - elapsed) + " left");
}

void Progress::clear() {
  if (width_ == 0) return;
  draw("");
  os::write_stream(stderr, "\r");
  width_ = 0;
  os::blank_on_interrupt(0);
}

// Back to the start of the line, the new text, and blanks over what is left
// of the old one: no terminal control sequence, so every console shows it.
// An interruption blanks whatever of the two is on screen.
void Progress::draw(const std::string& line) {
  std::string text = "\r" + line;
  if (line.size() < width_) text.append(width_ - line.size(), ' ');
  os::blank_on_interrupt(text.size() - 1);
  width_ = line.size();
  os::write_stream(stderr, text);
  os::blank_on_interrupt(width_);
}

}  // namespace planner
