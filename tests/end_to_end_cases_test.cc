// Every directory under tests/cases/ is one run of the real executable;
// tests/cases/lay_out.sh describes a case and sets it up. The Windows build
// runs the same cases under wine (tests/windows/compare_with_wine.sh).
#include <gtest/gtest.h>

#include <algorithm>
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

struct CaseRun {
  int status = 0;                 // the exit status expected
  std::vector<std::string> args;  // the command line
};

CaseRun set_up(const fs::path& dir, const ScratchDir& work) {
  const auto r =
      test::run("/bin/bash", {(kCases / "lay_out.sh").string(), dir.string(), work.path().string()},
                work.path());
  EXPECT_EQ(r.status, 0) << r.err;
  std::istringstream fields(r.out);
  CaseRun setup;
  std::string field;
  std::getline(fields, field, '\0');
  setup.status = std::stoi(field);
  while (std::getline(fields, field, '\0')) setup.args.push_back(field);
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
