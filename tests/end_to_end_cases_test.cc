// Every directory under tests/cases/ is one run of the real executable. Its
// "case" file gives the arguments ("args"), a bundled example to lay out
// ("example NAME": its makefile, and its files at the times its list gives,
// read as UTC), directories to make ("dir") and file times to set ("time NAME SECONDS", creating
// an empty file when there is none), and the exit status ("status", 0 if absent); in/ holds files
// to start with. "stdout" (decoded, with @EXE@ for the executable's full path), "stderr" and
// "todo.bat" are what the run must leave; without "todo.bat" no such file may exist afterwards. The
// Windows build runs the same cases under wine (tests/windows/compare_with_wine.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "test_util.h"

namespace planner {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::ScratchDir;

const fs::path kCases = PLANNER_TEST_CASES;

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kCases)) {
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// "2026-01-01 10:00" as seconds since the epoch, read as UTC.
std::int64_t utc_seconds(const std::string& date_text, const std::string& clock_text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  EXPECT_EQ(std::sscanf(date_text.c_str(), "%d-%d-%d", &y, &mo, &d), 3) << date_text;
  EXPECT_EQ(std::sscanf(clock_text.c_str(), "%d:%d", &h, &mi), 2) << clock_text;
  using namespace std::chrono;
  const sys_days date = year{y} / month{static_cast<unsigned>(mo)} / day{static_cast<unsigned>(d)};
  return duration_cast<seconds>(date.time_since_epoch() + hours{h} + minutes{mi}).count();
}

// The example's makefiles, and a file for each line "NAME DAY CLOCK" of its
// files list, as examples/demo.sh sets them up.
void lay_out_example(const fs::path& example, const ScratchDir& work) {
  for (const auto& entry : fs::directory_iterator(example)) {
    if (entry.path().extension() == ".mk")
      work.write(entry.path().filename().string(), read_file(entry.path()));
  }
  std::istringstream lines(read_file(example / "files"));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string name, day, clock;
    if (!(words >> name) || name.front() == '#') continue;
    words >> day >> clock;
    work.touch(name, utc_seconds(day, clock));
  }
}

struct CaseRun {
  std::vector<std::string> args;
  int status = 0;
};

// Lays out the case in `work`: in/ first, then the case file's lines in order.
CaseRun set_up(const fs::path& dir, const ScratchDir& work) {
  if (fs::is_directory(dir / "in")) fs::copy(dir / "in", work.path());
  CaseRun setup;
  std::istringstream lines(read_file(dir / "case"));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string word;
    if (!(words >> word) || word.front() == '#') continue;
    if (word == "args") {
      for (std::string arg; words >> arg;) setup.args.push_back(arg);
    } else if (word == "example") {
      std::string name;
      words >> name;
      lay_out_example(fs::path(PLANNER_SOURCE_DIR) / "examples" / name, work);
    } else if (word == "dir") {
      std::string name;
      words >> name;
      fs::create_directory(work.path() / name);
    } else if (word == "time") {
      std::string name;
      std::int64_t when = -1;
      words >> name >> when;
      work.write(name, work.read(name), when);
    } else if (word == "status") {
      words >> setup.status;
    } else {
      ADD_FAILURE() << "unknown line in " << (dir / "case") << ": " << line;
    }
  }
  return setup;
}

std::string with_exe_path(std::string text) {
  const std::string exe = fs::canonical(test::planner_exe()).string();
  for (auto at = text.find("@EXE@"); at != std::string::npos; at = text.find("@EXE@", at)) {
    text.replace(at, 5, exe);
    at += exe.size();
  }
  return text;
}

class Cases : public testing::TestWithParam<std::string> {};

TEST_P(Cases, RunGivesTheExpectedBytes) {
  const fs::path dir = kCases / GetParam();
  ScratchDir work;
  const CaseRun setup = set_up(dir, work);
  const auto r = test::run(test::planner_exe(), setup.args, work.path());
  EXPECT_EQ(r.status, setup.status);
  EXPECT_EQ(test::decode(r.out), with_exe_path(read_file(dir / "stdout")));
  EXPECT_EQ(r.err, read_file(dir / "stderr"));  // a missing file reads as empty
  if (fs::exists(dir / "todo.bat")) {
    EXPECT_EQ(work.read("todo.bat"), read_file(dir / "todo.bat"));
  } else {
    EXPECT_FALSE(fs::is_regular_file(work.path() / "todo.bat"));
  }
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, Cases, testing::ValuesIn(case_names()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace planner
