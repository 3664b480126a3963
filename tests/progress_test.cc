// The progress line on a clock the test moves: its forms from a second to
// years, and nothing before the first second.
#include "driver/progress.h"

#include <gtest/gtest.h>

#include <limits>

namespace planner {
namespace {

Progress::Clock::time_point now;  // what the line reads as the time
Progress::Clock::time_point read_now() { return now; }

struct Row {
  std::uint64_t total;
  double seconds;  // since the walk began
  std::uint64_t steps, commands;
  std::string line;  // drawn; empty: nothing
};

const Row kRows[] = {
    {1000, 0.9, 999, 1, ""},
    {1000, 1.5, 500, 7,
     "planner: step 500 of 1,000 (50.0%), 7 commands written, 0:01 elapsed, about 0:01 left"},
    {4'000'000, 3723, 1'000'000, 1'234'567,
     "planner: step 1,000,000 of 4,000,000 (25.0%), 1,234,567 commands written, 1:02:03 "
     "elapsed, about 3:06:09 left"},
    {3, 359'999, 1, 0,
     "planner: step 1 of 3 (33.3%), 0 commands written, 99:59:59 elapsed, about 8 days left"},
    // 12.35007 years of 365.25 days: a day's length a second off rounds it down.
    {100'001, 3897.38569032, 1, 0,
     "planner: step 1 of 100,001 (0.0%), 0 commands written, 1:04:57 elapsed, about 12.4 years "
     "left"},
    // A walk too long to count says so.
    {std::numeric_limits<std::uint64_t>::max(), 59, std::uint64_t{1} << 63, 12,
     "planner: step 9,223,372,036,854,775,808 of over 18,446,744,073,709,551,615 (50.0%), 12 "
     "commands written, 0:59 elapsed, about 0:59 left"},
};

// The line is drawn from the start of the line and blanked once when it goes.
TEST(Progress, ShowsHowFarTheWalkIsAndHowLongItWillTake) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.line);
    testing::internal::CaptureStderr();
    {
      Progress progress(row.total, read_now);
      now += std::chrono::duration_cast<Progress::Clock::duration>(
          std::chrono::duration<double>(row.seconds));
      for (int i = 0; i < 8; ++i) progress.update(row.steps, row.commands);  // reads the clock once
      progress.clear();  // and again as it goes: blanked once
    }
    // Appended, as g++ 12 at -O3 warns falsely of overlapping copies in "\r" + s.
    std::string blank(1, '\r');
    blank.append(row.line.size(), ' ') += '\r';
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              row.line.empty() ? "" : "\r" + row.line + blank);
  }
}

}  // namespace
}  // namespace planner
